// kdx.h - the public interface of the KDX netlist database.
//
// The library keeps one netlist database per run: nets (one per schematic or design cell),
// symbols, symbol definitions, nodes, buses, wires, ports and properties, all carved out of the
// chained object buffer and released together by xxfreeall. Every routine reports failures
// through xxerror/xxerr and returns 0 or null; the one exception is the recovery point (RunAbort).
//
// The header is divided into one section per module group; each group adds its declarations
// inside its own section only.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace kdx {

// Records of the object model; their layouts live in the library's internal header.
struct xxrec;
struct xxnamed;
struct membuf;
struct hashtbl;
struct prop;
struct symbol;
struct symdef;
struct net;
struct node;
struct bus;
struct wire;
struct port;
struct rootnet;
struct filerec;

// ===== Error reporting and routine stack (err, err2) =====

// Thrown by the run's exit routine after the clean-up has run; caught only by the run entry.
struct RunAbort {
    int status; // the status the run ends with (negative)
};

// The routine that ends a run (Sch_Exit of the run driver). Without one installed, a fatal
// error releases the library and throws RunAbort{status} itself.
using ExitHandler = void (*)(int status);
void xxsetexit(ExitHandler handler);

// Called by xxerror before it writes a message (null: nothing is called). The run driver's
// printing helper catches up there, so the report and the log keep the order of a run without
// it; the hook may itself report messages, or end the run.
using MessageHook = void (*)();
void xxsetmsghook(MessageHook hook);

// The library belongs to the run's thread. A helper of the run marks its thread with
// xxforbidthread(true) while it works; builds with thread checks (PARTLIST_THREADCHECKS: the
// sanitizer and debug builds) abort when a marked thread enters a library routine or writes a
// message, other builds only keep the mark.
void xxforbidthread(bool forbid);

// The log stream every message goes to; standard error until a run opens its log. The path
// library's traces and notices follow it (cf::SetPathLog).
void xxsetlog(FILE *log);
FILE *xxlog();

// Writes one message to the log: the program-name prefix, the severity word of `code` ('d'
// "debug: ", 'e' "error: ", 'f' "fatal error: ", 'i' "internal error: ", 'w' "warning: ", any
// other letter none), the text and a newline; counts it. 'f' and 'i' end the run through the
// exit handler unless -xxnofatal is in effect, in which case they return. A code that is not a
// letter writes "xxerror: invalid error message type" instead. The result is always 0.
[[gnu::format(printf, 2, 3)]] int xxerror(int code, const char *fmt, ...);

// Composes a library message from `letters` (severity f/i/e/w/d, else plain; r or i: the routine
// chain; n/l: file and line of the current input; p: the reference note) and reports it through
// xxerror. Messages with 'd' are silent unless -xxdebug or -xxbegin is in effect.
[[gnu::format(printf, 2, 3)]] void xxerr(const char *letters, const char *fmt, ...);

// The routine stack: every library routine pushes its name (a static text) on entry and pops it
// on each return. xxenter also writes the trace line when -xxtrace is in effect. Every routine
// of the library comes through here, millions of times for a large design, so the common case
// is inline: a compare and a store.
void xxenter(const char *name);
void xxenterq(const char *name);
void xxleave();

// True while routine entries are written to the log (-xxtrace, -xxbegin). Code that saves calls
// of library routines for speed (caches, skipped repeat look-ups) makes every call while it
// holds, so the trace stays the same.
bool xxtracing();

// Depth of the routine stack (the top index + 1) and its entry i (0 = outermost), null outside.
int xxstackdepth();
const char *xxstackname(int i);

// Releases the run state of the library: the file records, the program name, the object buffers,
// the qualifier list and the scratch tables of the property and symbol routines.
void xxcleanup();

// Number of messages xxerror has written (valid or not) since the library was loaded.
int xxmsgcount();

// Number of internal errors (broken invariants) reported since the library was loaded: how a
// check tells that one was reached, whatever text the messages hold.
int xxinternalcount();

// The program name that prefixes every message ("%s: "); null or "" for none. The text is copied.
void xxsetprogname(const char *name);
const char *xxprogname();

