// rdss3.cpp - bus names and the list of inactive instances.
//
// A bus name lists members separated by commas; the first bracket pair of each element ("[...]"
// or, without one, "<...>") may hold indices and ranges: "D[0:3]", "A<3:1>,B", "X[1,5]". The
// members keep their brackets. Expansion works on a copy of the name in a scratch buffer and
// stores the members in "xxalbuf".
//
// The inactive instances are the pairs {instance name, file name} marked by the schematic
// reader; symbol lists leave those instances out. The list belongs to one run.
#include "kdxint.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

namespace kdx {

namespace {

constexpr int EXCLMAX = 1024; // pairs the list takes; later ones are not added

struct Rdss3State {
    char **names;                          // the caller's array of members
    int count;                             // members stored so far
    std::unordered_set<std::string> *excl; // the inactive instances, folded to lower case
    int nexcl;                             // pairs added to it
};
constinit Rdss3State state{}; // module state

// A number written as an optional sign and digits. Values beyond any bus width are held at a
// bound far above it, so a range over them is simply too big.
bool wholenumber(const char *s, std::size_t len, long long *value) {
    std::size_t i = 0;
    bool neg = false;
    if (i < len && (s[i] == '+' || s[i] == '-')) {
        neg = s[i] == '-';
        i++;
    }
    if (i == len) return false;
    long long v = 0;
    for (; i < len; i++) {
        if (!cf::isdigitc(static_cast<unsigned char>(s[i]))) return false;
        if (v < 1000000000LL) v = v * 10 + (s[i] - '0');
    }
    *value = neg ? -v : v;
    return true;
}

std::string exclkey(const char *name, const char *file) {
    std::string key;
    for (const char *s = name; *s; s++)
        key += static_cast<char>(cf::tolowerc(static_cast<unsigned char>(*s)));
    key += '\0';
    for (const char *s = file; *s; s++)
        key += static_cast<char>(cf::tolowerc(static_cast<unsigned char>(*s)));
    return key;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Bus names

void nameput(const char *name) {
    kdx::RoutineScope scope("nameput");
    if (!state.names || state.count >= BUSMAX) return;
    char *copy = xxalstr(&xxalbuf, name);
    if (copy) state.names[state.count++] = copy;
}

// The next element of a comma list, cut out in place; null after the last. An empty element or
// unbalanced brackets clear *ok.
char *xxnextcom(char **cursor, int *ok) {
    kdx::RoutineScope scope("xxnextcom");
    char *start = *cursor;
    if (!start) return nullptr;
    int depth = 0;
    char *s = start;
    for (; *s; s++) {
        if (*s == '[' || *s == '<') {
            depth++;
        } else if (*s == ']' || *s == '>') {
            if (--depth < 0) *ok = 0;
        } else if (*s == ',' && depth <= 0) {
            break;
        }
    }
    if (*s == ',') {
        *s = '\0';
        *cursor = s + 1;
    } else {
        *cursor = nullptr;
    }
    if (depth != 0) *ok = 0;
    if (*start == '\0') *ok = 0;
    return start;
}

// Expands one element: its first bracket pair may hold indices, ranges "a:b" / "a-b", or both
// separated by commas.
void xxdobr(char *element, int *ok) {
    kdx::RoutineScope scope("xxdobr");
    char *open = std::strchr(element, '[');
    char *close = nullptr;
    if (open) {
        close = std::strchr(open, ']');
    } else if ((open = std::strchr(element, '<'))) {
        close = std::strchr(open, '>');
    }
    if (!open) {
        nameput(element);
        return;
    }
    if (!close) {
        nameput(element);
        *ok = 0;
        return;
    }
    std::string prefix(element, static_cast<std::size_t>(open - element + 1));
    std::string suffix(close);
    *close = '\0';
    char *inner = open + 1;
    if (*inner == '\0') {
        *ok = 0;
        return;
    }
    std::string member;
    char *cursor = inner;
    while (char *piece = xxnextcom(&cursor, ok)) {
        if (*piece == '\0') continue;
        if (state.count >= BUSMAX) return; // the rest would be dropped anyway
        std::size_t len = std::strlen(piece);
        const char *sep = std::strchr(piece, ':');
        if (!sep && len > 1) sep = std::strchr(piece + 1, '-');
        if (sep) {
            long long a = 0;
            long long b = 0;
            if (!wholenumber(piece, static_cast<std::size_t>(sep - piece), &a) ||
                !wholenumber(sep + 1, std::strlen(sep + 1), &b)) {
                *ok = 0;
                continue;
            }
            long long step = a <= b ? 1 : -1;
            for (long long n = a;; n += step) {
                member = prefix + std::to_string(n) + suffix;
                nameput(member.c_str());
                if (n == b || state.count >= BUSMAX) break;
            }
        } else {
            member = prefix + piece + suffix;
            nameput(member.c_str());
            long long v = 0;
            if (!wholenumber(piece, len, &v)) *ok = 0;
        }
    }
}

int xxbusexp(membuf **buf, const char *name, char **names) {
    kdx::RoutineScope scope("xxbusexp");
    if (!name || !buf || !names) {
        XXASSERT(name && buf && names);
        return 0;
    }
    // The name may itself live in the buffer that is about to be reset.
    const std::string whole(name);
    std::size_t len = whole.size();
    xxbufinit(buf, len + 1 > 512 ? len + 1 : 512);
    if (!*buf) return 0;
    auto *copy = static_cast<char *>(xxalmem(buf, len + 1));
    if (!copy) return 0;
    std::memcpy(copy, whole.c_str(), len + 1);

    state.names = names;
    state.count = 0;
    int ok = 1;
    char *cursor = copy;
    while (char *element = xxnextcom(&cursor, &ok)) {
        if (*element != '\0') xxdobr(element, &ok);
        if (state.count >= BUSMAX) break;
    }
    int count = state.count;
    state.names = nullptr;
    if (!ok) {
        xxerr("wn", "Illegal name: \"%s\"", whole.c_str());
        return 0;
    }
    if (count >= BUSMAX) {
        xxerr("wn", "Bus too big: \"%s\"", whole.c_str());
        return 0;
    }
    return count;
}

// ---------------------------------------------------------------------------------------------
// Inactive instances

int xxexclude(const char *name, const char *file) {
    kdx::QuietRoutineScope scope("xxexclude");
    if (!name || !file || state.nexcl >= EXCLMAX) return 0;
    if (!state.excl) state.excl = new std::unordered_set<std::string>;
    state.excl->insert(exclkey(name, file));
    state.nexcl++;
    return 1;
}

int xxexcluded(const char *name, const char *file) {
    kdx::RoutineScope scope("xxexcluded");
    if (!state.excl || state.excl->empty() || !name || !file) return 0;
    return state.excl->count(exclkey(name, file)) != 0;
}

void xxclrexcl() {
    kdx::QuietRoutineScope scope("xxclrexcl");
    delete state.excl;
    state.excl = nullptr;
    state.nexcl = 0;
}

} // namespace kdx
