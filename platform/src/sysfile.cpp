// sysfile.cpp - files, names, memory and time on Linux and on Windows (see sysfile.h).
#include "platform/sysfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h> // _O_BINARY on Windows
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <stdio_ext.h>
#include <sys/mman.h>
#endif

namespace platform {

namespace {

FileKind kindof(const struct stat &st) {
    if (S_ISREG(st.st_mode)) return FileKind::regular;
    if (S_ISDIR(st.st_mode)) return FileKind::directory;
    return FileKind::other;
}

} // namespace

FileKind KindOfFile(const char *name) {
    struct stat st {};
    return name != nullptr && ::stat(name, &st) == 0 ? kindof(st) : FileKind::missing;
}

bool IsRegularStream(std::FILE *f) {
    struct stat st {};
    return f != nullptr && ::fstat(fileno(f), &st) == 0 && kindof(st) == FileKind::regular;
}

#ifdef _WIN32

// A file's volume and index: the system's own identity of a file (stat's inode is always 0).
namespace {

bool idofhandle(HANDLE h, FileId &id) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) return false;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return true;
}

} // namespace

bool IdOfFile(const char *name, FileId &id) {
    if (name == nullptr) return false;
    HANDLE h = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool ok = idofhandle(h, id);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return ok;
}

bool IdOfStream(std::FILE *f, FileId &id) {
    return f != nullptr && idofhandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))), id);
}

bool MakeDirectory(const char *name) {
    return ::mkdir(name) == 0;
}

bool TimeText(std::time_t t, char (&buf)[TIMETEXT_SIZE]) {
    buf[0] = '\0';
    const char *text = std::ctime(&t); // the C runtime keeps it per thread
    if (text == nullptr || std::strlen(text) >= TIMETEXT_SIZE) return false;
    std::strcpy(buf, text);
    return true;
}

void *MapMemory(std::size_t size) {
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void UnmapMemory(void *p, std::size_t) {
    if (p != nullptr) VirtualFree(p, 0, MEM_RELEASE);
}

void PrefaultMemory(void *, std::size_t) {}

void ReadOnlyHere(std::FILE *) {}

void BinaryStream(std::FILE *fp) {
    std::fflush(fp);
    _setmode(_fileno(fp), _O_BINARY);
}

#else

bool IdOfFile(const char *name, FileId &id) {
    struct stat st {};
    if (name == nullptr || ::stat(name, &st) != 0) return false;
    id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

bool IdOfStream(std::FILE *f, FileId &id) {
    struct stat st {};
    if (f == nullptr || ::fstat(fileno(f), &st) != 0) return false;
    id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

bool MakeDirectory(const char *name) {
    return ::mkdir(name, 0777) == 0;
}

bool TimeText(std::time_t t, char (&buf)[TIMETEXT_SIZE]) {
    buf[0] = '\0';
    return ctime_r(&t, buf) != nullptr;
}

void *MapMemory(std::size_t size) {
    void *mem = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mem == MAP_FAILED ? nullptr : mem;
}

void UnmapMemory(void *p, std::size_t size) {
    if (p != nullptr) munmap(p, size);
}

void PrefaultMemory(void *p, std::size_t size) {
    madvise(p, size, MADV_POPULATE_WRITE); // a hint: failure is harmless
}

void ReadOnlyHere(std::FILE *fp) {
    __fsetlocking(fp, FSETLOCKING_BYCALLER);
}

void BinaryStream(std::FILE *) {}

#endif

char *ReadWholeFile(std::FILE *fp, std::size_t max, std::size_t *size) {
    *size = 0;
    const int fd = fileno(fp);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<std::uint64_t>(st.st_size) >= max)
        return nullptr;
    // One byte more than the file holds: a short read then shows its end without another call.
    std::size_t room = static_cast<std::size_t>(st.st_size) + 1;
    char *data = static_cast<char *>(std::malloc(room));
    std::size_t got = 0;
    while (data != nullptr) {
        const auto n = ::read(fd, data + got, static_cast<unsigned>(room - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        got += static_cast<std::size_t>(n);
        if (got < room) {
            *size = got;
            return data;
        }
        // The file grew since it was measured.
        if (room >= max) break;
        room *= 2;
        char *more = static_cast<char *>(std::realloc(data, room));
        if (more == nullptr) break;
        data = more;
    }
    std::free(data);
    lseek(fd, 0, SEEK_SET);
    return nullptr;
}

} // namespace platform
