// netif.cpp - the library's name lists: active qualifiers and the logic-0 / logic-1 node names.
//
// The qualifier list ("-Q") decides which conditional properties hold; the logic lists ("-0",
// "-1") name the ground and power nodes. All three are process-wide heap lists managed with
// xxaddlist. The qualifier list lives until xxclrqual; the logic lists start as "GND", "Vss" and
// "Vcc", "Vdd" and live until the process ends.
#include "kdxint.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace kdx {

namespace {

inline constexpr std::size_t NAMEBUF = MAXSTRLEN; // longest name a record can hold

struct NetifState {
    char **qual;        // active qualifiers, null-terminated; null while empty
    char **logic0;      // ground node names
    char **logic1;      // power node names
    bool logicset;      // the default logic names have been installed (or dropped)
    char degl[NAMEBUF]; // result of xxdeglobalize
};

constinit NetifState S{};

void freelist(char ***list) {
    if (!*list) return;
    for (char **p = *list; *p; ++p)
        std::free(*p);
    std::free(*list);
    *list = nullptr;
}

void setlogic() {
    if (S.logicset) return;
    S.logicset = true;
    xxaddlist(&S.logic0, "GND");
    xxaddlist(&S.logic0, "Vss");
    xxaddlist(&S.logic1, "Vcc");
    xxaddlist(&S.logic1, "Vdd");
}

// Adds the members of a bus-name list to a logic list; 0 when the list expands to nothing.
int addlogic(char ***list, const char *text, const char *what) {
    setlogic();
    char *names[BUSMAX];
    int n = text ? xxbusexp(&xxtmpbuf, text, names) : 0;
    if (n <= 0) {
        xxerr("wr", "bad list of logic %s nodes \"%s\" ignored", what, text ? text : "");
        return 0;
    }
    for (int i = 0; i < n; ++i) {
        int global = 0;
        xxaddlist(list, xxdeglobalize(names[i], &global));
    }
    return 1;
}

bool onlist(char *const *list, const char *name) {
    if (!list) return false;
    for (; *list; ++list) {
        if (std::strcmp(*list, name) == 0) return true;
    }
    return false;
}

} // namespace

void xxclrqual() {
    RoutineScope scope("xxclrqual");
    freelist(&S.qual);
}

int xxaddqual(const char *text) {
    RoutineScope scope("xxaddqual");
    if (!text || !*text) {
        xxerr("wr", "null qualifier list");
        return 0;
    }
    // Commas inside angle or square brackets belong to a bus name, not to the list.
    std::string piece;
    int depth = 0;
    for (const char *s = text;; ++s) {
        char c = *s;
        if (c == '\0' || (c == ',' && depth == 0)) {
            if (cf::strisalnum(piece.c_str()))
                xxaddlist(&S.qual, piece.c_str());
            else
                xxerr("wr", "bad qualifier \"%s\" ignored", piece.c_str());
            piece.clear();
            if (c == '\0') break;
            continue;
        }
        if (c == '<' || c == '[')
            ++depth;
        else if ((c == '>' || c == ']') && depth > 0)
            --depth;
        piece.push_back(c);
    }
    return 1;
}

int xxaddl0(const char *text) {
    RoutineScope scope("xxaddl0");
    return addlogic(&S.logic0, text, "0");
}

int xxaddl1(const char *text) {
    RoutineScope scope("xxaddl1");
    return addlogic(&S.logic1, text, "1");
}

void xxclrl0() {
    setlogic();
    freelist(&S.logic0);
}

void xxclrl1() {
    setlogic();
    freelist(&S.logic1);
}

char *const *xxqualifiers() {
    return S.qual;
}

char *const *xxlogic0() {
    setlogic();
    return S.logic0;
}

char *const *xxlogic1() {
    setlogic();
    return S.logic1;
}

char *xxdeglobalize(const char *name, int *global) {
    RoutineScope scope("xxdeglobalize");
    std::size_t n = 0;
    if (name) {
        for (; name[n] && n < NAMEBUF - 1; ++n)
            S.degl[n] = name[n];
    }
    S.degl[n] = '\0';
    if (n > 0 && S.degl[n - 1] == '!') {
        S.degl[--n] = '\0';
        if (global) *global = 1;
    }
    if (xxoptions().nobrackets && std::strchr(S.degl, '[')) {
        char *out = S.degl;
        for (const char *in = S.degl; *in; ++in) {
            if (*in != '[' && *in != ']') *out++ = *in;
        }
        *out = '\0';
    }
    return S.degl;
}

const char *xxchklogic(const char *name, int *logic) {
    RoutineScope scope("xxchklogic");
    if (!name) return name;
    if (std::strncmp(name, "*logic", 6) == 0) {
        if (logic) *logic = 1;
        return name;
    }
    setlogic();
    const rootnet *root = xxgetroot();
    bool bylogic = root && (root->opts & ROOTO_LOGICPWR);
    if (onlist(S.logic0, name)) {
        if (logic) *logic = 1;
        return bylogic ? "*logic0*" : name;
    }
    if (onlist(S.logic1, name)) {
        if (logic) *logic = 1;
        return bylogic ? "*logic1*" : name;
    }
    return name;
}

} // namespace kdx
