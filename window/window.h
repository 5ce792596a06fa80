// window.h - the bill-of-materials window: what hosts, the launcher and the tests call.
//
// A host opens the window through CreatePartList and releases it with DestroyPartList (the C
// entry points of libpartlist.so wrap these). Everything happens on the process's main thread;
// the window runs modally inside CreatePartList.
#pragma once

#include <string>

namespace window {

// Opens the bill-of-materials window for projectFile and returns once the user has closed it:
// 1 then, 0 when no window could be shown (another one is running, no display can be opened,
// the host's application object cannot show windows, or the call is not on the main thread;
// one line on standard error says which). flavourCode "suc" selects the Kestrune flavour, any
// other the Dravonite one; searchPath goes to the run behind "-p". Null texts count as empty.
int CreatePartList(const char *projectFile, const char *flavourCode, const char *searchPath);

// Deletes the report the last window's runs wrote and releases that window. Without a window
// (none was made, or it is already released) it does nothing.
void DestroyPartList();

// Whether the toolkit can open a display, checked without letting it try (it would end the
// process). True with platform empty (the toolkit's own choice) or naming the platform to ask
// for; false with the reason in one line.
bool FindDisplay(std::string &platform, std::string &reason);

} // namespace window
