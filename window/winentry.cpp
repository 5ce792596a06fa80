// winentry.cpp - opening and releasing the window for a host.
//
// Finds the application object (the host's, or one of the library's own that lives as long as
// the process), refuses where the toolkit would fail or end the process, and runs the window
// modally. Owns the current window, which DestroyPartList releases with its report.
#include "window.h"
#include "windowint.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QThread>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace window {

namespace {

struct EntryState {
    QPointer<BomDialog> current; // the window of the last CreatePartList, until released
    bool running = false;        // a window is in its modal loop
};

EntryState &entry() {
    static EntryState s;
    return s;
}

// Clears the running mark however the modal loop ends.
class RunningMark {
  public:
    RunningMark() { entry().running = true; }
    ~RunningMark() { entry().running = false; }
    RunningMark(const RunningMark &) = delete;
    RunningMark &operator=(const RunningMark &) = delete;
};

// The application object to show the window with, or null with the reason.
QApplication *application(std::string &why) {
    if (QCoreApplication *core = QCoreApplication::instance()) {
        if (QThread::currentThread() != core->thread()) {
            why = "called off the thread of the host's application object";
            return nullptr;
        }
        auto *app = qobject_cast<QApplication *>(core);
        if (app == nullptr) why = "the host's application object cannot show windows";
        return app;
    }
    // An application object made on another thread would never run the window's timers.
    if (gettid() != getpid()) {
        why = "called off the process's main thread";
        return nullptr;
    }
    std::string platform;
    if (!FindDisplay(platform, why)) return nullptr;
    // The toolkit keeps argc and argv for the life of the application object, which is the life
    // of the process: the toolkit cannot be unloaded or started twice.
    static char name[] = "partlist";
    static char option[] = "-platform";
    static char chosen[32];
    static char *argv[] = {name, nullptr, nullptr, nullptr};
    static int argc = 1;
    if (!platform.empty() && platform.size() < sizeof chosen) {
        std::memcpy(chosen, platform.c_str(), platform.size() + 1);
        argv[1] = option;
        argv[2] = chosen;
        argc = 3;
    }
    static QApplication *own = [] {
        // The toolkit sets the process's locale from the environment; the host keeps its own.
        const std::string locale = std::setlocale(LC_ALL, nullptr);
        auto *app = new QApplication(argc, argv);
        std::setlocale(LC_ALL, locale.c_str());
        return app;
    }();
    return own;
}

// The window's owner: the host's main window (its first visible top-level main window), not
// whichever window happens to be active; none when the host has no main window.
QWidget *hostMainWindow() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow *>(w) != nullptr && w->isVisible()) return w;
    return nullptr;
}

} // namespace

int CreatePartList(const char *projectFile, const char *flavourCode, const char *searchPath) {
    EntryState &s = entry();
    if (s.running) {
        std::fputs("partlist: a bill-of-materials window is already open\n", stderr);
        return 0;
    }
    std::string why;
    QApplication *app = application(why);
    if (app == nullptr) {
        std::fprintf(stderr, "partlist: cannot open the bill-of-materials window: %s\n",
                     why.c_str());
        return 0;
    }
    // A window the host did not release goes now; its report stays where it is.
    delete s.current.data();

    QtUiScope ui;
    auto *dialog = new BomDialog(projectFile, flavourCode, searchPath, hostMainWindow());
    s.current = dialog;
    RunningMark mark;
    dialog->exec();
    return 1;
}

void DestroyPartList() {
    EntryState &s = entry();
    if (s.running || s.current.isNull()) return;
    BomDialog *dialog = s.current.data();
    s.current.clear();
    // Only a report that this window's runs wrote is removed: with no run, the report path
    // may name somebody else's file.
    if (dialog->ranJob()) {
        if (FILE *f = std::fopen(dialog->reportPath().c_str(), "r")) {
            std::fclose(f);
            std::remove(dialog->reportPath().c_str());
        }
    }
    delete dialog;
}

} // namespace window
