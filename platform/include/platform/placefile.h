// placefile.h - a file written beside its target and put in its place whole, with one rename.
//
// A report or an export is written to a file of its own and replaces its target only when it is
// complete, so a failure never leaves a partial file where the target was, and the target stays
// readable until then. The new file is made beside the file the target names (beside the file a
// link names, on the same file system), so the rename cannot fail for crossing file systems.
#pragma once

#include <string>

namespace platform {

// Makes a new, empty, private file beside the file `target` names and returns its name; empty
// (errno set) when none can be made.
std::string MakeFileBeside(const char *target);

// Puts `temp` in place of `target`: the file a link names is replaced (the link stays), an
// existing file keeps its permissions, a new one gets those a new file gets. On failure (false,
// errno set) `temp` is removed and `target` is as it was.
bool PlaceFile(const char *temp, const char *target);

} // namespace platform
