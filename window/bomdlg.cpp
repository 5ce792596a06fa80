// bomdlg.cpp - BomDialog, the bill-of-materials window.
//
// The window's settings, runs, rows and close are bomcore's (BomState): this face shows them in
// Qt widgets, reads and writes the host profile for them, and turns the buttons and the popup
// menu into commands. State: the window's own fields (windowint.h); the description map is the
// run's.
#include "windowint.h"

#include "platform/profile.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <unistd.h>
#include <vector>

// The icon lives in the library's resources, which a static link would otherwise leave out.
static void initResources() {
    Q_INIT_RESOURCE(window);
}

namespace window {

namespace {

std::string profileValue(const std::string &file, const char *section, const char *key) {
    std::string value;
    platform::ReadProfileEntry(file.c_str(), section, key, value);
    return value;
}

// The process's current directory, empty when it cannot be had.
std::string currentDir() {
    std::error_code ec;
    std::string dir = std::filesystem::current_path(ec).string();
    return ec ? std::string() : dir;
}

// One form of the name everywhere: the run writes the names it builds with "/", and the window
// must read and remove the report the run wrote.
std::string slashed(const char *projectFile) {
    std::string name = projectFile ? projectFile : "";
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

// Shows the busy cursor while a job runs.
class BusyCursor {
  public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

BomDialog::BomDialog(const char *projectFile, const char *flavourCode, const char *searchPath,
                     QWidget *parent)
    : QDialog(parent), bom_(slashed(projectFile), flavourCode, searchPath, '/', currentDir()) {
    initResources();
    buildDialog(this, bomTemplate);
    projectEdit_ = control<QLineEdit>(this, EDIT_PROJECT);
    list_ = control<QTreeWidget>(this, LIST_BOM);
    setWindowIcon(QIcon(QStringLiteral(":/partlist/icon128.xpm")));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // The profile the window starts from is the one Close writes, even after a run has changed
    // the current directory under a relative name.
    profileFile_ = platform::HostProfileFile();
    if (!profileFile_.empty() && profileFile_.front() != '/') {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(profileFile_, ec);
        if (!ec) profileFile_ = absolute.string();
    }
    for (const char *text : bom_.open([this](const char *section, const char *key) {
             return profileValue(profileFile_, section, key);
         }))
        message(parent, text, true);

    for (int id : {CMD_CLOSE, CMD_CANCEL, CMD_FILTER, CMD_COPY, CMD_PRINT})
        connect(control<QPushButton>(this, id), &QPushButton::clicked, this,
                [this, id] { command(id); });
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { guarded([&] { popup(at); }); });
}

void BomDialog::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (started_) return;
    started_ = true;
    guarded([this] { start(); });
}

void BomDialog::start() {
    projectEdit_->setText(QString::fromStdString(bom_.projectName()));
    QStringList headings;
    for (const Column &c : columns)
        headings << c.heading;
    list_->setHeaderLabels(headings);
    for (int i = 0; i < static_cast<int>(std::size(columns)); ++i)
        list_->setColumnWidth(i, columns[i].width);
    // Every column keeps its width, QTY too.
    list_->header()->setStretchLastSection(false);

    bom_.start([this](const char *section, const char *key) {
        return profileValue(profileFile_, section, key);
    });
    projectEdit_->setReadOnly(true);
    run();
}

void BomDialog::run() {
    list_->clear();
    if (const char *text = bom_.beginRun(projectEdit_->text().toStdString())) {
        message(this, text, false);
        return;
    }
    // A project named by its directory makes that the current one; a file name leaves it.
    (void)!::chdir(bom_.projectName().c_str());
    {
        BusyCursor busy;
        bom_.runJob();
    }
    fillList();
}

void BomDialog::fillList() {
    list_->clear();
    bom_.readReport();
    QList<QTreeWidgetItem *> items;
    for (const Row &r : bom_.rows()) {
        QStringList cells;
        for (const Cell &c : r)
            cells << cellString(c);
        items.append(new QTreeWidgetItem(cells));
    }
    list_->addTopLevelItems(items);
}

void BomDialog::command(int id) {
    guarded([&] {
        switch (actionOf(id)) {
        case Action::close:
            accept();
            break;
        case Action::cancel:
            reject();
            break;
        case Action::filter:
            componentFilter();
            break;
        case Action::copy:
            copy();
            break;
        case Action::print:
            print();
            break;
        case Action::none:
            break;
        }
    });
}

void BomDialog::componentFilter() {
    std::unique_ptr<FilterDialog> filter;
    if (bom_.flavour() == 1)
        filter = std::make_unique<KestruneFilterDialog>(this, bom_.letters(), bom_.propLength());
    else
        filter = std::make_unique<DravoniteFilterDialog>(this, bom_.letters(), bom_.propLength());
    if (filter->exec() != QDialog::Accepted) return;
    bom_.filtered(filter->letters(), filter->length());
    run();
}

void BomDialog::accept() {
    guarded([this] {
        const std::string &file = profileFile_;
        const bool saved =
            bom_.close(true, [&file](const char *section, const char *key, const char *value) {
                return platform::WritePrivateProfileString(section, key, value, file.c_str());
            });
        if (!saved) {
            const std::string text = "The settings could not be written to " + file;
            message(this, text.c_str(), true);
        }
    });
    QDialog::accept();
}

void BomDialog::reject() {
    guarded([this] { bom_.close(false, {}); });
    QDialog::reject();
}

QMenu *BomDialog::makePopup() {
    auto *menu = new QMenu(this);
    menu->setObjectName("TextPopup");
    for (const MenuItem &item : popupItems) {
        QAction *action = menu->addAction(QString::fromUtf8(item.text));
        action->setObjectName(QString::number(item.id));
        action->setEnabled(bom_.mayCopy());
    }
    return menu;
}

void BomDialog::popup(const QPoint &at) {
    std::unique_ptr<QMenu> menu(makePopup());
    // The chosen command runs once the menu is gone, as a click on its button would.
    if (QAction *chosen = menu->exec(list_->viewport()->mapToGlobal(at)))
        command(chosen->objectName().toInt());
}

} // namespace window
