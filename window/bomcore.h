// bomcore.h - what the bill-of-materials window does, for every face that draws it.
//
// The dialog templates and their ids, the settings of each flavour, reading the report into
// rows of five cells, the clipboard text, the print layout and the rules of the component
// filter. No toolkit here: a face (Qt on Linux) only draws these and turns events into them.
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

} // namespace window
