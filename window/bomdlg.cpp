// bomdlg.cpp - BomDialog, the bill-of-materials window.
//
// At its start it reads its settings from the host profile, loads the description map of its
// flavour and runs the part-list job; the report the job writes is read back into a five-column
// list. The component filter runs the job again; Close saves the settings, Cancel does not.
// State: the window's own fields (windowint.h); the description map is the run's.
#include "windowint.h"

#include "partlist.h"
#include "cfstring.h"
#include "platform/profile.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
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
    : QDialog(parent) {
    initResources();
    buildDialog(this, bomTemplate);
    projectEdit_ = control<QLineEdit>(this, EDIT_PROJECT);
    list_ = control<QTreeWidget>(this, LIST_BOM);
    setWindowIcon(QIcon(QStringLiteral(":/partlist/icon128.xpm")));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // One form of the name everywhere: the run writes the names it builds with "/", and the
    // window must read and remove the report the run wrote.
    projectName_ = projectFile ? projectFile : "";
    std::replace(projectName_.begin(), projectName_.end(), '\\', '/');
    searchPath_ = searchPath ? searchPath : "";
    // The profile the window starts from is the one Close writes, even after a run has changed
    // the current directory under a relative name.
    profileFile_ = platform::HostProfileFile();
    if (!profileFile_.empty() && profileFile_.front() != '/') {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(profileFile_, ec);
        if (!ec) profileFile_ = absolute.string();
    }
    flavour_ = flavourOf(flavourCode);

    if (projectName_.empty()) message(parent, "Project not found", true);
    reportPath_ = reportPathFor(projectName_, currentDir(), '/');

    descDir_ = profileValue(profileFile_, "VANTRELL", "BillOfMaterialsPath");
    if (descDir_.empty()) message(parent, "BillOfMaterialsPath not found in the ini file!", true);

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
    projectEdit_->setText(QString::fromStdString(projectName_));
    QStringList headings;
    for (const Column &c : columns)
        headings << c.heading;
    list_->setHeaderLabels(headings);
    for (int i = 0; i < static_cast<int>(std::size(columns)); ++i)
        list_->setColumnWidth(i, columns[i].width);
    // Every column keeps its width, QTY too.
    list_->header()->setStretchLastSection(false);

    const FlavourSettings &f = flavours[flavour_];
    savedLetters_ = profileValue(profileFile_, SETTINGS, f.key);
    if (savedLetters_.empty()) savedLetters_ = f.defLetters;
    partlist::initializeMap((descDir_ + "/" + f.mapFile).c_str());
    savedPropLength_ = profileValue(profileFile_, SETTINGS, LENGTH_KEY);
    if (savedPropLength_.empty()) savedPropLength_ = DEFAULT_LENGTH;

    if (letters_.empty()) {
        letters_ = savedLetters_;
        if (propLength_.empty()) {
            partlist::SetPropertyLength(savedPropLength_.c_str());
            propLength_ = savedPropLength_;
        }
    }
    projectEdit_->setReadOnly(true);
    run();
}

void BomDialog::run() {
    list_->clear();
    const QString shown = projectEdit_->text();
    if (shown != QString::fromStdString(projectName_)) projectName_ = shown.toStdString();
    if (projectName_.empty()) {
        message(this, "Please, enter the sch name.", false);
        return;
    }
    // A project named by its directory makes that the current one; a file name leaves it.
    (void)!::chdir(projectName_.c_str());

    // The length in effect reaches the run whether or not a category is ticked.
    std::string letters = letters_;
    partlist::SetPropertyLength((propLength_.empty() ? savedPropLength_ : propLength_).c_str());

    std::string args[] = {"partlist", "-p", searchPath_, "-f",
                          letters,    "-o", reportPath_, projectName_};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    {
        BusyCursor busy;
        ranJob_ = true;
        // The job reports in its log and its report; the list shows whatever the report holds.
        partlist::main(static_cast<int>(std::size(args)), argv.data());
    }
    fillList();
}

void BomDialog::fillList() {
    list_->clear();
    std::vector<Row> rows;
    readRows(reportPath_, rows);
    QList<QTreeWidgetItem *> items;
    for (const Row &r : rows) {
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
    if (flavour_ == 1)
        filter = std::make_unique<KestruneFilterDialog>(this, letters_, propLength_);
    else
        filter = std::make_unique<DravoniteFilterDialog>(this, letters_, propLength_);
    if (filter->exec() != QDialog::Accepted) return;
    letters_ = filter->letters();
    propLength_ = filter->length();
    run();
}

void BomDialog::accept() {
    guarded([this] {
        partlist::clearMap();
        const std::string &file = profileFile_;
        const bool saved = platform::WritePrivateProfileString(SETTINGS, flavours[flavour_].key,
                                                               letters_.c_str(), file.c_str()) &&
                           platform::WritePrivateProfileString(SETTINGS, LENGTH_KEY,
                                                               propLength_.c_str(), file.c_str());
        if (!saved) {
            const std::string text = "The settings could not be written to " + file;
            message(this, text.c_str(), true);
        }
    });
    QDialog::accept();
}

void BomDialog::reject() {
    guarded([] { partlist::clearMap(); });
    QDialog::reject();
}

QMenu *BomDialog::makePopup() {
    auto *menu = new QMenu(this);
    menu->setObjectName("TextPopup");
    const bool empty = list_->topLevelItemCount() == 0;
    for (const MenuItem &item : popupItems) {
        QAction *action = menu->addAction(QString::fromUtf8(item.text));
        action->setObjectName(QString::number(item.id));
        action->setEnabled(!empty);
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
