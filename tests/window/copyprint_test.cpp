// Copying the report to the clipboard and printing it to a PDF file, read back as text.
#include "windowint.h"
#include "windowtest.h"

#include <QClipboard>
#include <QPrintDialog>
#include <QPrinter>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

using testsupport::writefile;
namespace fs = std::filesystem;

class CopyPrintTest : public windowtest::DesignFixture {};

TEST_F(CopyPrintTest, ClipboardGetsTheReportInLinesEndedByCrLf) {
    window::BomDialog dialog((dir / "top.sch").c_str(), "csi", ".", nullptr);
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText("before");
    writefile(dialog.reportPath(), "TITLE\tLINE\n");
    dialog.fillList();
    dialog.command(1019); // an empty list copies nothing
    EXPECT_EQ(clipboard->text(), "before");

    writefile(dialog.reportPath(), "TITLE\tLINE\n" + std::string(18, ' ') + "\tR\t    3\n");
    dialog.fillList();
    const QString expected =
        QString::fromStdString("TITLE\tLINE\r\n" + std::string(18, ' ') + "\tR\t    3\r\n\r\n");
    for (int command : {1019, 57634, 32775}) {
        clipboard->setText("before");
        dialog.command(command);
        EXPECT_EQ(clipboard->text(), expected) << command;
    }

    // A line longer than a read of the report stays whole; a last line without its line feed
    // is kept too.
    const std::string longLine(700, 'w');
    writefile(dialog.reportPath(), "T\n" + longLine + "\nend");
    std::string text;
    ASSERT_TRUE(window::clipboardText(dialog.reportPath(), text));
    EXPECT_EQ(text, "T\r\n" + longLine + "\r\nend\r\n\r\n");
    EXPECT_FALSE(window::clipboardText((dir / "none.out").string(), text));

    // 8-bit text is copied as the list shows it: Latin-1 where it is not UTF-8; a character
    // beyond the first plane whole.
    writefile(dialog.reportPath(), "T\n" + std::string(18, ' ') +
                                       "\t10\xb5"
                                       "F\t\xc2\xb1\xf0\x9d\x9c\x87\n");
    dialog.fillList();
    dialog.command(1019);
    EXPECT_EQ(clipboard->text(), QString::fromUtf8("T\r\n" + std::string(18, ' ') +
                                                   "\t10\u00b5F\t\u00b1\U0001D707\r\n\r\n"));
}

// The printout shows the report as a text viewer does: a tab goes to the next multiple of eight
// cells, so every column starts at one place on every line and each title stands as in the file.
TEST(PrintLayout, EveryColumnStartsAtOnePlaceOnEveryLine) {
    const double scale = 2.0;
    const double cell = 48.0; // device units per character cell at that scale
    auto at = [&](double cells) { return 10 * scale + cells * cell; }; // from the tab origin
    const std::vector<double> data = {15 * scale, at(24), at(40), at(80), at(120)};
    std::string report =
        testsupport::readfile(fs::path(PARTLIST_SOURCE_DIR) / "examples/expected.out");
    report += std::string(18, ' ') + "\tABCDEFGHIJKLMN\tDIP8;" + std::string(29, ' ') + "\t" +
              std::string(35, 'd') + "\t    1\n"; // a part name of 14 letters
    std::size_t lines = 0;
    for (std::size_t pos = 0; pos < report.size();) {
        const std::size_t end = report.find('\n', pos);
        const std::string line = report.substr(pos, end - pos);
        pos = end + 1;
        if (lines++ == 0) {
            EXPECT_EQ(window::columnStarts(line, scale, cell),
                      (std::vector<double>{15 * scale, at(24), at(40), at(64), at(120)}));
            continue;
        }
        if (line.find('\t') == std::string::npos) continue; // a heading
        const std::vector<double> starts = window::columnStarts(line, scale, cell);
        if (starts.size() == data.size()) {
            EXPECT_EQ(starts, data) << line; // a part line
            continue;
        }
        for (std::size_t i = 1; i < starts.size(); ++i) // a continuation: at tab stops too
            EXPECT_EQ(std::fmod(starts[i] - at(0), 8 * cell), 0.0) << line;
    }
    EXPECT_GT(lines, 30u);
}

