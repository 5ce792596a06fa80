// placefile.h - a file written beside its target and put in its place whole, with one rename.
//
// A report or an export is written to a file of its own and replaces its target only when it is
// complete and on the disk, so neither a failure nor a power cut leaves a partial file where the
// target was, and the target stays readable until then.
//
// Links are handled as a careful editor's write-by-rename handles them:
// - a symbolic link stays a link: the file it names is replaced, and when it names no file yet
//   (a dangling link), that file is made where the link points;
// - a file with other names (hard links) is replaced under the name given; its other names keep
//   the old content, as after any write by rename;
// - an existing file keeps its permission bits (not its owner); a new file gets those the
//   process's umask leaves of 0666, as a file made by fopen does.
// The new file is made beside the file written (the end of a chain of links), on the same file
// system, so the rename cannot fail for crossing file systems.
#pragma once

#include <string>

namespace platform {

// Where a write to `target` lands: the file at the end of its chain of symbolic links, whether
// or not that file exists, with its folder spelled as the system resolves it (so that two
// spellings of one place give one name).
std::string PlaceOf(const char *target);

// Whether two names lead to one file: the same file when both exist, else the same place.
bool SameTarget(const char *a, const char *b);

// Makes a new, empty file beside the place `target` leads to (PlaceOf) and returns its name;
// empty (errno set) when none can be made. The file gets the mode a new file gets.
std::string MakeFileBeside(const char *target);

// Puts `temp` in place of `target`: its data is flushed to the disk first, then it is renamed
// over the place `target` leads to. On failure (false, errno set; see ErrorText) `temp` is
// removed and `target` is as it was.
bool PlaceFile(const char *temp, const char *target);

// Words for an errno value that PlaceFile or MakeFileBeside set: strerror's, but on Windows the
// system's reasons for which the C library has no words of its own (a file another program
// holds open is "in use by another program").
const char *ErrorText(int error);

} // namespace platform
