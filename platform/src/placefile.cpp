// placefile.cpp - writing beside a target and putting the file in its place (see placefile.h).
#include "platform/placefile.h"

#include "platform/sysfile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

namespace {

// Tries at names of new files before giving up: each taken name is another file's, and six
// random letters make a second collision unlikely unless something is wrong.
inline constexpr int MAXTRIES = 100;

#ifdef _WIN32
inline constexpr int NEWFILE_FLAGS = O_WRONLY | O_CREAT | O_EXCL | O_BINARY;
inline constexpr int NEWFILE_MODE = S_IREAD | S_IWRITE;
#else
inline constexpr int NEWFILE_FLAGS = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
// As fopen makes a file: the kernel takes off what the umask says, so the process's umask is
// never read (reading it means setting it, which another thread of a host could notice).
inline constexpr mode_t NEWFILE_MODE = 0666;
// Links followed at most, as the kernel does, so that a loop of links ends.
inline constexpr int MAXLINKS = 40;
#endif

// A name not taken yet, most likely: `base` and six letters from the clock, the process and a
// counter, mixed.
std::string candidate(const std::string &base) {
    static std::atomic<unsigned long long> counter{0};
    unsigned long long x = static_cast<unsigned long long>(
                               std::chrono::steady_clock::now().time_since_epoch().count()) ^
                           (static_cast<unsigned long long>(::getpid()) << 32) ^
                           (++counter * 0x9E3779B97F4A7C15ull);
    static constexpr char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = base + '.';
    for (int i = 0; i < 6; ++i) {
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 32;
        name += letters[x % (sizeof letters - 1)];
    }
    return name;
}

#ifndef _WIN32

// What a link says, or empty when `name` is no link.
std::string linktext(const std::string &name) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {};
    std::string text(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(name.c_str(), text.data(), text.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= text.size()) return {};
    text.resize(static_cast<std::size_t>(n));
    return text;
}

#endif

// Makes the data of `name` reach the disk before anything is renamed over for it.
bool flush(const char *name) {
#ifdef _WIN32
    HANDLE h = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = FlushFileBuffers(h) != 0;
    const DWORD error = GetLastError();
    CloseHandle(h);
    SetLastError(error);
    return ok;
#else
    const int fd = ::open(name, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fdatasync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
#endif
}

#ifdef _WIN32

// The C library's errno for what the system said; EBUSY stands for a file another program holds
// (see ErrorText).
int errnoof(DWORD error) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return EBUSY;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

#endif

} // namespace

#ifdef _WIN32

std::string PlaceOf(const char *target) {
    char *full = _fullpath(nullptr, target, 0);
    if (full == nullptr) return target;
    std::string name = full;
    std::free(full);
    return name;
}

#else

std::string PlaceOf(const char *target) {
    std::string name = target;
    for (int hop = 0; hop < MAXLINKS; ++hop) {
        std::string to = linktext(name);
        if (to.empty()) break;
        if (to[0] != '/') {
            const std::size_t slash = name.rfind('/');
            if (slash != std::string::npos) to.insert(0, name, 0, slash + 1);
        }
        name = std::move(to);
    }
    // The folder as the system resolves it; the last name as it stands (it may not exist).
    const std::size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    if (last.empty() || last == "." || last == "..") return name;
    char *real = realpath(folder.c_str(), nullptr);
    if (real == nullptr) return name;
    std::string place = real;
    std::free(real);
    if (place.back() != '/') place += '/';
    return place + last;
}

#endif

bool SameTarget(const char *a, const char *b) {
    FileId ida, idb;
    const bool hasa = IdOfFile(a, ida);
    const bool hasb = IdOfFile(b, idb);
    if (hasa || hasb) return hasa && hasb && ida == idb;
#ifdef _WIN32
    return _stricmp(PlaceOf(a).c_str(), PlaceOf(b).c_str()) == 0;
#else
    return PlaceOf(a) == PlaceOf(b);
#endif
}

std::string MakeFileBeside(const char *target) {
    try {
        const std::string base = PlaceOf(target);
        for (int i = 0; i < MAXTRIES; ++i) {
            std::string temp = candidate(base);
            const int fd = ::open(temp.c_str(), NEWFILE_FLAGS, NEWFILE_MODE);
            if (fd >= 0) {
                ::close(fd);
                return temp;
            }
            if (errno != EEXIST) return {};
        }
    } catch (const std::bad_alloc &) {
        errno = ENOMEM;
    }
    return {};
}

#ifdef _WIN32

// rename does not replace a file here; the system's own move does, in one step.
bool PlaceFile(const char *temp, const char *target) {
    if (flush(temp) &&
        MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    const int error = errnoof(GetLastError());
    std::remove(temp);
    errno = error;
    return false;
}

const char *ErrorText(int error) {
    if (error == EBUSY) return "in use by another program";
    return std::strerror(error);
}

#else

bool PlaceFile(const char *temp, const char *target) {
    try {
        const std::string place = PlaceOf(target);
        struct stat st {};
        const bool replaces = ::stat(place.c_str(), &st) == 0;
        if (flush(temp) && (!replaces || ::chmod(temp, st.st_mode & 07777) == 0) &&
            std::rename(temp, place.c_str()) == 0)
            return true;
    } catch (const std::bad_alloc &) {
        errno = ENOMEM;
    }
    const int error = errno;
    std::remove(temp);
    errno = error;
    return false;
}

const char *ErrorText(int error) {
    return std::strerror(error);
}

#endif

} // namespace platform
