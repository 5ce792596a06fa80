// cfpath.h - search paths, start-up files, option tables and file-name helpers.
//
// A path list is one heap text (malloc) of directories joined by "+", with "~" elements already
// expanded through the suite's initialisation file; the list never holds an element twice. Three
// lists are kept: the symbol search path ("-p"), the second search path ("-k") and the start-up
// path where "cad.rc" is looked for. Errors come back as statuses or texts; nothing is printed
// except the trace lines of -pathDEBUG and the start-up-file notice, which go to the run's log.
#pragma once

#include <cstdio>
#include "platform/sysfile.h"

namespace cf {

// ----- Search paths (cpath) -----

// Path-list statuses.
inline constexpr int PATH_OK = 0;        // the list was changed as asked
inline constexpr int PATH_BADTILDE = -1; // a "~" element could not be expanded; it was left out
inline constexpr int PATH_TOOLONG = -2;  // memory ran out (the list may be gone), or an element
                                         // was longer than 599 characters (it was left out)

// Changes *list (a heap text or null) by the path string: "+x" appends, "x+" prepends, anything
// else replaces ("" gives "."); "a++b" gives a, ".", b. The status is left for PSetPath and
// KSetPath to return; a null text changes nothing.
void SetPath(const char *text, char **list);

// SetPath on the symbol search path or the second search path, starting from their defaults
// when absent; the status of the change.
int PSetPath(const char *text);
int KSetPath(const char *text);

// The lists, their defaults installed when absent; "" when they cannot be built. The text stays
// valid until the list changes or FreePaths runs.
const char *PGetPath();
const char *KGetPath();

// Opens name along list (elements joined by "+"): names beginning with "~", "/", "\", a drive,
// "./" or "../" are opened as they stand, "$VANUSER/..." and "$CSDEVLIB/..." in the directories
// of SetLibDirs first; every other name is tried in each element in turn. Every separator becomes
// the system's own ("/" here, "\" on Windows). ext is appended to a name without extension. When
// tried is given it points at the 600-byte found-name buffer, which holds the last name tried (or
// opened) until the next call. A candidate longer than 599 characters is not opened. Null for no
// stream.
std::FILE *PathOpen(const char *name, const char *mode, const char *ext, char **tried,
                    const char *list);

// PathOpen along the symbol search path.
std::FILE *PPathOpen(const char *name, const char *mode, const char *ext, char **tried);

// Whether PathOpen opened this file for reading since the last ForgetOpenedFiles: a run never
// puts its report over a file it read.
bool OpenedForReading(const platform::FileId &file);
void ForgetOpenedFiles();

// New heap text (malloc) of text with a leading "~" element expanded; null only for a null text
// or when memory ran out. A "~" key missing from the initialisation file gives "c:/korbelt".
char *exptilde(const char *text);

// The full name of the suite's initialisation file "van87.ini" (a 260-byte buffer rebuilt at
// every call): the registry's home directory and the name, or the bare name.
const char *GetIniFile();

// Stores the registry's home directory with a trailing "/" in buf (size bytes), or empties it
// when the registry holds none or the value does not fit; returns buf.
char *GetHomeDir(char *buf, int size);

// Releases the three lists and the tilde expansions, and turns the -pathDEBUG switch off: the
// lists become absent and the next run starts untraced.
void FreePaths();

// The -pathDEBUG switch, the flag of an option row: while it is non-zero the path, start-up-file
// and option routines write trace lines to the trace stream, from the option that turns it on.
// 0 until set.
int &pathdebugflag();

// The stream of the trace lines and of the start-up-file notice (the run's log); null, as at the
// start, stands for standard error. The netlist library sets it with its own log stream.
void SetPathLog(std::FILE *log);

// The directories that "$VANUSER" and "$CSDEVLIB" stand for, as the run's environment set-up
// read them (copied, at most 259 characters each; null empties one).
void SetLibDirs(const char *userdir, const char *devdir);

// ----- File names -----

// The last "\" or "/" of name; null when it has neither (or name is null).
const char *lastsep(const char *name);
char *lastsep(char *name);

// The text behind the last separator, or name itself; null for null.
const char *filepart(const char *name);
char *filepart(char *name);

// Turns every separator of name ("\\" or "/") into the system's own in place, so that a name
// written either way opens here; returns name (null stays null).
char *toseparators(char *name);

// The "." that begins name's extension (behind the last separator), or null.
const char *hasext(const char *name);
char *hasext(char *name);

// Cuts name's extension in place when ext is null or "" or equals it exactly (with its ".");
// returns name.
char *stripext(char *name, const char *ext);

// Splits text into white-space separated words; "'" and "\"" quote stretches (the quotes are
// removed, an open quote runs to the end). *vector is a heap array (malloc) of *count heap words
// and a final null; the caller frees both. Null and 0 for no words or exhausted memory.
void splitwords(const char *text, int *count, char ***vector);

// ----- Start-up files (file) -----

// Looks along the start-up path for a "cad.rc" line whose first word (without a trailing "@")
// is prog, joins its "@" continuation lines and splits it into *count words in *vector (as
// splitwords; the first word stands for the program name). *file points at the name of the file
// used (the PathOpen buffer), or at "cad.rc" when none was. 1 when a line was found, else 0 with
// an empty vector.
int CReadRc(const char *prog, int *count, char ***vector, char **file);

// CReadRc with another start-up file name; a name longer than 31 characters finds nothing.
int ReadRcFile(const char *fname, const char *prog, int *count, char ***vector, char **file);

// ----- Option tables (cparse) -----

// A function target: receives the option's value (the text behind the option, converted and
// checked first when its type is not a string) and returns an error text or null.
using OptionFunc = const char *(*)(const char *value);

// The kinds of an option row, recorded for the table's reader; get_args goes by the pattern.
inline constexpr int OPT_FUNC = 0;  // a "%(...)" pattern: the value goes to the row's function
inline constexpr int OPT_VALUE = 1; // a value stored in the row's target
inline constexpr int OPT_FLAG = 2;  // the flag alone

// One row of an option table. The pattern is the sign ('-' or '+'), the name (letters and
// digits) and, for an option with a value, a scan type from its '%' ("-o%s", "-l %d", "-p %(s)":
// parentheses send the value to func). A '!' in the pattern clears the flag, a '^' toggles it,
// otherwise it is set.
struct OptionEntry {
    const char *pattern; // sign, name and value syntax
    int *flag;           // set, cleared or toggled when the option is seen; may be null
    int kind;            // OPT_FUNC, OPT_VALUE or OPT_FLAG; recorded, not consulted
    void *target;        // the value's variable: const char * for %s, int for %d, %o and %x
                         // (unsigned), float for %f, char for %c; may be null
    OptionFunc func;     // the function of a "%(...)" pattern; may be null
};

// Applies the options of *argv (whose first element is the program name) by the table; on return
// *argc and *argv designate the arguments not consumed (processing stops at the first argument
// that is not an option). A "%s" value points into the vector. Null, or the error text (in a
// buffer the next message overwrites).
const char *get_args(const OptionEntry *table, int rows, int *argc, char ***argv);

// get_args over the options that "cad.rc" holds for the base name of prog, then over the
// command line. Values taken from the start-up file stay valid until the next readrcopts.
const char *readrcopts(const char *prog, int *argc, char ***argv, const OptionEntry *table,
                       int rows);

// The pattern's name: its sign and the letters and digits behind it (a static buffer).
const char *optname(const char *pattern);

// "Bad conversion of ... argument following ... option" for the pattern and scan type (a static
// buffer).
const char *badconv(const char *pattern, const char *scantype);

} // namespace cf
