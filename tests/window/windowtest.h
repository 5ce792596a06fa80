// windowtest.h - what the window tests share: the application object, a driver for the modal
// windows that open while a test runs, and a copy of the shipped design with its own profile.
#pragma once

#include "support/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace windowtest {

namespace fs = std::filesystem;

// The toolkit wants a private runtime directory; the build made one (0700) for the tests.
inline void runtimeDir() {
    setenv("XDG_RUNTIME_DIR", WINDOW_RUNTIME_DIR, 0);
}

// While it lives, answers every modal window that opens: message boxes are recorded and closed
// with OK; any other dialog goes to onDialog (which must close it), or is rejected.
class ModalDriver {
  public:
    std::function<void(QWidget *)> onDialog;
    std::vector<std::string> boxes; // the texts of the message boxes, in order

    ModalDriver() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start(10);
    }

  private:
    void answer() {
        QWidget *w = QApplication::activeModalWidget();
        if (w == nullptr || !w->isVisible() || w == busy_) return;
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            boxes.push_back(box->text().toStdString());
            box->button(QMessageBox::Ok)->click();
        } else {
            busy_ = w; // a handler may open further windows of its own
            if (onDialog)
                onDialog(w);
            else
                qobject_cast<QDialog *>(w)->reject();
            busy_ = nullptr;
        }
    }

    QTimer timer_;
    QWidget *busy_ = nullptr;
};

// The texts of one row of list 1002.
inline std::vector<std::string> row(const QTreeWidget *list, int i) {
    std::vector<std::string> cells;
    const QAbstractItemModel *model = list->model();
    for (int c = 0; c < model->columnCount(); ++c)
        cells.push_back(model->index(i, c).data(Qt::DisplayRole).toString().toStdString());
    return cells;
}

// A copy of the shipped design in a fresh directory, which is made the current one, with a
// host profile that points at its description maps. The directory goes at the end.
class DesignFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testsupport::makedir("/tmp/window_test.XXXXXX");
        ASSERT_FALSE(dir.empty());
        fs::copy(fs::path(PARTLIST_SOURCE_DIR) / "examples/amp", dir);
        old = fs::current_path();
        fs::current_path(dir);
        testsupport::privatesettings(dir);
        profile = (dir / "vantrell.ini").string();
        setenv("VANTRELL_PROFILE", profile.c_str(), 1);
        writeProfile("[VANTRELL]\nBillOfMaterialsPath=" + dir.string() + "\n");
    }
    void TearDown() override {
        fs::current_path(old);
        fs::remove_all(dir);
    }
    void writeProfile(const std::string &text) { testsupport::writefile(profile, text); }
    std::string expectedReport() const {
        return testsupport::readfile(fs::path(PARTLIST_SOURCE_DIR) / "examples/expected.out");
    }

    fs::path dir;
    fs::path old;
    std::string profile;
};

} // namespace windowtest

// The tests run inside one application object; listing them needs none (and no display).
#define WINDOW_TEST_MAIN()                                                                         \
    int main(int argc, char **argv) {                                                              \
        ::testing::InitGoogleTest(&argc, argv);                                                    \
        if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();                                    \
        windowtest::runtimeDir();                                                                  \
        QApplication app(argc, argv);                                                              \
        return RUN_ALL_TESTS();                                                                    \
    }