// Library option flags, set by the option parser (-xxdebug, -xxmemdebug, ...) and read everywhere.
struct LibOptions {
    int debug;      // -xxdebug: debug messages and buffer traces
    int memdebug;   // -xxmemdebug: object-buffer growth traces
    int dsndebug;   // design reader traces
    int nofatal;    // -xxnofatal: fatal and internal errors return to their caller
    int trace;      // -xxtrace: every routine entry is written to the log
    int begin;      // -xxbegin: outermost routine entries are written; debug messages too
    int verbose;    // verbose reading
    int nobrackets; // bracketed names are not treated specially
    int brk;        // break option
    int v;          // -v
};
// "-pathDEBUG" is the path library's own switch (cf::pathdebugflag), set by the same parse.
LibOptions &xxoptions();

namespace detail {
inline constexpr int ROUTINE_STACK = 100; // routine names the stack holds

struct RoutineStack {
    const char *names[ROUTINE_STACK]; // routine names, outermost at entry 0
    int top;                          // innermost entry; -1 when empty
    int unpushed;                     // entries refused on overflow, still to be left
    bool overflowing;                 // the overflow message is being reported
};
extern RoutineStack routines; // err2
extern LibOptions options;    // glob: what xxoptions() gives

// The uncommon cases: a full stack, or a trace to write.
void enterslow(const char *name, bool traced);

#ifdef PARTLIST_THREADCHECKS
extern thread_local bool forbidden; // err: xxforbidthread's mark
[[noreturn]] void forbiddenentry(const char *name);
#endif

inline bool fastpush(const char *name) {
#ifdef PARTLIST_THREADCHECKS
    if (forbidden) [[unlikely]]
        forbiddenentry(name);
#endif
    RoutineStack &s = routines;
    if (s.top >= ROUTINE_STACK - 1 || options.trace != 0 || options.begin != 0) [[unlikely]]
        return false;
    s.names[++s.top] = name;
    return true;
}

inline void fastleave() {
    RoutineStack &s = routines;
    if (s.unpushed > 0) [[unlikely]]
        --s.unpushed;
    else if (s.top >= 0)
        --s.top;
}
} // namespace detail

// Scope guards for the routine stack, so that every return and every unwinding pops the entry.
struct RoutineScope {
    explicit RoutineScope(const char *name) {
        if (!detail::fastpush(name)) detail::enterslow(name, true);
    }
    ~RoutineScope() { detail::fastleave(); }
    RoutineScope(const RoutineScope &) = delete;
    RoutineScope &operator=(const RoutineScope &) = delete;
};

struct QuietRoutineScope {
    explicit QuietRoutineScope(const char *name) {
        if (!detail::fastpush(name)) detail::enterslow(name, false);
    }
    ~QuietRoutineScope() { detail::fastleave(); }
    QuietRoutineScope(const QuietRoutineScope &) = delete;
    QuietRoutineScope &operator=(const QuietRoutineScope &) = delete;
};

// ===== End of error reporting =====

// ===== Memory buffers and library lifetime (init, util) =====

// Initialises the library (the object buffers, the root record and its tables); a second call
// while initialised does nothing.
void xxinit();

// Releases every record and buffer and returns the library to the uninitialised state; every
// pointer into the object model dangles afterwards.
void xxfreeall();

// Releases one block obtained by plain heap allocation (xxalmem with a null buffer); null is
// ignored.
void xxfree(void *p);

// The library's root record; null while the library is not initialised.
rootnet *xxgetroot();

// ===== End of memory buffers =====

// ===== Hash tables (hash) =====

// A new empty table of `buckets` buckets, allocated from "xxalbuf"; null when no memory was given.
hashtbl *xxnewhashtbl(int buckets);

// The bucket of `name` in t: case-insensitive, '!' ignored; always within 0..buckets-1.
int xxhashname(const hashtbl *t, const char *name);

// The first record of `bucket` whose name equals `name` without regard to case; null for a null
// name or when none matches. `flags` is reserved (0).
xxnamed *xxhashlookup(const hashtbl *t, const char *name, int bucket, int flags);

