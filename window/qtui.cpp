// qtui.cpp - the dialogs of the run's environment set-up while the window runs.
//
// The run asks for a schematic when its own cannot be found and shows its failures in message
// boxes; inside the window these are real dialogs over the window. Holds nothing beyond the back
// end it installs for the life of a QtUiScope.
#include "windowint.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <cstring>

namespace window {

namespace {

// The icon codes of the suite's message boxes.
inline constexpr int ICON_MASK = 0x70;
inline constexpr int ICON_STOP = 0x10;
inline constexpr int ICON_QUESTION = 0x20;
inline constexpr int ICON_EXCLAMATION = 0x30;
inline constexpr int ICON_INFORMATION = 0x40;

QMessageBox::Icon iconFor(int icon) {
    switch (icon & ICON_MASK) {
    case ICON_STOP:
        return QMessageBox::Critical;
    case ICON_QUESTION:
        return QMessageBox::Question;
    case ICON_EXCLAMATION:
        return QMessageBox::Warning;
    case ICON_INFORMATION:
        return QMessageBox::Information;
    default:
        // The run's own boxes report why it cannot go on.
        return QMessageBox::Warning;
    }
}

int qtopen(void *, const char *caption, int, int, int, char *name, int size) {
    if (name == nullptr || size <= 0) return 0;
    name[0] = '\0';
    const std::string file =
        QFileDialog::getOpenFileName(QApplication::activeWindow(),
                                     QString::fromUtf8(caption ? caption : ""), QString(),
                                     QStringLiteral("Schematics (*.sch *.dsn);;All files (*)"))
            .toStdString();
    // A name that does not fit is refused, never cut into the name of another file.
    if (file.empty() || file.size() >= static_cast<std::size_t>(size)) return 0;
    std::memcpy(name, file.c_str(), file.size() + 1);
    return 1;
}

int qtbox(void *, const char *caption, int icon, const char *text, int, int, int) {
    messageBox(QApplication::activeWindow(), iconFor(icon), caption, text);
    return 1;
}

constexpr platform::UiBackend qtui{qtopen, qtbox};

} // namespace

QtUiScope::QtUiScope() : old_(platform::SetUiBackend(&qtui)) {}

QtUiScope::~QtUiScope() {
    platform::SetUiBackend(old_);
}

} // namespace window
