// bomcore.h - what the bill-of-materials window does, for every face that draws it.
//
// The dialog templates and their ids, the window's state from its making to its close (its
// settings, its runs, its rows, when Copy and Print may run), reading the report into rows of
// five cells, the clipboard text in bytes and in UTF-16, the print page and its layout, and the
// rules of the component filter. No toolkit here: a face (Qt on Linux, the system's dialogs on
// Windows) only draws these and turns events into them.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace window {

// ---- Templates ----

// The kinds of control a template places.
enum class Control {
    button,       // push button
    defbutton,    // default push button
    wrapbutton,   // push button whose label wraps onto several lines
    check,        // auto check box
    edit,         // one-line edit with a border
    list,         // the report list with column headings
    label,        // static text, left-aligned
    centredlabel, // static text, centred
    group,        // frame round other controls
};

inline constexpr int NO_ID = -1; // a control nobody looks up

// One control of a template: position and size in dialog units.
struct ControlRow {
    Control kind;
    int id;
    const char *text;
    int x, y, w, h;
};

// One dialog template.
struct DialogTemplate {
    int id;                           // the dialog's template number
    const char *caption;              // window title
    int w, h;                         // client size in dialog units
    std::span<const ControlRow> rows; // its controls, in tab order
};

// Commands of the window: its buttons and the items of the list's popup menu.
inline constexpr int CMD_CLOSE = 1;
inline constexpr int CMD_CANCEL = 2;
inline constexpr int CMD_FILTER = 1004;
inline constexpr int CMD_COPY = 1019;
inline constexpr int CMD_PRINT = 1020;
inline constexpr int CMD_COPY_CLIPBOARD = 57634;   // popup "copy to clipboard"
inline constexpr int CMD_COPY_SPREADSHEET = 32775; // popup "copy to spreadsheet"
inline constexpr int CMD_PRINT_MENU = 57607;       // popup "print"

// What a command does: the buttons and the popup menu's items that do the same thing.
enum class Action { close, cancel, filter, copy, print, none };
Action actionOf(int command);

inline constexpr int EDIT_PROJECT = 1000;
inline constexpr int LIST_BOM = 1002;

// The window (102) and the component filters of the two flavours (131, 132).
extern const DialogTemplate bomTemplate;
extern const DialogTemplate dravoniteTemplate;
extern const DialogTemplate kestruneTemplate;

// The popup menu "TextPopup" of the list, in order.
struct MenuItem {
    int id;
    const char *text;
};
extern const std::array<MenuItem, 3> popupItems;

// The list's columns, with their widths in pixels.
struct Column {
    const char *heading;
    int width;
};
extern const std::array<Column, 5> columns;

// ---- Settings ----

// The settings of one flavour in the host profile, and its description map.
struct FlavourSettings {
    const char *key;        // key of the category letters in "BillOfMaterials"
    const char *defLetters; // letters when the key is missing or empty
    const char *mapFile;    // description map in the description directory
};
extern const std::array<FlavourSettings, 2> flavours; // Dravonite, Kestrune
inline constexpr const char *SETTINGS = "BillOfMaterials";
inline constexpr const char *LENGTH_KEY = "Length";
inline constexpr const char *DEFAULT_LENGTH = "40";
inline constexpr const char *PATH_SECTION = "VANTRELL"; // the description directory's place
inline constexpr const char *PATH_KEY = "BillOfMaterialsPath";

// The host profile as a face reaches it: a value ("" when missing), and a write that says
// whether it succeeded.
using ProfileRead = std::function<std::string(const char *section, const char *key)>;
using ProfileWrite = std::function<bool(const char *section, const char *key, const char *value)>;

// The flavour of a flavour code: 1 (Kestrune) for "suc", 0 (Dravonite) for anything else.
int flavourOf(const char *code);

// The report of a project: "temp.out" in the project's directory (the current one for a name
// without a directory), with sep between them. Empty project: "temp.out" behind a lone sep.
std::string reportPathFor(const std::string &project, std::string_view currentDir, char sep);

// ---- The report as the window reads it ----

