// cpath.cpp - search-path lists, tilde expansion, the initialisation file and file lookup.
//
// Owns the three path lists (symbol search path, second search path, start-up path), the status
// of the last list change, the found-name buffer of PathOpen, the expansion of "~" with its cache
// of named elements, the initialisation-file name and the directories that "$VANUSER" and
// "$CSDEVLIB" stand for, and the -pathDEBUG switch with the stream the traces go to. FreePaths
// returns the lists, the cache and the switch to their start state at the end of every run, so
// each run starts from the defaults plus its own "-p", "-k" and "-pathDEBUG".
#include "cfpath.h"
#include "cfpathint.h"

#include "cfstring.h"
#include "platform/profile.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace cf {

namespace {

constexpr const char PDEFAULT[] = ".+~+~p3\\library\\default"; // symbol search path
constexpr const char KDEFAULT[] = ".+~+~p3\\wcs\\lib";         // second and start-up paths
constexpr const char NOHOME[] = "c:/korbelt"; // a "~" the initialisation file does not know
constexpr const char REGKEY[] = "Software\\Morvek\\Vantrell\\8.7\\Directories";
constexpr const char INIFILE[] = "van87.ini";
constexpr const char INISECTION[] = "VANTRELL";
constexpr int TILDESLOTS = 20;
constexpr int TILDEKEEP = 19;  // the cache stops one short of its slots
constexpr int TILDEKEY = 1023; // longest "~name" key
constexpr int INIVALUE = 256;  // an initialisation-file value: 255 characters and terminator

struct TildeEntry {
    char *key; // "~NAME", upper case
    char *dir; // its directory
};

struct CpathState {
    char *ppath;                   // symbol search path ("-p"); null while absent
    char *kpath;                   // second search path ("-k"); null while absent
    char *rcpath;                  // start-up path, searched for "cad.rc"; null while absent
    int status;                    // result of the last list change (PATH_OK ...)
    char found[600];               // the last name PathOpen tried or opened
    char *homedir;                 // expansion of a lone "~"; null until first needed
    TildeEntry tcache[TILDESLOTS]; // expansions of named "~" elements
    int tcount;                    // entries of tcache in use
    char tvalue[INIVALUE];         // the directory of a name the full cache could not take
    char inifile[260];             // rebuilt by GetIniFile at every call
    char userdir[260];             // what "$VANUSER" stands for
    char devdir[260];              // what "$CSDEVLIB" stands for
};

constinit CpathState cp{};

bool issep(int c) {
    return c == '\\' || c == '/';
}

bool hasdrive(std::string_view s) {
    return s.size() >= 2 && isalphac(s[0]) && s[1] == ':';
}

// Every separator of s becomes the system's own.
void separators(std::string &s) {
    for (char &c : s)
        if (issep(c)) c = platform::PATH_SEPARATOR;
}

// Bounded copy into a fixed buffer; the text is cut when it does not fit.
void copyto(char *buf, std::size_t size, std::string_view s) {
    std::size_t n = s.size() < size - 1 ? s.size() : size - 1;
    std::memcpy(buf, s.data(), n);
    buf[n] = '\0';
}

char *heapcopy(std::string_view s) {
    char *p = static_cast<char *>(std::malloc(s.size() + 1));
    if (!p) throw std::bad_alloc();
    std::memcpy(p, s.data(), s.size());
    p[s.size()] = '\0';
    return p;
}

// Collects the elements of a list in order, each once. The set keeps the duplicate test
// constant-time, so a path string costs time in proportion to its length.
class ListBuilder {
  public:
    void add(std::string_view e) {
        if (!seen.emplace(e).second) return;
        if (!text.empty()) text.push_back('+');
        text.append(e);
    }
    // The elements of a list built earlier (already expanded).
    void addlist(const char *list) {
        std::string_view s = list ? list : "";
        while (!s.empty()) {
            std::size_t j = s.find('+');
            std::string_view e = s.substr(0, j);
            if (!e.empty()) add(e);
            if (j == std::string_view::npos) break;
            s.remove_prefix(j + 1);
        }
    }
    void install(char **list) const {
        char *p = heapcopy(text);
        std::free(*list);
        *list = p;
    }

