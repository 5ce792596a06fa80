// copyprint.cpp - copying the report to the clipboard and printing it, in Qt.
//
// Both work on the report file the last run wrote, not on the list, so the title line, the tab
// separators and the padding go with it. When they may run, the text, the page and its layout
// are bomcore's (BomState::clipboard, printPages), the same for every face: this face puts the
// text on QClipboard and draws the columns on a QPrinter. No state.
#include "windowint.h"

#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <string>

namespace window {

namespace {

// A QPainter on a printer as the print layout draws on it.
class PainterSurface : public PrintSurface {
  public:
    PainterSurface(QPrinter &printer, QPainter &painter, double ascent)
        : printer_(printer), painter_(painter), ascent_(ascent) {}
    void newPage() override { printer_.newPage(); }
    void draw(double x, double y, const Cell &text) override {
        painter_.drawText(QPointF(x, y + ascent_), cellString(text));
    }

  private:
    QPrinter &printer_;
    QPainter &painter_;
    double ascent_; // from a line's top to its base line
};

} // namespace

QString cellString(const Cell &cell) {
    const auto n = static_cast<qsizetype>(cell.bytes.size());
    return cell.utf8 ? QString::fromUtf8(cell.bytes.data(), n)
                     : QString::fromLatin1(cell.bytes.data(), n);
}

bool printReport(const std::string &reportPath, QPrinter &printer) {
    if (!File(std::fopen(reportPath.c_str(), "r"))) return false;
    QPainter p;
    if (!p.begin(&printer)) return false;
    const double scale = printScale(printer.resolution());
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(static_cast<int>(printFontHeight(scale)));
    p.setFont(font);
    const QFontMetricsF fm(font, &printer);
    const PrintMetrics m{scale, fm.horizontalAdvance(QLatin1Char('0')), fm.height(),
                         static_cast<double>(printer.height())};
    PainterSurface surface(printer, p, fm.ascent());
    const bool read = printPages(reportPath, m, surface);
    return p.end() && read;
}

void BomDialog::copy() {
    std::string bytes;
    std::u16string unicode;
    if (!bom_.clipboard(bytes, unicode)) return;
    QGuiApplication::clipboard()->setText(QString::fromStdU16String(unicode));
}

void BomDialog::print() {
    if (!bom_.mayPrint()) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromUtf8(PRINT_DOCUMENT));
    printer.setPageOrientation(PRINT_LANDSCAPE ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // No printer: a PDF beside the project, named after it.
        const std::string &project = bom_.projectName();
        const std::string &report = bom_.reportPath();
        std::string base = project.substr(project.find_last_of("/\\") + 1);
        base = base.substr(0, base.rfind('.'));
        const std::string dir = report.substr(0, report.find_last_of('/'));
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(dir + "/" + base + ".pdf"));
    }
    QPrintDialog dialog(&printer, this);
    // The whole report is printed: no page range to choose.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!printReport(bom_.reportPath(), printer)) message(this, PRINT_FAILED, true);
}

} // namespace window
