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

inline constexpr int CMD_CLOSE = 1;
inline constexpr int CMD_CANCEL = 2;
inline constexpr int CMD_FILTER = 1004;
inline constexpr int CMD_COPY = 1019;
inline constexpr int CMD_PRINT = 1020;
inline constexpr int CMD_COPY_CLIPBOARD = 57634;   // popup "copy to clipboard"
inline constexpr int CMD_COPY_SPREADSHEET = 32775; // popup "copy to spreadsheet"
inline constexpr int CMD_PRINT_MENU = 57607;       // popup "print"

inline constexpr int EDIT_PROJECT = 1000;
inline constexpr int LIST_BOM = 1002;

inline constexpr std::size_t READ_SIZE = 1064; // a report line is read in pieces of 1063
inline constexpr std::size_t CELL_SIZE = 256;  // a cell holds 255 characters
inline constexpr std::size_t NAME_COLUMN = 18; // data lines: the SCHEMATIC column, dropped
inline constexpr const char *SIX_SPACES = "      ";

constexpr ControlRow bomRows[] = {
    {Control::defbutton, CMD_CLOSE, "Close", 404, 327, 50, 24},
    {Control::wrapbutton, CMD_FILTER, "Component Filter", 404, 68, 48, 24},
    {Control::button, CMD_CANCEL, "Cancel", 404, 129, 48, 24},
    {Control::button, CMD_COPY, "Copy", 404, 194, 48, 24},
    {Control::button, CMD_PRINT, "Print", 404, 260, 49, 24},
    {Control::list, LIST_BOM, nullptr, 29, 66, 359, 289},
    {Control::edit, EDIT_PROJECT, "", 122, 42, 248, 13},
    {Control::label, NO_ID, "Project Name :", 45, 42, 77, 10},
    {Control::group, NO_ID, nullptr, 17, 26, 453, 352},
    {Control::centredlabel, NO_ID, "Bill Of Materials", 175, 13, 134, 10},
};
constexpr DialogTemplate bomTemplate{102, "Bill Of Materials", 477, 401, bomRows};

struct Column {
    const char *heading;
    int width; // pixels
};
constexpr Column columns[] = {
    {"SCHEMATIC", 110}, {"NAME", 110}, {"PROPERTY", 120}, {"DESCRIPTION", 110}, {"QTY", 100},
};

// The settings of one flavour in the host profile, and its description map.
struct FlavourSettings {
    const char *key;        // key of the category letters in "BillOfMaterials"
    const char *defLetters; // letters when the key is missing or empty
    const char *mapFile;    // description map in the description directory
};
constexpr FlavourSettings flavours[] = {
    {"DravoniteSettings", "i", "dra.txt"},
    {"KestruneSettings", "se", "kes.txt"},
};
inline constexpr const char *SETTINGS = "BillOfMaterials";
inline constexpr const char *LENGTH_KEY = "Length";
inline constexpr const char *DEFAULT_LENGTH = "40";

// The category headings of the report, as the list recognises them.
constexpr const char *categoryHeadings[] = {
    "    Control", "    Distributed", "    Discrete", "    Functional", "    Electrical",
};

std::string profileValue(const std::string &file, const char *section, const char *key) {
    std::string value;
    platform::ReadProfileEntry(file.c_str(), section, key, value);
    return value;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// Turns the texts of one report line into the five cells of its row. Cells are cut to 255
// bytes, never inside a character.
QStringList cells(const std::string_view (&texts)[5]) {
    QStringList row;
    for (std::string_view t : texts)
        row << reportText(t, CELL_SIZE - 1);
    return row;
}

// The row of one piece of the report (a line, or up to 1063 characters of a longer one).
QStringList parseLine(std::string_view line) {
    const std::size_t run = line.find(SIX_SPACES);
    const std::string_view lead =
        run == std::string_view::npos ? std::string_view() : line.substr(0, run);
    const std::size_t dot = lead.find('.');
    bool heading = dot != std::string_view::npos && dot >= 2;
    for (const char *name : categoryHeadings)
        heading = heading || lead == name;
    if (heading) {
        const std::string_view texts[5] = {lead, {}, {}, {}, {}};
        return cells(texts);
    }
    // Part lines and their continuations always hold a tab, headings never do: a line without
    // one that starts with a non-blank is a sheet heading, however long its name (a name of 15
    // characters or more leaves no run of six blanks behind it).
    if (!line.empty() && line.front() != ' ' && line.find('\t') == std::string_view::npos) {
        std::string_view name = line.substr(0, line.find('\n'));
        name = name.substr(0, name.find_last_not_of(' ') + 1);
        const std::string_view texts[5] = {name, {}, {}, {}, {}};
        return cells(texts);
    }

    std::string_view rest =
        line.size() > NAME_COLUMN ? line.substr(NAME_COLUMN) : std::string_view();
    std::string_view texts[5] = {SIX_SPACES, {}, {}, {}, {}};
    for (int c = 1; c <= 3; ++c) {
        if (!rest.empty() && rest.front() == '\t') rest.remove_prefix(1);
        const std::size_t tab = rest.find('\t');
        if (tab == std::string_view::npos) continue;
        texts[c] = rest.substr(0, tab);
        rest.remove_prefix(tab);
    }
    const std::size_t nl = rest.find('\n');
    if (nl != std::string_view::npos && nl > 0) texts[4] = rest.substr(1, nl - 1);
    return cells(texts);
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
    flavour_ = flavourCode && std::strcmp(flavourCode, "suc") == 0 ? 1 : 0;

    std::string dir;
    if (projectName_.empty()) {
        message(parent, "Project not found", true);
    } else {
        const auto last = std::find_if(projectName_.rbegin(), projectName_.rend(), isSeparator);
        dir = last != projectName_.rend() ? projectName_.substr(0, projectName_.rend() - last - 1)
                                          : currentDir();
    }
    reportPath_ = dir + "/temp.out";

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
    File f(std::fopen(reportPath_.c_str(), "r"));
    if (!f) return;
    int c;
    while ((c = getc_unlocked(f.get())) != EOF && c != '\n') {
    }
    QList<QTreeWidgetItem *> rows;
    char buf[READ_SIZE];
    while (std::fgets(buf, sizeof buf, f.get())) {
        const std::string_view line(buf, std::strlen(buf));
        if (line.empty() || line == "\n") continue;
        rows.append(new QTreeWidgetItem(parseLine(line)));
    }
    list_->addTopLevelItems(rows);
}

void BomDialog::command(int id) {
    guarded([&] {
        switch (id) {
        case CMD_CLOSE:
            accept();
            break;
        case CMD_CANCEL:
            reject();
            break;
        case CMD_FILTER:
            componentFilter();
            break;
        case CMD_COPY:
        case CMD_COPY_CLIPBOARD:
        case CMD_COPY_SPREADSHEET:
            copy();
            break;
        case CMD_PRINT:
        case CMD_PRINT_MENU:
            print();
            break;
        default:
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
    struct Item {
        int id;
        const char *text;
    };
    static constexpr Item items[] = {
        {CMD_COPY_CLIPBOARD, "copy to clipboard"},
        {CMD_COPY_SPREADSHEET, "copy to spreadsheet"},
        {CMD_PRINT_MENU, "print"},
    };
    auto *menu = new QMenu(this);
    menu->setObjectName("TextPopup");
    const bool empty = list_->topLevelItemCount() == 0;
    for (const Item &item : items) {
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