  private:
    std::string text;
    std::unordered_set<std::string> seen;
};

// Expands and adds one element of a path string.
void addelement(ListBuilder &b, std::string_view elem) {
    if (elem.size() > static_cast<std::size_t>(MAXNAME)) {
        cp.status = PATH_TOOLONG;
        return;
    }
    std::string e(elem);
    std::size_t off = hasdrive(e) ? 2 : 0;
    if (off < e.size() && e[off] == '~') {
        char *x = exptilde(e.c_str() + off);
        if (!x) {
            cp.status = PATH_BADTILDE;
            return;
        }
        e.replace(off, std::string::npos, x);
        std::free(x);
        if (e.size() > static_cast<std::size_t>(MAXNAME)) {
            cp.status = PATH_TOOLONG;
            return;
        }
    }
    b.add(e);
}

// Adds the elements of a path string: "+" separates, a run of two or more adds ".".
void addelements(ListBuilder &b, std::string_view t) {
    std::size_t i = 0;
    while (i < t.size()) {
        if (t[i] == '+') {
            std::size_t j = t.find_first_not_of('+', i);
            if (j == std::string_view::npos) j = t.size();
            if (j - i >= 2) b.add(".");
            i = j;
            continue;
        }
        std::size_t j = t.find('+', i);
        if (j == std::string_view::npos) j = t.size();
        addelement(b, t.substr(i, j - i));
        i = j;
    }
}

void installdefault(char **list, const char *def) {
    if (!*list) SetPath(def, list);
}

// The directory of a "~NAME" key: from the cache, else from the initialisation file.
const char *tildedir(const char *key) {
    for (int i = 0; i < cp.tcount; ++i)
        if (std::strcmp(cp.tcache[i].key, key) == 0) {
            pathtrace("Tilde cache hit: %s=%s\n", key, cp.tcache[i].dir);
            return cp.tcache[i].dir;
        }
    platform::GetPrivateProfileString(INISECTION, key, "", cp.tvalue, sizeof cp.tvalue,
                                      GetIniFile());
    const char *dir = cp.tvalue[0] ? cp.tvalue : NOHOME;
    if (cp.tcount < TILDEKEEP) {
        char *k = stralloc(key);
        char *d = stralloc(dir);
        if (k && d) {
            cp.tcache[cp.tcount++] = {k, d};
            return d;
        }
        std::free(k);
        std::free(d);
    }
    return dir;
}

} // namespace

namespace {

struct TraceState {
    int pathdebug;  // the -pathDEBUG switch: an option row's flag
    std::FILE *log; // where traces and notices go; null for standard error
};

constinit TraceState trace{};

} // namespace

int &pathdebugflag() {
    return trace.pathdebug;
}

void SetPathLog(std::FILE *log) {
    trace.log = log;
}

bool pathdebug() {
    return trace.pathdebug != 0;
}

std::FILE *pathlog() {
    return trace.log ? trace.log : stderr;
}

void pathtrace(const char *fmt, ...) {
    if (!pathdebug()) return;
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(pathlog(), fmt, ap);
    va_end(ap);
}

const char *RcGetPath() {
    return cp.rcpath;
}

const char *RcInstallPath() {
    installdefault(&cp.rcpath, KDEFAULT);
    return cp.rcpath ? cp.rcpath : "";
}

