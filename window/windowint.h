// windowint.h - the dialogs of the window and what they share.
//
// Every dialog is built from a template: a table of controls placed in dialog units, which are
// turned into pixels with the dialog font's average character size. Each control's object name
// is its id in decimal and each dialog's its template number, so other programs and the tests
// find them by id.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

#include "bomcore.h"
#include "platform/ui.h"

#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QLineEdit;
class QMenu;
class QPrinter;
class QTreeWidget;

namespace window {

// Makes the dialog's controls at their places and fixes its size.
void buildDialog(QDialog *dialog, const DialogTemplate &tmpl);

// A control of a dialog by its id.
template <class T> T *control(const QWidget *dialog, int id) {
    return dialog->findChild<T *>(QString::number(id));
}

// A push button whose label wraps to the button's width.
class WrapButton : public QPushButton {
    Q_OBJECT
  public:
    explicit WrapButton(QWidget *parent) : QPushButton(parent) {}

  protected:
    void paintEvent(QPaintEvent *event) override;
};

// Owns a stream for the length of one read of the report.
struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// A message box with OK only (texts in UTF-8; null reads as empty).
void messageBox(QWidget *parent, QMessageBox::Icon icon, const char *caption, const char *text);

// The message boxes of the window: OK only, caption the application's name.
void message(QWidget *parent, const char *text, bool exclamation);

void noteFailure() noexcept;

// Runs fn, which handles one command or notification; nothing thrown gets past (a note on
// standard error instead), since the toolkit's event loop must never see an exception.
template <class F> void guarded(F &&fn) noexcept {
    try {
        fn();
    } catch (...) {
        noteFailure();
    }
}

// The component filter of one flavour: three categories and the property length.
class FilterDialog : public QDialog {
    Q_OBJECT
  public:
    const std::string &letters() const { return letters_; }
    const std::string &length() const { return length_; }

  protected:
    FilterDialog(const FilterRules &rules, QWidget *parent, const std::string &letters,
                 const std::string &length);

  private:
    void confirm();

    const FilterRules &rules_;
    std::string letters_; // built on OK
    std::string length_;  // exchanged with the length edit
};

class DravoniteFilterDialog : public FilterDialog {
    Q_OBJECT
  public:
    DravoniteFilterDialog(QWidget *parent, const std::string &letters, const std::string &length);
};

class KestruneFilterDialog : public FilterDialog {
    Q_OBJECT
  public:
    KestruneFilterDialog(QWidget *parent, const std::string &letters, const std::string &length);
};

// The bill-of-materials window.
class BomDialog : public QDialog {
    Q_OBJECT
  public:
    // Shows "Project not found" for an empty project and "BillOfMaterialsPath not found in the
    // ini file!" when the host profile has no description directory; opens in both cases.
    BomDialog(const char *projectFile, const char *flavourCode, const char *searchPath,
              QWidget *parent);

    const std::string &reportPath() const { return bom_.reportPath(); }
    // Whether a run was started with the report path, so that there is a report of ours.
    bool ranJob() const { return bom_.ownsReport(); }

    // Clears the list, runs the part-list job and reads its report into the list.
    void run();
    // Reads the report into the list (an unreadable report leaves it empty).
    void fillList();
    // One command of the window by its id (buttons, popup menu items); unknown ids do nothing.
    void command(int id);
    // The popup menu of the list, its items greyed when the list is empty.
    QMenu *makePopup();

    void accept() override; // Close: releases the map, saves the settings
    void reject() override; // Cancel: releases the map only

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void start();
    void componentFilter();
    void copy();
    void print();
    void popup(const QPoint &at);

    BomState bom_;            // what the window holds and does
    QLineEdit *projectEdit_;  // control 1000
    QTreeWidget *list_;       // control 1002
    std::string profileFile_; // the host profile, as found when the window started
    bool started_ = false;    // the dialog start has run
};

// A cell of the list as the toolkit shows it: UTF-8 or Latin-1, as the core read it.
QString cellString(const Cell &cell);

// Prints the report on printer in the print layout (printPages), as many pages as it takes.
// False when the report cannot be read or the printer cannot be started.
bool printReport(const std::string &reportPath, QPrinter &printer);

// Installs real file-open and message dialogs for the run's environment set-up while it lives.
class QtUiScope {
  public:
    QtUiScope();
    ~QtUiScope();
    QtUiScope(const QtUiScope &) = delete;
    QtUiScope &operator=(const QtUiScope &) = delete;

  private:
    const platform::UiBackend *old_; // the back end in force before
};

} // namespace window
