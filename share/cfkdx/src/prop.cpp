// prop.cpp - property records: attaching them at read time, the keep list, splitting of
// "W/L:" values, list linking, merging, and the qualifier expressions that make a property
// conditional.
//
// A property's text is "(qualifier)<target>name:value", the first two parts optional. The
// readers make the record and its text as the last two allocations of the current "xxalbuf"
// block, so a property refused here is taken back at no cost by resetting the block's ptr.
#include "kdxint.h"

#include <cstring>
#include <string>

namespace kdx {

namespace {

// strncmp(a, b, n) == 0 for the short names and words of properties, without the call: every
// property read and every look-up compares a few.
inline bool sameprefix(const char *a, const char *b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return false;
        if (a[i] == '\0') return true;
    }
    return true;
}

// Names the library itself interprets; a property beginning with one of them survives any keep
// list given to the reader.
constexpr const char *builtinkeep[] = {
    "IO",     "class",     "connect", "device",  "id",     "model", "connectortype", "ppin",
    "prefix", "primitive", "ref",     "schprop", "suffix", "wire",  "W/L",           "L/W",
};

constexpr std::size_t QUALNAMELEN = 512; // a qualifier name must fit with its terminator
constexpr int QUALDEPTH = 200;           // nesting of parentheses an expression may have

constexpr std::uint32_t ROPT_ANYQUAL =
    0x800; // root option: attach properties whatever their qualifier

// Skips the text of a failed expression up to and past its ")", so that matching can go on with
// the rest of the property.
const char *skipqual(const char *t) {
    const char *close = std::strchr(t, ')');
    return close ? close + 1 : t + std::strlen(t);
}

// Gives the record and its text back to "xxalbuf" when they are still its last allocations.
// Anything allocated after them keeps the block as it is.
void giveback(prop *p) {
    membuf *blk = xxalbuf;
    if (!blk || !p || !p->text) return;
    char *start = reinterpret_cast<char *>(blk) + MEMBUF_HDR;
    char *rec = reinterpret_cast<char *>(p);
    char *end = p->text + std::strlen(p->text) + 1;
    if (rec < start || rec >= blk->ptr || p->text < rec || end != blk->ptr) return;
    blk->ptr = rec;
}

// A new property with the given text and flags, not yet on any list.
prop *newprop(const char *text, std::uint16_t flags) {
    auto *p = static_cast<prop *>(xxcalmem(&xxalbuf, sizeof(prop)));
    if (!p) return nullptr;
    p->text = xxalstr(&xxalbuf, text);
    if (!p->text) return nullptr;
    p->type = static_cast<std::uint8_t>(objtype::prop);
    p->flags = flags;
    return p;
}

bool isprop(const void *r) {
    return r && rectype(r) == objtype::prop;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Qualifier expressions

namespace {

int qexpr(const char **text, int *error, int depth);

// True when the name of `len` characters is an active qualifier.
int isactive(const char *name, std::size_t len) {
    char *const *quals = xxqualifiers();
    if (!quals) return 0;
    for (; *quals; quals++)
        if (std::strlen(*quals) == len && cf::strncieql(*quals, name, static_cast<int>(len)))
            return 1;
    return 0;
}

int qterm(const char **text, int *error, int depth) {
    const char *t = *text;
    int negate = 0;
    while (*t == '!') {
        negate ^= 1;
        t++;
    }
    int v;
    if (*t == '(') {
        *text = t + 1;
        v = qexpr(text, error, depth + 1);
    } else {
        std::size_t n = 0;
        while (cf::isalnumc(static_cast<unsigned char>(t[n])))
            n++;
        *text = t + n;
        // Longer than the qualifier buffer: refused rather than cut down to something that
        // might match.
        if (n == 0 || n >= QUALNAMELEN) {
            *error = 1;
            return 0;
        }
        v = isactive(t, n);
    }
    if (*error) return 0;
    return negate ? !v : v;
}

int qexpr(const char **text, int *error, int depth) {
    // Nesting is bounded, so no text drives the evaluation arbitrarily deep.
    if (depth > QUALDEPTH) {
        *error = 1;
        return 0;
    }
    int result = qterm(text, error, depth);
    for (;;) {
        if (*error) return 0;
        const char *t = *text;
        int op = *t;
        if (op == ')') {
            *text = t + 1;
            return result;
        }
        if (op != '&' && op != '|' && op != '^') {
            *error = 1;
            return 0;
        }
        t++;
        if ((op == '&' || op == '|') && *t == op) t++;
        *text = t;
        // Every term is read, whatever the result so far, so the text ends up past the ")".
        int rhs = qterm(text, error, depth);
        if (op == '&')
            result = result && rhs;
        else if (op == '|')
            result = result || rhs;
        else
            result = (result != 0) != (rhs != 0);
    }
}

} // namespace

// One term: "!" term, "(" expression ")", or a qualifier name. On a syntax error *error is set
// and the result is false; the text is left where the error was found.
int xxsqmatch(const char **text, int *error) {
    kdx::RoutineScope scope("xxsqmatch");
    return qterm(text, error, 0);
}

// An expression after its opening "(": terms joined by &, &&, |, || and ^, evaluated strictly
// from left to right. On success the text is left after the closing ")".
int xxqematch(const char **text, int *error) {
    kdx::RoutineScope scope("xxqematch");
    return qexpr(text, error, 0);
}

// ---------------------------------------------------------------------------------------------
// Matching one property

int xxpmatch(const char *name, int namelen, const prop *p, const char *target, int targetlen,
             int flags) {
    kdx::RoutineScope scope("xxpmatch");
    if (!isprop(p) || !p->text) return 0;
    if ((flags & FP_CLASS) && !(p->flags & flags & FP_CLASS)) return 0;
    const char *t = p->text;
    if ((!name || *name != '(') && *t == '(') {
        const char *q = t + 1;
        int error = 0;
        int holds = xxqematch(&q, &error);
        if (!holds) {
            if (error) {
                xxerr("wnl", "bad qualifier expression: %s", p->text);
                q = skipqual(t + 1);
            }
            if (!(flags & FP_ANYQUAL)) return 0;
        }
        t = q;
    }
    if (flags & FP_QUALONLY) return 1;
    if (!name || namelen <= 0) return 0;
    const auto n = static_cast<std::size_t>(namelen);
    if (flags == FP_WHOLE) {
        // Only the character behind the name's length is looked at; a shorter text has none.
        if (strnlen(t, n) < n) return 0;
    } else if (flags & FP_NOCASE) {
        if (!cf::strncieql(t, name, namelen)) return 0;
    } else if (!sameprefix(t, name, n)) {
        return 0;
    }
    if ((flags & FP_WHOLE) && (flags & FP_NOCASE)) {
        // The name part of the text compared whole, in place: no copy of a text that may be
        // thousands of characters long.
        return std::strcspn(t, ": \t") == n && cf::strncieql(t, name, namelen);
    }
    const char *c = t + namelen;
    if (flags & FP_PORTFORM) return *c == '(';
    if (*c == ':' || *c == '\0') return 1;
    if (target && targetlen > 0 && *c == '(' &&
        sameprefix(c + 1, target, static_cast<std::size_t>(targetlen)) && c[1 + targetlen] == ')')
        return 1;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Linking

void xxproplink(prop **head, prop **tail, prop *p, int mode) {
    kdx::RoutineScope scope("xxproplink");
    if (!head || !p) {
        XXASSERT(head && p);
        return;
    }
    if (mode == 1) {
        bool empty = !isprop(*head);
        p->props = *head;
        *head = p;
        if (tail && (empty || !*tail)) *tail = p;
        return;
    }
    if (mode != 2) {
        XXASSERT(mode == 1 || mode == 2);
        return;
    }
    prop *last = nullptr;
    if (tail && isprop(*tail)) {
        last = *tail;
    } else if (isprop(*head)) {
        last = *head;
        while (isprop(last->props))
            last = last->props;
    }
    if (!last) {
        // Whatever ends the list (null, or an array port's symbol) stays behind the new one.
        p->props = *head;
        *head = p;
    } else {
        p->props = last->props;
        last->props = p;
    }
    if (tail) *tail = p;
}

void xxlinkprop(void *obj, prop *p, int mode) {
    kdx::RoutineScope scope("xxlinkprop");
    if (!obj || !p) {
        XXASSERT(obj && p);
        return;
    }
    switch (rectype(obj)) {
    case objtype::net: {
        auto *n = static_cast<net *>(obj);
        xxproplink(&n->props, &n->lastprop, p, mode);
        break;
    }
    case objtype::symdef: {
        auto *sd = static_cast<symdef *>(obj);
        xxproplink(&sd->props, &sd->lastprop, p, mode);
        break;
    }
    case objtype::prop:
        xxproplink(&static_cast<prop *>(obj)->sub, nullptr, p, mode);
        break;
    default:
        xxproplink(&static_cast<xxrec *>(obj)->props, nullptr, p, mode);
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Read-time filtering and attaching

int xxdiscardprop(const char *text) {
    kdx::RoutineScope scope("xxdiscardprop");
    rootnet *root = xxgetroot();
    if (!root || !root->keep || !text) return 0;
    for (const char **k = root->keep; *k; k++)
        if (std::strncmp(text, *k, std::strlen(*k)) == 0) return 0;
    for (const char *k : builtinkeep)
        if (std::strncmp(text, k, std::strlen(k)) == 0) return 0;
    return 1;
}

// Splits "W/L:a/b" into "W:a" and "L:b" ("L/W:a/b" into "L:a" and "W:b"), both behind the
// original and with its qualifier and target. `text` points at the name inside p's text.
prop *xxslprop(void *owner, prop *p, const char *text) {
    kdx::RoutineScope scope("xxslprop");
    if (!owner || !p || !text || std::strlen(text) < 4 || text[1] != '/' || text[3] != ':') {
        XXASSERT(owner && p && text);
        return nullptr;
    }
    const char *value = text + 4;
    const char *slash = std::strchr(value, '/');
    if (!slash) return nullptr; // a value without its second part stays as it was written
    std::string head(p->text, static_cast<std::size_t>(text - p->text));
    std::string first = head;
    first += text[0];
    first += ':';
    first.append(value, static_cast<std::size_t>(slash - value));
    std::string second = head;
    second += text[2];
    second += ':';
    second += slash + 1;
    std::uint16_t flags = static_cast<std::uint16_t>(p->flags | PROPF_SPLIT);
    prop *a = newprop(first.c_str(), flags);
    if (!a) return nullptr;
    xxlinkprop(owner, a, 2);
    prop *b = newprop(second.c_str(), flags);
    if (!b) return nullptr;
    xxlinkprop(owner, b, 2);
    return b;
}

prop *xxfixnewprop(void *owner, prop *p, int flags) {
    kdx::RoutineScope scope("xxfixnewprop");
    if (!p || !p->text) {
        XXASSERT(p && p->text);
        return nullptr;
    }
    p->flags = static_cast<std::uint16_t>(p->flags | flags);
    p->type = static_cast<std::uint8_t>((p->type & ~TYPEMASK) | static_cast<int>(objtype::prop));
    const char *t = p->text;
    int holds = 1;
    if (*t == '(') {
        const char *q = t + 1;
        int error = 0;
        holds = xxqematch(&q, &error);
        if (error) {
            xxerr("e", "bad qualifier in property: \"%s\"", p->text);
            giveback(p);
            return nullptr;
        }
        t = q;
    }
    if (*t == '<') {
        p->flags |= PROPF_TARGET;
        const char *close = std::strchr(t, '>');
        const char *colon = std::strchr(t, ':');
        if (!close || (colon && colon < close)) {
            xxerr("enl", "invalid targetted property: \"%s\"", p->text);
            giveback(p);
            return nullptr;
        }
        t = close + 1;
    }
    if (!owner) return p;
    rootnet *root = xxgetroot();
    bool anyqual = root && (root->opts & ROPT_ANYQUAL);
    if ((holds || anyqual) && !xxdiscardprop(t)) {
        if (root && (p->flags & PROPF_TARGET)) root->flags |= ROOT_TARGETED;
        xxlinkprop(owner, p, 2);
        if (sameprefix(t, "W/L:", 4) || sameprefix(t, "L/W:", 4)) xxslprop(owner, p, t);
        return p;
    }
    giveback(p);
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Merging

void xxmergeprops(void *dst, prop *list, int mode) {
    kdx::RoutineScope scope("xxmergeprops");
    if (!dst) return;
    for (prop *p = list; isprop(p); p = p->props) {
        if (!(p->flags & PROPF_MERGE)) continue;
        const char *iname = xxpropiname(p, 0);
        if (!iname || cf::strcieql(iname, "iid")) continue;
        char name[PROPNAMELEN];
        std::snprintf(name, sizeof name, "%s", iname);
        prop *old = xxfindprop(dst, name, 0);
        if (old) {
            const char *nv = xxpropval(p);
            const char *ov = xxpropval(old);
            if (nv && ov && std::strcmp(nv, ov) != 0)
                xxerr("w", "%s has incompatible properties: \"%s\" and \"%s\"", xxwname(dst),
                      p->text, old->text);
        } else if (mode & 3) {
            auto *copy = static_cast<prop *>(xxcalmem(&xxalbuf, sizeof(prop)));
            if (!copy) return;
            copy->type = static_cast<std::uint8_t>(objtype::prop);
            copy->flags = p->flags;
            copy->text = p->text;
            xxlinkprop(dst, copy, mode & 3);
        }
    }
}

// The run's scratch state of the property routines. The inactive-instance list goes with it:
// a later run in the same process must not hide an instance that has since been made active.
void xxpropfree() {
    kdx::QuietRoutineScope scope("xxpropfree");
    xxclrexcl();
}

} // namespace kdx
