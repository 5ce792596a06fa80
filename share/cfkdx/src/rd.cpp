// rd.cpp - file opening and header recognition for every reader of the library.
//
// Owns the two file records (primary and secondary), which of them is current, and the net the
// read driver is reading (xxcurnet), which every reader fills. xxfdopen finds a file along the
// symbol search path, gives it the record's stdio buffer and recognises its kind by the header
// word; xxfdclose ends it. The character and line routines on the current record are in rd2.cpp.
#include "kdxint.h"

#include "cfpath.h"
#include "platform/sysfile.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace kdx {

namespace {

struct RdState {
    filerec files[2]; // the primary and the secondary file record
    filerec *cur;     // the current record; null means the primary one
    net *curnet;      // the net the read driver is reading
};

constinit RdState rd{{{nullptr, 0, nullptr, 1, nullptr, 0, nullptr, 0, nullptr, 0, 0, {}},
                      {nullptr, 0, nullptr, 1, nullptr, 0, nullptr, 0, nullptr, 0, 0, {}}},
                     nullptr,
                     nullptr};

filerec &current() {
    return rd.cur ? *rd.cur : rd.files[XXFILE_PRIMARY];
}

void closerec(filerec &f) {
    if (f.stream && f.open && f.own) std::fclose(f.stream);
    f.stream = nullptr;
    f.own = 0;
    f.section = nullptr;
    f.line = 1;
    f.open = 0;
    f.midline = 0;
    std::free(f.memdata);
    f.memdata = nullptr;
    f.memsize = 0;
    f.mempos = 0;
    xxsecforget(f);
}

inline constexpr std::size_t MEMFILE_MAX = std::size_t{16} << 20; // larger files are streamed

// The expected type named in "unable to open file %s%s for reading".
const char *expectedtype(const char *name, int kinds) {
    if (cf::hasext(name)) return "";
    if (kinds & XXK_SYMBOL) return ".sym";
    if (!(kinds & XXK_NETLIST)) return ".sch or .dsn";
    if (kinds & XXK_SCHEMATIC) return ".imf, .ims, .sch, .dsn";
    return ".imf, .ims";
}

} // namespace

void xxusefile(int which) {
    rd.cur = &rd.files[which == XXFILE_SECONDARY ? XXFILE_SECONDARY : XXFILE_PRIMARY];
}

filerec *xxcurfile() {
    return &current();
}

net *xxcurnet() {
    return rd.curnet;
}

void xxsetcurnet(net *n) {
    rd.curnet = n;
}

void xxrdinit() {
    // Which record is current stays as it is: xxfdopen may initialise the library while the
    // symbol-file reader has made the secondary record current.
    for (filerec &f : rd.files) {
        closerec(f);
        f.name = nullptr;
    }
}

void xxrdfree() {
    for (filerec &f : rd.files) {
        closerec(f);
        f.name = nullptr; // it lived in the object buffer that is going away
    }
    rd.cur = &rd.files[XXFILE_PRIMARY];
    xxsetcurnet(nullptr);
}

int xxcurinput(const char **name, int *line) {
    const filerec &f = current();
    if (!f.open || !f.stream) return 0;
    if (name) *name = f.name ? f.name : "";
    if (line) *line = f.line;
    return 1;
}

void xxfdclose() {
    QuietRoutineScope scope("xxfdclose");
    filerec &f = current();
    if (f.stream && f.open) closerec(f);
}

