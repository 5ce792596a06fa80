// partlist.h - the part-list utility: run driver, environment, part collection, report, map.
//
// The run entry reads a whole design hierarchy, counts equal parts sheet by sheet, sorts them
// into the component categories and writes the fixed-column report and the log. Hosts of
// libpartlist.so reach it through the C entry points at the end, the only names the library
// exports; the partlist namespace is for programs built with the utility's static core (the
// partlist command, the window, the tests).
#pragma once

#ifndef PARTLIST_EXPORT
#define PARTLIST_EXPORT __attribute__((visibility("default")))
#endif
// The calling convention of the window's entry points: the standard one on Windows, where the
// host finds them by their decorated names (set by the build there).
#ifndef PARTLIST_HOSTCALL
#define PARTLIST_HOSTCALL
#endif

namespace partlist {

// Runs one part-list job with a command line ("partlist", options, schematic name). Returns the
// number of messages written since the library was loaded, -1 when the run ended on a fatal or
// internal error, -4 when no schematic could be found or the log could not be created.
int main(int argc, char **argv);

// Releases everything a run allocated. A negative status abandons the run: control returns to
// main, which returns that status (it does not return to the caller then). Otherwise it returns
// the status.
int Sch_Exit(int status);

// Adds the records of a description map file (category, part name, description per line) to the
// map; a file that cannot be opened leaves the map as it is. Always 0; memory that runs out
// throws std::bad_alloc (the records read until then stay).
int initializeMap(const char *path);

// Releases every record of the description map (the window's close).
void clearMap();

// Stores the decimal value of `text` as the width of the property column (0 for a text that is
// not a number) and returns it. The next run picks it up.
int SetPropertyLength(const char *text);
int GetPropertyLength();

} // namespace partlist

extern "C" {

// The run entry under a name that cannot collide with the host's own main.
PARTLIST_EXPORT int partlist_main(int argc, char **argv);
PARTLIST_EXPORT int Sch_Exit(int status);
PARTLIST_EXPORT int initializeMap(const char *path);
PARTLIST_EXPORT int SetPropertyLength(const char *text);

// The window's entry points, in libpartlist.so when it is built with the window: CreatePartList
// opens the bill-of-materials window for a project and returns 1 once the user has closed it (0
// when no window could be shown, with one line on standard error); DestroyPartList then deletes
// the report the window's runs wrote and releases the window. Main thread only.
PARTLIST_EXPORT int PARTLIST_HOSTCALL CreatePartList(const char *projectFile,
                                                     const char *flavourCode,
                                                     const char *searchPath);
PARTLIST_EXPORT void PARTLIST_HOSTCALL DestroyPartList();

} // extern "C"
