// partlist_window.cpp - partlist-window: a host of libpartlist.so that opens the
// bill-of-materials window on a project.
//
// It plays the schematic editor's part: it owns the application object and the host profile,
// calls CreatePartList and, once the window is closed, DestroyPartList.
#include "partlist.h"
#include "window.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

const char *const usage =
    "usage: partlist-window [--flavour csi|suc] [--path SEARCHPATH] [--profile FILE]\n"
    "                       [--snapshot FILE.png] PROJECT.sch\n"
    "       partlist-window --help\n"
    "\n"
    "Opens the bill-of-materials window on PROJECT.sch: the part list of the design in five\n"
    "columns, the component filter, copy and print. The report is written to temp.out beside\n"
    "the project while the window is open.\n"
    "\n"
    "  --flavour csi|suc  the suite flavour: csi Dravonite (default), suc Kestrune\n"
    "  --path SEARCHPATH  symbol search path, elements joined by '+', relative to the\n"
    "                     project's directory (default .)\n"
    "  --profile FILE     the host profile (default $VANTRELL_PROFILE, else\n"
    "                     ~/.config/morvek/vantrell.ini); its [VANTRELL] BillOfMaterialsPath\n"
    "                     names the directory of the description maps dra.txt and kes.txt\n"
    "  --snapshot FILE.png  save a picture of the window once its list is filled, then close\n"
    "                     it as Cancel does\n";

// The window is painted and mapped a moment after its first run has filled the list.
inline constexpr int SNAPSHOT_DELAY_MS = 300;
inline constexpr int CMD_CANCEL = 2;             // the window's Cancel button
inline constexpr const char *BOM_DIALOG = "102"; // the window's template

int bad(const char *what, const char *arg) {
    std::fprintf(stderr, "partlist-window: %s%s\n%s", what, arg, usage);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    std::string flavour = "csi";
    const char *path = nullptr;
    const char *project = nullptr;
    const char *profile = nullptr;
    const char *snapshot = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const bool valued = std::strcmp(arg, "--flavour") == 0 || std::strcmp(arg, "--path") == 0 ||
                            std::strcmp(arg, "--profile") == 0 ||
                            std::strcmp(arg, "--snapshot") == 0;
        if (std::strcmp(arg, "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (valued && i + 1 >= argc) return bad("a value is missing after ", arg);
        if (std::strcmp(arg, "--flavour") == 0) {
            flavour = argv[++i];
            if (flavour != "csi" && flavour != "suc")
                return bad("--flavour takes csi or suc, not ", flavour.c_str());
        } else if (std::strcmp(arg, "--path") == 0) {
            path = argv[++i];
        } else if (std::strcmp(arg, "--profile") == 0) {
            profile = argv[++i];
        } else if (std::strcmp(arg, "--snapshot") == 0) {
            snapshot = argv[++i];
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return bad("unknown option ", arg);
        } else if (project != nullptr) {
            return bad("one project only: ", arg);
        } else {
            project = arg;
        }
    }
    if (project == nullptr) return bad("no project given", "");

    // Like the editor, the launcher works in the project's directory and hands the window the
    // project's full name; the report goes beside it.
    std::error_code ec;
    if (profile != nullptr) {
        const std::filesystem::path file = std::filesystem::absolute(profile, ec);
        setenv("VANTRELL_PROFILE", ec ? profile : file.c_str(), 1);
    }
    const std::filesystem::path full = std::filesystem::absolute(project, ec);
    const std::string projectFile = ec ? project : full.string();
    if (!ec && full.has_parent_path()) std::filesystem::current_path(full.parent_path(), ec);
    if (ec) {
        std::fprintf(stderr, "partlist-window: cannot work in the directory of %s: %s\n", project,
                     ec.message().c_str());
        return 1;
    }
    const std::string searchPath = path ? path : ".";

    std::string platform, why;
    if (!window::FindDisplay(platform, why)) {
        std::fprintf(stderr, "partlist-window: %s\n", why.c_str());
        return 1;
    }
    if (!platform.empty()) setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("partlist-window"));
    bool saved = snapshot == nullptr;
    if (snapshot != nullptr) {
        // The host drives its window as any host may: it finds it by its template's name.
        const QString file = QString::fromLocal8Bit(snapshot);
        QTimer::singleShot(SNAPSHOT_DELAY_MS, &app, [file, &saved] {
            QWidget *w = QApplication::activeModalWidget();
            if (w == nullptr || w->objectName() != BOM_DIALOG) return;
            saved = w->grab().save(file, "PNG");
            if (!saved)
                std::fprintf(stderr, "partlist-window: cannot write %s\n",
                             file.toLocal8Bit().constData());
            if (auto *cancel = w->findChild<QPushButton *>(QString::number(CMD_CANCEL)))
                cancel->click();
        });
    }
    const int shown = CreatePartList(projectFile.c_str(), flavour.c_str(), searchPath.c_str());
    DestroyPartList();
    return shown && saved ? 0 : 1;
}
