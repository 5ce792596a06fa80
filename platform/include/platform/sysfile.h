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

// The whole of the file fp reads, when it is a regular file of fewer than `max` bytes: a new
// buffer (malloc'ed, the caller frees it) and its size in *size. Null when it is not, or cannot
// be read whole; fp then stands at its start again. fp must be open in binary mode.
char *ReadWholeFile(std::FILE *fp, std::size_t max, std::size_t *size);

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

} // namespace platform