void SetPath(const char *text, char **list) {
    pathtrace("SetPath: %s\n", text ? text : "(null)");
    if (!text || !list) return;
    try {
        ListBuilder b;
        std::string_view t = text;
        if (t.empty()) {
            b.add(".");
        } else if (t.front() == '+') {
            b.addlist(*list);
            addelements(b, t.substr(1));
        } else if (t.back() == '+') {
            // "x+" is "x" as a new list with the old one behind it; every further trailing "+"
            // is one more such step, each traced as it is taken.
            t.remove_suffix(1);
            while (!t.empty() && t.back() == '+') {
                pathtrace("SetPath: %.*s\n", static_cast<int>(t.size()), t.data());
                t.remove_suffix(1);
            }
            pathtrace("SetPath: %.*s\n", static_cast<int>(t.size()), t.data());
            addelements(b, t);
            b.addlist(*list);
        } else {
            addelements(b, t);
        }
        b.install(list);
    } catch (const std::bad_alloc &) {
        std::free(*list);
        *list = nullptr;
        cp.status = PATH_TOOLONG;
    }
}

namespace {

// Changes a search path by text, its default put in first when it has none; the status.
int setsearchpath(const char *routine, const char *text, char **list, const char *def) {
    pathtrace("%s: string is %s\n", routine, text ? text : "(null)");
    cp.status = PATH_OK;
    installdefault(list, def);
    SetPath(text, list);
    return cp.status;
}

} // namespace

int PSetPath(const char *text) {
    return setsearchpath("PSetPath", text, &cp.ppath, PDEFAULT);
}

int KSetPath(const char *text) {
    return setsearchpath("KSetPath", text, &cp.kpath, KDEFAULT);
}

const char *PGetPath() {
    installdefault(&cp.ppath, PDEFAULT);
    return cp.ppath ? cp.ppath : "";
}

const char *KGetPath() {
    installdefault(&cp.kpath, KDEFAULT);
    return cp.kpath ? cp.kpath : "";
}

char *exptilde(const char *text) {
    if (!text) return nullptr;
    if (text[0] != '~') return stralloc(text);
    const char *dir;
    const char *rest;
    if (text[1] == '\0' || issep(text[1]) || text[1] == '.') {
        if (!cp.homedir) {
            char value[INIVALUE];
            platform::GetPrivateProfileString(INISECTION, "~", "", value, sizeof value,
                                              GetIniFile());
            cp.homedir = stralloc(value[0] ? value : NOHOME);
            if (!cp.homedir) return nullptr;
        }
        dir = cp.homedir;
        rest = text + 1;
        pathtrace("exptilde: found ~, dir = %s, input = %s\n", dir, rest);
    } else {
        char key[TILDEKEY + 1];
        int n = 0;
        key[n++] = '~';
        rest = text + 1;
        while (*rest && !issep(*rest) && *rest != '.' && n < TILDEKEY)
            key[n++] = *rest++;
        key[n] = '\0';
        strtoupper(key);
        pathtrace("exptilde: tuid = %s, input = %s\n", key, rest);
        dir = tildedir(key);
    }
    std::size_t dl = std::strlen(dir);
    if (dl > 0 && issep(dir[dl - 1]) && issep(rest[0])) ++rest;
    std::size_t rl = std::strlen(rest);
    char *out = static_cast<char *>(std::malloc(dl + rl + 1));
    if (!out) return nullptr;
    std::memcpy(out, dir, dl);
    std::memcpy(out + dl, rest, rl + 1);
    return out;
}

char *GetHomeDir(char *buf, int size) {
    if (!buf || size <= 0) return buf;
    buf[0] = '\0';
    // One byte is kept back for the separator.
    if (size < 3 ||
        platform::RegQueryString(REGKEY, "Home Dir", buf, size - 1) != platform::RegResult::ok)
        return buf;
    if (buf[0]) {
        std::size_t n = std::strlen(buf);
        buf[n] = platform::PATH_SEPARATOR;
        buf[n + 1] = '\0';
    }
    return buf;
}

