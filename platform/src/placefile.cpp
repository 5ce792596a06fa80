// placefile.cpp - writing beside a target and putting the file in its place (see placefile.h).
#include "platform/placefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

namespace {

inline constexpr mode_t NEWFILE_MODE = 0666; // as fopen makes a file, before the umask

// The file target names: a link resolved; the name itself when it does not exist yet.
std::string resolved(const char *target) {
    std::string name = target;
#ifndef _WIN32
    if (char *real = realpath(target, nullptr)) {
        name = real;
        std::free(real);
    }
#endif
    return name;
}

} // namespace

std::string MakeFileBeside(const char *target) {
    std::string temp = resolved(target) + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return {};
    ::close(fd);
    return temp;
}

#ifdef _WIN32

// rename does not replace a file here; the system's own move does, in one step.
bool PlaceFile(const char *temp, const char *target) {
    if (MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING)) return true;
    std::remove(temp);
    errno = EACCES;
    return false;
}

#else

bool PlaceFile(const char *temp, const char *target) {
    const std::string place = resolved(target);
    struct stat st {};
    mode_t mode = 0;
    if (::stat(place.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = NEWFILE_MODE & ~mask;
    }
    if (::chmod(temp, mode) == 0 && std::rename(temp, place.c_str()) == 0) return true;
    const int error = errno;
    std::remove(temp);
    errno = error;
    return false;
}

#endif

} // namespace platform
