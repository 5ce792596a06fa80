// partlistint.h - records and routines shared by the modules of the part-list utility.
//
// The collection (partlist_collect), the report writer (partlist_report) and the run driver
// (partlist_main) share the sorted part lists, the run's options (partlist_opts) and the
// description map (partlist_map). Nothing here leaves the library.
//
// Threads. Everything runs on the run's thread, except the printing of the sheets: between
// startprinting and the end of the printing (finishprinting, or stopprinting in the clean-up) a
// helper thread prints the jobs the walk hands over (partlist_print). While it does:
// - the helper owns the report stream and all of the report writer's state (pending lines, print
//   list, joined-line and blank buffers, first-heading flag, line counter), and each job with its
//   lists once handed over; the run's thread touches none of them until the printing has ended;
// - the helper only reads the run's options (letters, page length, property width) and the
//   description map, which nothing changes during a run;
// - the memory of released lists (partlist_lists) is shared, under its own lock;
// - the helper never enters the netlist library: propkey, xxerror and every library routine run
//   on the run's thread only. A failure on the helper goes through printfailure, which keeps it
//   for the run's thread. The helper marks itself with kdx::xxforbidthread, so builds with thread
//   checks abort on a breach.
// The run's thread writes the log; before each message the helper catches up (the library's
// message hook), so the log and the report are those of a run without the helper.
// No exception leaves a helper's task: each task catches its own failure and hands it to the
// run's thread (printfailure and the kept "no memory" of the printing, the export's flag for its
// references), which fails the run or that output; platform::Worker catches what a task lets
// through and reports it by failed(), so nothing a helper meets ends the process.
#pragma once

#include "partlist.h"
#include "partlist_export.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string_view>

namespace platform {
struct FileId;
} // namespace platform

namespace kdx {
struct net;
struct symbol;
} // namespace kdx