const char *GetIniFile() {
    constexpr int room = static_cast<int>(sizeof cp.inifile - (sizeof INIFILE - 1));
    GetHomeDir(cp.inifile, room);
    std::strcat(cp.inifile, INIFILE);
    return cp.inifile;
}

void FreePaths() {
    for (char **list : {&cp.ppath, &cp.kpath, &cp.rcpath}) {
        std::free(*list);
        *list = nullptr;
    }
    std::free(cp.homedir);
    cp.homedir = nullptr;
    for (int i = 0; i < cp.tcount; ++i) {
        std::free(cp.tcache[i].key);
        std::free(cp.tcache[i].dir);
        cp.tcache[i] = {};
    }
    cp.tcount = 0;
    trace.pathdebug = 0;
}

void SetLibDirs(const char *userdir, const char *devdir) {
    copyto(cp.userdir, sizeof cp.userdir, userdir ? userdir : "");
    copyto(cp.devdir, sizeof cp.devdir, devdir ? devdir : "");
}

namespace {

// The files opened for reading, until ForgetOpenedFiles. Made on first use rather than at load, so
// the library has no static constructor.
std::vector<platform::FileId> &openedfiles() {
    static std::vector<platform::FileId> files;
    return files;
}

// Puts a candidate in the found-name buffer and opens it; one that does not fit is recorded cut
// but never opened, since the cut name would be another file.
std::FILE *trycandidate(const std::string &cand, const char *mode, bool trace) {
    copyto(cp.found, sizeof cp.found, cand);
    if (cand.size() > static_cast<std::size_t>(MAXNAME)) return nullptr;
    if (trace) pathtrace("PathOpen: trying: \"%s\"\n", cp.found);
    std::FILE *f = std::fopen(cp.found, mode);
    platform::FileId id;
    if (f != nullptr && mode[0] == 'r' && platform::IdOfStream(f, id)) openedfiles().push_back(id);
    return f;
}

// Expands a leading "~" of a candidate and gives it the system's separators; false when the
// "~" cannot be expanded, which ends the search.
bool expandcand(std::string &cand) {
    if (cand[0] == '~') {
        char *x = exptilde(cand.c_str());
        if (!x) return false;
        cand = x;
        std::free(x);
    }
    separators(cand);
    return true;
}

// The name opened as it stands, after a leading "~" is expanded.
std::FILE *opendirect(std::string cand, const char *mode) {
    if (!expandcand(cand)) return nullptr;
    return trycandidate(cand, mode, true);
}

// "$VANUSER/..." or "$CSDEVLIB/...": the directory, the name behind the prefix and ext.
std::FILE *openlibdir(const std::string &given, std::string_view prefix, const char *dir,
                      const char *ext, const char *mode) {
    if (given.size() <= prefix.size() ||
        !strncieql(given.c_str(), prefix.data(), static_cast<int>(prefix.size())) ||
        !issep(given[prefix.size()]))
        return nullptr;
    std::string cand = dir;
    cand.append(given, prefix.size());
    cand.append(ext ? ext : "");
    separators(cand);
    return trycandidate(cand, mode, false);
}

} // namespace

std::FILE *PathOpen(const char *name, const char *mode, const char *ext, char **tried,
                    const char *list) {
    if (!name || !*name || !mode) return nullptr;
    if (tried) *tried = cp.found;
    cp.found[0] = '\0';
    std::string given = name;
    separators(given);
    std::string work = given;
    if (!hasext(name) && ext) work.append(ext);
    if (work.size() > static_cast<std::size_t>(MAXNAME)) {
        copyto(cp.found, sizeof cp.found, work);
        return nullptr;
    }

    if (work[0] == '~' || issep(work[0]) || hasdrive(work) || (work[0] == '.' && issep(work[1])) ||
        (work.starts_with("..") && issep(work[2])))
        return opendirect(work, mode);

    if (std::FILE *fp = openlibdir(given, "$VANUSER", cp.userdir, ext, mode)) return fp;
    if (std::FILE *fp = openlibdir(given, "$CSDEVLIB", cp.devdir, ext, mode)) return fp;

    std::string_view s = list ? list : "";
    while (!s.empty()) {
        std::size_t j = s.find('+');
        std::string_view elem = s.substr(0, j);
        s.remove_prefix(j == std::string_view::npos ? s.size() : j + 1);
        // An empty element would make the name absolute; lists built here never hold one.
        if (elem.empty()) continue;
        std::string cand(elem);
        if (!issep(cand.back())) cand.push_back(platform::PATH_SEPARATOR);
        cand.append(work);
        if (!expandcand(cand)) return nullptr;
        if (std::FILE *fp = trycandidate(cand, mode, true)) return fp;
    }
    return nullptr;
}