// xxhashlookup in the bucket of `name`.
xxnamed *xxfindhash(const hashtbl *t, const char *name);

// Puts r at the head of `bucket` (computed by xxhashname on r's name); no duplicate check.
void xxinshash(hashtbl *t, xxnamed *r, int bucket);

// Calls fn on every record: buckets in order, each chain newest first.
void xxhashapply(hashtbl *t, void (*fn)(xxnamed *));

// Iterator: the record after `prev` (or the first of bucket *bucket when prev is null) that
// `filter` accepts (no filter: every record); null at the end. A full pass starts with *bucket = 0
// and prev null; *bucket is advanced in the caller's variable.
xxnamed *xxnexthash(hashtbl *t, xxnamed *prev, int *bucket, int (*filter)(xxnamed *));

// ===== End of hash tables =====

// ===== Symbols, definitions, nets, object access (sym, symif, symtbl, net, miscif, glob) =====

// Public kinds of objects, as xxobjtype reports them.
inline constexpr int KDX_NONE = 0;   // not a database object (also wires)
inline constexpr int KDX_NET = 1;    // net or the library root
inline constexpr int KDX_SYMBOL = 2; // placed symbol
inline constexpr int KDX_SYMDEF = 3; // symbol definition
inline constexpr int KDX_NODE = 4;
inline constexpr int KDX_BUS = 5;
inline constexpr int KDX_PORT = 6; // any of the five port kinds
inline constexpr int KDX_PROP = 7;

// Selection bits of xxsymtbl (its flags argument): admit symbols that the list normally leaves
// out.
inline constexpr int SYMTBL_FRAMES = 0x40;     // frame and null-model symbols
inline constexpr int SYMTBL_CONNECTORS = 0x20; // symbolic connectors

// Constructors, in the order the readers call them. Definitions always go to the root's
// table (owner is not used); both return the existing record of that name when there is one.
symdef *xxnewsymdef(void *owner, const char *name);
net *xxnewnetdef(const char *name, symbol *sym);
symbol *xxnewsym(net *owner, symdef *def, int nports);
int xxfixnewsym(net *owner, symbol *sym);                  // 1
int xxfixnewsymdef(symdef *def, const char *file);         // 1
net *xxnetsymi(symbol *sym, const char *model, int flags); // null for leaf symbols

// accept: 0x01 symbols, 0x02 or 0x08 definitions. The type code, or 0 after an error.
int chksym(const void *obj, int accept);
symbol *xxfsym(net *owner, const char *name, int flags);
symdef *xxfindsymdef(void *owner, const char *name, int flags);
symdef *xxsymdef(void *obj);
net *xxsymnetdescr(void *obj);
const char *xxsymname(void *obj, int flags);
// The part name: prefix + primitive + suffix, or "" for a non-primitive. The text lives in one
// process-wide buffer, valid until the next call (or xxsymfree).
const char *xxsympart(void *obj);
// Releases xxsympart's buffer (called by xxcleanup).
void xxsymfree();

// Steps *cursor through the symbols of a net in order of creation (null to start): 1 while it
// stands on a symbol, 0 at the end.
int xxnsym(void *owner, symbol **cursor);
// The symbols of a net for the part list. *array_out (when given) receives a malloc'ed array of
// exactly the count, or null for none; the caller frees it.
int xxsymtbl(void *obj, symbol ***array_out, int (*filter)(symbol *), int flags);

int xxobjtype(const void *obj); // one of the KDX_ kinds
int xxtype(const void *obj);    // bare type code, 0 for null
int xxflags(const void *obj);
// The name of any object; a net's is its "tn" value. Some texts live in static buffers.
const char *xxname(const void *obj, int flags);

// *list is a null-terminated malloc'ed array of malloc'ed texts; text is appended unless
// present. 1, or 0 when memory ran out.
int xxaddlist(char ***list, const char *text);
// The entries joined with ",", copied into *buf after resetting it ("" for an empty list).
char *xxgetlist(membuf **buf, char *const *list);

