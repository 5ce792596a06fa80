// copyprint.cpp - copying the report to the clipboard and printing it, in Qt.
//
// Both work on the report file the last run wrote, not on the list, so the title line, the tab
// separators and the padding go with it: the text and the layout are bomcore's (clipboardText,
// printColumns), the same for every face. A report longer than a page goes on over further pages
// with the same layout. No state.
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

QString reportText(std::string_view bytes, std::size_t maxBytes) {
    return cellString(cellText(bytes, maxBytes));
}

QString cellString(const Cell &cell) {
    const auto n = static_cast<qsizetype>(cell.bytes.size());
    return cell.utf8 ? QString::fromUtf8(cell.bytes.data(), n)
                     : QString::fromLatin1(cell.bytes.data(), n);
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
    const bool read = eachReportLine(reportPath, [&](std::string_view line) {
        if (drawn && y + fm.height() > bottom) {
            printer.newPage();
            y = FIRST_Y * scale;
        }
        for (const PrintColumn &c : printColumns(line, scale, cell))
            p.drawText(QPointF(c.x, y + fm.ascent()), cellString(c.text));
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
