// hostdriver.cpp - the hand of a test host that has no toolkit of its own.
//
// Loaded by the host after libpartlist.so (which brings the toolkit), it waits for the
// application object the library makes and then, as a user would, clicks a button of each
// bill-of-materials window that opens: the one whose id HOSTDRIVER_BUTTON names (1 Close,
// 2 Cancel). The switch is the test's own; the library reads none.
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

namespace {

inline constexpr int POLL_MS = 10;
inline constexpr const char *BOM_DIALOG = "102";

void drive() {
    auto *timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [] {
        QWidget *w = QApplication::activeModalWidget();
        const char *button = std::getenv("HOSTDRIVER_BUTTON");
        if (w == nullptr || !w->isVisible() || w->objectName() != BOM_DIALOG || button == nullptr)
            return;
        if (auto *b = w->findChild<QPushButton *>(QString::fromLatin1(button))) b->click();
    });
    timer->start(POLL_MS);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(drive)