// One cell of the list: the report's bytes, cut to what a cell holds, and whether they are
// UTF-8 (else Latin-1, as the suite's files are 8-bit).
struct Cell {
    std::string bytes;
    bool utf8 = true;
};
using Row = std::array<Cell, 5>;

// The bytes of a report text as a cell: at most maxBytes of it, never cut inside a character.
Cell cellText(std::string_view bytes, std::size_t maxBytes = std::string_view::npos);

// The row of one piece of the report (a line, or up to 1063 characters of a longer one).
Row parseLine(std::string_view line);

// The rows of a report, its title line left out. False when it cannot be read (rows empty).
bool readRows(const std::string &reportPath, std::vector<Row> &rows);

// The clipboard text of a report: each line followed by CR LF, whatever its length, and one CR
// LF more at the end. False when the report cannot be read.
bool clipboardText(const std::string &reportPath, std::string &text);

// That text as the list shows it, in UTF-16 (the toolkits' and the system's wide text): each
// column of each line (the text up to a tab or a line feed, which go with it) read as UTF-8 when
// it is valid UTF-8, else as Latin-1.
std::u16string clipboardUnicode(std::string_view text);

// Calls fn with every line of the file, without its line feed; a last line without one counts.
// False when it cannot be read.
bool eachReportLine(const std::string &path, const std::function<void(std::string_view)> &fn);

// ---- The print layout ----

// In the units of the device it was drawn for: 600 to the inch, the pitch of the report's
// 66-line page. Every face scales it to its printer.
inline constexpr double LAYOUT_DPI = 600;
inline constexpr double TEXT_X = 15;      // left end of every line
inline constexpr double FIRST_Y = 30;     // top of the first line of a page
inline constexpr double LINE_STEP = 100;  // from one line to the next
inline constexpr double FONT_HEIGHT = 80; // 60 points measured at 96 dots per inch

// One tab-separated column of a report line as it is printed: where it starts and its text.
struct PrintColumn {
    double x;
    Cell text;
};

// The columns of a report line printed at `scale` (device units per layout unit) with character
// cells `cell` wide: the first at the text origin, each later one at the next multiple of 8 cells
// from the tab origin behind the text before it.
std::vector<PrintColumn> printColumns(std::string_view line, double scale, double cell);

// Where each column starts (printColumns without the texts).
std::vector<double> columnStarts(std::string_view line, double scale, double cell);

// The printed page: landscape, in a document of this name; and what a face says when the
// printer could not take the report.
inline constexpr bool PRINT_LANDSCAPE = true;
inline constexpr const char *PRINT_DOCUMENT = "test";
inline constexpr const char *PRINT_FAILED = "The report could not be printed.";

// Device units per layout unit on a device of dpi dots per inch, and the height of the print
// font there (its em, at least one unit).
double printScale(double dpi);
double printFontHeight(double scale);

// A printer as the layout uses it, measured by the face with the print font selected.
struct PrintMetrics {
    double scale;      // printScale of the printer
    double cell;       // width of one character cell of the font
    double lineHeight; // height of one line of the font
    double bottom;     // the printable page's height
};

// What a face's printer does for the layout.
class PrintSurface {
  public:
    virtual ~PrintSurface() = default;
    virtual void newPage() = 0; // ends the page and starts the next
    // The text of a column with the top of its line at y.
    virtual void draw(double x, double y, const Cell &text) = 0;
};

// Prints the report: every line at its place, the first line of a page FIRST_Y down and each
// next one LINE_STEP below it, a new page when a line would pass the bottom (a page always
// takes one line). False when the report cannot be read.
bool printPages(const std::string &reportPath, const PrintMetrics &m, PrintSurface &surface);

// ---- The component filter ----

// One category of a filter: its check box and its letter, in the order letters are written.
struct Category {
    int id;
    char letter;
};

struct FilterRules {
    const DialogTemplate &tmpl;
    std::array<Category, 3> categories;
    int lengthEdit;           // id of the length edit
    const char *rangeMessage; // shown for a length out of range or not a number
    std::string &lastLength;  // last length confirmed in this process
};
const FilterRules &dravoniteFilter();
const FilterRules &kestruneFilter();
const FilterRules &filterOf(int flavour);

