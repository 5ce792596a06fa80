// sysfile.h - what the two systems do differently with files, names, memory and time.
//
// Everything above this layer is one source for Linux and Windows: where the systems differ (the
// name separator, how a file is told apart from another, stdio's internals, mapped memory), the
// code asks here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace platform {

// The separator of the names the system builds itself. Both separators are read everywhere.
#ifdef _WIN32
inline constexpr char PATH_SEPARATOR = '\\';
#else
inline constexpr char PATH_SEPARATOR = '/';
#endif

// How a file written by the system ends its lines: text files as the system writes them (CR LF
// on Windows), binary files byte for byte. The same on Linux.
enum class FileMode { text, binary };

// What makes a file itself, however it is named (links, other spellings).
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileId &, const FileId &) = default;
};
bool IdOfFile(const char *name, FileId &id);
bool IdOfStream(std::FILE *f, FileId &id);

enum class FileKind { missing, regular, directory, other };
FileKind KindOfFile(const char *name);
bool IsRegularStream(std::FILE *f);

// Makes one directory; false (errno set) when it cannot.
bool MakeDirectory(const char *name);

// ctime's text of t (26 bytes, line feed included) in buf; false when t cannot be shown.
inline constexpr std::size_t TIMETEXT_SIZE = 26;
bool TimeText(std::time_t t, char (&buf)[TIMETEXT_SIZE]);

// Whether a helper may go on working on memory after a run has returned. Not on Windows: a thread
// of the library that outlives the run would be joined while the library is unloaded, under the
// loader's lock, which the ending thread needs too.
#ifdef _WIN32
inline constexpr bool MEMORY_HELPER = false;
#else
inline constexpr bool MEMORY_HELPER = true;
#endif

// Fresh zeroed memory straight from the system, in whole pages; null when none can be had.
void *MapMemory(std::size_t size);
void UnmapMemory(void *p, std::size_t size);
// Asks the system to back the first `size` bytes of p with memory now (a hint).
void PrefaultMemory(void *p, std::size_t size);

// Streams the library reads by itself: the whole file read at once and served from memory, so
// that the section search moves about in it without system calls. Returns the new stream and
// sets data/size to the file's bytes (valid until the stream is closed), or returns fp with data
// null when the file cannot be served so (not a regular file, too large, or no such streams on
// this system); fp is then at its start.
std::FILE *ServeFromMemory(std::FILE *fp, const char **data, std::size_t *size);

// Only the caller's thread reads the stream: stdio need not lock it on every call.
void ReadOnlyHere(std::FILE *fp);

// Bytes written to the stream go out as they stand (no line-end translation).
void BinaryStream(std::FILE *fp);

// One character of a stream only this thread reads (see ReadOnlyHere).
inline int ReadChar(std::FILE *fp) {
#ifdef __GLIBC__
    return getc_unlocked(fp);
#else
    return std::getc(fp);
#endif
}

// Writes bytes to a stream only this thread writes.
inline std::size_t WriteBytes(const char *p, std::size_t n, std::FILE *fp) {
#ifdef __GLIBC__
    return fwrite_unlocked(p, 1, n, fp);
#else
    return std::fwrite(p, 1, n, fp);
#endif
}

// Gives back c, the character ReadChar took last. Every line of a design is peeked at, so on
// glibc the common case is done in line: the character is still in the stream's buffer, right
// behind the read position (what ungetc does first, without the call).
inline void UnreadChar(int c, std::FILE *fp) {
#ifdef __GLIBC__
    if (fp->_IO_read_ptr > fp->_IO_read_base &&
        static_cast<unsigned char>(fp->_IO_read_ptr[-1]) == c) {
        --fp->_IO_read_ptr;
        fp->_flags &= ~_IO_EOF_SEEN;
        return;
    }
#endif
    std::ungetc(c, fp);
}

} // namespace platform
