// profile.cpp - initialisation-file lookups and the per-user registry file.
//
// Files are read afresh at every lookup, as the suite expects (the user may edit them between
// runs); a lookup stops at the first matching key of the first matching section, so only that
// much of the file is read. No state is kept between calls. On Windows the lookups the system
// makes (the suite's initialisation file, the registry, the profile writes) are the platform's
// own; the reader here serves the lookups without a default.
#include "platform/profile.h"

#include "cfstring.h"
#include "platform/sysfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// The names of this layer, not the system's macros for its A and W forms.
#undef GetPrivateProfileString
#undef WritePrivateProfileString
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
    while ((c = ReadChar(fp)) != EOF && c != '\n')
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
    return ConfigDir() + PATH_SEPARATOR + file;
}

std::size_t store(std::string_view value, char *buf, std::size_t size) {
    if (size == 0 || buf == nullptr) return 0;
    std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buf, value.data(), n);
    buf[n] = '\0';
    return n;
}

// Follows the lookup rules over the lines of a file, one line at a time, so that the reader and
// the writer agree on which line holds an entry: blank lines, ';' comments and '[' lines without
// ']' are passed over, only the first section of the name is searched, and in it the first key.
class EntryFinder {
  public:
    enum class Line {
        outside, // not in the wanted section
        header,  // the header of the wanted section
        inside,  // a line of the wanted section other than the entry
        entry,   // the wanted entry; its trimmed value is handed back
        after,   // the header that ends the wanted section: the lookup is over
    };

    EntryFinder(const char *section, const char *key) : section_(section), key_(key) {}

    Line feed(std::string_view s, std::string_view &value) {
        if (first_ && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
        first_ = false;
        s = trim(s);
        if (s.empty() || s.front() == ';') return inside_ ? Line::inside : Line::outside;
        if (s.front() == '[') {
            std::size_t end = s.rfind(']');
            if (end == std::string_view::npos) return inside_ ? Line::inside : Line::outside;
            if (inside_) {
                inside_ = false;
                return Line::after;
            }
            inside_ = !seen_ && sameword(trim(s.substr(1, end - 1)), section_);
            seen_ = seen_ || inside_;
            return inside_ ? Line::header : Line::outside;
        }
        if (!inside_) return Line::outside;
        std::size_t eq = s.find('=');
        if (eq == std::string_view::npos || !sameword(trim(s.substr(0, eq)), key_))
            return Line::inside;
        value = trim(s.substr(eq + 1));
        return Line::entry;
    }

  private:
    const char *section_;
    const char *key_;
    bool first_ = true;   // a byte-order mark may open the first line
    bool seen_ = false;   // the wanted section has begun
    bool inside_ = false; // the current line belongs to it
};

// One pair of enclosing quotes is not part of a value.
std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

} // namespace

#ifdef _WIN32

std::string ConfigDir() {
    char dir[MAX_PATH] = "";
    const UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    return n > 0 && n < sizeof dir ? std::string(dir, n) : std::string();
}

#else

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

#endif

bool ReadProfileEntry(const char *file, const char *section, const char *key, std::string &value) {
    if (!file || !*file || !section || !key) return false;
    InFile in(resolve(file));
    if (!in.get()) return false;
    EntryFinder finder(section, key);
    std::string line;
    while (readline(in.get(), line)) {
        std::string_view v;
        switch (finder.feed(line, v)) {
        case EntryFinder::Line::entry:
            value.assign(unquote(v));
            return true;
        case EntryFinder::Line::after:
            return false;
        default:
            break;
        }
    }
    return false;
}

std::size_t GetPrivateProfileString(const char *section, const char *key, const char *def,
                                    char *buf, std::size_t size, const char *file) {
#ifdef _WIN32
    // A null section or key would list the file's sections or keys instead.
    if (section != nullptr && key != nullptr && file != nullptr && *file && size > 0 &&
        size <= MAXDWORD && buf != nullptr)
        return ::GetPrivateProfileStringA(section, key, def ? def : "", buf,
                                          static_cast<DWORD>(size), file);
#endif
    std::string value;
    if (ReadProfileEntry(file, section, key, value)) return store(value, buf, size);
    std::string_view d = def ? def : "";
    while (!d.empty() && d.back() == ' ')
        d.remove_suffix(1);
    return store(d, buf, size);
}

namespace {

// A text that cannot stand in one line of the file, or that the reader would take for something
// else, is refused rather than written into another entry.
bool writable(std::string_view section, std::string_view key, std::string_view value) {
    auto oneline = [](std::string_view t) { return t.find_first_of("\r\n") == t.npos; };
    std::string_view k = trim(key);
    return oneline(section) && oneline(key) && oneline(value) &&
           section.find(']') == section.npos && !k.empty() && k.find('=') == k.npos &&
           k.front() != ';' && k.front() != '[';
}

#ifndef _WIN32

// The file's text and its lines, each with its line end.
std::vector<std::string_view> splitlines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        end = end == text.npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return lines;
}