// Whole seconds since the previous call (0 on the first).
int xxelapsed();
// ===== End of symbols =====

// ===== Properties (prop, propif, proptbl) =====

struct linkcell;

// Flags of the property search (xxfindprop, xxfprops, xxpmatch, xxproptbl).
inline constexpr int FP_CLASS = 0x0007;    // class filter: a property must share one of these bits
inline constexpr int FP_WHOLE = 0x0020;    // alone: pass over the name; with FP_NOCASE: whole names
inline constexpr int FP_NOCASE = 0x0200;   // compare without case
inline constexpr int FP_NODEF = 0x0400;    // do not look into a symbol's definition
inline constexpr int FP_WARN = 0x0800;     // warn when not found
inline constexpr int FP_ANYQUAL = 0x1000;  // ignore failing qualifiers
inline constexpr int FP_DUPS = 0x2000;     // keep duplicate names in xxproptbl
inline constexpr int FP_QUALONLY = 0x4000; // check the qualifier only
inline constexpr int FP_PORTFORM = 0x8000; // only the form name(port) matches

// A match routine of the search: the first property of one list that it accepts.
using PropMatch = prop *(*)(prop *list, const char *name, int namelen, const char *target,
                            int targetlen, int flags);
using PropFilter = int (*)(prop *p);
using PortPropFn = void (*)(prop *p, void *obj, const char *portname);

int xxchkprop(const void *p);
const char *xxpropprop(const void *p);
const char *xxproprval(const void *p);
const char *xxpropval(const void *p);
const char *xxpropfval(const void *p);
const char *xxpropiname(const void *p, int flags);
int xxpropflags(const void *p);

prop *xxfindprop(void *obj, const char *name, int flags);
prop *xxfindpropfp(void *obj, const char *name, int flags);
prop *xxfprops(PropMatch match, void *obj, const char *name, int flags);
prop *xxfppl(prop *list, const char *name, int namelen, const char *target, int targetlen,
             int flags);
prop *xxflnprop(PropMatch match, linkcell *links, const char *name, int namelen, const char *target,
                int targetlen, int flags);
int xxpmatch(const char *name, int namelen, const prop *p, const char *target, int targetlen,
             int flags);
int xxqematch(const char **text, int *error);
int xxsqmatch(const char **text, int *error);

int xxproptbl(void *obj, prop ***array_out, PropFilter filter, int flags);
prop *xxsvprop(prop *list, const char *name, int namelen, const char *target, int targetlen,
               int flags);
const char *xxwname(const void *obj);
void xxsymportapply(void *obj, const char *name, PortPropFn fn);

void xxmergeprops(void *dst, prop *list, int mode);
prop *xxfixnewprop(void *owner, prop *p, int flags);
prop *xxslprop(void *owner, prop *p, const char *text);
void xxlinkprop(void *obj, prop *p, int mode);
void xxproplink(prop **head, prop **tail, prop *p, int mode);
int xxdiscardprop(const char *text);

// Releases the scratch state of the property routines (called by xxcleanup).
void xxpropfree();

// ===== End of properties =====

// ===== Nets, nodes and buses (netif, node, nodeif) =====

struct point;

// 1 for a net or the root; else an error and 0.
int chknet(const void *obj);
const char *xxnetname(void *obj, int flags);
net *xxfindnet(const char *name, int flags);

// The library lists: qualifiers ("-Q"), logic-0 and logic-1 node names ("-0", "-1").
// The adders return 1, or 0 on a bad argument.
void xxclrqual();
int xxaddqual(const char *text);
int xxaddl0(const char *text);
int xxaddl1(const char *text);
char *const *xxqualifiers(); // null-terminated, or null while empty
char *const *xxlogic0();     // null-terminated; "GND", "Vss" until changed
char *const *xxlogic1();     // null-terminated; "Vcc", "Vdd" until changed
// Empty a logic list (defaults included), so that "-0" / "-1" replace it rather than add to it.
void xxclrl0();
void xxclrl1();

