// ui.h - the two dialogs the environment set-up needs: a file-open dialog and a message box.
//
// The calls keep the shape of the suite's own dialog library. What they do depends on the back
// end in force: the console back end (the default) chooses no file and writes messages to
// standard error; the window face installs a back end with real dialogs while it runs.
#pragma once

namespace platform {

// One back end: both members must be set.
struct UiBackend {
    // Lets the user choose a file; on success its name is stored in name (size bytes, terminator
    // included) and the result is nonzero. 0 when nothing was chosen.
    int (*opendlg)(void *owner, const char *caption, int filter, int flags, int mustexist,
                   char *name, int size);
    // Shows text under caption; the result is not used by the callers.
    int (*msgbox)(void *owner, const char *caption, int icon, const char *text, int buttons,
                  int defbutton, int context);
};

// The console back end: no dialog (0, the buffer emptied); messages as "caption: text" lines on
// standard error.
const UiBackend &ConsoleUi();

// Installs a back end (null restores the console one) and returns the one it replaces.
const UiBackend *SetUiBackend(const UiBackend *backend);

// The calls of the environment set-up, routed to the back end in force.
int SCH_OPENDLG(void *owner, const char *caption, int filter, int flags, int mustexist, char *name,
                int size);
int SCH_MSGBOX(void *owner, const char *caption, int icon, const char *text, int buttons,
               int defbutton, int context);

} // namespace platform
