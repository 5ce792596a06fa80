// testsupport.h - what the test fixtures share: a stream captured in memory (the library's log,
// a report), throw-away directories and the small files written into them.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace testsupport {

// How often what occurs in text, overlapping occurrences included.
inline int occurrences(const std::string &text, const std::string &what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Empty when a and b are the same bytes; else their sizes and where they first differ, with a few
// bytes from there. Compare large texts through this: a framework's report of two unequal texts
// of megabytes (a line diff of each) runs out of memory before it is printed.
inline std::string firstdifference(const std::string &a, const std::string &b) {
    if (a == b) return {};
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    auto near = [at](const std::string &s) { return '"' + s.substr(at, 16) + '"'; };
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) +
           ", first difference at offset " + std::to_string(at) + ": " + near(a) + " / " + near(b);
}

// A stream that the code under test writes and the test reads back: all of it, or only what came
// since the last look. It lives in memory; the owner hands it to the code and takes it back
// before the capture goes.
class Capture {
  public:
    Capture() : file_(open_memstream(&buf_, &len_)) {}
    ~Capture() {
        if (file_) std::fclose(file_);
        std::free(buf_);
    }
    Capture(const Capture &) = delete;
    Capture &operator=(const Capture &) = delete;

    FILE *file() const { return file_; }

    std::size_t size() {
        std::fflush(file_);
        return len_;
    }
    std::string text() { return std::string(buf_, size()); }
    int count(const std::string &what) { return occurrences(text(), what); }

    // What was written since the last call.
    std::string fresh() {
        std::string all = text();
        std::string out = all.substr(seen_);
        seen_ = all.size();
        return out;
    }

  private:
    char *buf_ = nullptr;
    std::size_t len_ = 0;
    FILE *file_;
    std::size_t seen_ = 0;
};

// A fresh directory made from tmpl ("/tmp/nameXXXXXX"); empty when it cannot be made.
inline std::string makedir(const char *tmpl) {
    std::string name = tmpl;
    return mkdtemp(name.data()) ? name : std::string();
}

// Writes text to path as it stands (no line-end translation), making the folders it needs.
inline bool writefile(const std::filesystem::path &path, const std::string &text) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool whole = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && whole;
}

// A new file made from tmpl ("/tmp/nameXXXXXX") that holds exactly text; its path, empty when it
// cannot be made or written whole.
inline std::string tempfile(const char *tmpl, const std::string &text) {
    std::string name = tmpl;
    const int fd = mkstemp(name.data());
    if (fd < 0) return {};
    const bool whole = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (::close(fd) != 0 || !whole) {
        std::remove(name.c_str());
        return {};
    }
    return name;
}

// The whole of a file, empty when it cannot be read.
inline std::string readfile(const std::filesystem::path &path) {
    std::string text;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

// Points the suite's settings (the registry file and the per-user configuration) into dir, so
// that a run reads none of the machine's.
inline void privatesettings(const std::string &dir) {
    setenv("VANTRELL_REGISTRY", (dir + "/registry.ini").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
}

} // namespace testsupport