namespace partlist {

// ---- Sorted lists (partlist_lists) ----

struct ListIndex;

// The links and key every list entry begins with. A list is circular and doubly linked through
// its head, which holds no key.
struct ListEntry {
    ListEntry *next; // next entry; the head after the last
    ListEntry *prev; // previous entry; the head before the first
    char *key;       // malloc'ed; null in the head
};

// The head of a list: the ring anchor plus the index that keeps insertion from walking the list.
struct ListHead : ListEntry {
    ListIndex *index; // key groups in byte order
};

inline constexpr std::size_t PROPTEXT_SIZE = 200; // property text of a part entry
inline constexpr std::size_t DESCR_SIZE = 48;     // description of a part entry (47 characters)
inline constexpr std::size_t PROPKEY_SIZE = 256;  // propkey's buffer

// One part (or one sub-sheet block) of a sheet.
struct PartEntry : ListEntry {
    kdx::symbol *symbol;            // the symbol most recently counted into the entry
    char properties[PROPTEXT_SIZE]; // property values, each followed by ";"
    char description[DESCR_SIZE];   // from the description map; empty when there is none
    int count;                      // the quantity
};

// One sub-sheet of the hierarchy: how often it is placed and how far it has been listed.
struct SheetEntry : ListEntry {
    int count; // placements in the whole hierarchy
    int visit; // 0 not listed yet, 1 parts listed, 2 blocks listed
};

// Finds the entry for `key` or inserts a new zero-filled one of `size` bytes (at least a
// ListEntry) in byte order of the keys; equal keys stay in the order first met. With a symbol,
// only an entry whose property text equals propkey(symbol) matches. `cmp` is reserved (0).
// Creates the head when *list is null. Null after "Out of memory" (only under -xxnofatal).
ListEntry *addlist(ListHead **list, const char *key, std::size_t size, int cmp, kdx::symbol *sym);

// addlist with the property text itself: with a text, only an entry whose property text equals
// it matches; a null text matches by key alone.
ListEntry *addlisttext(ListHead **list, const char *key, std::size_t size, const char *text);

// The head of *list, made when the list is absent; null after "Out of memory".
ListHead *makelist(ListHead **list);

// Releases the entries, their keys and the head; *list becomes null. A null list is skipped.
// Entries are made by addlist alone: the list owns their memory.
void freelist(ListHead **list);

// Returns the memory that released lists keep for later ones; called by the run's clean-up.
void freelistmemory();

// Makes the store of that memory now (it is otherwise made with the first list), so that what
// is made after it is destroyed before it at the end of the process.
void initlistmemory();

// True when the list exists and holds at least one entry.
bool listhasentries(const ListHead *list);

// The property text of a symbol, as a part entry keeps it, in a static buffer valid until the
// next call. Defined with the collection. Asks the library: run's thread only (so addlist with a
// symbol is too).
const char *propkey(kdx::symbol *sym);

// ---- Run options (partlist_opts) ----

inline constexpr int DEFAULT_PAGELEN = 66;
inline constexpr std::size_t NAME_SIZE = 256; // schematic, log and report names

struct RunOptions {
    int reportflag;         // -o seen
    const char *reportname; // -o value: into the vector while parsing, the run's copy after
    int filterflag;         // -f seen
    const char *letters;    // -f value: the same
    int pagelenflag;        // -l seen
    int pagelen;            // -l value: lines per report page
    int debug;              // -debug: "Calling ..." trace lines in the log
    int proplen;            // width of the property text for this run
};
RunOptions &runopts();

// Resets the options to their defaults; called once at the start of every run.
void resetopts();

// The run's own copies of the string values, taken right after parsing so that no later run
// reads into this run's argument vector. Empty when not given.
const char *reportname();
const char *categoryletters();
void keepoptvalues();

// ---- Description map (partlist_map) ----

inline constexpr std::size_t LOOKUP_DESCR_SIZE = 100; // the caller's description buffer

// The category of a part (null when the part is not in the map); on success the description is
// copied into descr (LOOKUP_DESCR_SIZE bytes, cut to fit).
const char *lookupMap(const char *part, char *descr);

// The whole record of a part (nothing cut); false when the part is not in the map.
bool lookuprecord(const char *part, std::string_view *category, std::string_view *description);

// True when the map holds no record.
bool mapempty();

// True when `file` is a description map loaded since the map was last cleared.
bool ismapfile(const platform::FileId &file);

// ---- Report writer (partlist_report) ----
// Owned by the printing helper while it runs (see the top of this file), else by the run's
// thread. The first-heading flag and the line counter outlive runs.

// The stream the report goes to (null: nothing is written).
void setreport(FILE *stream);
FILE *report();

// The title line as a malloc'ed text.
char *makeheader();
void printsheet(const char *name);
void makeprint(ListHead *list);
void printout(const char *heading);
void addcolumn(const char *fmt, int width, const char *text, int indent);
void addcount(const char *fmt, int width, int count);
const char *blanks(int n, int c);
void appendstr(char **text, const char *more);

// Releases the print list after it has been written.
void freeprint();

// Releases the pending lines, the print list and the joined-line buffer.
void freereport();

// The formatted output of the run goes through these, so a failed write can be detected later.
[[gnu::format(printf, 1, 2)]] void reportf(const char *fmt, ...);

// ---- Part collection (partlist_collect) ----

// The five categories of the map, in the order of the category lists; Other takes the rest.
enum Category { Distributed, Control, Discrete, Functional, Electrical, NCATEGORIES };

// The category's name as the map and the report spell it.
const char *categoryname(int category);

// The category a category text of the map names (without regard to case); -1 for none of the
// five (Other) and for a null text.
int categoryindex(const char *category);

// The category a letter of -f names, or -1 for any other letter.
int lettercategory(char letter);

// The two walks over the hierarchy (partlist_collect.cpp). addparts asks the library about a
// listed sheet's parts and hands them over as a print job, which owns the sheet's category lists
// and Other and fills them on the printing helper; addblocks hands the sheet's block list over
// the same way (mode 0) or counts the placements into the sheet list (mode 1).
void countsheets(kdx::net *n);
void listsheets(kdx::net *n);
void addparts(kdx::net *n, const char *parent);
void addblocks(kdx::net *n, int mode, const char *parent);
int subcount(const char *sheet, int *visits, const char *parent);

// Clears the parent-sheet name before the second walk.
void clearparent();

// Releases the block list being built, the sheet list and the answers kept for the walks (the
// category lists belong to the print jobs, which release them).
void freecollect();

// ---- Printing beside the walk (partlist_print) ----

// A piece of the report handed over by the walk: it owns what it prints (its lists) and releases
// it when destroyed, printed or not.
struct PrintJob {
    virtual ~PrintJob();
    virtual void print() = 0;
};

// Starts the helper that prints the jobs of a run; without one (PARTLIST_THREADS=0, or none
// could be started), jobs are printed when handed over. Called after the title line, before
// the walks. Until the printing ends, every message of the run first waits for the jobs handed
// over and reports what they met.
void startprinting();

// Hands a job over; waits while the helper is several jobs behind. A failure the helper met is
// reported here (it ends the run).
void queueprint(std::unique_ptr<PrintJob> job);

// Waits until every job is printed and ends the helper; reports a failure it met.
void finishprinting();

// Ends the helper without printing the jobs still waiting (the run is being abandoned; after a
// fatal message none wait, since the message waited for them).
void stopprinting();

// A fatal failure of the report writing ("Out of memory", "out of memory"; a text that lives as
// long as the library): reported at once on the run's thread; on the helper it is kept for the
// run's thread and ends the printing there, unless -xxnofatal is in effect.
void printfailure(const char *text);

// ---- Structured export (partlist_export) ----
// Beside the report, a run may collect what the command's CSV and JSON export and its warning of
// parts without a description need (partlist_export.h). The walk hands over what it met and the
// collected state is grouped on the run's thread, before each sheet's print job is handed over:
// while sheets are listed the printing helper is the busy one, the walk waits on it about half
// of the time. The printing helper never touches the export. When the command writes the export,
// a helper and the run's thread build the references of the totals together (RefBuilder in
// partlist_export.cpp): each walk fills its own end of every group's references and the two share
// only the count of references each has taken, under a lock.

// One primitive part of a listed sheet: its instance name (null unless groups are exported), part
// name (null when the library had none) and property text.
struct ExportPart {
    const char *inst;
    const char *name;
    const char *props;
};

// One hierarchical symbol of a listed sheet: its instance name, the file key of the sheet it
// places and that sheet's net.
struct ExportChild {
    const char *inst;
    const char *key;
    kdx::net *sub;
};

// What the export collects (partlist_export.h's flags); 0 while nothing is collected.
unsigned exportmode();

// The run's thread: a run starts, the design is loaded (its top net), the printing has ended.
void exportbegin();
void exporttop(kdx::net *top);
void exportdone();

// A listed sheet's parts (with its heading, placements and the -f letters), and the sub-sheets
// of the sheet listed last.
void exportsheet(kdx::net *n, const char *heading, int mult, const char *letters,
                 const ExportPart *parts, std::size_t count);
void exportblocks(kdx::net *n, int mult, const ExportChild *children, std::size_t count);

// ---- Environment (partlist_env) ----

int initenv(int argc, char **argv);
const char *schname();
const char *logname();
const char *defreportname();
FILE *logstream();
void setlogstream(FILE *stream);

// ---- The outputs' rule (partlist_outputs) ----

// Forgets the outputs of the last run (at the start of a run).
void forgetoutputs();
// Keeps the file `name` leads to as an output of this run: its log or report, once it is there.
void keepoutput(const char *name);

// ---- Run driver (partlist_main) ----

void readin(const char *name);
void cleanup();

} // namespace partlist