// Finds or makes the node "name" of the net and puts port (may be null) on it; link (may be
// null) is added to the node's link list. Returns the representative now holding the port.
node *xxnewnode(net *owner, const char *name, port *p, void *link);
node *xxmknode(net *owner, const char *name, int bucket);
void xxnodealias(node *node1, node *node2);
// 1 to keep the second node as representative, 0 to keep the first.
int xxchoosenode(const char *name1, int flags1, int depth1, const char *name2, int flags2,
                 int depth2);
int xxnodeisfree(node *n);
node *xxunalias(node *n);
// Both return a static buffer (or name itself), valid until the next call.
char *xxdeglobalize(const char *name, int *global);
const char *xxchklogic(const char *name, int *logic);

int xxchkbus(net *owner, node *n);
int xxnewbus(net *owner, node *n);
void xxbusalias(bus *b, node *n);

wire *xxnewwire(net *owner);
point *xxnewpoint(wire *w, int x, int y);

int xxchknode(const void *obj); // 2 for a node, else an error and 0
const char *xxnodename(void *obj, int flags);
// ===== End of nodes =====

// ===== Ports (port, portif, porttbl) =====

struct arrayport;
struct rport;

using PortFilter = int (*)(port *p);

port *xxnewvport(void *owner, hashtbl *table, const char *name, void *link);
port *xxdupport(void *owner, port *tmpl);
arrayport *xxnewnpla(symbol *sym, int n);
// The packed port array of a primitive symbol (SYMF_ARRAY), made at its first use: a part-list
// read never wires, and most parts are never asked for a port. Null when it has no ports.
arrayport *xxsymarray(symbol *sym);
rport *xxnewrport(void *owner);
void xxlinkup(void *obj, linkcell **list, void *target);

port *xxfsdp(symdef *sd, const char *name);
port *xxfsp(symbol *sym, const char *name, int flags);
port *xxfndp(net *n, const char *name);
port *xxgetsdp(symdef *sd, const char *name, prop *p);
port *xxgetsp(symbol *sym, const char *name, prop *p);
port *xxsdp2sp(symbol *sym, port *sdp);
port *xxsp2sdp(symbol *sym, port *sp);
rport *xxfrport(void *list, const char *name);
int chkport(const void *obj);
void *xxportobj(const void *p, int flags);
node *xxportnode(const void *p);
const char *xxportname(const void *p, int flags);

int xxnport(void *owner, port **cursor, int flags);
int firstsymport(symbol *sym, port **cursor);
int nextsymport(symbol *sym, port **cursor);
port *xxportnext(void *obj, port *prev, PortFilter filter, int flags);
inline constexpr int PN_GLOBALS = 0x1000; // xxportnext: return global and logic ports too
inline constexpr int PN_FRAMES = 0x0010;  // xxportnext: return ports of frame and null symbols

void xxcports(net *n, symbol *sym);
void xxcnetports(net *n, hashtbl *table);
int xxdoio();

// ===== End of ports =====

// ===== File opening and line/section reader (rd, rd2) =====

struct linecell; // one saved line of a line list: {next, text}

// File kinds: bits of the read-option word. xxfdopen takes the set of kinds it may accept and
// returns the kind it found. Asking for the design or the schematic kind accepts both.
inline constexpr int XXK_DESIGN = 0x0008;    // "[design]" or "[design2]"; tries .dsn, then .sch
inline constexpr int XXK_SCHEMATIC = 0x0100; // "[schematic2]"; tries .dsn, then .sch
inline constexpr int XXK_NETLIST = 0x0200;   // "[simulation]"; tries .imf, then .ims
inline constexpr int XXK_SYMBOL = 0x1000;    // "[symbol2]"; tries .sym (a trailing "@D" dropped)
inline constexpr int XXK_QUIET = 0x2000;     // no message for a file that cannot be found

// Closes the current file, then opens `name` (a caller's `stream`, rewound, when one is given;
// otherwise searched along the symbol search path with the kinds' default extensions) and reads
// its header word. Returns the kind found, or 0 after a message. On success *path (when path is
// given) points at the full path of the file, a copy in "xxalbuf". A carriage return that ends
// `name` is ignored. A caller's stream stays the caller's: xxfdclose forgets it without closing
// it. Initialises the library when that was not done yet.
int xxfdopen(FILE *stream, const char *name, int kinds, const char **path);