// The length a filter shows when it opens: the one in effect, else the last one confirmed in
// this process, else the default.
std::string initialLength(const FilterRules &rules, const std::string &length);

// What OK does with the boxes ticked (ticked[i] for categories[i]) and the length typed: on
// success the letters in the table's order and the length (remembered as the last one); else
// the message to show, and whether the length edit is to be emptied.
struct FilterResult {
    bool ok = false;
    std::string letters;
    std::string length;
    const char *message = nullptr;
    bool clearEdit = false;
};
FilterResult confirmFilter(const FilterRules &rules, const std::array<bool, 3> &ticked,
                           const std::string &lengthText);

// ---- The window ----

// What one window holds from its making to its release, and what it does at its start, its
// runs and its close. A face keeps one, shows what it holds and turns its events into these
// calls; where a call names a message, the face shows it.
class BomState {
  public:
    // project as the face takes it; sep goes between the names the window builds (the report
    // beside the project, the description map); currentDir holds the report of a project
    // without a directory. Null texts count as empty.
    BomState(std::string project, const char *flavourCode, const char *searchPath, char sep,
             std::string_view currentDir);

    // Reads the description directory from the host profile. The messages to show, with an
    // exclamation mark and in this order, before the window opens: an empty project, no
    // description directory.
    std::vector<const char *> open(const ProfileRead &read);

    // The window's start: the flavour's letters (else its default) and the length (else 40) read
    // from the host profile, its description map loaded; when no letters are in effect yet they
    // become the ones read, and so does the length when none is in effect either.
    void start(const ProfileRead &read);

    // A run's beginning, with the project as the window shows it: the rows go. The message to
    // show (no icon) when the project is empty and nothing may run, else null.
    const char *beginRun(const std::string &shown);
    // The job's eight arguments, as the run gets them.
    std::vector<std::string> runArguments() const;
    // Runs the job with the length in effect (ticked categories or none) and the arguments.
    void runJob();
    // Reads the report into the rows; an unreadable report leaves none.
    void readReport();

    // The letters and the length an accepted component filter leaves in effect.
    void filtered(const std::string &letters, const std::string &length);

    // Whether Copy may run and the popup's items are enabled: the list shows rows.
    bool mayCopy() const { return !rows_.empty(); }
    // Whether Print may run: the list shows rows and the report can be read.
    bool mayPrint() const;
    // The clipboard's text in both forms, when Copy may run and the report can be read.
    bool clipboard(std::string &bytes, std::u16string &unicode) const;

    // Close (save) or Cancel: the description map is released, and Close writes the letters and
    // the length in effect (empty ones too). False when a write failed.
    bool close(bool save, const ProfileWrite &write);

    const std::string &reportPath() const { return reportPath_; }
    const std::string &projectName() const { return projectName_; }
    int flavour() const { return flavour_; }
    const FilterRules &filter() const { return filterOf(flavour_); }
    const std::string &letters() const { return letters_; }
    const std::string &propLength() const { return propLength_; }
    const std::vector<Row> &rows() const { return rows_; }
    // Whether a run was started with the report path, so that the report is the window's to
    // delete (without one the path may name somebody else's file).
    bool ownsReport() const { return ranJob_; }

  private:
    std::string reportPath_;      // "temp.out" beside the project
    std::string projectName_;     // shown in the window; the run's design
    std::string searchPath_;      // given to the run behind "-p"
    std::string letters_;         // category letters in effect
    std::string savedLetters_;    // read from the profile at the start
    std::string propLength_;      // property length in effect
    std::string savedPropLength_; // read from the profile at the start
    std::string descDir_;         // directory of the description maps
    std::vector<Row> rows_;       // the list, as the last read of the report left it
    int flavour_;                 // 0 Dravonite, 1 Kestrune
    char sep_;                    // between the names the window builds
    bool ranJob_ = false;         // a run has been started
};

} // namespace window
