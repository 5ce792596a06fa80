// rd2.cpp - the character, word, line and section routines every file reader is built on.
//
// All of them work on the current file record of rd.cpp and read one character at a time: from
// the file's bytes in memory when rd.cpp read it whole (a byte cursor), else from its stream
// with the unlocked stdio routines. Texts go straight into "xxalbuf" or a scratch buffer, bounded
// by the buffer's end: an over-long word or line is cut with a message, never written past it.
// Carriage returns end words and are dropped from lines, so CR LF files read like LF files.
// The section search remembers the section lines it meets in the open file (seccache), so that
// readers asking for sections out of order, or for one the file lacks, do not reread the file.
#include "kdxint.h"
#include "platform/sysfile.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace kdx {

// What the section search has learnt about the open file: the lines that begin with '[' in one
// stretch of it read through from a line start. The stretch ends where the last reading
// stopped, at the end of the file once a reading got there.
struct seccache {
    struct Mark {
        off_t start;      // where the line's '[' stands
        off_t end;        // just behind the line, its line feed included
        int line;         // line number behind the line
        std::string rest; // the line behind its '[' as the search compares it
    };
    std::vector<Mark> marks; // the bracket lines of the stretch, in file order
    off_t lo = -1;           // the stretch: [lo, hi); none while lo < 0
    off_t hi = -1;
    int loline = 0;     // line number at lo
    int hiline = 0;     // line number at hi
    bool toend = false; // hi is the end of the file
    bool off = false;   // the lists are not used for this file: it cannot be wound back,
                        // or a section line in it is too long for the line buffer
};

