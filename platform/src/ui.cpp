// ui.cpp - the dialog back ends of the environment set-up.
//
// Holds the back end in force: the console one unless the window face installed its own for the
// time it runs.
#include "platform/ui.h"

#include <cstdio>

namespace platform {

namespace {

int consoleopen(void *, const char *, int, int, int, char *name, int size) {
    if (name && size > 0) name[0] = '\0';
    return 0;
}

int consolebox(void *, const char *caption, int, const char *text, int, int, int) {
    // Texts are written as they stand, never used as formats.
    if (caption && *caption)
        std::fprintf(stderr, "%s: %s\n", caption, text ? text : "");
    else
        std::fprintf(stderr, "%s\n", text ? text : "");
    return 1;
}

constexpr UiBackend console{consoleopen, consolebox};

struct UiState {
    const UiBackend *backend; // the back end in force; null means the console one
};

constinit UiState ui{};

const UiBackend &current() {
    return ui.backend ? *ui.backend : console;
}

} // namespace

const UiBackend &ConsoleUi() {
    return console;
}

const UiBackend *SetUiBackend(const UiBackend *backend) {
    const UiBackend *old = &current();
    ui.backend = backend;
    return old;
}

int SCH_OPENDLG(void *owner, const char *caption, int filter, int flags, int mustexist, char *name,
                int size) {
    return current().opendlg(owner, caption, filter, flags, mustexist, name, size);
}

int SCH_MSGBOX(void *owner, const char *caption, int icon, const char *text, int buttons,
               int defbutton, int context) {
    return current().msgbox(owner, caption, icon, text, buttons, defbutton, context);
}

} // namespace platform
