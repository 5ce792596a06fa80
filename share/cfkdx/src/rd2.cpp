// rd2.cpp - the character, word, line and section routines every file reader is built on.
//
// All of them work on the current file record of rd.cpp and read one character at a time with
// the unlocked stdio routines. Texts go straight into "xxalbuf" or a scratch buffer, bounded by
// the buffer's end: an over-long word or line is cut with a message, never written past it.
// Carriage returns end words and are dropped from lines, so CR LF files read like LF files.
#include "kdxint.h"

#include <cstring>

namespace kdx {

namespace {

constexpr bool isblank(int c) { return c == ' ' || c == '\t'; }
constexpr bool iseol(int c) { return c == '\n' || c == '\r'; }

// White space that ends a word: blank, tab, line feed, vertical tab, form feed, carriage return.
constexpr bool endsword(int c) { return cf::isspacec(c); }

inline int readc(FILE *fp) { return getc_unlocked(fp); }

// The rest of the line, line feed included; one more line unless the end of the file came first.
void purge(FILE *fp, int *line) {
    int c;
    while ((c = readc(fp)) != EOF) {
        if (c == '\n') {
            ++*line;
            return;
        }
    }
}

// Makes sure *buf has `room` bytes left in its current block; false when none could be had.
bool ensure(membuf **buf, std::size_t room) {
    if (!*buf || (*buf)->ptr >= (*buf)->eptr ||
        static_cast<std::size_t>((*buf)->eptr - (*buf)->ptr) < room)
        xxnewbuf(buf, room);
    return *buf && (*buf)->ptr < (*buf)->eptr &&
           static_cast<std::size_t>((*buf)->eptr - (*buf)->ptr) >= room;
}

// The rest of the line into *buf at its ptr, as xxrdline describes; the line counter is the
// caller's, so xxfindline can read a stream of its own.
char *rdline(FILE *fp, int *line, membuf **buf) {
    if (!ensure(buf, 3))
        return nullptr;
    char *const start = (*buf)->ptr;
    char *const stop = (*buf)->eptr - 2; // storage ends two bytes before the end
    char *pos = start;
    char *keep = start; // just behind the last character that is not a blank
    bool any = false;
    bool cut = false;
    int c;
    while ((c = readc(fp)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (c == '\r')
            continue;
        if (pos >= stop) {
            if (!cut) {
                cut = true;
                xxerr("er", "Line too long");
            }
            continue;
        }
        *pos++ = static_cast<char>(c);
        if (!isblank(c))
            keep = pos;
    }
    *keep = '\0';
    if (!any)
        return nullptr; // the end of the file: an empty text, ptr not advanced
    (*buf)->ptr = keep + 1;
    ++*line;
    return start;
}

} // namespace

int xxpeek() {
    QuietRoutineScope scope("xxpeek");
    filerec *f = xxcurfile();
    if (!f->open || !f->stream)
        return EOF;
    int c = readc(f->stream);
    if (c != EOF)
        std::ungetc(c, f->stream);
    return c;
}

void xxpurgeline() {
    QuietRoutineScope scope("xxpurgeline");
    filerec *f = xxcurfile();
    if (f->open && f->stream)
        purge(f->stream, &f->line);
}

char *xxrdstr(char *buf, int limit) {
    QuietRoutineScope scope("xxrdstr");
    filerec *f = xxcurfile();
    if (!buf || limit < 1 || !f->open || !f->stream)
        return nullptr;
    FILE *fp = f->stream;
    int c;
    do
        c = readc(fp);
    while (isblank(c));
    int n = 0;
    bool cut = false;
    while (c != EOF && !endsword(c)) {
        if (n < limit - 1) {
            buf[n++] = static_cast<char>(c);
        } else if (!cut) {
            cut = true;
            xxerr("renl", "line or identifier too long, being truncated");
        }
        c = readc(fp);
    }
    if (iseol(c))
        std::ungetc(c, fp); // the line is not consumed
    if (n == 0)
        return nullptr;
    buf[n] = '\0';
    return buf;
}

char *xxrdbuf(membuf **buf, int whole) {
    RoutineScope scope("xxrdbuf");
    filerec *f = xxcurfile();
    if (!buf || !f->open || !f->stream || !ensure(buf, 2))
        return nullptr;
    FILE *fp = f->stream;
    char *const start = (*buf)->ptr;
    char *const last = (*buf)->eptr - 1; // room for the terminator
    char *pos = start;
    bool cut = false;
    int c;
    do
        c = readc(fp);
    while (isblank(c));
    while (c != EOF && !iseol(c) && (whole || !isblank(c))) {
        if (pos < last) {
            *pos++ = static_cast<char>(c);
        } else {
            if (!cut) {
                cut = true;
                xxerr("renl", "line or identifier too long, being truncated");
                if (xxoptions().debug)
                    xxerror('m', "bp=0x%lx,ep=0x%lx", reinterpret_cast<unsigned long>(pos),
                            reinterpret_cast<unsigned long>(last + 1));
            }
            pos[-1] = static_cast<char>(c);
        }
        c = readc(fp);
    }
    if (iseol(c))
        std::ungetc(c, fp);
    if (pos == start)
        return nullptr;
    if (whole)
        while (pos > start && isblank(pos[-1]))
            --pos;
    *pos = '\0';
    (*buf)->ptr = pos + 1;
    return start;
}

char *xxrdline(membuf **buf) {
    RoutineScope scope("xxrdline");
    filerec *f = xxcurfile();
    if (!buf || !f->open || !f->stream)
        return nullptr;
    return rdline(f->stream, &f->line, buf);
}

prop *xxrdprop() {
    RoutineScope scope("xxrdprop");
    if (!ensure(&xxalbuf, 1040))
        return nullptr;
    auto *p = static_cast<prop *>(xxcalmem(&xxalbuf, sizeof(prop)));
    if (!p)
        return nullptr;
    p->type = static_cast<std::uint8_t>(objtype::prop);
    char *text = xxrdbuf(&xxalbuf, 1);
    if (!text) {
        xxalbuf->ptr = reinterpret_cast<char *>(p); // give the record back
        return nullptr;
    }
    p->text = text;
    return p;
}

prop *xxalprop(int flags, const char *name, const char *value) {
    RoutineScope scope("xxalprop");
    const std::size_t nlen = name ? std::strlen(name) : 0;
    const std::size_t vlen = value ? std::strlen(value) : 0;
    if (!ensure(&xxalbuf, nlen + vlen + 1 + 66))
        return nullptr;
    auto *p = static_cast<prop *>(xxcalmem(&xxalbuf, sizeof(prop)));
    if (!p)
        return nullptr;
    p->type = static_cast<std::uint8_t>(objtype::prop);
    p->flags = static_cast<std::uint16_t>(flags);
    if (name) {
        const std::size_t len = nlen + (value ? 1 + vlen : 0);
        auto *text = static_cast<char *>(xxalmem(&xxalbuf, len + 1));
        if (!text)
            return nullptr;
        std::memcpy(text, name, nlen);
        if (value) {
            text[nlen] = ':';
            std::memcpy(text + nlen + 1, value, vlen);
        }
        text[len] = '\0';
        p->text = text;
    }
    return p;
}

void xxsvline(const char *prefix, linecell **head, linecell **tail) {
    RoutineScope scope("xxsvline");
    const std::size_t plen = prefix ? std::strlen(prefix) : 0;
    if (!head || !ensure(&xxalbuf, plen + 1 + 1024))
        return;
    char *text = xxalbuf->ptr;
    if (prefix) {
        // The prefix and its blank, with the line read right behind them.
        auto *p = static_cast<char *>(xxalmem(&xxalbuf, plen + 1));
        if (!p)
            return;
        text = p;
        std::memcpy(p, prefix, plen);
        p[plen] = ' ';
    }
    if (!xxrdline(&xxalbuf)) {
        // At the end of the file the line is empty; keep its terminator.
        if (xxalbuf->ptr < xxalbuf->eptr) {
            *xxalbuf->ptr++ = '\0';
        } else {
            return;
        }
    }
    auto *cell = static_cast<linecell *>(xxcalmem(&xxalbuf, sizeof(linecell)));
    if (!cell)
        return;
    cell->text = text;

    // A list that already holds lines gets the new one at its end, also when the caller's tail
    // does not know that end yet, so that no saved line is dropped.
    linecell *end = tail ? *tail : nullptr;
    if (!end && *head) {
        end = *head;
        while (end->next)
            end = end->next;
    }
    if (end)
        end->next = cell;
    if (tail)
        *tail = cell;
    if (!*head)
        *head = cell;
}

int xxsvsec(void * /*owner*/, const char * /*section*/, void *head) {
    RoutineScope scope("xxsvsec");
    auto **lines = static_cast<linecell **>(head);
    linecell *tail = nullptr;
    int c;
    while ((c = xxpeek()) != EOF && c != '[')
        xxsvline(nullptr, lines, &tail);
    return 1;
}

int xxfindline(FILE *stream, const char *text) {
    RoutineScope scope("xxfindline");
    filerec *f = xxcurfile();
    if (!stream)
        stream = f->open ? f->stream : nullptr;
    if (!stream || !text || !*text)
        return 0;
    int other = 1; // line counter of a stream that is not the current file's
    int *line = stream == f->stream ? &f->line : &other;
    xxbufinit(&xxlinebuf, 1024);
    if (!xxlinebuf)
        return 0;
    const int first = static_cast<unsigned char>(text[0]);
    for (;;) {
        int c = readc(stream);
        if (c == EOF)
            return 0;
        if (c != first) {
            // A line feed read here ended an empty line: the next line may be the one sought.
            if (c == '\n')
                ++*line;
            else
                purge(stream, line);
            continue;
        }
        xxlinebuf->ptr = reinterpret_cast<char *>(xxlinebuf + 1);
        const char *rest = rdline(stream, line, &xxlinebuf);
        if (!rest)
            return 0;
        if (cf::strcieql(rest, text + 1))
            return 1;
    }
}

int xxfindsection(const char *section) {
    RoutineScope scope("xxfindsection");
    filerec *f = xxcurfile();
    if (!f->section || !f->stream) {
        xxerr("er", "no file open.");
        return 0;
    }
    if (cf::strcieql(f->section, section))
        return 1;
    if (!xxfindline(f->stream, section)) {
        std::rewind(f->stream);
        f->line = 1;
        if (xxoptions().verbose)
            xxerr("m", "Arghh. Seeking to beginning of file to find %s.", section);
        if (!xxfindline(f->stream, section))
            return 0;
    }
    f->section = section;
    return 1;
}

int xxrdsection(void *owner, const char *section, SectionHandler handler, void *arg,
                int required) {
    RoutineScope scope("xxrdsection");
    if (xxoptions().debug)
        xxerr("m", "xxrdsection:%s", section);
    if (!xxfindsection(section)) {
        if (required)
            xxerr("ren", "cannot find %s section of file", section);
        return 0;
    }
    if (!handler)
        return 1;
    return handler(owner, section, arg) ? 1 : 0;
}

} // namespace kdx