// Closes the current file, if one is open.
void xxfdclose();

// Reads the header word of a freshly opened file (blank lines before it are skipped, the rest of
// its line is ignored); returns a copy in "xxalbuf", or null after "empty input file".
const char *xxrdhdr();

// The next character of the current file without consuming it; EOF at the end or without a file.
int xxpeek();

// Consumes the rest of the current line with its line feed (one more line); at the end of the
// file it stops without counting one.
void xxpurgeline();

// Reads one word (blanks and tabs before it skipped) into buf, at most limit - 1 characters; a
// longer word is cut with one message. A line end after the word stays unread. Returns buf, or
// null when the rest of the line is blank.
char *xxrdstr(char *buf, int limit);

// Reads one word (whole = 0) or the rest of the line without trailing blanks (whole != 0) to
// (*buf)->ptr, bounded by (*buf)->eptr; advances ptr past the terminator. Returns the text, or
// null (ptr unchanged) when nothing was read. The line end stays unread.
char *xxrdbuf(membuf **buf, int whole);

// Reads the rest of the line to (*buf)->ptr (carriage returns dropped, trailing blanks cut, the
// line feed consumed; an over-long line is cut with "Line too long") and advances ptr past the
// terminator. Returns the text ("" for an empty line), or null at the end of the file.
char *xxrdline(membuf **buf);

// Reads the rest of the line as the text of a new property (in "xxalbuf"); null when it is blank.
prop *xxrdprop();

// A new property name:value (or name alone when value is null) with the given property flags.
prop *xxalprop(int flags, const char *name, const char *value);

// Saves the rest of the current line (behind `prefix` and one blank, when a prefix is given) at
// the end of a line list: a new cell is linked behind *tail and becomes *tail (when tail is
// given), and becomes *head when the list was empty.
void xxsvline(const char *prefix, linecell **head, linecell **tail);

// A section handler: runs on the section the reader stands in; non-zero for success.
using SectionHandler = int (*)(void *owner, const char *section, void *arg);

// Section handler that saves every line up to the next section in the line list whose head is
// `head` (a linecell **). Returns 1.
int xxsvsec(void *owner, const char *section, void *head);

// Positions the current file just after the line that holds `section` (searched forward, then
// once from the start); the reader then stands in it. Returns 1, or 0 when it is not found.
int xxfindsection(const char *section);

// Searches the current file forward for a line that equals `text` without regard to case
// (trailing blanks ignored); the file then stands at the next line. Returns 1 or 0 (end of file).
int xxfindline(FILE *stream, const char *text);

// Finds `section` and runs handler(owner, section, arg) on it. Returns 1 when the section was
// found and the handler succeeded, else 0; a missing section is reported when `required` is set.
int xxrdsection(void *owner, const char *section, SectionHandler handler, void *arg, int required);

// ===== End of file reader =====

// ===== Schematic, symbol and design readers (rdss, rdss2, rdss3, rddsn, rddsn2) =====

// --- Bus names and the exclusion list (rdss3) ---
inline constexpr int BUSMAX = 1000; // room the caller's name array must have
// Expands a bus name into member names (copied into "xxalbuf"); 0 when the name is illegal or
// too wide. `buf` is the scratch buffer that holds the working copy of the name.
int xxbusexp(membuf **buf, const char *name, char **names);
char *xxnextcom(char **cursor, int *ok);
void xxdobr(char *element, int *ok);
void nameput(const char *name);
// The exclusion list: instances marked inactive, by {instance name, file name}.
int xxexclude(const char *name, const char *file);
int xxexcluded(const char *name, const char *file);
void xxclrexcl();
// --- End of bus names ---

// schematic and symbol files (rdss, rdss2)

// Reads the open schematic file (xxfdopen) into the read driver's current net (xxcurnet), reads
// the symbol files its "use" records name, and wires the drawing into nodes unless the read
// options hold 0x10. Returns 1, or 0 when a required section is missing or has a bad record, a
// symbol file failed, or a wire end names a symbol, port or schematic port that does not exist.
int xxrdsch();

