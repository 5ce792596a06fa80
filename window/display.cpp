// display.cpp - whether the window toolkit can open a display, decided before it tries.
//
// The toolkit ends the whole process when its platform cannot start, which for a library loaded
// into a host would take the host down. So the platform it would choose is checked first: the
// named platforms of QT_QPA_PLATFORM, else an X server, else a Wayland compositor, each by a
// plain connect() to its socket. No state.
#include "window.h"

#include <QLibraryInfo>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <netdb.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace window {

namespace {

inline constexpr int X_TCP_PORT = 6000; // port of X display 0 over TCP

// Owns a socket for the length of one probe.
class Socket {
  public:
    explicit Socket(int domain) : fd_(::socket(domain, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// A server listens at the local socket path (abstract: in the abstract namespace).
bool localserver(const std::string &path, bool abstract) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.empty() || path.size() + offset >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    Socket s(AF_UNIX);
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                            (abstract ? 0 : 1));
    return s.get() >= 0 && ::connect(s.get(), reinterpret_cast<sockaddr *>(&addr), len) == 0;
}

bool tcpserver(const std::string &host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
    bool reached = false;
    for (addrinfo *a = found; a && !reached; a = a->ai_next) {
        Socket s(a->ai_family);
        reached = s.get() >= 0 && ::connect(s.get(), a->ai_addr, a->ai_addrlen) == 0;
    }
    freeaddrinfo(found);
    return reached;
}

// DISPLAY is [host]:number[.screen]; an empty host or "unix" means the local socket.
bool xserver() {
    const char *env = std::getenv("DISPLAY");
    if (env == nullptr || *env == '\0') return false;
    const std::string_view display = env;
    const std::size_t colon = display.rfind(':');
    if (colon == std::string_view::npos) return false;
    const std::string host(display.substr(0, colon));
    std::string_view rest = display.substr(colon + 1);
    int number = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && digits < 6 && rest[digits] >= '0' && rest[digits] <= '9')
        number = number * 10 + (rest[digits++] - '0');
    if (digits == 0) return false;
    if (!host.empty() && host.front() == '/') return localserver(host, false);
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        return localserver(path, true) || localserver(path, false);
    }
    return tcpserver(host, X_TCP_PORT + number);
}

bool waylandserver() {
    const char *env = std::getenv("WAYLAND_DISPLAY");
    if (env == nullptr || *env == '\0') return false;
    std::string path = env;
    if (path.front() != '/') {
        const char *runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0') return false;
        path = std::string(runtime) + "/" + path;
    }
    return localserver(path, false);
}

// The toolkit's own Wayland platform, which Debian ships in a package of its own.
bool waylandplugin() {
    std::error_code ec;
    const std::filesystem::path dir =
        QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms";
    for (const auto &entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.path().filename().string().starts_with("libqwayland")) return true;
    return false;
}

// Whether one platform of QT_QPA_PLATFORM (its name, without ":options") can start.
bool platformstarts(const std::string &name) {
    if (name == "xcb") return xserver();
    if (name.starts_with("wayland")) return waylandserver() && waylandplugin();
    // The others (offscreen, minimal, vnc, the framebuffer ones) need no server to reach.
    return !name.empty();
}

} // namespace

bool FindDisplay(std::string &platform, std::string &reason) {
    platform.clear();
    reason.clear();
    const char *platforms = std::getenv("QT_QPA_PLATFORM");
    if (platforms != nullptr && *platforms != '\0') {
        // A list of platforms to try in turn: "name[:options];name...".
        const std::string list = platforms;
        for (std::size_t from = 0; from < list.size();) {
            std::size_t end = list.find(';', from);
            if (end == std::string::npos) end = list.size();
            std::string name = list.substr(from, end - from);
            name.erase(std::min(name.find(':'), name.size()));
            if (platformstarts(name)) return true;
            from = end + 1;
        }
        reason = std::string("no display for QT_QPA_PLATFORM=") + platforms;
        return false;
    }
    if (xserver()) return true;
    // Left to itself the toolkit would look for an X server here.
    if (waylandserver() && waylandplugin()) {
        platform = "wayland";
        return true;
    }
    const char *display = std::getenv("DISPLAY");
    if (display != nullptr && *display != '\0')
        reason = std::string("no X server answers at DISPLAY=") + display;
    else
        reason = "no display (neither DISPLAY nor WAYLAND_DISPLAY names one)";
    return false;
}

} // namespace window