namespace {

constexpr bool isblank(int c) {
    return c == ' ' || c == '\t';
}
constexpr bool iseol(int c) {
    return c == '\n' || c == '\r';
}

// White space that ends a word: blank, tab, line feed, vertical tab, form feed, carriage return.
constexpr bool endsword(int c) {
    return cf::isspacec(c);
}

// What the routines below read from: get() gives the next byte or EOF, unget(c) gives back the
// byte get() returned last.

// A stream of the caller's, or an open file that is read through its stream.
struct StreamIn {
    FILE *fp;
    int get() { return platform::ReadChar(fp); }
    void unget(int c) {
        if (c != EOF) std::ungetc(c, fp);
    }
};

// The bytes of a file read whole, for the routines that run for nearly every byte: a cursor
// kept in a register, put back in the record when the routine is done (done()).
struct MemIn {
    filerec &f;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(f.memdata + f.mempos);
    const unsigned char *const end = reinterpret_cast<const unsigned char *>(f.memdata + f.memsize);
    int get() { return p < end ? *p++ : EOF; }
    void unget(int c) {
        if (c != EOF) --p;
    }
    void done() {
        f.mempos = static_cast<std::size_t>(reinterpret_cast<const char *>(p) - f.memdata);
    }
};

// Runs fn with what the open file is read from: its bytes in memory, or its stream.
template <class Fn> auto withinput(filerec &f, Fn &&fn) {
    if (f.memdata == nullptr) {
        StreamIn in{f.stream};
        return fn(in);
    }
    MemIn in{f};
    auto result = fn(in);
    in.done();
    return result;
}

// The rest of the line, line feed included; one more line unless the end of the file came first.
// Returns the number of characters consumed.
template <class In> off_t purge(In &in, int *line) {
    off_t used = 0;
    int c;
    while ((c = in.get()) != EOF) {
        ++used;
        if (c == '\n') {
            ++*line;
            break;
        }
    }
    return used;
}

// Makes sure *buf has `room` bytes left in its current block; false when none could be had.
bool ensure(membuf **buf, std::size_t room) {
    if (!*buf || (*buf)->ptr >= (*buf)->eptr ||
        static_cast<std::size_t>((*buf)->eptr - (*buf)->ptr) < room)
        xxnewbuf(buf, room);
    return *buf && (*buf)->ptr < (*buf)->eptr &&
           static_cast<std::size_t>((*buf)->eptr - (*buf)->ptr) >= room;
}

// The rest of the line into *buf at its ptr, as xxrdline describes, its characters taken from
// next() (EOF at the end); the line counter is the caller's, so xxfindline can read a stream of
// its own. *used (when given) counts the characters consumed and *cut tells whether the line
// was too long.
template <class Next>
char *readline(Next next, int *line, membuf **buf, off_t *used = nullptr, bool *cut = nullptr) {
    if (used) *used = 0;
    if (cut) *cut = false;
    if (!ensure(buf, 3)) return nullptr;
    char *const start = (*buf)->ptr;
    char *const stop = (*buf)->eptr - 2; // storage ends two bytes before the end
    char *pos = start;
    char *keep = start; // just behind the last character that is not a blank
    off_t count = 0;
    bool toolong = false;
    int c;
    while ((c = next()) != EOF) {
        ++count;
        if (c == '\n') break;
        if (c == '\r') continue;
        if (pos >= stop) {
            if (!toolong) {
                toolong = true;
                xxerr("er", "Line too long");
            }
            continue;
        }
        *pos++ = static_cast<char>(c);
        if (!isblank(c)) keep = pos;
    }
    *keep = '\0';
    if (used) *used = count;
    if (cut) *cut = toolong;
    if (count == 0) return nullptr; // the end of the file: an empty text, ptr not advanced
    (*buf)->ptr = keep + 1;
    ++*line;
    return start;
}

template <class In>
char *rdline(In &in, int *line, membuf **buf, off_t *used = nullptr, bool *cut = nullptr) {
    return readline([&in] { return in.get(); }, line, buf, used, cut);
}

// The search of xxfindline: the lines that begin with text's first character are compared
// with the rest of text; returns 1 behind the line that matches, 0 at the end of the file.
template <class In> int findplain(In &in, int *line, const char *text) {
    const int first = static_cast<unsigned char>(text[0]);
    for (;;) {
        int c = in.get();
        if (c == EOF) return 0;
        if (c != first) {
            // A line feed read here ended an empty line: the next line may be the one sought.
            if (c == '\n')
                ++*line;
            else
                purge(in, line);
            continue;
        }
        xxlinebuf->ptr = reinterpret_cast<char *>(xxlinebuf + 1);
        const char *rest = rdline(in, line, &xxlinebuf);
        if (!rest) return 0;
        if (cf::strcieql(rest, text + 1)) return 1;
    }
}

using Mark = seccache::Mark;

enum class Scan { found, end, stop };

// Reads the current file on from `pos`, a line start, exactly as findplain does, noting every
// bracket line in `met`; stops behind the line that matches `text`, at the end of the file, or
// where a line starts at `stop`. *end is where it stopped.
Scan scanmemory(filerec &f, seccache &c, const char *text, off_t pos, off_t stop,
                std::vector<Mark> &met, off_t *end);

Scan scan(filerec &f, seccache &c, const char *text, off_t pos, off_t stop, std::vector<Mark> &met,
          off_t *end) {
    if (f.memdata != nullptr) return scanmemory(f, c, text, pos, stop, met, end);
    StreamIn in{f.stream};
    Scan result = Scan::end;
    for (;;) {
        if (pos == stop) {
            result = Scan::stop;
            break;
        }
        int ch = in.get();
        if (ch == EOF) break;
        ++pos;
        if (ch != '[') {
            if (ch == '\n')
                ++f.line;
            else
                pos += purge(in, &f.line);
            continue;
        }
        xxlinebuf->ptr = reinterpret_cast<char *>(xxlinebuf + 1);
        off_t used = 0;
        bool cut = false;
        const char *rest = rdline(in, &f.line, &xxlinebuf, &used, &cut);
        pos += used;
        if (cut) c.off = true;
        if (!rest) break;
        met.push_back({pos - used - 1, pos, f.line, rest});
        if (cf::strcieql(rest, text + 1)) {
            result = Scan::found;
            break;
        }
    }
    f.midline = 0;
    *end = pos;
    return result;
}

// scan on a file read whole, with the same results: the lines are found in its bytes with
// memchr rather than one character at a time, and the file is moved once, to where the reading
// would have stopped.
Scan scanmemory(filerec &f, seccache &c, const char *text, off_t pos, off_t stop,
                std::vector<Mark> &met, off_t *end) {
    const char *const data = f.memdata;
    const auto size = static_cast<off_t>(f.memsize);
    Scan result = Scan::end;
    for (;;) {
        if (pos == stop) {
            result = Scan::stop;
            break;
        }
        if (pos >= size) break;
        if (data[pos++] != '[') {
            if (data[pos - 1] != '\n') {
                const void *nl =
                    std::memchr(data + pos, '\n', static_cast<std::size_t>(size - pos));
                if (nl == nullptr) {
                    pos = size; // the last line, unended
                    continue;
                }
                pos = static_cast<const char *>(nl) - data + 1;
            }
            ++f.line;
            continue;
        }
        xxlinebuf->ptr = reinterpret_cast<char *>(xxlinebuf + 1);
        off_t used = 0;
        bool cut = false;
        off_t at = pos;
        const char *rest = readline(
            [data, size, &at] { return at < size ? static_cast<unsigned char>(data[at++]) : EOF; },
            &f.line, &xxlinebuf, &used, &cut);
        pos += used;
        if (cut) c.off = true;
        if (!rest) break;
        met.push_back({pos - used - 1, pos, f.line, rest});
        if (cf::strcieql(rest, text + 1)) {
            result = Scan::found;
            break;
        }
    }
    f.midline = 0;
    *end = pos;
    f.mempos = static_cast<std::size_t>(pos);
    return result;
}

// The line number the lists give for position pos, when pos is a line start they know.
bool knownline(const seccache &c, off_t pos, int *line) {
    if (c.lo < 0 || pos < c.lo || pos > c.hi) return false;
    if (pos == c.lo || pos == c.hi) {
        *line = pos == c.lo ? c.loline : c.hiline;
        return true;
    }
    auto m = std::lower_bound(c.marks.begin(), c.marks.end(), pos,
                              [](const Mark &k, off_t at) { return k.end < at; });
    if (m == c.marks.end()) return false;
    if (m->end == pos) {
        *line = m->line;
        return true;
    }
    if (m->start == pos) {
        *line = m->line - 1; // a bracket line counts as one line, also the last one unended
        return true;
    }
    return false;
}

// Moves the current file from `from` to `to`, where the line number is `line`.
void moveto(filerec &f, off_t from, off_t to, int line) {
    if (to != from && f.memdata != nullptr) {
        f.mempos = static_cast<std::size_t>(to);
    } else if (to != from) {
        // stdio keeps its buffer only for a seek to a byte inside it, which the end of the file
        // is not: reaching the end through its last byte spares reading the file in again.
        const bool toend = to == f.sections->hi && f.sections->toend && to > 0;
        const bool moved = fseeko(f.stream, toend ? to - 1 : to, SEEK_SET) == 0;
        XXASSERT(moved);
        if (toend) platform::ReadChar(f.stream);
    }
    f.line = line;
    f.midline = 0;
}

// xxfindline on the current file for the section search. Where the file's lists cover the rest
// of the file from where it stands, the answer comes from them and costs one seek; otherwise
// the file is read, and what is read is added to the lists. The file ends where the reading
// would have left it, with the line number the reading would have counted (the lists hold
// line numbers relative to one another, so they move the file's line number by the difference
// the reading would have counted). The messages are the reading's: the routine entered, the
// line buffer prepared, and no list is used for a file with a line too long for the buffer,
// whose message every reading must repeat. When the search goes on from the start after a
// failure (`rewinds`), the file is left where it stands instead of at its end.
int findforward(filerec &f, const char *text, bool rewinds) {
    RoutineScope scope("xxfindline");
    if (!text || !*text) return 0;
    xxbufinit(&xxlinebuf, 1024);
    if (!xxlinebuf) return 0;
    // Only the section lines are noted, and only where the file stands at a line start.
    if (text[0] != '[' || f.midline || (f.sections && f.sections->off)) {
        const int found = withinput(f, [&](auto &in) { return findplain(in, &f.line, text); });
        f.midline = 0;
        return found;
    }
    if (!f.sections) f.sections = new seccache;
    seccache &c = *f.sections;
    off_t pos = static_cast<off_t>(xxftell(f));
    if (pos < 0) {
        c.off = true; // a pipe: nothing to seek back to
        return withinput(f, [&](auto &in) { return findplain(in, &f.line, text); });
    }
    std::vector<Mark> met;
    off_t end = 0;
    int at = 0; // the lists' line number at pos
    if (c.lo >= 0 && pos < c.lo) {
        // Read up to the stretch the lists know, then go on with them.
        const int first = f.line;
        const Scan r = scan(f, c, text, pos, c.lo, met, &end);
        if (r == Scan::found) return 1;
        if (r == Scan::end || c.off) {
            c.off = true; // the file is not what the lists say, or must be read for its messages
            return r == Scan::end
                       ? 0
                       : withinput(f, [&](auto &in) { return findplain(in, &f.line, text); });
        }
        const int shift = c.loline - f.line;
        for (Mark &m : met)
            m.line += shift;
        met.insert(met.end(), c.marks.begin(), c.marks.end());
        c.marks.swap(met);
        at = c.loline;
        c.lo = pos;
        c.loline = first + shift;
        pos = end;
    } else if (!knownline(c, pos, &at)) {
        if (c.lo >= 0 && pos < c.hi) // inside the stretch, at a place the lists cannot place
            return withinput(f, [&](auto &in) { return findplain(in, &f.line, text); });
        // Somewhere new: what is read now replaces the lists.
        const int first = f.line;
        const Scan r = scan(f, c, text, pos, -1, met, &end);
        if (!c.off) {
            c.marks.swap(met);
            c.lo = pos;
            c.loline = first;
            c.hi = end;
            c.hiline = f.line;
            c.toend = r == Scan::end;
        }
        return r == Scan::found ? 1 : 0;
    }

    auto m = std::lower_bound(c.marks.begin(), c.marks.end(), pos,
                              [](const Mark &k, off_t from) { return k.start < from; });
    for (; m != c.marks.end(); ++m) {
        if (cf::strcieql(m->rest.c_str(), text + 1)) {
            moveto(f, pos, m->end, f.line + (m->line - at));
            return 1;
        }
    }
    if (c.toend) {
        if (!rewinds) moveto(f, pos, c.hi, f.line + (c.hiline - at));
        return 0;
    }
    moveto(f, pos, c.hi, f.line + (c.hiline - at));

    // Not in the stretch, which ends before the file does: read on behind it.
    met.clear();
    const int first = f.line;
    const Scan r = scan(f, c, text, c.hi, -1, met, &end);
    if (!c.off) {
        const int shift = c.hiline - first;
        for (Mark &k : met)
            k.line += shift;
        c.marks.insert(c.marks.end(), met.begin(), met.end());
        c.hi = end;
        c.hiline = f.line + shift;
        c.toend = r == Scan::end;
    }
    return r == Scan::found ? 1 : 0;
}

} // namespace