std::FILE *PPathOpen(const char *name, const char *mode, const char *ext, char **tried) {
    return PathOpen(name, mode, ext, tried, PGetPath());
}

const char *lastsep(const char *name) {
    if (!name) return nullptr;
    const char *last = nullptr;
    for (const char *p = name; *p; ++p)
        if (issep(*p)) last = p;
    return last;
}

char *lastsep(char *name) {
    return const_cast<char *>(lastsep(static_cast<const char *>(name)));
}

const char *filepart(const char *name) {
    if (!name) return nullptr;
    const char *sep = lastsep(name);
    return sep ? sep + 1 : name;
}

char *filepart(char *name) {
    return const_cast<char *>(filepart(static_cast<const char *>(name)));
}

char *toseparators(char *name) {
    if (name)
        for (char *p = name; *p; ++p)
            if (issep(*p)) *p = platform::PATH_SEPARATOR;
    return name;
}

const char *hasext(const char *name) {
    if (!name) return nullptr;
    return std::strrchr(filepart(name), '.');
}

char *hasext(char *name) {
    return const_cast<char *>(hasext(static_cast<const char *>(name)));
}

char *stripext(char *name, const char *ext) {
    char *dot = hasext(name);
    if (dot && (!ext || !*ext || std::strcmp(dot, ext) == 0)) *dot = '\0';
    return name;
}

void splitwords(const char *text, int *count, char ***vector) {
    if (!count || !vector) return;
    *count = 0;
    *vector = nullptr;
    if (!text) return;
    char **vec = nullptr;
    int n = 0;
    int cap = 0;
    bool failed = false;
    std::string word;
    const char *p = text;
    while (!failed) {
        while (isspacec(static_cast<unsigned char>(*p)))
            ++p;
        if (!*p) break;
        word.clear();
        char quote = '\0';
        for (; *p; ++p) {
            if (quote) {
                if (*p == quote)
                    quote = '\0';
                else
                    word.push_back(*p);
            } else if (*p == '\'' || *p == '"') {
                quote = *p;
            } else if (isspacec(static_cast<unsigned char>(*p))) {
                break;
            } else {
                word.push_back(*p);
            }
        }
        // Room for the word and the final null.
        if (n + 2 > cap) {
            int ncap = cap ? cap * 2 : 8;
            char **nv = static_cast<char **>(std::realloc(vec, sizeof(char *) * ncap));
            if (!nv) {
                failed = true;
                break;
            }
            vec = nv;
            cap = ncap;
        }
        char *w = stralloc(word.c_str());
        failed = w == nullptr;
        if (w) {
            vec[n++] = w;
            vec[n] = nullptr;
        }
    }
    if (failed) {
        // No half vector is handed out.
        for (int i = 0; i < n; ++i)
            std::free(vec[i]);
        std::free(vec);
        return;
    }
    *count = n;
    *vector = vec;
}

bool OpenedForReading(const platform::FileId &file) {
    return std::find(openedfiles().begin(), openedfiles().end(), file) != openedfiles().end();
}

void ForgetOpenedFiles() {
    openedfiles().clear();
}

} // namespace cf
