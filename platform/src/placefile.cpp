// placefile.cpp - writing beside a target and putting the file in its place (see placefile.h).
#include "platform/placefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

inline constexpr mode_t NEWFILE_MODE = 0666; // as fopen makes a file, before the umask

// The file target names: a link resolved; the name itself when it does not exist yet.
std::string resolved(const char *target) {
    std::string name = target;
    if (char *real = realpath(target, nullptr)) {
        name = real;
        std::free(real);
    }
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

} // namespace platform
