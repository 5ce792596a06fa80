// kdxint.h - record layouts and state shared inside the KDX library.
//
// Every record begins with the common head: the type code in the low four bits of the first
// byte, the 16-bit flags and the property-list head. Records that live in hash tables extend it
// with the name and the bucket link, so the hash routines work on any of them. Records are
// plain, trivially destructible structs placed in the "xxalbuf" object buffer and never freed
// one by one.
//
// The header is divided into one section per module group; each group adds its declarations
// inside its own section only.
#pragma once

#include "kdx.h"
#include "cfstring.h"
#include "platform/sysfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

namespace kdx {

// ===== Common record head =====

inline constexpr std::uint8_t TYPEMASK = 0x0f; // type code bits of the first byte

// Type codes of the records (low four bits of the first byte).
enum class objtype : std::uint8_t {
    symbol = 1,
    node = 2,
    bus = 3,
    symport = 4,
    arrayport = 5,
    net = 6,
    symdefport = 7,
    netport = 8,
    symdef = 10,
    rport = 11,
    prop = 12,
    rootnet = 13,
    wire = 14,
};

struct xxrec {
    std::uint8_t type;   // type code in the low four bits
    std::uint8_t spare;  // unused
    std::uint16_t flags; // meaning per record kind
    // A port's index (see port), kept here where the head would otherwise be padding: a design
    // holds a few ports for every part it places, and this takes a port from 72 to 64 bytes.
    // Zero in every other record.
    std::int32_t index;
    prop *props; // head of the property list
};
static_assert(sizeof(void *) != 8 || sizeof(xxrec) == 16, "the head holds no padding");

struct xxnamed : xxrec {
    const char *name; // in "xxalbuf"
    xxnamed *hlink;   // next record of the same hash bucket
};

inline objtype rectype(const void *r) {
    return static_cast<objtype>(static_cast<const xxrec *>(r)->type & TYPEMASK);
}

// ===== End of common record head =====

// ===== Memory buffers and library lifetime (init, util) =====

// One block of an object buffer: this header, then the usable area. A buffer is named by the
// address of the variable holding its current block, so a routine can replace the block behind
// the caller's back. Blocks of "xxalbuf" are chained (prev/next) and never move; the other buffers
// have one block that moves when it grows.
struct membuf {
    membuf *prev; // the block that was current before this one in the same chain (null: first)
    membuf *next; // the block that replaced this one (null while current)
    char *ptr;    // next free byte
    char *eptr;   // end of the usable area; ptr never passes it while the block is current
};

inline constexpr std::size_t MEMBUF_HDR = sizeof(membuf); // header before the usable area
inline constexpr std::size_t MEMBUF_SLACK = 3;    // a block asked for n bytes has n + 3 usable
inline constexpr std::size_t ALBUF_BLOCK = 65520; // capacity of every "xxalbuf" block
inline constexpr std::size_t ALMEM_SLACK = 4;     // xxalmem asks xxnewbuf for size + 4
inline constexpr std::size_t ALBUF_MAXREQ =
    ALBUF_BLOCK - ALMEM_SLACK;                     // largest object "xxalbuf" takes
inline constexpr std::size_t SCRATCH_BLOCK = 2048; // first capacity of the scratch buffers
inline constexpr std::size_t MAXSTRLEN = 3000;     // xxalstr refuses longer (with terminator)
inline constexpr std::size_t RECALIGN =
    alignof(std::max_align_t); // alignment of every returned object

// The five named buffers.
extern membuf *xxalbuf;   // "xxalbuf": permanent records and strings of the object model
extern membuf *xxtmpbuf;  // "xxtmpbuf": scratch text
extern membuf *xxtmpbuf2; // "xxtmpbuf2": second scratch text
extern membuf *xxlinebuf; // "xxlinebuf": the current input line (set up by the reader)
extern membuf *xxportbuf; // "xxportbuf": port lists being assembled

// Makes *buf an empty block of at least `size` usable bytes (reusing it, uncleared, when big
// enough). A failed allocation (with -xxnofatal) leaves *buf as it was (null when it was null).
void xxbufinit(membuf **buf, std::size_t size);
// Makes room for an object of `size` bytes: a new chained block for "xxalbuf", growth otherwise.
void xxnewbuf(membuf **buf, std::size_t size);
// Grows a reallocating buffer to used + 2 * size; its contents stay but may move.
void xxbufexpand(membuf **buf, std::size_t size);
// Releases the "xxalbuf" chain that begins with `first`, with the slabs its blocks came from.
void xxchainfree(membuf *first);
// "xxalbuf", "xxportbuf", "xxlinebuf", "xxtmpbuf", "xxtmpbuf2" or "unknown buf".
const char *xxbufname(membuf **buf);
// `size` bytes, not cleared, aligned to RECALIGN; a null buf means plain heap memory (release with
// xxfree). Null only when the memory could not be had and -xxnofatal let the run go on.
void *xxalmem(membuf **buf, std::size_t size);
// As xxalmem, `size` rounded up to even and cleared. Every record is made this way.
void *xxcalmem(membuf **buf, std::size_t size);
// `size` cleared bytes in a block of their own, chained in front of the current "xxalbuf" block
// so that they go with the chain: for what the system keeps on the heap, and for arrays that may
// be larger than a block takes. Aligned to RECALIGN; null after a fatal message.
void *xxalsolo(std::size_t size);
// xxcalmem on "xxalbuf" when `size` fits a block, else xxalsolo: an array of any length.
void *xxcalbig(std::size_t size);
// As xxalmem for text: the bytes start wherever the buffer stands, with no alignment.
char *xxalchars(membuf **buf, std::size_t size);
// A copy of s (null reads as "") in the buffer; null (after "String too long: %s") when s with its
// terminator is longer than MAXSTRLEN bytes.
char *xxalstr(membuf **buf, const char *s);

// The library root (type code 13): the tables of the library and its options.
struct rootnet : xxrec {
    hashtbl *symdefs;   // symbol definitions of the library (97 buckets)
    hashtbl *nets;      // nets of the library (97 buckets)
    membuf *firstblk;   // first "xxalbuf" block, from which xxfreeall walks the chain
    std::uint32_t opts; // option bits set by xxreadfile
    const char **keep;  // null-terminated list of property names to keep; null: keep all
};

inline constexpr std::uint16_t ROOT_TARGETED =
    0x02; // rootnet flags: a targeted property was attached

inline constexpr int ROOT_NET_BUCKETS = 97;    // nets of the library
inline constexpr int ROOT_SYMDEF_BUCKETS = 97; // symbol definitions of the library

// Broken invariants: reports 'i' "Assertion failed: file %s, routine %s, line %d" with the base
// name of the source file and the innermost routine of the stack ("?" when empty).
void xxassertfail(const char *file, int line);
#define XXASSERT(cond) ((cond) ? static_cast<void>(0) : ::kdx::xxassertfail(__FILE__, __LINE__))

// Composes the line xxerr reports into out (at most outsize bytes with the terminator; longer
// text is cut) and returns the code to report it with, or 0 when the message is suppressed.
// `file`/`line` are the open input (xxcurinput); a null file means none is open.
int xxcompose(char *out, std::size_t outsize, const char *letters, const char *file, int line,
              const char *fmt, std::va_list ap);
inline constexpr std::size_t XXMSGSIZE = 8192; // xxerr's message buffer

// xxinit, xxfreeall and xxcleanup also call the hooks of the readers (xxrdinit, xxrdfree, in the
// reader section below) and the releases of kdx.h (xxclrqual, xxpropfree, xxsymfree).

// ===== End of memory buffers =====

// ===== Hash tables (hash) =====

// A table of hashed records; the records carry the bucket link (xxnamed::hlink), so a record is in
// at most one table. Allocated cleared from "xxalbuf" with its bucket heads right behind it.
struct hashindex;
struct hashtbl {
    std::int32_t buckets;     // number of buckets, fixed at creation
    std::int32_t count;       // records inserted (nothing is ever removed)
    std::int32_t significant; // characters of a name the hash reads; -1: all
    xxnamed **heads;          // first record of each bucket, null when empty
    hashindex *index;         // look-up index once the chains grow long, else null
};

// Releases every look-up index of the tables; called by xxfreeall with the object buffer.
void xxhashfree();

inline constexpr int NODE_BUCKETS = 531; // nodes of a net
inline constexpr int SYM_BUCKETS = 97;   // symbols and buses of a net
inline constexpr int PORT_BUCKETS = 51;  // ports of a net, a definition or a symbol

// ===== End of hash tables =====

// ===== Object model records (sym, net, node, port, prop) =====

// --- Nets, symbols, definitions, nodes, buses, wires (sym, net, node) ---

struct linkcell;  // {next, object}: lists of objects targeted by properties (port)
struct linecell;  // one verbatim line of a line list (rd2)
struct dsn2entry; // an entry of a design database (rddsn2)
struct arrayport; // one entry of a primitive symbol's packed port array (port)
struct rport;     // real port of a connector or port symbol (port)

// Flags of a net.
inline constexpr std::uint16_t NETF_READ = 0x0001;     // its file has been read
inline constexpr std::uint16_t NETF_FAILED = 0x0002;   // reading it failed
inline constexpr std::uint16_t NETF_DSN = 0x0008;      // may be / was read from a design file
inline constexpr std::uint16_t NETF_SCH = 0x0100;      // may be / was read from a schematic
inline constexpr std::uint16_t NETF_NETLIST = 0x0200;  // may be / was read from a netlist file
inline constexpr std::uint16_t NETF_KINDS = 0x0308;    // the file-kind bits a new net inherits
inline constexpr std::uint16_t NETF_HIER = 0x0400;     // has hierarchical symbols
inline constexpr std::uint16_t NETF_VISITING = 0x0800; // probe pass is inside this net
inline constexpr std::uint16_t NETF_PROBED = 0x1000;   // probe pass has finished this net
// NETF_PAGESREAD (0x2000) belongs to the design readers, below.

// A net is one netlist: the contents of one schematic or design cell.
struct net : xxnamed {
    prop *lastprop;       // last property of the list
    rootnet *root;        // the library root
    rport *firstrport;    // real ports, first ...
    rport *lastrport;     // ... and last
    int nports;           // number of declared ports
    membuf *startbuf;     // "xxalbuf" block current when reading began
    membuf *endbuf;       // "xxalbuf" block current when reading ended
    hashtbl *porttbl;     // net ports (51 buckets)
    hashtbl *nodetbl;     // nodes (531 buckets); null until the first node
    hashtbl *bustbl;      // buses (97 buckets); null until the first bus
    hashtbl *symtbl;      // symbols by instance name (97 buckets)
    symbol *firstsym;     // symbols in order of creation, first ...
    symbol *lastsym;      // ... and last
    node *nodes;          // all nodes, newest first
    wire *firstwire;      // wires, first ...
    wire *lastwire;       // ... and last
    int nprim;            // primitive, connector, frame and null symbols
    int nhier;            // hierarchical symbols
    int nuse;             // symbols that instantiate this net
    const char *netclass; // value of the "class" property given to the net
    int fcount;           // counter of generated node names "f#%d"
    symbol *lastinst;     // the last symbol that instantiated this net
    linkcell *frames;     // frame symbols of the net
    char *pages;          // a design's page file names, separated by blanks
    dsn2entry *pageids;   // a design database entry's pages with their instance names
    linecell *tools;      // "[tools]" lines
    linecell *comments;   // "[comments]" lines
    linecell *details;    // verbatim detail records (kept for back-annotation only)
};

// Flags of a symbol definition.
inline constexpr std::uint16_t SDEFF_READ = 0x0001;   // its symbol file has been read
inline constexpr std::uint16_t SDEFF_FAILED = 0x0002; // reading its symbol file failed
inline constexpr std::uint16_t SDEFF_PRIM = 0x0004;   // has a "primitive" property

struct symdef : xxnamed {
    prop *lastprop;     // last property of the list
    hashtbl *porttbl;   // definition ports (51 buckets)
    rport *firstrport;  // real ports, first ...
    rport *lastrport;   // ... and last
    int nports;         // number of declared ports
    port **portarr;     // ports in table order, built by xxfixnewsymdef
    linecell *tools;    // "[tools]" lines of its symbol file
    linecell *layers;   // "[layers]" lines
    linecell *comments; // "[comments]" lines
};

// Flags of a symbol.
inline constexpr std::uint16_t SYMF_ARRAY = 0x0002;     // ports are an arrayport array
inline constexpr std::uint16_t SYMF_PRIM = 0x0004;      // primitive
inline constexpr std::uint16_t SYMF_DESIGN = 0x0008;    // placed by a design file for a page
inline constexpr std::uint16_t SYMF_MODEL = 0x0010;     // has a "model" property
inline constexpr std::uint16_t SYMF_CONNECTOR = 0x0020; // symbolic connector
inline constexpr std::uint16_t SYMF_FRAME = 0x0040;     // frame or null model
inline constexpr std::uint16_t SYMF_LEAF = 0x0064;      // primitive, connector, frame or null

// A placed instance of a symbol definition.
struct symbol : xxnamed {
    symbol *next; // next symbol of the same net, in order of creation
    symdef *def;  // its definition
    net *owner;   // the net it is placed in
    net *instnet; // the net it instantiates (xxnetsymi)
    int seq;      // sequence number in the owner at the time it was fixed
    union {
        hashtbl *porttbl;  // symbol ports (51 buckets) ...
        arrayport *parray; // ... or, with SYMF_ARRAY, the packed array (xxsymarray)
    };
};

// Flags of a node.
inline constexpr std::uint16_t NODEF_GLOBAL = 0x0001;  // global (name ended in "!", or logic)
inline constexpr std::uint16_t NODEF_FREE = 0x0002;    // fewer than two ports
inline constexpr std::uint16_t NODEF_NONPRIM = 0x0010; // on a port of a non-primitive symbol
inline constexpr std::uint16_t NODEF_ALIASED = 0x0020; // merged into another node
inline constexpr std::uint16_t NODEF_CLASSES = 0x7f00; // connector-type classes from net ports
inline constexpr std::uint16_t NODEF_KEPT = 0x7f10;    // what the representative takes over

// An electrical connection inside a net.
struct node : xxnamed {
    xxrec *nodelink;    // first port of the chain; the chain ends at the node itself
    port *lastnodelink; // last port of the chain, null while there is none
    net *owner;         // the net the node belongs to
    node *alias;        // next node of the alias ring (a lone node points to itself)
    linkcell *links;    // objects whose properties may target this node
    node *next;         // next node of the net, newest first
    bus *nodebus;       // the bus the node is a member of
};

struct bus : xxnamed {
    xxrec *lastmember; // member node added last (the bus itself while it has none)
    net *owner;        // the net the bus belongs to
    std::int16_t high; // highest index seen
    std::int16_t low;  // lowest index seen
};

struct point {
    point *next;    // next point of the wire
    std::int32_t x; // coordinates
    std::int32_t y;
};

struct wire : xxrec {
    wire *next;       // next wire of the net
    point *points;    // first point
    const char *name; // from its "id" field
    const char *end1; // what its first end touches: "q.symbol.port", "SELF.port" or free
    const char *end2; // ... and its second end
};

// Records live in "xxalbuf" and are released with it, never one by one.
static_assert(std::is_trivially_destructible_v<net> && std::is_trivially_destructible_v<symdef> &&
              std::is_trivially_destructible_v<symbol> && std::is_trivially_destructible_v<node> &&
              std::is_trivially_destructible_v<bus> && std::is_trivially_destructible_v<wire> &&
              std::is_trivially_destructible_v<point>);

// Option bits of the root (rootnet::opts) read by the node routines.
inline constexpr std::uint32_t ROOTO_NOPWRPINS = 0x100; // symbol power pins are not extracted
inline constexpr std::uint32_t ROOTO_LOGICPWR = 0x200;  // power and ground nodes become logic nodes

// Attaches the "tn" property (with property flags `pflags`) to a new net or definition: the last
// path component of `name` without its extension (net); a component that is all extension stays
// whole, and a name ending in a separator ("sub/") is kept whole with the system's separators.
void xxsettn(xxrec *obj, const char *name, int pflags);

// --- End of nets, symbols, definitions, nodes, buses, wires ---

// --- Properties and ports (prop, port) ---

// Flags of a property.
inline constexpr std::uint16_t PROPF_CLASS = 0x0007;     // class bits matched by the search filter
inline constexpr std::uint16_t PROPF_CLASS1 = 0x0001;    // class 1: taken from a record's own words
                                                         // or the file ("id", port words, "tn")
inline constexpr std::uint16_t PROPF_MERGE = 0x0002;     // class 2: merged by xxmergeprops
inline constexpr std::uint16_t PROPF_ADDED = 0x0004;     // class 4: given on the command line
inline constexpr std::uint16_t PROPF_QUAL = 0x0008;      // a qualifier of the property it is
                                                         // attached to (placement, attributes)
inline constexpr std::uint16_t PROPF_INHERITED = 0x0010; // a definition's, which its instances
                                                         // inherit; "-par" does not change it
inline constexpr std::uint16_t PROPF_TARGET = 0x0020;    // has a target in angle brackets
inline constexpr std::uint16_t PROPF_SPLIT = 0x0040;     // derived by splitting "W/L:" or "L/W:"
inline constexpr std::uint16_t PROPF_HIDDEN = 0x0080;    // not listed by xxproptbl

// A property: the text "name:value" with optional qualifier and target. The common head's
// list field is the property's own next link, so every record's list is walked the same way;
// a list ends at the first link that is not a property (an array port's list ends at its symbol).
struct prop : xxrec {
    char *text; // the whole text, qualifier and target included
    prop *sub;  // properties attached to this property
};

inline prop *propnext(const prop *p) {
    return p->props;
}

inline constexpr std::size_t PROPNAMELEN = 1024; // a property name is shorter (xxpropiname)

// The properties of a few names on one symbol, each as xxfindprop(sym, name, 0) gives it, with
// its messages, in the order the caller asks for them. Every part is asked for several names:
// where the symbol's lists hold only plain texts (no qualifier to evaluate) and the routine
// trace is off, one walk of the lists finds them all; otherwise each is looked up when asked.
class SymPropLookup {
  public:
    static constexpr int MAXNAMES = 4;
    SymPropLookup(symbol *sym, const char *const *names, int count);
    prop *find(int i); // xxfindprop(sym, names[i], 0)