void xxsecforget(filerec &f) {
    delete f.sections;
    f.sections = nullptr;
}

// The three word and line readers below run for nearly every byte of a design. They report
// nothing (xxrdstr only a cut word) and call no routine that reports, so their names are put on
// the routine stack only around that report: the stack reads the same to every message.

int xxpeek() {
    filerec *f = xxcurfile();
    if (!f->open || !f->stream) return EOF;
    const int c = xxgetc(*f);
    xxungetc(c, *f);
    return c;
}

void xxpurgeline() {
    filerec *f = xxcurfile();
    if (f->open && f->stream) {
        withinput(*f, [&](auto &in) { return purge(in, &f->line); });
        f->midline = 0;
    }
}

namespace {

// The bodies of xxrdstr and xxrdbuf, on either kind of input.
template <class In> char *rdstr(In &in, filerec *f, char *buf, int limit) {
    int c = in.get();
    if (isblank(c) || (c != EOF && !iseol(c)))
        f->midline = 1; // what is read here is not given back
    while (isblank(c))
        c = in.get();
    int n = 0;
    bool cut = false;
    while (c != EOF && !endsword(c)) {
        if (n < limit - 1) {
            buf[n++] = static_cast<char>(c);
        } else if (!cut) {
            cut = true;
            QuietRoutineScope scope("xxrdstr");
            xxerr("renl", "line or identifier too long, being truncated");
        }
        c = in.get();
    }
    if (iseol(c)) in.unget(c); // the line is not consumed
    if (n == 0) return nullptr;
    buf[n] = '\0';
    return buf;
}

template <class In> char *rdbuf(In &in, filerec *f, membuf **buf, int whole) {
    char *const start = (*buf)->ptr;
    char *const last = (*buf)->eptr - 1; // room for the terminator
    char *pos = start;
    bool cut = false;
    int c = in.get();
    if (isblank(c) || (c != EOF && !iseol(c)))
        f->midline = 1; // what is read here is not given back
    while (isblank(c))
        c = in.get();
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
        c = in.get();
    }
    if (iseol(c)) in.unget(c);
    if (pos == start) return nullptr;
    if (whole)
        while (pos > start && isblank(pos[-1]))
            --pos;
    *pos = '\0';
    (*buf)->ptr = pos + 1;
    return start;
}

} // namespace