// Reads the symbol file of `def` (its name without a trailing "@D", default extension ".sym") on
// the secondary file record, so that a schematic being read stays open and positioned. Of
// `flags` only XXK_QUIET is used. Returns 1 and marks the definition read, or 0; a failed read
// marks it failed, except that a file not found under XXK_QUIET leaves it unread.
int xxrdsymdef(FILE *stream, symdef *def, int flags);

// Non-zero when the port is hierarchical (port flag 0x0800); a PortFilter.
int ishierport(port *p);

// The record parser: a SectionHandler that reads the section the reader stands in against
// `table` (a const rdrecord array, kdxint.h) for `owner` (the net or the definition being read).
// Returns 1, or 0 when any record of the section was bad (the rest is still read).
int xxrdlines(void *owner, const char *section, void *table);

// Classifies the real ports from `first` on by their "connectortype" and declares one port of
// `obj` in `ports` per bus member of each, linked to its real port. Returns 1.
int xxrportexp(void *obj, hashtbl *ports, rport *first);

// Connects both ends of every wire that the last xxrdsch read into the current net; 0 when any
// end failed (all are tried).
int xxschwire();
// Connects one wire end ("q.symbol.port", "SELF.port" or a free end); 1, or 0 after a message.
int xxwport(wire *w, const char *end);
// Gives every port of the current net and of its symbols that is still open a node of its own.
void xxfrnode();
// Joins the nodes that the "wire" properties of the symbols' ports name.
void xxschportpass(net *n);
// Fixes every symbol of the net (xxfixnewsym) in order of creation.
void xxschsympass(net *n);

// design files (rddsn, rddsn2)

struct dsn2entry; // one entry of a design database (kdxint.h)

// Reads the page names of the open "[design]" file (lines up to the first section; "#" lines are
// comments) into the design's page list. Returns 1, or 0 after "no filenames in file".
int xxrddsnfn(net *design);
// Reads every page of the design (unless the read options hold 0x1000) and makes each page a
// symbol definition. Returns 1, or 0 when a page failed or a page is the design being read.
int xxrddsnnets(net *design);
// Copies the next blank-separated word of `list` into `word` (at most size - 1 characters);
// returns the position behind it, or null when no word is left.
const char *nextname(const char *list, char *word, std::size_t size);
// Gives `def` the declared ports of the page net `page`; returns 1.
int xxmksymdef(net *page, symdef *def);
// Places one instance of each page in the design net and gives the design its ports. Returns 1,
// or 0 after an internal error (a page without its definition or net).
int xxrddsn(net *design);
// Gives the design net the hierarchical ports of its pages, each name once.
void xxdsnports(net *design);

// Reads the open "[design2]" file `file` into the design database. Returns the net made for
// it, or null (the file closed) when the file is not a usable database.
net *xxrddsn2(const char *file);
// The top net of the database: its one page, or "*top*" for several.
net *xxdsn2init();
// When the database describes `n`, gives it its page list and page-id list: 1, else 0.
int xxfindmpg(net *n);
// The first entry of `list` named `name` (without regard to case; a null name: the first entry
// without a name); null when there is none.
dsn2entry *xxfinddp(dsn2entry *list, const char *name);
// Adds the qualifier name:value to the head of p's qualifier list.
void xxaddsubp(prop *p, const char *name, const char *value);
// The hierarchical path of the cell use an object lies in (static buffer; "" outside one).
const char *xxdsnpath(const void *obj);
// The next line of the current file (at most 999 characters, the rest of a longer line dropped;
// the line end removed), in a buffer valid until the next call; null at the end of the file.
char *myfgets();