// A column is as wide as the characters it shows: a cell for each whatever its bytes, two for one
// beyond the basic plane (two UTF-16 units), a cell a byte in Latin-1. At scale and cell 1 the
// second column starts at 18 behind up to two cells, at 26 behind three.
TEST(PrintLayout, ColumnsCountCharactersNotBytes) {
    // clang-format off
    const std::pair<std::string, double> firsts[] = {
        {"ab", 18}, {"abc", 26},
        {"\xc3\xa9\xc3\xa9", 18}, {"\xc3\xa9\xc3\xa9" "a", 26},
        {"\xe2\x82\xac\xe2\x82\xac", 18}, {"\xe2\x82\xac\xe2\x82\xac" "a", 26},
        {"\xf0\x9f\x98\x80", 18}, {"\xf0\x9f\x98\x80" "a", 26}, // U+1F600
        {"\xb1\xb5", 18}, {"\xb1\xb5\xb0", 26},                 // Latin-1
    };
    // clang-format on
    for (const auto &[text, second] : firsts)
        EXPECT_EQ(window::columnStarts(text + "\tz", 1, 1), (std::vector<double>{15, second}))
            << testing::PrintToString(text);
}

TEST_F(CopyPrintTest, PrintPutsEveryLineOnLandscapePagesOfTheSameLayout) {
    window::BomDialog dialog((dir / "top.sch").c_str(), "csi", ".", nullptr);
    std::string report = "SCHEMATIC          \tNAME          \tPROPERTY\tDESCRIPTION\tQTY\n"
                         "top.sch             \n";
    const int parts = 120;
    for (int i = 1; i <= parts; ++i) {
        char line[160];
        std::snprintf(line, sizeof line, "%18s\tPART%03d       \t%-34s\t%-35s\t %4d\n", "", i,
                      "10k;0805;", "Resistor", i);
        report += line;
    }
    writefile(dialog.reportPath(), report);
    dialog.fillList();

    windowtest::ModalDriver driver;
    const fs::path pdf = dir / "top.pdf";
    bool asked = false;
    driver.onDialog = [&](QWidget *w) {
        auto *print = qobject_cast<QPrintDialog *>(w);
        ASSERT_NE(print, nullptr);
        asked = true;
        EXPECT_EQ(print->printer()->pageLayout().orientation(), QPageLayout::Landscape);
        EXPECT_EQ(print->printer()->outputFileName().toStdString(), pdf.string());
        // The whole report is printed: there is no page range to choose.
        EXPECT_FALSE(print->testOption(QAbstractPrintDialog::PrintPageRange));
        print->accept();
    };
    dialog.command(57607);
    ASSERT_TRUE(asked);
    ASSERT_TRUE(fs::exists(pdf));

    const fs::path txt = dir / "top.txt";
    const std::string command = "pdftotext -layout '" + pdf.string() + "' '" + txt.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string text = testsupport::readfile(txt);
    const int pages = testsupport::occurrences(text, "\f");
    EXPECT_GE(pages, 3);
    EXPECT_EQ(text.find("SCHEMATIC"), text.find_first_not_of(" \n"));
    for (int i = 1; i <= parts; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "PART%03d", i);
        const std::size_t at = text.find(name);
        ASSERT_NE(at, std::string::npos) << name;
        // The columns of a line stay on its line.
        const std::string line = text.substr(at, text.find('\n', at) - at);
        EXPECT_NE(line.find("10k;0805;"), std::string::npos) << line;
        EXPECT_NE(line.find("Resistor"), std::string::npos) << line;
        EXPECT_NE(line.find(" " + std::to_string(i)), std::string::npos) << line;
    }
    // Every page starts at the top with the same layout: the next part after a page break.
    EXPECT_EQ(testsupport::occurrences(text, "PART"), parts);

    // Cancelling the dialog prints nothing.
    fs::remove(pdf);
    driver.onDialog = [](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); };
    dialog.command(1020);
    EXPECT_FALSE(fs::exists(pdf));
}

} // namespace

WINDOW_TEST_MAIN()