int xxfdopen(FILE *stream, const char *name, int kinds, const char **path) {
    RoutineScope scope("xxfdopen");
    xxfdclose();
    if (!name || !*name) {
        xxerr("renl", "no filename specified");
        return 0;
    }
    if (!xxgetroot()) xxinit();

    // Work on a copy: the caller's text may be a hashed net name, which must not change.
    std::string given(name);
    if (given.back() == '\r') given.pop_back();
    std::string symname = given;
    if ((kinds & XXK_SYMBOL) && symname.size() >= 2 &&
        symname.compare(symname.size() - 2, 2, "@D") == 0)
        symname.resize(symname.size() - 2);
    if (kinds & (XXK_DESIGN | XXK_SCHEMATIC)) kinds |= XXK_DESIGN | XXK_SCHEMATIC;

    FILE *fp = nullptr;
    const char *found = given.c_str();
    bool ours = false;
    if (stream) {
        std::rewind(stream);
        fp = stream;
    } else {
        struct Try {
            int kind;
            const char *ext;
        };
        static constexpr Try tries[] = {
            {XXK_NETLIST, ".imf"},   {XXK_NETLIST, ".ims"},   // netlist files first
            {XXK_SCHEMATIC, ".dsn"}, {XXK_SCHEMATIC, ".sch"}, // then designs and schematics
            {XXK_SYMBOL, ".sym"},                             // then symbol files
        };
        for (const Try &t : tries) {
            if (!(kinds & t.kind)) continue;
            const std::string &n = t.kind == XXK_SYMBOL ? symname : given;
            char *tried = nullptr;
            // The readers count the bytes they pass and seek back to them: the file's bytes
            // as they stand, with no line ends translated.
            fp = cf::PPathOpen(n.c_str(), "rb", t.ext, &tried);
            if (fp) {
                if (tried) found = tried;
                ours = true;
                break;
            }
        }
        if (!fp) {
            if (!(kinds & XXK_QUIET))
                xxerr("e", "unable to open file %s%s for reading", given.c_str(),
                      expectedtype(given.c_str(), kinds));
            return 0;
        }
    }

    filerec &f = current();
    char *served = nullptr;
    std::size_t servedsize = 0;
    if (ours) {
        // A design is thousands of small files, and the section search moves about in each (it
        // reads a file to its end to learn where the sections are, then goes back to them): a
        // file the library opens itself is read whole, once, and its bytes are read in memory,
        // so every move is a pointer change and no character passes through stdio.
        served = platform::ReadWholeFile(fp, MEMFILE_MAX, &servedsize);
    }
    if (ours && served == nullptr) {
        std::setvbuf(fp, f.buffer, _IOFBF, sizeof f.buffer);
        // Only this library reads the stream, from one thread: the locking that ungetc and the
        // seeks of the section search would do on every call buys nothing.
        platform::ReadOnlyHere(fp);
    }
    f.stream = fp;
    f.own = ours ? 1 : 0;
    f.name = xxalstr(&xxalbuf, found);
    f.line = 1;
    f.section = nullptr;
    f.open = 1;
    f.midline = 0;
    f.memdata = served;
    f.memsize = servedsize;
    f.mempos = 0;
    if (path) *path = f.name;
    if (xxoptions().v) xxerror('m', "Reading file %s", f.name ? f.name : found);

    const char *hdr = xxrdhdr();
    if (!hdr) {
        xxfdclose();
        return 0;
    }
    f.section = hdr;
    if ((kinds & XXK_SYMBOL) && cf::strcieql(hdr, "[symbol2]")) return XXK_SYMBOL;
    if ((kinds & XXK_NETLIST) && cf::strcieql(hdr, "[simulation]")) return XXK_NETLIST;
    if ((kinds & XXK_SCHEMATIC) && cf::strcieql(hdr, "[schematic2]")) return XXK_SCHEMATIC;
    if ((kinds & XXK_DESIGN) && (cf::strcieql(hdr, "[design]") || cf::strcieql(hdr, "[design2]")))
        return XXK_DESIGN;
    xxerr("en", "incorrect file header: %s", hdr);
    xxfdclose();
    return 0;
}

const char *xxrdhdr() {
    RoutineScope scope("xxrdhdr");
    char word[100];
    for (;;) {
        if (xxpeek() == EOF) {
            xxerr("enl", "empty input file");
            return nullptr;
        }
        if (xxrdstr(word, sizeof word)) break;
        xxpurgeline();
    }
    xxpurgeline();
    return xxalstr(&xxalbuf, word);
}

} // namespace kdx