// Writes the design database read from a "[design2]" file back as a "[design2]" file: to `file`
// with its extension made ".dsn" (null: the top net's "file" property), after the old file has
// been moved into the backup directory "~/bak"; or, for "stdout", to the log. The tool lines of
// this program are replaced by one new line. Returns 1, or 0 after a message; a target that
// could not be written whole is removed, and the message says where the old file is kept.
int xxwritedsn(const char *file);
// Moves `path` into the backup directory "~/bak" (made when missing), replacing a backup of the
// same name; 1, or 0 after a message with `path` left where it was.
int xxbackup(const char *path);
// 1 when `dir` is a directory or could be made one, else 0 after a message.
int xxmkdir(const char *dir);
// Copies the regular file `from` to `to` and removes `from`; 0 (without a message) when `from`
// is not a regular file, or the copy could not be made whole, or `from` could not be removed. A
// copy that failed part-way is removed; `from` stays unless the copy is whole.
int xxmv(const char *from, const char *to);

// netlist files (rdimf)

// Reads the open "[simulation]" file (xxfdopen with XXK_NETLIST) into the read driver's current
// net: its ports and technology, the "[tools]" lines, node aliases and symbol uses of "[detail]",
// the "[comments]" lines. Returns 1, or 0 when a required section is missing or holds a bad
// record.
int xxrdimf();

// ===== End of readers =====

// ===== Library options and read driver (pc) =====

// Read flags: the option word given to xxreadfile and kept in the root record for the readers.
inline constexpr int XXR_ONLY = 0x0001;      // read the named net only: no nets below, no ports
inline constexpr int XXR_MUSTEXIST = 0x0004; // a design file that cannot be found is fatal
inline constexpr int XXR_GRAPHICS = 0x0008;  // keep graphical information for back-annotation
inline constexpr int XXR_NOWIRING = 0x0010;  // no wiring passes in the schematic reader
inline constexpr int XXR_SYMLINES = 0x0020;  // keep the line sections of symbol files
inline constexpr int XXR_DSNSCH = 0x0040;    // the top net accepts design and schematic files
inline constexpr int XXR_NETLIST = 0x0080;   // the top net accepts netlist files
inline constexpr int XXR_NOPPINS = 0x0100;   // symbol power pins are not extracted
inline constexpr int XXR_LOGICPG = 0x0200;   // power and ground nodes extracted logically
inline constexpr int XXR_KEEPALL = 0x0800;   // properties kept even when their qualifier fails
inline constexpr int XXR_NOPAGES = 0x1000;   // design pages are not read with their design
inline constexpr int XXR_QUIET = 0x2000;     // passed on to xxfdopen

// Parses the command line with the caller's option rows followed by the library's own ("-p",
// "-k", "-par", "-Q", "-1", "-0", "-pathDEBUG" and the "-xx..." switches, "-v"), options of the
// start-up file "cad.rc" first. The rows are given as arguments: for each a pattern, a flag
// pointer and, only when the pattern holds '%', a target (a cf::OptionFunc when the pattern holds
// '(', else a pointer to the value's variable); a null pattern ends the list. Sets the program
// name of the messages when none is set. Returns null on success or the error text.
const char *ParseComLine(const char *progname, int *argc, char ***argv, ...);

} // namespace kdx
namespace cf {
struct OptionEntry; // a row of an option table (cfpath.h)
}
namespace kdx {

// The same with the caller's rows as an array.
const char *ParseComLineTable(const char *progname, int *argc, char ***argv,
                              const cf::OptionEntry *rows, int nrows);

// Loads the design file `name` (or a caller's open stream) with every net below it, into the
// object model; `keep` is a null-terminated list of property names to keep (or null for all).
// Returns the top net, or null when it or any net below it could not be read.
net *xxreadfile(FILE *stream, const char *name, const char **keep, int flags);

// Reads the file of one net (or its pages, for a design cell); non-zero when the net is read.
int xxrdnet(net *n, FILE *stream);

// Reads every net still unread until none is left; 1 when all could be read, else 0.
int xxrdnets();

// Writes the library's identification and the options in effect to the log.
void xxdumpint();

// Adds the property `text` to obj's list, or changes the value of the property of that name
// that obj has; returns it, or null after a message.
prop *xxaddprop(void *obj, const char *text, int flags);

// ===== End of read driver =====

} // namespace kdx
