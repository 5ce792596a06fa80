// file.cpp - the start-up file: finding a program's options in "cad.rc".
//
// Owns the copy of the start-up file name. The file is looked for in each directory of the
// start-up path in turn, and the first file holding a line for the program wins. A logical line
// is one or more physical lines joined where a line ends with "@"; it is kept within a
// 2,048-byte buffer.
#include "cfpath.h"
#include "platform/sysfile.h"
#include "cfpathint.h"

#include "cfstring.h"

#include <cstring>
#include <string>
#include <string_view>

namespace cf {

namespace {

constexpr std::size_t RCLINE = 2048; // a logical line and its terminator
constexpr std::size_t RCWORD = 99;   // the part of a first word that is compared

struct FileState {
    char rcname[32];   // the start-up file name in use
    char line[RCLINE]; // the logical line of the program, joined
};

constinit FileState fs{};

// One physical line as read into the line buffer.
struct Segment {
    bool at;  // the line, without its line end, ends with "@"
    bool cut; // characters were dropped because the buffer was full
};

// Appends the next physical line to buf[len..] as far as it fits, without its line feed and
// trailing carriage returns. The rest of an over-long line is passed over, so that it never
// reads as a line of its own. False at the end of the file with nothing read.
bool readline(std::FILE *fp, char *buf, std::size_t &len, Segment &seg) {
    seg = {};
    std::size_t start = len;
    int last = 0; // last character other than a carriage return
    int c;
    bool any = false;
    while ((c = platform::ReadChar(fp)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (c != '\r') last = c;
        if (len < RCLINE - 1)
            buf[len++] = static_cast<char>(c);
        else if (c != '\r')
            seg.cut = true;
    }
    while (len > start && buf[len - 1] == '\r')
        --len;
    buf[len] = '\0';
    seg.at = last == '@';
    return any;
}

// The first word of a line as it is compared with the program name: at most 99 characters,
// without a trailing "@".
std::string firstword(const char *line) {
    const char *p = line;
    while (isspacec(static_cast<unsigned char>(*p)))
        ++p;
    std::string word;
    while (*p && !isspacec(static_cast<unsigned char>(*p)) && word.size() < RCWORD)
        word.push_back(*p++);
    if (!word.empty() && word.back() == '@') word.pop_back();
    return word;
}

// Finds the logical line of prog in fp and leaves it, joined, in buf.
bool findline(std::FILE *fp, const char *prog, char *buf) {
    std::size_t len;
    Segment seg;
    for (;;) {
        len = 0;
        if (!readline(fp, buf, len, seg)) return false;
        std::string word = firstword(buf);
        // Every physical line is tested, a continuation of another program's line too: a
        // stored file may rely on a program's line following such a line.
        if (!word.empty() && word == prog) break;
    }
    while (seg.at) {
        if (!seg.cut && len > 0 && buf[len - 1] == '@') buf[--len] = '\0';
        if (!readline(fp, buf, len, seg)) break; // at the end of the file the "@" is simply dropped
    }
    return true;
}

} // namespace

int ReadRcFile(const char *fname, const char *prog, int *count, char ***vector, char **file) {
    if (count) *count = 0;
    if (vector) *vector = nullptr;
    std::string_view name = fname ? fname : "";
    // A name that does not fit is not looked for: its cut form would be another file.
    bool fits = name.size() < sizeof fs.rcname;
    std::size_t n = fits ? name.size() : sizeof fs.rcname - 1;
    std::memcpy(fs.rcname, name.data(), n);
    fs.rcname[n] = '\0';
    if (file) *file = fs.rcname;
    const char *rcpath = RcGetPath();
    pathtrace("CReadRc: entered:fname = %s, prog = %s, path = %s\n", fs.rcname,
              prog ? prog : "(null)", rcpath ? rcpath : "(null)");
    if (!fits || name.empty() || !prog || !count || !vector) return 0;

    std::string path = RcInstallPath();
    std::string_view rest = path;
    while (!rest.empty()) {
        std::size_t j = rest.find('+');
        std::string elem(rest.substr(0, j));
        rest.remove_prefix(j == std::string_view::npos ? rest.size() : j + 1);
        char *tried = nullptr;
        std::FILE *fp = PathOpen(fs.rcname, "r", "", &tried, elem.c_str());
        if (file) *file = tried;
        if (!fp) continue;
        bool found = findline(fp, prog, fs.line);
        std::fclose(fp);
        if (!found) continue;
        pathtrace("CReadRc: found line \"%s\" in %s\n", fs.line, tried);
        splitwords(fs.line, count, vector);
        return 1;
    }
    if (file) *file = fs.rcname;
    return 0;
}

int CReadRc(const char *prog, int *count, char ***vector, char **file) {
    return ReadRcFile("cad.rc", prog, count, vector, file);
}

} // namespace cf
