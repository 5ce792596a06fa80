// partlist_report.cpp - the fixed-column report file.
//
// Formats the entries of a part list into part lines of five tab-separated columns (SCHEMATIC,
// NAME, PROPERTY, DESCRIPTION, QTY), wrapping a text too wide for its column onto continuation
// lines, and writes them sorted by their formatted text under sheet and category headings,
// filling a page with empty lines when it is nearly full. Owns the report stream, the pending
// lines of the entry being formatted, the print list, the joined-line buffer, the first-heading
// flag and the line counter (the last two outlive runs).
//
// Every part of every sheet passes through here, so the column formats of the table are padded
// by hand rather than through snprintf, pending lines keep their length and are reused from one
// entry to the next, and the report is written with plain block writes.
#include "partlistint.h"

#include "cfstring.h"
#include "kdx.h"
#include "platform/sysfile.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

namespace partlist {

namespace {

// Room for a line of the widest supported layout: a 199-character property text, the other
// columns, and a count of any size.
inline constexpr std::size_t LINE_SIZE = 512;
inline constexpr std::size_t JOINED_INITIAL = 257;

// One line of the entry being formatted.
struct PendingLine : ListEntry {
    std::size_t len;      // characters in text, at most LINE_SIZE - 1
    char text[LINE_SIZE]; // terminated at len; written only within its size
};

struct ReportState {
    FILE *report;           // the report stream of the run, or null
    ListHead *pending;      // pending lines of the entry being formatted
    PendingLine *spare;     // lines of earlier entries, chained through next, for reuse
    ListHead *printlist;    // formatted entries of one part list, sorted by their text
    char *joined;           // joined-line buffer, kept between entries and runs
    std::size_t joinedsize; // bytes allocated for joined
    char *blankbuf;         // what blanks() hands out
    std::size_t blanksize;  // bytes allocated for blankbuf
    int firstheading;       // 1 until the first sheet heading of the process is written
    int linecount;          // lines written since the last page fill
};

constinit ReportState state{nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, 1, 0};

// Appends n bytes, cut at the line's room.
void appendbytes(PendingLine *line, const char *text, std::size_t n) {
    const std::size_t room = LINE_SIZE - 1 - line->len;
    if (n > room) n = room;
    std::memcpy(line->text + line->len, text, n);
    line->len += n;
    line->text[line->len] = '\0';
}

// Appends n blanks (none for n below 1), cut at the line's room; any width may ask.
void appendblanks(PendingLine *line, long long n) {
    if (n < 1) return;
    const std::size_t room = LINE_SIZE - 1 - line->len;
    const std::size_t count =
        static_cast<unsigned long long>(n) < room ? static_cast<std::size_t>(n) : room;
    std::memset(line->text + line->len, ' ', count);
    line->len += count;
    line->text[line->len] = '\0';
}

// A new last pending line that starts with indent blanks.
PendingLine *newline(long long indent) {
    if (makelist(&state.pending) == nullptr) return nullptr;
    PendingLine *line = state.spare;
    if (line != nullptr) {
        state.spare = static_cast<PendingLine *>(line->next);
    } else {
        line = static_cast<PendingLine *>(std::malloc(sizeof(PendingLine)));
        if (line == nullptr) {
            printfailure("Out of memory");
            return nullptr;
        }
        line->key = nullptr;
    }
    ListHead *head = state.pending;
    line->next = head;
    line->prev = head->prev;
    head->prev->next = line;
    head->prev = line;
    line->len = 0;
    line->text[0] = '\0';
    appendblanks(line, indent);
    return line;
}

PendingLine *firstline() {
    if (state.pending == nullptr || state.pending->next == state.pending) return nullptr;
    return static_cast<PendingLine *>(state.pending->next);
}

PendingLine *nextline(PendingLine *line) {
    return line->next == state.pending ? nullptr : static_cast<PendingLine *>(line->next);
}

// A piece format of the column table: "%-" width "s" and plain text behind it ("%-14s\t").
// Any other format is left to snprintf.
struct PieceFormat {
    bool plain;       // the format has that shape
    int width;        // the pad width
    const char *tail; // the text behind the conversion
    std::size_t taillen;
};

PieceFormat pieceformat(const char *fmt) {
    PieceFormat pf{false, 0, nullptr, 0};
    if (fmt[0] != '%' || fmt[1] != '-' || !cf::isdigitc(static_cast<unsigned char>(fmt[2])))
        return pf;
    const char *p = fmt + 2;
    int width = 0;
    while (cf::isdigitc(static_cast<unsigned char>(*p))) {
        if (width > 9999) return pf;
        width = width * 10 + (*p++ - '0');
    }
    if (*p++ != 's' || std::strchr(p, '%') != nullptr) return pf;
    return PieceFormat{true, width, p, std::strlen(p)};
}

// Formats one piece of a column (n characters of text) onto a line.
void appendpiece(PendingLine *line, const char *fmt, const PieceFormat &pf, const char *text,
                 std::size_t n) {
    if (pf.plain) {
        appendbytes(line, text, n);
        if (n < static_cast<std::size_t>(pf.width))
            appendblanks(line, pf.width - static_cast<long long>(n));
        appendbytes(line, pf.tail, pf.taillen);
        return;
    }
    const std::string piece(text, n);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int wrote = std::snprintf(line->text + line->len, LINE_SIZE - line->len, fmt, piece.c_str());
#pragma GCC diagnostic pop
    if (wrote > 0) line->len = std::min(line->len + static_cast<std::size_t>(wrote), LINE_SIZE - 1);
}

void padlater(PendingLine *line, int width) {
    for (PendingLine *l = nextline(line); l != nullptr; l = nextline(l))
        appendblanks(l, width);
}

// Length of the piece to cut from a text too long for its column: up to and including the last
// ',' or ' ' within the width, else the width itself.
std::size_t breakpoint(const char *text, int width) {
    int i = width - 1;
    for (; i >= 1; --i)
        if (text[i] == ',' || text[i] == ' ') break;
    if (i < 1) i = width - 1;
    if (i < 0) i = 0;
    return static_cast<std::size_t>(i) + 1;
}

bool fits(std::size_t len, int width) {
    return len == 0 || (width >= 0 && len <= static_cast<std::size_t>(width));
}

// Empties the pending lines; the lines wait in the spare chain for the next entry.
void freepending() {
    ListHead *head = state.pending;
    if (head == nullptr) return;
    for (ListEntry *e = head->next; e != head;) {
        ListEntry *next = e->next;
        e->next = state.spare;
        state.spare = static_cast<PendingLine *>(e);
        e = next;
    }
    head->next = head;
    head->prev = head;
}

void releasepending() {
    freepending();
    freelist(&state.pending);
    while (state.spare != nullptr) {
        PendingLine *next = static_cast<PendingLine *>(state.spare->next);
        std::free(state.spare);
        state.spare = next;
    }
}

// Writes bytes to the report as they stand.
void reportput(const char *text, std::size_t len) {
    if (state.report != nullptr && len > 0) platform::WriteBytes(text, len, state.report);
}

// Adds a text to the joined-line buffer, growing it first when the text and the terminator no
// longer fit.
bool joinline(const char *text, std::size_t len, std::size_t *used) {
    std::size_t need = *used + len + 2; // the line, its "\n" and the terminator
    if (need > state.joinedsize) {
        std::size_t size = state.joinedsize * 2;
        if (size < need) size = need;
        char *grown = static_cast<char *>(std::realloc(state.joined, size));
        if (grown == nullptr) {
            printfailure("out of memory");
            return false;
        }
        state.joined = grown;
        state.joinedsize = size;
    }
    std::memcpy(state.joined + *used, text, len);
    *used += len;
    state.joined[(*used)++] = '\n';
    state.joined[*used] = '\0';
    return true;
}

} // namespace

void setreport(FILE *stream) {
    state.report = stream;
}
FILE *report() {
    return state.report;
}

void reportf(const char *fmt, ...) {
    if (state.report == nullptr) return;
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(state.report, fmt, ap);
    va_end(ap);
}

const char *blanks(int n, int c) {
    std::size_t want = n < 1 ? 1 : static_cast<std::size_t>(n) + 1;
    if (want > state.blanksize) {
        char *grown = static_cast<char *>(std::realloc(state.blankbuf, want));
        if (grown == nullptr) {
            printfailure("out of memory");
            return "";
        }
        state.blankbuf = grown;
        state.blanksize = want;
    }
    std::memset(state.blankbuf, c, want - 1);
    state.blankbuf[want - 1] = '\0';
    return state.blankbuf;
}

void appendstr(char **text, const char *more) {
    if (more == nullptr) more = "";
    std::size_t had = *text != nullptr ? std::strlen(*text) : 0;
    std::size_t add = std::strlen(more);
    char *grown = static_cast<char *>(std::realloc(*text, had + add + 1));
    if (grown == nullptr) {
        printfailure("out of memory");
        return;
    }
    std::memcpy(grown + had, more, add + 1);
    *text = grown;
}

char *makeheader() {
    char *header = nullptr;
    appendstr(&header, "SCHEMATIC          \t");
    appendstr(&header, "NAME          \t");
    appendstr(&header, "        PROPERTY    \t                     ");
    if (runopts().proplen > 40) appendstr(&header, "                         ");
    appendstr(&header, "DESCRIPTION                \t");
    appendstr(&header, "QTY       \n");
    return header;
}

void printsheet(const char *name) {
    if (state.firstheading == 1) {
        reportf("%-20s\n", name);
        state.firstheading = 0;
    } else {
        reportf("\n%-20s\n", name);
    }
    ++state.linecount;
}

void addcolumn(const char *fmt, int width, const char *text, int indent) {
    if (firstline() == nullptr && newline(0) == nullptr) return;
    const PieceFormat pf = pieceformat(fmt);
    const char *rest = text != nullptr ? text : "";
    std::size_t left = std::strlen(rest);
    for (PendingLine *line = firstline(); line != nullptr; line = nextline(line)) {
        if (fits(left, width)) {
            appendpiece(line, fmt, pf, rest, left);
            padlater(line, width);
            return;
        }
        std::size_t n = breakpoint(rest, width);
        appendpiece(line, fmt, pf, rest, n);
        rest += n;
        left -= n;
    }
    for (;;) {
        PendingLine *line = newline(std::min<long long>(indent, LINE_SIZE));
        if (line == nullptr) return;
        if (fits(left, width)) {
            appendpiece(line, fmt, pf, rest, left);
            return;
        }
        std::size_t n = breakpoint(rest, width);
        appendpiece(line, fmt, pf, rest, n);
        rest += n;
        left -= n;
    }
}

void addcount(const char *fmt, int width, int count) {
    PendingLine *line = firstline();
    if (line == nullptr && (line = newline(0)) == nullptr) return;
    if (std::strcmp(fmt, " %4d") == 0) {
        // The quantity column's own format: a blank, then the count right-aligned in 4.
        char digits[16];
        const auto done = std::to_chars(digits, digits + sizeof digits, count);
        const auto n = static_cast<std::size_t>(done.ptr - digits);
        appendblanks(line, 1 + (n < 4 ? 4 - static_cast<long long>(n) : 0));
        appendbytes(line, digits, n);
    } else {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        int wrote = std::snprintf(line->text + line->len, LINE_SIZE - line->len, fmt, count);
#pragma GCC diagnostic pop
        if (wrote > 0)
            line->len = std::min(line->len + static_cast<std::size_t>(wrote), LINE_SIZE - 1);
    }
    padlater(line, width);
}

void makeprint(ListHead *list) {
    if (list == nullptr) return;
    const int width = runopts().proplen;
    for (ListEntry *e = list->next; e != list; e = e->next) {
        auto *pe = static_cast<PartEntry *>(e);
        addcolumn("%-18s\t", 18, "", 0);
        addcolumn("%-14s\t", 14, pe->key, 18);
        addcolumn("%-34s\t", width, pe->properties, 32);
        addcolumn("%-35s\t", 35, pe->description,
                  static_cast<int>(std::min<long long>(width + 32LL, LINE_SIZE)));
        addcount(" %4d", 4, pe->count);
        for (PendingLine *line = firstline(); line != nullptr; line = nextline(line))
            appendbytes(line, " ", 1);

        if (state.joined == nullptr) {
            state.joined = static_cast<char *>(std::calloc(1, JOINED_INITIAL));
            if (state.joined == nullptr) {
                printfailure("out of memory");
                freepending();
                return;
            }
            state.joinedsize = JOINED_INITIAL;
        }
        std::size_t used = 0;
        state.joined[0] = '\0';
        for (PendingLine *line = firstline(); line != nullptr; line = nextline(line)) {
            if (line->len > 0 && line->text[line->len - 1] == ' ') line->text[--line->len] = '\0';
            if (!joinline(line->text, line->len, &used)) break;
        }
        addlist(&state.printlist, state.joined, sizeof(ListEntry), 0, nullptr);
        freepending();
        state.joined[0] = '\0';
    }
}

void printout(const char *heading) {
    if (state.printlist == nullptr) return;
    if (heading != nullptr && heading[0] != '\0') reportf("    %-20s\n", heading);
    ++state.linecount;
    const long long pagelen = runopts().pagelen; // any -l value, without overflow
    for (ListEntry *e = state.printlist->next; e != state.printlist; e = e->next) {
        // The entry's lines up to an empty line or the end, written in one piece.
        const char *start = e->key;
        const char *p = start;
        while (*p != '\0' && *p != '\n') {
            const char *end = std::strchr(p, '\n');
            ++state.linecount;
            if (end == nullptr) {
                p += std::strlen(p);
                reportput(start, static_cast<std::size_t>(p - start));
                reportput("\n", 1);
                start = p;
                break;
            }
            p = end + 1;
        }
        reportput(start, static_cast<std::size_t>(p - start));
        if (state.linecount >= pagelen - 3) {
            if (state.linecount <= pagelen)
                reportf("%s", blanks(static_cast<int>(pagelen - state.linecount + 1), '\n'));
            state.linecount = 0;
        }
    }
}

void freeprint() {
    freelist(&state.printlist);
}

void freereport() {
    std::free(state.joined);
    state.joined = nullptr;
    state.joinedsize = 0;
    releasepending();
    freeprint();
    std::free(state.blankbuf);
    state.blankbuf = nullptr;
    state.blanksize = 0;
}

} // namespace partlist
