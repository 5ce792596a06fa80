// partlist_report.cpp - the fixed-column report file.
//
// Formats the entries of a part list into part lines of five tab-separated columns (SCHEMATIC,
// NAME, PROPERTY, DESCRIPTION, QTY), wrapping a text too wide for its column onto continuation
// lines, and writes them sorted by their formatted text under sheet and category headings,
// filling a page with empty lines when it is nearly full. Owns the report stream, the pending
// lines of the entry being formatted, the print list, the joined-line buffer, the first-heading
// flag and the line counter (the last two outlive runs).
#include "partlistint.h"

#include "kdx.h"

#include <algorithm>
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
    char text[LINE_SIZE]; // zero-filled; written only within its size
};

struct ReportState {
    FILE *report;           // the report stream of the run, or null
    ListHead *pending;      // pending lines of the entry being formatted
    ListHead *printlist;    // formatted entries of one part list, sorted by their text
    char *joined;           // joined-line buffer, kept between entries and runs
    std::size_t joinedsize; // bytes allocated for joined
    char *blankbuf;         // what blanks() hands out
    std::size_t blanksize;  // bytes allocated for blankbuf
    int firstheading;       // 1 until the first sheet heading of the process is written
    int linecount;          // lines written since the last page fill
};

constinit ReportState state{nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, 1, 0};

PendingLine *newline(const char *start) {
    if (makelist(&state.pending) == nullptr) return nullptr;
    auto *line = static_cast<PendingLine *>(std::calloc(1, sizeof(PendingLine)));
    if (line == nullptr) {
        kdx::xxerror('f', "Out of memory");
        return nullptr;
    }
    ListHead *head = state.pending;
    line->next = head;
    line->prev = head->prev;
    head->prev->next = line;
    head->prev = line;
    std::snprintf(line->text, LINE_SIZE, "%s", start);
    return line;
}

PendingLine *firstline() {
    if (state.pending == nullptr || state.pending->next == state.pending) return nullptr;
    return static_cast<PendingLine *>(state.pending->next);
}

PendingLine *nextline(PendingLine *line) {
    return line->next == state.pending ? nullptr : static_cast<PendingLine *>(line->next);
}

void append(PendingLine *line, const char *text) {
    std::size_t len = std::strlen(line->text);
    std::snprintf(line->text + len, LINE_SIZE - len, "%s", text);
}

// Formats one piece of a column (the format is one of the column table's) onto a line.
void appendpiece(PendingLine *line, const char *fmt, const std::string &piece) {
    std::size_t len = std::strlen(line->text);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(line->text + len, LINE_SIZE - len, fmt, piece.c_str());
#pragma GCC diagnostic pop
}

// A run of blanks for a line; nothing beyond a line's room is ever asked for, whatever the
// property width.
const char *linepad(long long n) {
    return blanks(static_cast<int>(std::min<long long>(n, static_cast<long long>(LINE_SIZE))), ' ');
}

void padlater(PendingLine *line, int width) {
    for (PendingLine *l = nextline(line); l != nullptr; l = nextline(l))
        append(l, linepad(width));
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

bool fits(const char *text, int width) {
    std::size_t len = std::strlen(text);
    return len == 0 || (width >= 0 && len <= static_cast<std::size_t>(width));
}

void freepending() {
    freelist(&state.pending);
}

// Adds a text to the joined-line buffer, growing it first when the text and the terminator no
// longer fit.
bool joinline(const char *text, std::size_t *used) {
    std::size_t len = std::strlen(text);
    std::size_t need = *used + len + 2; // the line, its "\n" and the terminator
    if (need > state.joinedsize) {
        std::size_t size = state.joinedsize * 2;
        if (size < need) size = need;
        char *grown = static_cast<char *>(std::realloc(state.joined, size));
        if (grown == nullptr) {
            kdx::xxerror('f', "out of memory");
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
            kdx::xxerror('f', "out of memory");
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
        kdx::xxerror('f', "out of memory");
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
    if (firstline() == nullptr && newline("") == nullptr) return;
    const char *rest = text != nullptr ? text : "";
    for (PendingLine *line = firstline(); line != nullptr; line = nextline(line)) {
        if (fits(rest, width)) {
            appendpiece(line, fmt, rest);
            padlater(line, width);
            return;
        }
        std::size_t n = breakpoint(rest, width);
        appendpiece(line, fmt, std::string(rest, n));
        rest += n;
    }
    for (;;) {
        PendingLine *line = newline(linepad(indent));
        if (line == nullptr) return;
        if (fits(rest, width)) {
            appendpiece(line, fmt, rest);
            return;
        }
        std::size_t n = breakpoint(rest, width);
        appendpiece(line, fmt, std::string(rest, n));
        rest += n;
    }
}

void addcount(const char *fmt, int width, int count) {
    PendingLine *line = firstline();
    if (line == nullptr && (line = newline("")) == nullptr) return;
    std::size_t len = std::strlen(line->text);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(line->text + len, LINE_SIZE - len, fmt, count);
#pragma GCC diagnostic pop
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
            append(line, " ");

        if (state.joined == nullptr) {
            state.joined = static_cast<char *>(std::calloc(1, JOINED_INITIAL));
            if (state.joined == nullptr) {
                kdx::xxerror('f', "out of memory");
                freepending();
                return;
            }
            state.joinedsize = JOINED_INITIAL;
        }
        std::size_t used = 0;
        state.joined[0] = '\0';
        for (PendingLine *line = firstline(); line != nullptr; line = nextline(line)) {
            std::size_t len = std::strlen(line->text);
            if (len > 0 && line->text[len - 1] == ' ') line->text[len - 1] = '\0';
            if (!joinline(line->text, &used)) break;
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
        const char *p = e->key;
        while (*p != '\0' && *p != '\n') {
            const char *end = std::strchr(p, '\n');
            std::size_t len = end != nullptr ? static_cast<std::size_t>(end - p) : std::strlen(p);
            reportf("%.*s\n", static_cast<int>(len), p);
            ++state.linecount;
            p += len;
            if (*p == '\n') ++p;
        }
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
    freepending();
    freeprint();
    std::free(state.blankbuf);
    state.blankbuf = nullptr;
    state.blanksize = 0;
}

} // namespace partlist