  private:
    symbol *sym_;
    const char *const *names_;
    prop *found_[MAXNAMES] = {};
    bool walked_ = false; // found_ holds the answers
};

// Flags of a port.
inline constexpr std::uint16_t PORTF_HIDDEN = 0x0001;  // a "connect" property may attach it
inline constexpr std::uint16_t PORTF_PPIN = 0x0004;    // power pin
inline constexpr std::uint16_t PORTF_SKIP = 0x0020;    // never returned by xxportnext
inline constexpr std::uint16_t PORTF_ON = 0x0100;      // connector type "on"
inline constexpr std::uint16_t PORTF_OFF = 0x0200;     // connector type "off"
inline constexpr std::uint16_t PORTF_PROBE = 0x0400;   // connector type "probe"
inline constexpr std::uint16_t PORTF_HIER = 0x0800;    // connector type "hier"
inline constexpr std::uint16_t PORTF_GLOBAL = 0x1000;  // connector type "global", or name ends "!"
inline constexpr std::uint16_t PORTF_LOGIC0 = 0x2000;  // connector type "logic0"
inline constexpr std::uint16_t PORTF_LOGIC1 = 0x4000;  // connector type "logic1"
inline constexpr std::uint16_t PORTF_WREF = 0x8000;    // connector type "wref" (with PORTF_HIER)
inline constexpr std::uint16_t PORTF_GLOBALS = 0x7000; // global or logic: skipped unless asked
inline constexpr std::uint16_t PORTF_CLASSES = 0x7f00; // connector-type classes given to nodes

// One cell of a link list: the objects whose properties a port or node may inherit.
struct linkcell {
    linkcell *next; // next cell
    void *obj;      // the linked object
};

// Every port kind shares this layout, so node chains and iteration handle them alike. Hashed
// ports (symbol, definition and net ports) live in their owner's port table.
struct port : xxnamed {
    xxrec *next; // next port of the node's chain (ends at the node); null while unconnected
    node *pnode; // the node the port is on
    // index (in the head): definition port: its place in the port array; array port: the one
    // it stands for
    linkcell *links; // linked objects (a symbol port shares its definition port's list)
    xxrec *owner;    // symbol, symbol definition or net (array and real ports: see below)
};

struct symport : port {};    // port of a placed symbol, hashed
struct symdefport : port {}; // port declared by a symbol definition
struct netport : port {};    // port declared by a net

// An entry of a primitive symbol's packed port array. It has no name of its own (the definition
// port at its index gives it); its property list ends at the owning symbol.
struct arrayport : port {};

// A real port: a connector or port symbol found in a schematic. The real ports of a net or
// definition chain through `next`; the last one points back to the owner.
struct rport : port {
    symbol *sym;  // the connector symbol
    wire *pwire;  // the wire connected to it
    int nmembers; // members of its (bus) name
};

// True for every kind of port record, whichever object owns it.
inline bool isport(const void *obj) {
    if (!obj) return false;
    switch (rectype(obj)) {
    case objtype::symport:
    case objtype::arrayport:
    case objtype::symdefport:
    case objtype::netport:
    case objtype::rport:
        return true;
    default:
        return false;
    }
}

// --- End of properties and ports ---
// ===== End of object model records =====

// ===== Reader state (rd, rd2, rdss, rddsn, rddsn2, pc) =====

// --- File records and line lists (rd, rd2) ---

// stdio buffer of each file record. A design is thousands of small files read line by line;
// with a few hundred bytes per read system call the calls cost more than the reading. 64 KiB
// takes a whole sheet in one call.
inline constexpr std::size_t XXFILEBUF = 65536;

struct seccache; // the section lines met in the open file (rd2.cpp)

// One readable file slot. Closed: stream null, open 0, section null, line 1.
struct filerec {
    FILE *stream;           // the open stream; null when closed
    int open;               // 1 while a file is open
    const char *name;       // path of the open file (in "xxalbuf")
    int line;               // number of the line being read, 1 for the first
    const char *section;    // bracketed word of the section the reader stands in; null when closed
    int own;                // 1 when xxfdopen opened the stream itself; a caller's stream
                            // is rewound and read but never closed here
    seccache *sections;     // section lines met by the section search; null until the first
                            // search, released with the file
    int midline;            // 1 when a word was read off the current line: the stream may stand
                            // inside a line, where the section search must not trust its lists
    char *memdata;          // the file's bytes when it was read whole (malloc'ed), else null:
                            // then they are read here, and the stream is not read at all
    std::size_t memsize;    // how many
    std::size_t mempos;     // where the next read starts
    char buffer[XXFILEBUF]; // stdio buffer given to the stream when it is read
};

// The next byte of the open file, EOF at its end.
inline int xxgetc(filerec &f) {
    if (f.memdata != nullptr)
        return f.mempos < f.memsize ? static_cast<unsigned char>(f.memdata[f.mempos++]) : EOF;
    return platform::ReadChar(f.stream);
}

// Where the open file stands: the offset of the byte xxgetc reads next.
inline long long xxftell(const filerec &f) {
    return f.memdata != nullptr ? static_cast<long long>(f.mempos) : ftello(f.stream);
}

// Gives back c, the byte xxgetc returned last.
inline void xxungetc(int c, filerec &f) {
    if (c == EOF) return;
    if (f.memdata != nullptr)
        --f.mempos;
    else
        std::ungetc(c, f.stream);
}

// Releases what the section search learnt about the file of `f` (rd.cpp calls it when a file is
// closed or opened on the record).
void xxsecforget(filerec &f);

// One saved line of a line list (tools, comment, detail and layers lines), all in "xxalbuf".
struct linecell {
    linecell *next;   // next line, null at the end
    const char *text; // the line as read, without its line end
};

// The two file records: the primary one is current by default; the symbol-file reader makes the
// secondary one current while it reads a symbol file, so that the schematic being read stays
// open and positioned in the primary one.
inline constexpr int XXFILE_PRIMARY = 0;
inline constexpr int XXFILE_SECONDARY = 1;
void xxusefile(int which); // makes XXFILE_PRIMARY or XXFILE_SECONDARY current
filerec *xxcurfile();      // the current record (never null)

// Hooks of the library's lifetime: xxinit calls xxrdinit (both records cleared and closed);
// xxcleanup and xxfreeall call xxrdfree (open files closed, the primary record made current and
// the read driver's current net forgotten).
void xxrdinit();
void xxrdfree();

// 1 with the current input's file name and line number when a file is open, else 0 (message
// context of xxerr).
int xxcurinput(const char **name, int *line);

// --- End of file records and line lists ---

// --- Read driver (pc) ---

// The net being read: set by the read driver before it calls a file reader; the readers fill it,
// and a new net inherits its file-kind bits. Null outside a read.
net *xxcurnet();
void xxsetcurnet(net *n);

// --- End of read driver ---

// --- Schematic and symbol files (rdss, rdss2) ---

// Field codes of a record descriptor: an action in the low four bits, and modifiers. A field
// that makes a property attaches it to the current object (the port or wire a field made last,
// else the object being read).
inline constexpr int FLD_ACTION = 0x0f;  // the action bits
inline constexpr int FLD_WORD = 1;       // the next word as "name:word"
inline constexpr int FLD_MARK = 2;       // the name alone, linked behind the object's properties
inline constexpr int FLD_REST = 3;       // the rest of the line as the property's whole text
inline constexpr int FLD_QUAL = 4;       // the next word as "name:word", a qualifier of the next
                                         // property the record makes
inline constexpr int FLD_RPORT = 5;      // a new real port of the object being read
inline constexpr int FLD_IPORT = 6;      // a new hidden real port ("iport")
inline constexpr int FLD_WIRE = 7;       // a new wire of the net being read
inline constexpr int FLD_ENDS = 8;       // the current wire's ends and points
inline constexpr int FLD_USE = 9;        // a placed symbol: its definition, then the new instance
inline constexpr int FLD_INACT = 10;     // the exclusion mark behind an instance name
inline constexpr int FLD_GRAPHIC = 0x10; // modifier: without XXR_GRAPHICS the word is read and
                                         // dropped
inline constexpr int FLD_NAME = 0x20;    // modifier: the property's value names the current object
inline constexpr int FLD_OBJ = 0x40;     // modifier: attach to the object being read, not the
                                         // current one

// Record classes.
inline constexpr int RC_FIELDS = 0;  // the fields are processed
inline constexpr int RC_LINE = 1;    // one line kept verbatim (with XXR_GRAPHICS)
inline constexpr int RC_BLOCK = 2;   // a block of lines kept verbatim, up to a "_" line
inline constexpr int RC_GRAPHIC = 3; // the fields are processed only with XXR_GRAPHICS

// One field of a record: the property it makes, what to do, the property flags.
struct rdfield {
    const char *name; // property name
    int code;         // action and modifiers; 0 ends the list
    int flags;        // property flags
};

// One record kind of a section: the keyword that starts its line.
struct rdrecord {
    const char *keyword;   // compared exactly; "" ends the table
    int cls;               // RC_ class
    const rdfield *fields; // fields in order, or null
};

inline constexpr int RDWORD = 512; // word buffer of the record parser (511 characters)

// --- End of schematic and symbol files ---

// --- Design databases (rddsn, rddsn2) ---

inline constexpr std::uint16_t NETF_PAGESREAD = 0x2000; // net: its pages are being read
inline constexpr std::uint16_t SDEFF_NET = 0x0008;      // symbol definition made from a page net
inline constexpr std::uint16_t PORTF_PAGE = 0x0002;     // port taken over from a page
inline constexpr std::uint16_t PROPF_ATTR = 0x0100;     // back-annotated attribute
inline constexpr std::size_t DSN_WORDROOM = 1024; // room for one page name of a "[design]" file

// One entry of a design database: the top design ('T', no name), a sub-design ('D', its name
// with "@D" appended, as symbol lookups name designs), other entries ('s', 't'), or a page of an
// entry ('c': the page file name and the instance name of that page). All in "xxalbuf". The
// name (null for 'T') and the bucket link are the hashed head, so 'D' entries are found by name.
struct dsn2entry : xxnamed {
    dsn2entry *next;   // next entry of the same list, in file order
    char kind;         // 'T', 'D', 's', 't' or 'c'
    const char *text2; // 'c': the instance name of the page; else null
    dsn2entry *subs;   // the entry's pages ('c' entries), in file order
};

// The database read by xxrddsn2, for the writer. All empty (null) when no database was read.
dsn2entry *xxdsn2entries(); // the entry list, in file order
prop *xxdsn2attrs();        // the attributes, newest first; qualifiers path, symid, tx, ty, ...
linecell **xxdsn2tools();   // head of the "[tools]" lines (the writer drops its own old line)
linecell *xxdsn2comments(); // the "[comments]" lines
const char *xxdsn2path();   // the search path recorded in the "p" line
net *xxdsn2top();           // the net made for the file (xxrddsn2's result)
// Forgets the database; its records live in "xxalbuf", so xxfreeall calls it.
void xxdsn2free();
// The attribute path of a cell use `depth` levels down from the top: nets[i] names the net of
// level i (0 the top) and insts[i] the instance that uses it (insts[0] unused). Static buffer,
// shared with xxdsnpath.
const char *xxdsnpathof(const char *const *nets, const char *const *insts, int depth);

// --- End of design databases ---

// --- Design-file writer and backups (rddsn2_write, rdss2_backup) ---

// The path of the last file xxbackup moved away (a buffer valid until its next call); "" before
// the first.
const char *xxbackupname();

// --- End of design-file writer ---

// --- Netlist files (rdimf) ---

// The section handlers of "[simulation]" and "[detail]" (SectionHandler form); 1 for success.
int xxrdimfports(void *owner, const char *section, void *arg);
int xxrdimfdet(void *owner, const char *section, void *arg);
// The record readers, each standing at the start of its line and leaving it consumed on
// success: a port of the net (null after "bad port record"), the technology (0 after "invalid
// technology line", the line then skipped), an alias of two nodes, a use (the node or instance
// it made, or null after its message).
port *xxrdimfport();
int xxrdimftech();
int xxrdimfalias();
xxrec *xxrdimfu();
// The n port entries of a use record, read as words into "xxportbuf"; `synthetic` (room for the
// first three port names, each behind "_") gets its part of the definition's synthetic name.
// 1, or 0 after a message.
int xxrduports(int n, char *synthetic);
// Declares the entries' ports on a definition made from its first use, with the IO and group of
// a node(io,group) entry; 1, or 0 after "bad port entry".
int xxmksymdefports(symdef *def, int n);
// Connects the instance's port of each entry to the entry's node; 1, or 0 after a message when
// the instance lacks a port of that name.
int xxcsymports(net *owner, symbol *sym, int n);

// --- End of netlist files ---
// ===== End of reader state =====

} // namespace kdx