std::string_view body(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Replaces path with text through a new file beside it, so a reader sees the old file or the
// new one and never a part; the new file keeps the old one's permissions.
bool replacefile(const std::string &path, const std::string &text) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    std::string tmp = path + ".XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) return false;
    struct stat old;
    bool ok = fchmod(fd, ::stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644) == 0;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

#endif

} // namespace

bool WritePrivateProfileString(const char *section, const char *key, const char *value,
                               const char *file) {
    if (!file || !*file || !section || !key || !value || !writable(section, key, value))
        return false;
#ifdef _WIN32
    return ::WritePrivateProfileStringA(section, key, value, resolve(file).c_str()) != 0;
#else
    std::string path = resolve(file);
    // A profile kept behind a symbolic link is updated where it lives.
    if (char *real = realpath(path.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    std::string text;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            text.append(buf, n);
        const bool failed = std::ferror(f) != 0;
        std::fclose(f);
        if (failed) return false;
    } else if (errno != ENOENT) {
        return false;
    }

    const std::vector<std::string_view> lines = splitlines(text);
    const std::string_view eol =
        !lines.empty() && lines[0].ends_with("\r\n") ? std::string_view("\r\n") : "\n";
    EntryFinder finder(section, key);
    std::size_t header = lines.size(); // the wanted section's header, when there is one
    std::size_t last = lines.size();   // its last line that is not blank
    std::size_t entry = lines.size();  // the entry itself
    for (std::size_t i = 0; i < lines.size() && entry == lines.size(); ++i) {
        std::string_view v;
        const EntryFinder::Line kind = finder.feed(body(lines[i]), v);
        if (kind == EntryFinder::Line::after) break;
        if (kind == EntryFinder::Line::header) header = last = i;
        if (kind == EntryFinder::Line::entry) entry = i;
        if (kind == EntryFinder::Line::inside && !trim(body(lines[i])).empty()) last = i;
    }

    std::string out;
    out.reserve(text.size() + std::strlen(section) + std::strlen(key) + std::strlen(value) + 8);
    auto put = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            out.append(lines[i]);
    };
    if (entry < lines.size()) {
        // The key keeps its spelling and the line its end.
        const std::string_view line = lines[entry];
        const std::string_view b = body(line);
        const std::string_view name = trim(b.substr(0, b.find('=')));
        put(0, entry);
        out.append(name).append("=").append(value).append(line.substr(b.size()));
        put(entry + 1, lines.size());
    } else if (header < lines.size()) {
        put(0, last + 1);
        if (!out.ends_with('\n')) out.append(eol);
        out.append(key).append("=").append(value).append(eol);
        put(last + 1, lines.size());
    } else {
        out = text;
        if (!out.empty() && !out.ends_with('\n')) out.append(eol);
        out.append("[").append(section).append("]").append(eol);
        out.append(key).append("=").append(value).append(eol);
    }
    return replacefile(path, out);
#endif
}

namespace {

// A name without any separator is made to name the file in the current directory.
void fullname(std::string &file) {
    if (file.find_first_of("/\\") == std::string::npos) file.insert(0, {'.', PATH_SEPARATOR});
}

} // namespace

std::string HostProfileFile() {
    const char *env = std::getenv("VANTRELL_PROFILE");
    std::string file = env && *env ? env : ConfigDir() + PATH_SEPARATOR + "vantrell.ini";
    // Named in full: a bare name here means the current directory, not the configuration one.
    fullname(file);
    return file;
}

std::string RegistryFile() {
    const char *reg = std::getenv("VANTRELL_REGISTRY");
    if (reg && *reg) return reg;
    return ConfigDir() + PATH_SEPARATOR + "registry.ini";
}

RegResult RegQueryString(const char *keypath, const char *name, char *buf, std::size_t size) {
    if (buf && size > 0) buf[0] = '\0';
#ifdef _WIN32
    DWORD bytes = buf != nullptr && size <= MAXDWORD ? static_cast<DWORD>(size) : 0;
    const LSTATUS rc =
        RegGetValueA(HKEY_CURRENT_USER, keypath, name, RRF_RT_REG_SZ, nullptr, buf, &bytes);
    if (rc == ERROR_SUCCESS && buf != nullptr) return RegResult::ok;
    if (buf && size > 0) buf[0] = '\0';
    return rc == ERROR_MORE_DATA || (rc == ERROR_SUCCESS && buf == nullptr) ? RegResult::toolong
                                                                            : RegResult::absent;
#else
    std::string value;
    std::string file = RegistryFile();
    // The registry file is always named in full, never looked for in the configuration
    // directory as a bare name would be.
    fullname(file);
    if (!ReadProfileEntry(file.c_str(), keypath, name, value)) return RegResult::absent;
    if (!buf || value.size() >= size) return RegResult::toolong;
    store(value, buf, size);
    return RegResult::ok;
#endif
}

} // namespace platform
