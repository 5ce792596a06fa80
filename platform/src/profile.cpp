// profile.cpp - initialisation-file lookups and the per-user registry file.
//
// Files are read afresh at every lookup, as the suite expects (the user may edit them between
// runs); a lookup stops at the first matching key of the first matching section, so only that
// much of the file is read. No state is kept between calls.
#include "platform/profile.h"

#include "cfstring.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string_view>
#include <unistd.h>

namespace platform {

namespace {

// Owns a stream for the length of one lookup.
class InFile {
  public:
    explicit InFile(const std::string &name) : fp(std::fopen(name.c_str(), "r")) {}
    ~InFile() {
        if (fp) std::fclose(fp);
    }
    InFile(const InFile &) = delete;
    InFile &operator=(const InFile &) = delete;
    FILE *get() const { return fp; }

  private:
    FILE *fp;
};

// Reads one line without its line feed; false at the end of the file.
bool readline(FILE *fp, std::string &line) {
    line.clear();
    int c;
    while ((c = getc_unlocked(fp)) != EOF && c != '\n')
        line.push_back(static_cast<char>(c));
    return c != EOF || !line.empty();
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && cf::isspacec(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && cf::isspacec(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool sameword(std::string_view a, const char *b) {
    std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (cf::toupperc(static_cast<unsigned char>(a[i])) !=
            cf::toupperc(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A bare file name lives in the configuration directory, as a bare name lives in the Windows
// directory on the suite's home platform.
std::string resolve(const char *file) {
    if (std::strchr(file, '/') || std::strchr(file, '\\')) return file;
    return ConfigDir() + "/" + file;
}

std::size_t store(std::string_view value, char *buf, std::size_t size) {
    if (size == 0 || buf == nullptr) return 0;
    std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buf, value.data(), n);
    buf[n] = '\0';
    return n;
}

} // namespace

std::string ConfigDir() {
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return std::string(xdg) + "/morvek";
    const char *home = std::getenv("HOME");
    std::string dir;
    if (home && *home) {
        dir = home;
    } else if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir) {
        dir = pw->pw_dir;
    }
    return dir + "/.config/morvek";
}

bool ReadProfileEntry(const char *file, const char *section, const char *key, std::string &value) {
    if (!file || !*file || !section || !key) return false;
    InFile in(resolve(file));
    if (!in.get()) return false;
    std::string line;
    bool first = true;
    bool seen = false;   // the wanted section has begun
    bool inside = false; // the current line belongs to it
    while (readline(in.get(), line)) {
        std::string_view s = line;
        if (first && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
        first = false;
        s = trim(s);
        if (s.empty() || s.front() == ';') continue;
        if (s.front() == '[') {
            std::size_t end = s.rfind(']');
            if (end == std::string_view::npos) continue;
            if (inside) return false; // only the first section of that name is searched
            inside = !seen && sameword(trim(s.substr(1, end - 1)), section);
            seen = seen || inside;
            continue;
        }
        if (!inside) continue;
        std::size_t eq = s.find('=');
        if (eq == std::string_view::npos || !sameword(trim(s.substr(0, eq)), key)) continue;
        std::string_view v = trim(s.substr(eq + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        value.assign(v);
        return true;
    }
    return false;
}

std::size_t GetPrivateProfileString(const char *section, const char *key, const char *def,
                                    char *buf, std::size_t size, const char *file) {
    std::string value;
    if (ReadProfileEntry(file, section, key, value)) return store(value, buf, size);
    std::string_view d = def ? def : "";
    while (!d.empty() && d.back() == ' ')
        d.remove_suffix(1);
    return store(d, buf, size);
}

std::string RegistryFile() {
    const char *reg = std::getenv("VANTRELL_REGISTRY");
    if (reg && *reg) return reg;
    return ConfigDir() + "/registry.ini";
}

RegResult RegQueryString(const char *keypath, const char *name, char *buf, std::size_t size) {
    if (buf && size > 0) buf[0] = '\0';
    std::string value;
    std::string file = RegistryFile();
    // The registry file is always named in full, never looked for in the configuration
    // directory as a bare name would be.
    if (file.find('/') == std::string::npos) file.insert(0, "./");
    if (!ReadProfileEntry(file.c_str(), keypath, name, value)) return RegResult::absent;
    if (!buf || value.size() >= size) return RegResult::toolong;
    store(value, buf, size);
    return RegResult::ok;
}

} // namespace platform
