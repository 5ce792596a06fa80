// copyprint.cpp - copying the report to the clipboard and printing it.
//
// Both work on the report file the last run wrote, not on the list, so the title line, the tab
// separators and the padding go with it. Lines are read whole: a long line is copied whole, and
// a report longer than a page goes on over further pages with the same layout. No state.
#include "windowint.h"

#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace window {

namespace {

// The print layout, in the units of the device it was drawn for: 600 to the inch, the pitch of
// the report's 66-line page. Everything is scaled from there to the printer in use.
inline constexpr double LAYOUT_DPI = 600;
inline constexpr double TEXT_X = 15;      // left end of every line
inline constexpr double FIRST_Y = 30;     // top of the first line of a page
inline constexpr double LINE_STEP = 100;  // from one line to the next
inline constexpr double FONT_HEIGHT = 80; // 60 points measured at 96 dots per inch
inline constexpr double TAB_ORIGIN = 10;  // tab stops count from here
// Tab stops of the columns behind the first, in character cells of the layout's font: in device
// units, as they were given, they would put every column within the first tenth of an inch.
inline constexpr int tabStops[] = {8, 16, 50, 86, 89};

struct LineFree {
    void operator()(char *p) const { std::free(p); }
};

// Calls fn with every line of the file, without its line feed; a last line without one counts.
template <class F> bool eachLine(const std::string &path, F &&fn) {
    File f(std::fopen(path.c_str(), "r"));
    if (!f) return false;
    char *raw = nullptr;
    std::size_t cap = 0;
    ssize_t n;
    while ((n = getline(&raw, &cap, f.get())) > 0) {
        std::string_view line(raw, static_cast<std::size_t>(n));
        if (line.back() == '\n') line.remove_suffix(1);
        fn(line);
    }
    std::unique_ptr<char, LineFree> owned(raw);
    return !std::ferror(f.get());
}

// Draws one report line: the first column at the text origin, each column behind a tab at its
// tab stop, or one cell behind the text before it when that text reaches past the stop.
void drawLine(QPainter &p, std::string_view line, double scale, double cell, double baseline) {
    double x = TEXT_X * scale;
    double textEnd = x; // right end of the text drawn so far, trailing blanks left out
    for (std::size_t column = 0;; ++column) {
        const std::size_t tab = line.find('\t');
        const std::string_view piece = line.substr(0, tab);
        if (column > 0) {
            x = column <= std::size(tabStops) ? TAB_ORIGIN * scale + tabStops[column - 1] * cell
                                              : 0;
            x = std::max(x, textEnd);
        }
        p.drawText(QPointF(x, baseline),
                   QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size())));
        const std::size_t last = piece.find_last_not_of(' ');
        if (last != std::string_view::npos)
            textEnd =
                x + (QString::fromUtf8(piece.data(), static_cast<qsizetype>(last + 1)).size() + 1) *
                        cell;
        if (tab == std::string_view::npos) break;
        line.remove_prefix(tab + 1);
    }
}

} // namespace

bool clipboardText(const std::string &reportPath, std::string &text) {
    text.clear();
    const bool read = eachLine(reportPath, [&](std::string_view line) {
        text.append(line);
        text.append("\r\n");
    });
    // The read that meets the end of the file adds an empty line.
    text.append("\r\n");
    return read;
}

bool printReport(const std::string &reportPath, QPrinter &printer) {
    File probe(std::fopen(reportPath.c_str(), "r"));
    if (!probe) return false;
    probe.reset();
    QPainter p;
    if (!p.begin(&printer)) return false;
    const double scale = printer.resolution() / LAYOUT_DPI;
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(FONT_HEIGHT * scale))));
    p.setFont(font);
    const QFontMetricsF fm(font, &printer);
    const double cell = fm.horizontalAdvance(QLatin1Char('0'));
    const double bottom = printer.height();
    double y = FIRST_Y * scale;
    bool drawn = false; // something is on the current page
    const bool read = eachLine(reportPath, [&](std::string_view line) {
        if (drawn && y + fm.height() > bottom) {
            printer.newPage();
            y = FIRST_Y * scale;
        }
        drawLine(p, line, scale, cell, y + fm.ascent());
        drawn = true;
        y += LINE_STEP * scale;
    });
    return p.end() && read;
}

void BomDialog::copy() {
    if (list_->topLevelItemCount() == 0) return;
    std::string text;
    if (!clipboardText(reportPath_, text)) return;
    QGuiApplication::clipboard()->setText(QString::fromUtf8(text));
}

void BomDialog::print() {
    if (list_->topLevelItemCount() == 0) return;
    if (!File(std::fopen(reportPath_.c_str(), "r"))) return;

    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("test"));
    printer.setPageOrientation(QPageLayout::Landscape);
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // No printer: a PDF beside the project, named after it.
        std::string base = projectName_.substr(projectName_.find_last_of("/\\") + 1);
        base = base.substr(0, base.rfind('.'));
        const std::string dir = reportPath_.substr(0, reportPath_.find_last_of('/'));
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(dir + "/" + base + ".pdf"));
    }
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!printReport(reportPath_, printer)) message(this, "The report could not be printed.", true);
}

} // namespace window