// The two readers that run for nearly every word choose their input by hand: through withinput
// a whole run cost 1.7% more instructions (callgrind, the parts-dense bench design).
char *xxrdstr(char *buf, int limit) {
    filerec *f = xxcurfile();
    if (!buf || limit < 1 || !f->open || !f->stream) return nullptr;
    if (f->memdata == nullptr) {
        StreamIn in{f->stream};
        return rdstr(in, f, buf, limit);
    }
    MemIn in{*f};
    char *word = rdstr(in, f, buf, limit);
    in.done();
    return word;
}

char *xxrdbuf(membuf **buf, int whole) {
    RoutineScope scope("xxrdbuf");
    filerec *f = xxcurfile();
    if (!buf || !f->open || !f->stream || !ensure(buf, 2)) return nullptr;
    if (f->memdata == nullptr) {
        StreamIn in{f->stream};
        return rdbuf(in, f, buf, whole);
    }
    MemIn in{*f};
    char *text = rdbuf(in, f, buf, whole);
    in.done();
    return text;
}

char *xxrdline(membuf **buf) {
    RoutineScope scope("xxrdline");
    filerec *f = xxcurfile();
    if (!buf || !f->open || !f->stream) return nullptr;
    char *text = withinput(*f, [&](auto &in) { return rdline(in, &f->line, buf); });
    if (text) f->midline = 0; // the line is read to its end
    return text;
}

