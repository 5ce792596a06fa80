// rdss.cpp - the schematic reader and the symbol-definition reader.
//
// xxrdsch reads the sections of an open schematic file into the current net and runs the
// wiring passes; xxrdsymdef reads the symbol file of a definition on the secondary file record
// while the schematic stays open. Both parse their records with xxrdlines (rdss2.cpp) against
// the record tables below. The module state is the count of symbol files read for the
// schematic being read.

#include "kdx.h"
#include "kdxint.h"

#include <array>
#include <cstddef>

namespace kdx {

namespace {

constinit struct {
    int symfiles; // symbol files opened since the current schematic began
} rdss{};

// The record tables. A field is {property name, code, property flags}: the code is an action
// (FLD_WORD ... FLD_INACT) with its modifiers (FLD_GRAPHIC, FLD_NAME, FLD_OBJ), all in kdxint.h.
// The placement words "tx", "ty", "scale" and "rot" become qualifiers of the next property only
// for back-annotation.

// Joins runs of fields into one table and ends it with the empty field.
template <std::size_t... N>
constexpr std::array<rdfield, (N + ... + 1)> fields(const rdfield (&...runs)[N]) {
    std::array<rdfield, (N + ... + 1)> table{};
    std::size_t at = 0;
    auto append = [&](const auto &run) {
        for (const rdfield &f : run)
            table[at++] = f;
    };
    (append(runs), ...);
    return table;
}

// clang-format off

// The placement words that lead most records.
constexpr rdfield placement[] = {
    {"tx",       FLD_QUAL | FLD_GRAPHIC, PROPF_QUAL},
    {"ty",       FLD_QUAL | FLD_GRAPHIC, PROPF_QUAL},
    {"scale",    FLD_QUAL | FLD_GRAPHIC, PROPF_QUAL},
    {"rot",      FLD_QUAL | FLD_GRAPHIC, PROPF_QUAL},
};

// "[schematic2]": the schematic's own ports and attributes.
constexpr auto schport = fields(
    {{nullptr,   FLD_RPORT,              0}},  // a new real port
    placement,
    {{"id",      FLD_WORD | FLD_NAME,    PROPF_CLASS1 | PROPF_HIDDEN},  // names the port
     {"IO",      FLD_WORD,               PROPF_CLASS1},
     {"X",       FLD_WORD | FLD_GRAPHIC, PROPF_CLASS1},
     {"Y",       FLD_WORD | FLD_GRAPHIC, PROPF_CLASS1},
     {"group",   FLD_WORD,               PROPF_CLASS1}});
constexpr auto schprop = fields(
    placement,
    {{"display", FLD_QUAL | FLD_GRAPHIC, PROPF_QUAL},
     // the rest of the line, on the current object
     {nullptr,   FLD_REST,               PROPF_MERGE}});
constexpr rdfield schuniq[] = {
    {"uniq",     FLD_WORD | FLD_OBJ,     PROPF_CLASS1},
    {nullptr,    0,                      0},
};
constexpr rdfield schver[] = {
    {"ver",      FLD_WORD | FLD_OBJ,     PROPF_CLASS1},
    {nullptr,    0,                      0},
};

constexpr rdrecord schematictable[] = {
    {"port",  RC_FIELDS,  schport.data()},
    {"p",     RC_FIELDS,  schprop.data()},
    {"uniq",  RC_GRAPHIC, schuniq},
    {"ver",   RC_FIELDS,  schver},
    {"",      0,          nullptr},
};

// "[detail]": wires, and the drawing kept verbatim for back-annotation.
constexpr auto detwire = fields(
    {{nullptr,   FLD_WIRE,               0}},  // a new wire
    placement,
    {{"id",      FLD_WORD | FLD_NAME,    PROPF_CLASS1 | PROPF_HIDDEN},  // names the wire
     {nullptr,   FLD_ENDS,               0}});  // its ends and points

constexpr rdrecord detailtable[] = {
    {"w",     RC_FIELDS,  detwire.data()},
    {"p",     RC_FIELDS,  schprop.data()},
    {"n",     RC_BLOCK,   nullptr},
    {"b",     RC_BLOCK,   nullptr},
    {"s",     RC_LINE,    nullptr},
    {"f",     RC_LINE,    nullptr},
    {"",      0,          nullptr},
};

// "[cell use]": the placed symbols.
constexpr auto useuse = fields(
    {{nullptr,   FLD_USE,                0}},  // the definition and the new instance
    placement,
    {{"id",      FLD_WORD | FLD_NAME,    PROPF_CLASS1},  // names the instance
     {"inact",   FLD_INACT | FLD_NAME,   PROPF_CLASS1}});  // the exclusion mark
constexpr rdfield usexform[] = {
    {"orn",      FLD_QUAL,               PROPF_QUAL},
    {"tx",       FLD_QUAL,               PROPF_QUAL},
    {"ty",       FLD_QUAL,               PROPF_QUAL},
    {"xform",    FLD_MARK,               PROPF_CLASS1},  // made whatever the read options
    {nullptr,    0,                      0},
};

constexpr rdrecord celltable[] = {
    {"use",   RC_FIELDS,  useuse.data()},
    {"p",     RC_FIELDS,  schprop.data()},
    {"xform", RC_FIELDS,  usexform},
    {"",      0,          nullptr},
};

// "[symbol2]": the ports of a symbol definition, its bounding box.
constexpr rdfield symportwords[] = {
    {"id",       FLD_WORD | FLD_NAME,    PROPF_CLASS1 | PROPF_HIDDEN},  // names the port
    {"layer",    FLD_WORD | FLD_GRAPHIC, PROPF_CLASS1},
    {"IO",       FLD_WORD,               PROPF_CLASS1},
    {"X",        FLD_WORD | FLD_GRAPHIC, PROPF_CLASS1},
    {"Y",        FLD_WORD | FLD_GRAPHIC, PROPF_CLASS1},
    {"group",    FLD_WORD,               PROPF_CLASS1},
};
constexpr auto symport = fields(
    {{nullptr,   FLD_RPORT,              0}},  // a new real port
    placement,
    symportwords);
constexpr auto symiport = fields(
    {{nullptr,   FLD_IPORT,              0}},  // a new hidden real port
    placement,
    symportwords);
constexpr auto symprop = fields(
    placement,
    {{"display", FLD_QUAL | FLD_GRAPHIC, PROPF_QUAL},
     // the rest of the line, on the current port
     {nullptr,   FLD_REST,               PROPF_MERGE | PROPF_INHERITED}});
constexpr rdfield symbbox[] = {
    {"llx",      FLD_QUAL,               PROPF_QUAL},
    {"lly",      FLD_QUAL,               PROPF_QUAL},
    {"urx",      FLD_QUAL,               PROPF_QUAL},
    {"ury",      FLD_QUAL,               PROPF_QUAL},
    // on the definition, whatever the read options
    {"bbox",     FLD_MARK | FLD_OBJ,     PROPF_CLASS1},
    {nullptr,    0,                      0},
};

constexpr rdrecord symboltable[] = {
    {"port",  RC_FIELDS,  symport.data()},
    {"iport", RC_FIELDS,  symiport.data()},
    {"p",     RC_FIELDS,  symprop.data()},
    {"bbox",  RC_FIELDS,  symbbox},
    {"uniq",  RC_GRAPHIC, schuniq},
    {"",      0,          nullptr},
};

// "[attributes]": properties of the definition itself.
constexpr auto attrprop = fields(
    placement,
    {{"display", FLD_QUAL | FLD_GRAPHIC, PROPF_QUAL},
     // the rest of the line, on the definition
     {nullptr,   FLD_REST | FLD_OBJ,     PROPF_MERGE | PROPF_INHERITED}});

constexpr rdrecord attributetable[] = {
    {"p",     RC_FIELDS,  attrprop.data()},
    {"",      0,          nullptr},
};

// clang-format on

// The symbol file is read on the secondary file record; the primary one is current again however
// the read ends, a run abandoned through the recovery point included.
struct SecondaryFile {
    SecondaryFile() { xxusefile(XXFILE_SECONDARY); }
    ~SecondaryFile() { xxusefile(XXFILE_PRIMARY); }
    SecondaryFile(const SecondaryFile &) = delete;
    SecondaryFile &operator=(const SecondaryFile &) = delete;
};

// xxrdsection passes its argument on untyped; the tables are only ever read.
void *tablearg(const rdrecord *table) {
    return const_cast<rdrecord *>(table);
}

} // namespace

int xxrdsch() {
    RoutineScope scope("xxrdsch");
    net *n = xxcurnet();
    if (n == nullptr) return 0;
    xxbufinit(&xxtmpbuf, 512);
    xxelapsed();
    rdss.symfiles = 0;

    if (!xxrdsection(n, "[schematic2]", xxrdlines, tablearg(schematictable), 1)) return 0;
    xxrdsection(n, "[tools]", xxsvsec, &n->tools, 0);
    int t1 = xxelapsed();
    if (!xxrdsection(n, "[detail]", xxrdlines, tablearg(detailtable), 1)) return 0;
    int t2 = xxelapsed();
    if (!xxrdsection(n, "[cell use]", xxrdlines, tablearg(celltable), 1)) return 0;
    if (xxpeek() == '[') xxrdsection(n, "[comments]", xxsvsec, &n->comments, 0);
    int t3 = xxelapsed();
    xxschsympass(n);
    int t4 = xxelapsed();

    int t5 = 0, t6 = 0, t7 = 0;
    rootnet *root = xxgetroot();
    if (root == nullptr || (root->opts & XXR_NOWIRING) == 0) {
        xxrportexp(n, n->porttbl, n->firstrport);
        t5 = xxelapsed();
        xxcnetports(n, n->porttbl);
        t6 = xxelapsed();
        if (!xxschwire()) return 0;
        xxfrnode();
        t7 = xxelapsed();
        xxschportpass(n);
    }
    if (xxoptions().verbose)
        xxerr("m", "Schematic %s (%ds+%ds); sub-cells (%d/%ds); wiring (%ds+%ds+%ds+%ds+%ds)",
              n->name, t1, t2, rdss.symfiles, t3, t4, t5, t6, t7, xxelapsed());
    return 1;
}

int xxrdsymdef(FILE *stream, symdef *def, int flags) {
    RoutineScope scope("xxrdsymdef");
    if (def == nullptr) return 0;
    SecondaryFile file;
    const int quiet = flags & XXK_QUIET;
    const char *path = nullptr;
    int result = 0;
    if (xxfdopen(stream, def->name, XXK_SYMBOL | quiet, &path) != 0) {
        ++rdss.symfiles;
        rootnet *root = xxgetroot();
        const bool lines = root != nullptr && (root->opts & XXR_SYMLINES) != 0;
        int ok = xxrdsection(def, "[symbol2]", xxrdlines, tablearg(symboltable), 1);
        if (lines) xxrdsection(def, "[tools]", xxsvsec, &def->tools, 0);
        if (!xxrdsection(def, "[attributes]", xxrdlines, tablearg(attributetable), 1)) ok = 0;
        int layers = 1;
        if (lines) {
            layers = xxrdsection(def, "[layers]", xxsvsec, &def->layers, 1);
            if (layers && xxpeek() == '[')
                xxrdsection(def, "[comments]", xxsvsec, &def->comments, 0);
        }
        if (layers) {
            // A definition with a bad section is still completed, so that its real and declared
            // ports agree for every later use; only a good one counts as read.
            xxrportexp(def, def->porttbl, def->firstrport);
            xxfixnewsymdef(def, path);
        }
        if (ok && layers) {
            def->flags |= SDEFF_READ;
            result = 1;
        } else {
            def->flags |= SDEFF_FAILED;
        }
    } else if (!quiet) {
        def->flags |= SDEFF_FAILED;
    }
    xxfdclose();
    return result;
}

int ishierport(port *p) {
    RoutineScope scope("ishierport");
    return p != nullptr && (p->flags & PORTF_HIER) != 0;
}

} // namespace kdx
