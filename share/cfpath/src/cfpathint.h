// cfpathint.h - what the path, start-up-file and option modules share among themselves.
#pragma once

#include "cfpath.h"

namespace cf {

// Writes one -pathDEBUG trace line to the run's log; nothing when the flag is off.
[[gnu::format(printf, 1, 2)]] void pathtrace(const char *fmt, ...);

// True when -pathDEBUG is in effect (pathdebugflag).
bool pathdebug();

// The trace stream of SetPathLog (standard error until a run opens its log).
std::FILE *pathlog();

// The start-up path, null while absent; RcInstallPath installs the default when absent and
// returns the list ("" when it cannot be built).
const char *RcGetPath();
const char *RcInstallPath();

// Longest element or candidate name: the found-name buffer's size less its terminator.
inline constexpr int MAXNAME = 599;

} // namespace cf