prop *xxrdprop() {
    RoutineScope scope("xxrdprop");
    if (!ensure(&xxalbuf, 1040)) return nullptr;
    auto *p = static_cast<prop *>(xxcalmem(&xxalbuf, sizeof(prop)));
    if (!p) return nullptr;
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
    if (!ensure(&xxalbuf, nlen + vlen + 1 + 66)) return nullptr;
    auto *p = static_cast<prop *>(xxcalmem(&xxalbuf, sizeof(prop)));
    if (!p) return nullptr;
    p->type = static_cast<std::uint8_t>(objtype::prop);
    p->flags = static_cast<std::uint16_t>(flags);
    if (name) {
        const std::size_t len = nlen + (value ? 1 + vlen : 0);
        auto *text = xxalchars(&xxalbuf, len + 1);
        if (!text) return nullptr;
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
    if (!head || !ensure(&xxalbuf, plen + 1 + 1024)) return;
    char *text = xxalbuf->ptr;
    if (prefix) {
        // The prefix and its blank, with the line read right behind them.
        auto *p = static_cast<char *>(xxalmem(&xxalbuf, plen + 1));
        if (!p) return;
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
    if (!cell) return;
    cell->text = text;

    // A list that already holds lines gets the new one at its end, also when the caller's tail
    // does not know that end yet, so that no saved line is dropped.
    linecell *end = tail ? *tail : nullptr;
    if (!end && *head) {
        end = *head;
        while (end->next)
            end = end->next;
    }
    if (end) end->next = cell;
    if (tail) *tail = cell;
    if (!*head) *head = cell;
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
    if (!stream) stream = f->open ? f->stream : nullptr;
    if (!stream || !text || !*text) return 0;
    int other = 1; // line counter of a stream that is not the current file's
    const bool ours = stream == f->stream;
    xxbufinit(&xxlinebuf, 1024);
    if (!xxlinebuf) return 0;
    StreamIn foreign{stream};
    const int found = ours ? withinput(*f, [&](auto &in) { return findplain(in, &f->line, text); })
                           : findplain(foreign, &other, text);
    if (ours) f->midline = 0;
    return found;
}

int xxfindsection(const char *section) {
    RoutineScope scope("xxfindsection");
    filerec *f = xxcurfile();
    if (!f->section || !f->stream) {
        xxerr("er", "no file open.");
        return 0;
    }
    if (cf::strcieql(f->section, section)) return 1;
    if (!findforward(*f, section, true)) {
        if (f->memdata != nullptr)
            f->mempos = 0;
        else
            std::rewind(f->stream);
        f->line = 1;
        f->midline = 0;
        if (xxoptions().verbose)
            xxerr("m", "Arghh. Seeking to beginning of file to find %s.", section);
        if (!findforward(*f, section, false)) return 0;
    }
    f->section = section;
    return 1;
}

int xxrdsection(void *owner, const char *section, SectionHandler handler, void *arg, int required) {
    RoutineScope scope("xxrdsection");
    if (xxoptions().debug) xxerr("m", "xxrdsection:%s", section);
    if (!xxfindsection(section)) {
        if (required) xxerr("ren", "cannot find %s section of file", section);
        return 0;
    }
    if (!handler) return 1;
    return handler(owner, section, arg) ? 1 : 0;
}

} // namespace kdx
