// rddsn2_write.cpp - module rddsn2, continued: the design-file writer.
//
// xxwritedsn writes the database that xxrddsn2 read back as a "[design2]" file: the recorded
// search path, the entries with their pages, the tool lines with a fresh line for this program,
// the attributes and the comments. Before a file is written the old one is moved into the backup
// directory (rdss2_backup.cpp); a file that could not be written whole is removed again, so the
// target holds a whole database or nothing, and the old one is in the backup. No state.
#include "kdxint.h"
#include "platform/sysfile.h"

#include "cfpath.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace kdx {

namespace {

inline constexpr int TOOLFIELDS = 7; // fields of "t %s%s%d%s%d%s%s"

// ---- Tool lines, scanned as "t %s%s%d%s%d%s%s" scans them ----

void skipspace(const char *&s) {
    while (cf::isspacec(static_cast<unsigned char>(*s)))
        ++s;
}

bool scanword(const char *&s, std::string *word) {
    skipspace(s);
    const char *start = s;
    while (*s && !cf::isspacec(static_cast<unsigned char>(*s)))
        ++s;
    if (s == start) return false;
    if (word) word->assign(start, s);
    return true;
}

bool scannumber(const char *&s) {
    skipspace(s);
    if (*s == '+' || *s == '-') ++s;
    if (!cf::isdigitc(static_cast<unsigned char>(*s))) return false;
    while (cf::isdigitc(static_cast<unsigned char>(*s)))
        ++s;
    return true;
}

// The program that wrote a tool line (its seventh field); false when the line does not give
// seven fields.
bool toolprogram(const char *line, std::string *program) {
    if (!line || line[0] != 't') return false;
    const char *s = line + 1;
    int fields = 0;
    for (bool number : {false, false, true, false, true, false, false}) {
        if (!(number ? scannumber(s) : scanword(s, fields == TOOLFIELDS - 1 ? program : nullptr)))
            return false;
        ++fields;
    }
    return fields == TOOLFIELDS;
}

// "[tools]": the lines of other programs as they were, this program's own old lines removed
// from the database, then one new line for this program.
void writetools(FILE *out) {
    const char *self = xxprogname();
    if (!self) self = "";
    std::string program;
    for (linecell **link = xxdsn2tools(); *link;) {
        linecell *c = *link;
        if (!toolprogram(c->text, &program)) {
            xxerror('m', "WARNING: Error in [tools] section of design file");
        } else if (cf::strcieql(program.c_str(), self)) {
            *link = c->next;
            continue;
        } else {
            std::fprintf(out, "%s\n", c->text);
        }
        link = &c->next;
    }
    if (net *top = xxdsn2top()) top->tools = *xxdsn2tools();
    const std::time_t now = std::time(nullptr);
    char when[platform::TIMETEXT_SIZE] = "";
    platform::TimeText(now, when);
    std::fprintf(out, "t %24.24s extracted %s -k %s -p %s\n", when, self, cf::KGetPath(),
                 cf::PGetPath());
}

// "[attributes]": the attributes read with the database, in the order of its file. The writer
// has no cell uses of its own to add; dropping what was read would lose every back-annotated
// value of the file.
void writeattrs(FILE *out) {
    std::vector<prop *> attrs;
    for (prop *p = xxdsn2attrs(); p; p = propnext(p))
        attrs.push_back(p);
    for (auto p = attrs.rbegin(); p != attrs.rend(); ++p) {
        std::fputs("p", out);
        // The qualifiers read path, symid, tx, ty, scale, rot, display.
        for (prop *q = (*p)->sub; q; q = propnext(q)) {
            const char *v = xxproprval(q);
            std::fprintf(out, " %s", v ? v : "");
        }
        std::fprintf(out, " %s\n", (*p)->text);
    }
}

void writedb(FILE *out) {
    const char *path = xxdsn2path();
    std::fprintf(out, "[design2]\np %s\n", path ? path : "");
    std::fputs("[sch:sym]\n", out);
    for (dsn2entry *e = xxdsn2entries(); e; e = e->next) {
        if (e->kind == 'T') {
            std::fputs("T\n", out);
        } else {
            const char *name = e->name ? e->name : "";
            int len = static_cast<int>(std::strlen(name));
            // A design's name carries the "@D" it was given when read.
            if (e->kind == 'D' && len >= 2) len -= 2;
            std::fprintf(out, "%c %.*s\n", e->kind, len, name);
        }
        for (dsn2entry *c = e->subs; c; c = c->next)
            std::fprintf(out, "%c %s %s\n", 'c', c->name ? c->name : "", c->text2 ? c->text2 : "");
        std::fputs("_\n", out);
    }
    std::fputs("[tools]\n", out);
    writetools(out);
    std::fputs("[attributes]\n", out);
    writeattrs(out);
    std::fputs("[comments]\n", out);
    for (linecell *c = xxdsn2comments(); c; c = c->next)
        std::fprintf(out, "%s\n", c->text ? c->text : "<NULL>");
}

void saykept(const std::string &target) {
    xxerr("m", "the previous %s is kept as %s", target.c_str(), xxbackupname());
}

} // namespace

int xxwritedsn(const char *file) {
    RoutineScope scope("xxwritedsn");
    net *top = xxdsn2top();
    if (!top) {
        xxerr("en", "No .dsn file to back annotate.");
        return 0;
    }
    if (!file && !(file = xxpropval(xxfindprop(top, "file", 0)))) {
        xxerr("en", "Can not find .dsn file to back annotate.");
        return 0;
    }
    if (cf::strcieql(file, "stdout")) {
        writedb(xxlog());
        return 1;
    }

    std::string target = file;
    if (const char *ext = cf::hasext(file)) target.resize(static_cast<std::size_t>(ext - file));
    target += ".dsn";
    xxelapsed();
    if (!xxbackup(target.c_str())) return 0;
    if (xxoptions().verbose) xxerr("m", "backup complete (%d)", xxelapsed());
    FILE *out = std::fopen(target.c_str(), "w");
    if (!out) {
        xxerr("en", "Can not open file %s", target.c_str());
        saykept(target);
        return 0;
    }
    writedb(out);
    bool whole = !std::ferror(out);
    const bool plain = platform::IsRegularStream(out);
    if (std::fclose(out) != 0) whole = false;
    if (!whole) {
        // A part of a database would read as a whole one with entries missing.
        xxerr("en", "Can not write file %s", target.c_str());
        if (plain) std::remove(target.c_str());
        saykept(target);
        return 0;
    }
    return 1;
}

} // namespace kdx
