// bomcore.cpp - the window's templates, state, report reading, clipboard text, print page and
// layout, and filter rules, for every face (see bomcore.h). Owns the last length confirmed per
// flavour; each window's own state is its BomState.
#include "bomcore.h"

#include "cfstring.h"
#include "partlist.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace window {

namespace {

struct CloseFile {
    void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, CloseFile>;

inline constexpr std::size_t READ_SIZE = 1064; // a report line is read in pieces of 1063
inline constexpr std::size_t CELL_SIZE = 256;  // a cell holds 255 characters
inline constexpr std::size_t NAME_COLUMN = 18; // data lines: the SCHEMATIC column, dropped
inline constexpr const char *SIX_SPACES = "      ";
inline constexpr const char *REPORT_NAME = "temp.out";

inline constexpr double TAB_ORIGIN = 10; // tab stops count from here
// A tab goes on to the next multiple of this many character cells of the print font from the tab
// origin. The stops the layout names are device units of a printer, all of them inside the first
// column's blanks, so every tab goes to the next such multiple: the report as a text viewer shows
// it, each column at one place on every line.
inline constexpr int TAB_CELLS = 8;

inline constexpr long MIN_LENGTH = 40;
inline constexpr long MAX_LENGTH = 80;

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

constexpr ControlRow dravoniteRows[] = {
    {Control::defbutton, 1, "OK", 40, 103, 38, 14},
    {Control::button, 2, "Cancel", 85, 102, 40, 14},
    {Control::check, 1006, "Discrete Components", 43, 37, 106, 13},
    {Control::check, 1007, "Distributed Components", 43, 56, 113, 12},
    {Control::check, 1008, "Control Components", 43, 80, 89, 12},
    {Control::label, NO_ID, "Enter the length of properties :", 35, 13, 54, 21},
    {Control::edit, 1015, "", 101, 15, 32, 15},
};

constexpr ControlRow kestruneRows[] = {
    {Control::defbutton, 1, "OK", 30, 119, 40, 14},
    {Control::button, 2, "Cancel", 84, 119, 35, 14},
    {Control::check, 1012, "Functional Components", 30, 52, 109, 12},
    {Control::label, NO_ID, "Enter the Property length :", 33, 20, 55, 18},
    {Control::edit, 1016, "", 87, 22, 37, 15},
    {Control::check, 1017, "Electrical Components", 30, 74, 113, 15},
    {Control::check, 1013, "Control Components", 30, 94, 97, 13},
};

// The category headings of the report, as the list recognises them.
constexpr const char *categoryHeadings[] = {
    "    Control", "    Distributed", "    Discrete", "    Functional", "    Electrical",
};

struct FilterState {
    std::string dravoniteLength; // last length confirmed in a Dravonite filter
    std::string kestruneLength;  // last length confirmed in a Kestrune filter
};

FilterState &filterState() {
    static FilterState s;
    return s;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

Row row(const std::string_view (&texts)[5]) {
    Row r;
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = cellText(texts[i], CELL_SIZE - 1);
    return r;
}

// The width of a text as the print face counts it: characters of the text shown (UTF-16 units,
// so a character beyond the first plane counts two), one per byte for Latin-1.
double units(const Cell &c) {
    if (!c.utf8) return static_cast<double>(c.bytes.size());
    std::size_t n = 0;
    for (unsigned char b : c.bytes) {
        if ((b & 0xC0) != 0x80) ++n; // the first byte of a character
        if ((b & 0xF8) == 0xF0) ++n; // four bytes: two units
    }
    return static_cast<double>(n);
}

// Appends a text that is valid UTF-8 in UTF-16, a character beyond the first plane as a pair.
void appendUtf16(std::u16string &out, std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = len == 1 ? lead : lead & (0x7Fu >> len);
        for (std::size_t k = 1; k < len; ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        i += len;
        if (c < 0x10000) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        }
    }
}

} // namespace

const DialogTemplate bomTemplate{102, "Bill Of Materials", 477, 401, bomRows};
const DialogTemplate dravoniteTemplate{131, "Component Filter for Dravonite", 186, 140,
                                       dravoniteRows};
const DialogTemplate kestruneTemplate{132, "Component Filter for Kestrune", 164, 154, kestruneRows};

const std::array<MenuItem, 3> popupItems{{
    {CMD_COPY_CLIPBOARD, "copy to clipboard"},
    {CMD_COPY_SPREADSHEET, "copy to spreadsheet"},
    {CMD_PRINT_MENU, "print"},
}};

const std::array<Column, 5> columns{{
    {"SCHEMATIC", 110},
    {"NAME", 110},
    {"PROPERTY", 120},
    {"DESCRIPTION", 110},
    {"QTY", 100},
}};

const std::array<FlavourSettings, 2> flavours{{
    {"DravoniteSettings", "i", "dra.txt"},
    {"KestruneSettings", "se", "kes.txt"},
}};

Action actionOf(int command) {
    switch (command) {
    case CMD_CLOSE:
        return Action::close;
    case CMD_CANCEL:
        return Action::cancel;
    case CMD_FILTER:
        return Action::filter;
    case CMD_COPY:
    case CMD_COPY_CLIPBOARD:
    case CMD_COPY_SPREADSHEET:
        return Action::copy;
    case CMD_PRINT:
    case CMD_PRINT_MENU:
        return Action::print;
    default:
        return Action::none;
    }
}

int flavourOf(const char *code) {
    return code && std::strcmp(code, "suc") == 0 ? 1 : 0;
}

std::string reportPathFor(const std::string &project, std::string_view currentDir, char sep) {
    std::string dir;
    if (!project.empty()) {
        const auto last = std::find_if(project.rbegin(), project.rend(), isSeparator);
        dir = last != project.rend() ? project.substr(0, project.rend() - last - 1)
                                     : std::string(currentDir);
    }
    return dir + sep + REPORT_NAME;
}

Cell cellText(std::string_view bytes, std::size_t maxBytes) {
    const std::size_t n = bytes.size();
    if (cf::isutf8(bytes.data(), n))
        return {std::string(bytes.substr(0, cf::utf8cut(bytes.data(), n, maxBytes))), true};
    return {std::string(bytes.substr(0, std::min(n, maxBytes))), false};
}

Row parseLine(std::string_view line) {
    const std::size_t run = line.find(SIX_SPACES);
    const std::string_view lead =
        run == std::string_view::npos ? std::string_view() : line.substr(0, run);
    const std::size_t dot = lead.find('.');
    bool heading = dot != std::string_view::npos && dot >= 2;
    for (const char *name : categoryHeadings)
        heading = heading || lead == name;
    if (heading) {
        const std::string_view texts[5] = {lead, {}, {}, {}, {}};
        return row(texts);
    }
    // Part lines and their continuations always hold a tab, headings never do: a line without
    // one that starts with a non-blank is a sheet heading, however long its name (a name of 15
    // characters or more leaves no run of six blanks behind it).
    if (!line.empty() && line.front() != ' ' && line.find('\t') == std::string_view::npos) {
        std::string_view name = line.substr(0, line.find('\n'));
        name = name.substr(0, name.find_last_not_of(' ') + 1);
        const std::string_view texts[5] = {name, {}, {}, {}, {}};
        return row(texts);
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
    return row(texts);
}

bool readRows(const std::string &reportPath, std::vector<Row> &rows) {
    rows.clear();
    File f(std::fopen(reportPath.c_str(), "r"));
    if (!f) return false;
    int c;
    while ((c = std::getc(f.get())) != EOF && c != '\n') {
    }
    char buf[READ_SIZE];
    while (std::fgets(buf, sizeof buf, f.get())) {
        const std::string_view line(buf, std::strlen(buf));
        if (line.empty() || line == "\n") continue;
        rows.push_back(parseLine(line));
    }
    return true;
}

bool eachReportLine(const std::string &path, const std::function<void(std::string_view)> &fn) {
    File f(std::fopen(path.c_str(), "r"));
    if (!f) return false;
    std::string line;
    char buf[READ_SIZE];
    bool pending = false; // a line has begun and not ended yet
    while (std::fgets(buf, sizeof buf, f.get())) {
        std::string_view piece(buf, std::strlen(buf));
        pending = true;
        const bool ends = !piece.empty() && piece.back() == '\n';
        if (ends) piece.remove_suffix(1);
        line.append(piece);
        if (ends) {
            fn(line);
            line.clear();
            pending = false;
        }
    }
    if (pending) fn(line);
    return !std::ferror(f.get());
}

bool clipboardText(const std::string &reportPath, std::string &text) {
    text.clear();
    const bool read = eachReportLine(reportPath, [&](std::string_view line) {
        text.append(line);
        text.append("\r\n");
    });
    // The read that meets the end of the file adds an empty line.
    text.append("\r\n");
    return read;
}

std::u16string clipboardUnicode(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\t\n");
        const std::size_t n = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view column = text.substr(0, n);
        if (cf::isutf8(column.data(), column.size())) {
            appendUtf16(out, column);
        } else {
            for (const char b : column)
                out.push_back(static_cast<unsigned char>(b));
        }
        text.remove_prefix(n);
    }
    return out;
}

std::vector<PrintColumn> printColumns(std::string_view line, double scale, double cell) {
    std::vector<PrintColumn> out;
    const double origin = TAB_ORIGIN * scale;
    const double stop = TAB_CELLS * cell;
    double x = TEXT_X * scale;
    for (;;) {
        const std::size_t tab = line.find('\t');
        out.push_back({x, cellText(line.substr(0, tab))});
        if (tab == std::string_view::npos) break;
        x += units(out.back().text) * cell;
        x = origin + (std::floor((x - origin) / stop) + 1) * stop;
        line.remove_prefix(tab + 1);
    }
    return out;
}

std::vector<double> columnStarts(std::string_view line, double scale, double cell) {
    std::vector<double> starts;
    for (const PrintColumn &c : printColumns(line, scale, cell))
        starts.push_back(c.x);
    return starts;
}

double printScale(double dpi) {
    return dpi / LAYOUT_DPI;
}

double printFontHeight(double scale) {
    return std::max(1.0, std::round(FONT_HEIGHT * scale));
}

bool printPages(const std::string &reportPath, const PrintMetrics &m, PrintSurface &surface) {
    double y = FIRST_Y * m.scale;
    bool drawn = false; // the page holds a line
    return eachReportLine(reportPath, [&](std::string_view line) {
        if (drawn && y + m.lineHeight > m.bottom) {
            surface.newPage();
            y = FIRST_Y * m.scale;
        }
        for (const PrintColumn &c : printColumns(line, m.scale, m.cell))
            surface.draw(c.x, y, c.text);
        drawn = true;
        y += LINE_STEP * m.scale;
    });
}

const FilterRules &dravoniteFilter() {
    static const FilterRules rules{
        dravoniteTemplate,
        {{{1007, 'd'}, {1006, 'i'}, {1008, 'c'}}},
        1015,
        "Choose Property Length (in numbers) between 40-80 characters length.",
        filterState().dravoniteLength};
    return rules;
}

const FilterRules &kestruneFilter() {
    static const FilterRules rules{
        kestruneTemplate,
        {{{1012, 's'}, {1017, 'e'}, {1013, 'c'}}},
        1016,
        "Choose Property Length(in numbers) between 40-80 characters length.",
        filterState().kestruneLength};
    return rules;
}

const FilterRules &filterOf(int flavour) {
    return flavour == 1 ? kestruneFilter() : dravoniteFilter();
}

std::string initialLength(const FilterRules &rules, const std::string &length) {
    return !length.empty() ? length : !rules.lastLength.empty() ? rules.lastLength : DEFAULT_LENGTH;
}

FilterResult confirmFilter(const FilterRules &rules, const std::array<bool, 3> &ticked,
                           const std::string &lengthText) {
    FilterResult r;
    if (lengthText.empty()) {
        r.message = "Plese enter the value for Property Length (40-80)";
        return r;
    }
    // The text's value as a decimal number: leading blanks and one sign, digits up to the first
    // other character, 0 without digits.
    const long value = std::strtol(lengthText.c_str(), nullptr, 10);
    if (value < MIN_LENGTH || value > MAX_LENGTH) {
        r.message = rules.rangeMessage;
        r.clearEdit = true;
        return r;
    }
    for (std::size_t i = 0; i < rules.categories.size(); ++i)
        if (ticked[i]) r.letters.push_back(rules.categories[i].letter);
    r.ok = true;
    r.length = lengthText;
    rules.lastLength = lengthText;
    return r;
}

BomState::BomState(std::string project, const char *flavourCode, const char *searchPath, char sep,
                   std::string_view currentDir)
    : searchPath_(searchPath ? searchPath : ""), flavour_(flavourOf(flavourCode)), sep_(sep) {
    reportPath_ = reportPathFor(project, currentDir, sep);
    projectName_ = std::move(project);
}

std::vector<const char *> BomState::open(const ProfileRead &read) {
    std::vector<const char *> messages;
    if (projectName_.empty()) messages.push_back("Project not found");
    descDir_ = read(PATH_SECTION, PATH_KEY);
    if (descDir_.empty()) messages.push_back("BillOfMaterialsPath not found in the ini file!");
    return messages;
}

void BomState::start(const ProfileRead &read) {
    const FlavourSettings &f = flavours[static_cast<std::size_t>(flavour_)];
    savedLetters_ = read(SETTINGS, f.key);
    if (savedLetters_.empty()) savedLetters_ = f.defLetters;
    partlist::initializeMap((descDir_ + sep_ + f.mapFile).c_str());
    savedPropLength_ = read(SETTINGS, LENGTH_KEY);
    if (savedPropLength_.empty()) savedPropLength_ = DEFAULT_LENGTH;
    if (letters_.empty()) {
        letters_ = savedLetters_;
        if (propLength_.empty()) {
            partlist::SetPropertyLength(savedPropLength_.c_str());
            propLength_ = savedPropLength_;
        }
    }
}

const char *BomState::beginRun(const std::string &shown) {
    rows_.clear();
    projectName_ = shown;
    return projectName_.empty() ? "Please, enter the sch name." : nullptr;
}

std::vector<std::string> BomState::runArguments() const {
    return {"partlist", "-p", searchPath_, "-f", letters_, "-o", reportPath_, projectName_};
}

void BomState::runJob() {
    // The length in effect reaches the run whether or not a category is ticked.
    partlist::SetPropertyLength((propLength_.empty() ? savedPropLength_ : propLength_).c_str());
    std::vector<std::string> args = runArguments();
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ranJob_ = true;
    // The job reports in its log and its report; the list shows whatever the report holds.
    partlist::main(static_cast<int>(args.size()), argv.data());
}

void BomState::readReport() {
    // A read that fails half way leaves no rows, as the face's list shows none then.
    rows_.clear();
    std::vector<Row> rows;
    readRows(reportPath_, rows);
    rows_ = std::move(rows);
}

void BomState::filtered(const std::string &letters, const std::string &length) {
    letters_ = letters;
    propLength_ = length;
}

bool BomState::mayPrint() const {
    return mayCopy() && File(std::fopen(reportPath_.c_str(), "r")) != nullptr;
}

bool BomState::clipboard(std::string &bytes, std::u16string &unicode) const {
    if (!mayCopy() || !clipboardText(reportPath_, bytes)) return false;
    unicode = clipboardUnicode(bytes);
    return true;
}

bool BomState::close(bool save, const ProfileWrite &write) {
    partlist::clearMap();
    if (!save) return true;
    return write(SETTINGS, flavours[static_cast<std::size_t>(flavour_)].key, letters_.c_str()) &&
           write(SETTINGS, LENGTH_KEY, propLength_.c_str());
}

} // namespace window
