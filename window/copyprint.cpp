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

#include "cfstring.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

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
// A tab goes on to the next multiple of this many character cells of the print font from the tab
// origin. The stops the layout names are device units of a printer, all of them inside the first
// column's blanks, so every tab goes to the next such multiple: the report as a text viewer shows
// it, each column at one place on every line.
inline constexpr int TAB_CELLS = 8;

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
    std::unique_ptr<char, cf::FreeDeleter> owned(raw);
    return !std::ferror(f.get());
}

// Calls fn(x, text) for each tab-separated column of a report line, with where it is printed.
template <class F> void eachColumn(std::string_view line, double scale, double cell, F &&fn) {
    const double origin = TAB_ORIGIN * scale;
    const double stop = TAB_CELLS * cell;
    double x = TEXT_X * scale;
    for (;;) {
        const std::size_t tab = line.find('\t');
        const QString text = reportText(line.substr(0, tab));
        fn(x, text);
        if (tab == std::string_view::npos) break;
        x += static_cast<double>(text.size()) * cell;
        x = origin + (std::floor((x - origin) / stop) + 1) * stop;
        line.remove_prefix(tab + 1);
    }
}

void drawLine(QPainter &p, std::string_view line, double scale, double cell, double baseline) {
    eachColumn(line, scale, cell,
               [&](double x, const QString &text) { p.drawText(QPointF(x, baseline), text); });
}

} // namespace

QString reportText(std::string_view bytes, std::size_t maxBytes) {
    const std::size_t n = bytes.size();
    if (cf::isutf8(bytes.data(), n)) {
        const std::size_t keep = cf::utf8cut(bytes.data(), n, maxBytes);
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(keep));
    }
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(std::min(n, maxBytes)));
}

std::vector<double> columnStarts(std::string_view line, double scale, double cell) {
    std::vector<double> starts;
    eachColumn(line, scale, cell, [&](double x, const QString &) { starts.push_back(x); });
    return starts;
}

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
    // What the report holds, each column read as the list reads it.
    QString shown;
    std::string_view rest(text);
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of("\t\n");
        const std::size_t piece = end == std::string_view::npos ? rest.size() : end + 1;
        shown += reportText(rest.substr(0, piece));
        rest.remove_prefix(piece);
    }
    QGuiApplication::clipboard()->setText(shown);
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
    // The whole report is printed: no page range to choose.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!printReport(reportPath_, printer)) message(this, "The report could not be printed.", true);
}

} // namespace window
