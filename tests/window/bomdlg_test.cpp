// The bill-of-materials window: its list after real runs, how report lines become rows, the
// settings it keeps in the host profile, and its messages.
#include "partlist.h"
#include "window.h"
#include "windowint.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMainWindow>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace {

using testsupport::readfile;
using testsupport::writefile;
using window::control;
using windowtest::row;
using Cells = std::vector<std::string>;
namespace fs = std::filesystem;

class BomDialogTest : public windowtest::DesignFixture {
  protected:
    QTreeWidget *list(const QWidget *dialog) { return control<QTreeWidget>(dialog, 1002); }
    std::string blanks(std::size_t n) { return std::string(n, ' '); }
    // A data line of the report: the four columns and the count, as the report pads them.
    std::string dataLine(const std::string &name, const std::string &prop, const std::string &descr,
                         int qty) {
        char count[16];
        std::snprintf(count, sizeof count, " %4d", qty);
        auto pad = [](std::string s, std::size_t w) { return s.append(w - s.size(), ' '); };
        return blanks(18) + "\t" + pad(name, 14) + "\t" + pad(prop, 34) + "\t" + pad(descr, 35) +
               "\t" + count + "\n";
    }
};

TEST_F(BomDialogTest, ListShowsTheReportOfARunOnTheShippedDesign) {
    writeProfile("[VANTRELL]\nBillOfMaterialsPath=" + dir.string() +
                 "\n[BillOfMaterials]\nDravoniteSettings=dic\nLength=40\n");
    window::BomDialog dialog("top.sch", "csi", ".", nullptr);
    dialog.show();
    EXPECT_EQ(dialog.objectName(), "102");
    EXPECT_EQ(dialog.windowTitle(), "Bill Of Materials");
    EXPECT_TRUE(control<QLineEdit>(&dialog, 1000)->isReadOnly());
    EXPECT_EQ(dialog.reportPath(), dir.string() + "/temp.out");
    // The run under the window, with the toolkit's locale set, writes the command's report.
    EXPECT_EQ(readfile(dir / "temp.out"), expectedReport());

    QTreeWidget *l = list(&dialog);
    QStringList headings;
    for (int c = 0; c < l->columnCount(); ++c)
        headings << l->headerItem()->text(c);
    EXPECT_EQ(headings.join(","), "SCHEMATIC,NAME,PROPERTY,DESCRIPTION,QTY");
    EXPECT_EQ(l->columnWidth(2), 120);
    EXPECT_EQ(l->columnWidth(4), 100);
    EXPECT_FALSE(l->header()->stretchLastSection()); // QTY keeps its width
    ASSERT_GE(l->topLevelItemCount(), 8);
    EXPECT_EQ(row(l, 0), (Cells{"top.sch", "", "", "", ""}));
    EXPECT_EQ(row(l, 1), (Cells{"    Distributed", "", "", "", ""}));
    EXPECT_EQ(row(l, 2), (Cells{blanks(6), "CONN2         ", "2.54mm;" + blanks(27),
                                "Two-way terminal block" + blanks(13), "    2"}));
    EXPECT_EQ(row(l, 4)[1], "2N3904        ");
    // The wrapped description goes on in a row of its own, in the NAME column behind blanks.
    EXPECT_EQ(row(l, 5), (Cells{blanks(6), blanks(54) + "200 mA" + blanks(29), "", "", "   "}));
    // Every line but the title and the empty ones is a row.
    const std::string report = expectedReport();
    const int lines =
        testsupport::occurrences(report, "\n") - testsupport::occurrences(report, "\n\n");
    EXPECT_EQ(l->topLevelItemCount(), lines - 1);
}

// The rows the Windows face must show for the first run of the same window (its check under
// Wine compares its list view with the same file): both faces show what the core reads.
TEST_F(BomDialogTest, ListRowsAreThoseTheWindowsFaceShows) {
    window::BomDialog dialog((dir / "top.sch").string().c_str(), "csi", ".", nullptr);
    dialog.show();
    std::string rows;
    QTreeWidget *l = list(&dialog);
    for (int i = 0; i < l->topLevelItemCount(); ++i) {
        const Cells cells = row(l, i);
        for (std::size_t c = 0; c < cells.size(); ++c)
            rows += (c ? "\t" : "") + cells[c];
        rows += "\n";
    }
    EXPECT_EQ(rows, readfile(fs::path(PARTLIST_SOURCE_DIR) / "tests/windows/expected/rows1.txt"));
}

TEST_F(BomDialogTest, ReportLinesBecomeHeadingAndDataRows) {
    window::BomDialog dialog((dir / "top.sch").c_str(), "csi", ".", nullptr);
    dialog.show();
    QTreeWidget *l = list(&dialog);
    const std::string title = "SCHEMATIC          \tNAME\n";
    const std::string utf8Long = "\xc2\xb1" + std::string(252, 'u') + "\xc2\xb1tail";
    writefile(dialog.reportPath(),
              title + "amp.sch             \n" + // a sheet heading
                  "a.sch               \n" +     // names of any length are headings too
                  "power_supply.sch    \n" + "amplifier_stage2.sch\n" +
                  "    Control             \n" + // a category heading
                  dataLine("R", "10k;0805;", "Resistor", 7) + "\n\n" + blanks(18) +
                  "no tab here\n" + // nothing but a count
                  blanks(18) + "\t" + blanks(14) + "\t" + "0805;" + blanks(29) + "\t\n" +
                  std::string(300, 'x') + "\n" +
                  // 8-bit text: Latin-1 where it is not UTF-8; cells cut between characters
                  dataLine("C",
                           "10\xb5"
                           "F;",
                           "Kondensator \xb1"
                           "5%",
                           1) +
                  blanks(18) + "\t" + utf8Long + "\t\t\t    1\n");
    dialog.fillList();
    ASSERT_EQ(l->topLevelItemCount(), 11);
    EXPECT_EQ(row(l, 0), (Cells{"amp.sch", "", "", "", ""}));
    EXPECT_EQ(row(l, 1), (Cells{"a.sch", "", "", "", ""}));
    EXPECT_EQ(row(l, 2), (Cells{"power_supply.sch", "", "", "", ""}));
    EXPECT_EQ(row(l, 3), (Cells{"amplifier_stage2.sch", "", "", "", ""}));
    EXPECT_EQ(row(l, 4), (Cells{"    Control", "", "", "", ""}));
    EXPECT_EQ(row(l, 5), (Cells{blanks(6), "R             ", "10k;0805;" + blanks(25),
                                "Resistor" + blanks(27), "    7"}));
    EXPECT_EQ(row(l, 6), (Cells{blanks(6), "", "", "", "o tab here"}));
    EXPECT_EQ(row(l, 7), (Cells{blanks(6), blanks(14), "0805;" + blanks(29), "", ""}));
    // A cell holds at most 255 characters.
    EXPECT_EQ(row(l, 8)[0].size(), 255u);
    // Latin-1 is cut by bytes, and the text's encoding is the whole text's: whole at the limit,
    // one byte past it the last byte goes and what is left stays Latin-1.
    const std::string latin1 = std::string(252, 'x') + "\xc3\xa9\xe9";
    for (const std::string &text : {latin1, "x" + latin1}) {
        const window::Cell cell = window::parseLine(text + "\n")[0];
        EXPECT_EQ(cell.bytes, text.substr(0, 255));
        EXPECT_FALSE(cell.utf8);
    }
    EXPECT_EQ(row(l, 9)[2], "10\u00b5F;" + blanks(29));
    EXPECT_EQ(row(l, 9)[3], "Kondensator \u00b1"
                            "5%" +
                                blanks(20));
    EXPECT_EQ(row(l, 10)[1], utf8Long.substr(0, 254)); // the second "±" would not fit whole

    std::unique_ptr<QMenu> menu(dialog.makePopup());
    EXPECT_EQ(menu->actions().size(), 3);
    for (QAction *a : menu->actions())
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();

    // A report of the title alone, or none at all, is an empty list with a greyed menu.
    writefile(dialog.reportPath(), title);
    dialog.fillList();
    EXPECT_EQ(l->topLevelItemCount(), 0);
    menu.reset(dialog.makePopup());
    QStringList texts;
    for (QAction *a : menu->actions()) {
        texts << a->objectName() + " " + a->text();
        EXPECT_FALSE(a->isEnabled());
    }
    EXPECT_EQ(texts.join(","), "57634 copy to clipboard,32775 copy to spreadsheet,57607 print");
    fs::remove(dialog.reportPath());
    dialog.fillList();
    EXPECT_EQ(l->topLevelItemCount(), 0);
}

TEST_F(BomDialogTest, CloseSavesTheSettingsCancelLeavesTheProfileAsItIs) {
    const std::string kept = "; the host's own settings\r\n"
                             "[VANTRELL]\r\n"
                             "BillOfMaterialsPath = " +
                             dir.string() +
                             "\r\n"
                             "Other=1\r\n"
                             "[billofmaterials]\r\n"
                             "kestrunesettings=c\r\n"
                             "\r\n"
                             "[Later]\r\n"
                             "x=y\r\n";
    writeProfile(kept);
    {
        window::BomDialog dialog("top.sch", "csi", ".", nullptr);
        dialog.show();
        dialog.command(2);
        EXPECT_EQ(readfile(profile), kept);
    }
    {
        // Nothing ticked, a length typed with letters behind it: both are kept as given.
        window::BomDialog dialog("top.sch", "csi", ".", nullptr);
        dialog.show();
        windowtest::ModalDriver driver;
        driver.onDialog = [](QWidget *filter) {
            EXPECT_EQ(filter->objectName(), "131");
            EXPECT_TRUE(control<QCheckBox>(filter, 1006)->isChecked()); // the default "i"
            control<QCheckBox>(filter, 1006)->click();
            control<QLineEdit>(filter, 1015)->setText("45abc");
            control<QPushButton>(filter, 1)->click();
        };
        dialog.command(1004);
        // The length in effect reaches the run with no category ticked, as with one.
        EXPECT_EQ(partlist::GetPropertyLength(), 45);
        EXPECT_TRUE(driver.boxes.empty());
        dialog.command(1);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    std::string saved = kept;
    saved.insert(saved.find("\r\n[Later]"), "DravoniteSettings=\r\nLength=45abc\r\n");
    EXPECT_EQ(readfile(profile), saved);
    // The empty letters fall back to "i" at the next start: Discrete only.
    window::BomDialog next("top.sch", "csi", ".", nullptr);
    next.show();
    QTreeWidget *l = list(&next);
    QStringList headings;
    for (int i = 0; i < l->topLevelItemCount(); ++i)
        if (row(l, i)[0].starts_with("    ") && row(l, i)[1].empty())
            headings << QString::fromStdString(row(l, i)[0]);
    headings.removeDuplicates();
    EXPECT_EQ(headings.join(","), "    Discrete");
}

TEST_F(BomDialogTest, EnterPressesTheFocusedButtonAndTheDefaultOnlyWithoutOne) {
    const std::string kept = readfile(profile);
    auto enter = [](QWidget *focused) {
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(focused, &in);
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(focused, &key);
    };
    window::BomDialog dialog("top.sch", "csi", ".", nullptr);
    dialog.show();
    enter(control<QPushButton>(&dialog, 2)); // Cancel has the focus: the settings stay
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(readfile(profile), kept);

    window::DravoniteFilterDialog filter(nullptr, "i", "40");
    filter.show();
    enter(control<QPushButton>(&filter, 2));
    EXPECT_EQ(filter.result(), QDialog::Rejected);
    window::DravoniteFilterDialog other(nullptr, "i", "40");
    other.show();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier); // no button has the focus
    QApplication::sendEvent(&other, &key);
    EXPECT_EQ(other.result(), QDialog::Accepted);
}

TEST_F(BomDialogTest, OneFormOfTheNameAndOneProfileWhateverTheNameAndDirectory) {
    // A project named with backslashes: the list fills, the report is removed at the end.
    std::string backslashed = (dir / "top.sch").string();
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    windowtest::ModalDriver driver;
    int rows = -1;
    driver.onDialog = [&](QWidget *w) {
        rows = list(w)->topLevelItemCount();
        EXPECT_EQ(qobject_cast<window::BomDialog *>(w)->reportPath(), (dir / "temp.out").string());
        control<QPushButton>(w, 2)->click();
    };
    EXPECT_EQ(window::CreatePartList(backslashed.c_str(), "csi", "."), 1);
    EXPECT_GT(rows, 0);
    window::DestroyPartList();
    EXPECT_FALSE(fs::exists(dir / "temp.out"));

    // A relative profile is the one the window started from, though a run changes directory.
    fs::create_directory(dir / "sub");
    setenv("VANTRELL_PROFILE", "vantrell.ini", 1);
    {
        window::BomDialog dialog((dir / "sub").c_str(), "csi", ".", nullptr);
        dialog.show();
        dialog.command(1);
    }
    fs::current_path(dir);
    EXPECT_FALSE(fs::exists(dir / "sub/vantrell.ini"));
    EXPECT_NE(readfile(profile).find("Length=40"), std::string::npos) << readfile(profile);
}

TEST_F(BomDialogTest, TheHostsMainWindowOwnsTheWindowAndNoSwitchOfTheEnvironmentDrivesIt) {
    QMainWindow host;
    host.show();
    QWidget other;
    other.show();
    other.activateWindow();
    const std::string kept = readfile(profile);
    setenv("PARTLIST_WINDOW_AUTOCLOSE", "close", 1);
    windowtest::ModalDriver driver;
    QWidget *owner = nullptr;
    driver.onDialog = [&](QWidget *w) {
        owner = w->parentWidget();
        control<QPushButton>(w, 2)->click();
    };
    EXPECT_EQ(window::CreatePartList((dir / "top.sch").c_str(), "csi", "."), 1);
    unsetenv("PARTLIST_WINDOW_AUTOCLOSE");
    EXPECT_EQ(owner, &host);
    EXPECT_EQ(readfile(profile), kept); // closed by the user's Cancel, not by a switch
    window::DestroyPartList();
}

TEST_F(BomDialogTest, MissingProjectAndDescriptionDirectoryAreSaidButTheWindowOpens) {
    writeProfile("[VANTRELL]\n");
    windowtest::ModalDriver driver;
    window::BomDialog dialog("", "SUC", "", nullptr);
    dialog.show();
    EXPECT_EQ(driver.boxes,
              (std::vector<std::string>{"Project not found",
                                        "BillOfMaterialsPath not found in the ini file!",
                                        "Please, enter the sch name."}));
    EXPECT_EQ(dialog.reportPath(), "/temp.out");
    EXPECT_FALSE(dialog.ranJob());
    EXPECT_EQ(list(&dialog)->topLevelItemCount(), 0);
    // Only the exact "suc" is the Kestrune flavour.
    driver.onDialog = [](QWidget *filter) {
        EXPECT_EQ(filter->objectName(), "131");
        qobject_cast<QDialog *>(filter)->reject();
    };
    dialog.command(1004);
}

TEST_F(BomDialogTest, HostApplicationRunsTheWindowAndDestroyDeletesItsReport) {
    writeProfile("[VANTRELL]\nBillOfMaterialsPath=" + dir.string() + "\n");
    windowtest::ModalDriver driver;
    int rows = -1;
    driver.onDialog = [&](QWidget *w) {
        EXPECT_EQ(w->objectName(), "102");
        rows = control<QTreeWidget>(w, 1002)->topLevelItemCount();
        control<QPushButton>(w, 2)->click();
    };
    EXPECT_EQ(window::CreatePartList((dir / "top.sch").c_str(), "suc", "."), 1);
    EXPECT_GT(rows, 0);
    EXPECT_TRUE(fs::exists(dir / "temp.out"));
    window::DestroyPartList();
    EXPECT_FALSE(fs::exists(dir / "temp.out"));
    window::DestroyPartList();
}

TEST_F(BomDialogTest, RunDialogsAreRealWhileTheWindowRuns) {
    fs::remove(dir / "R.sym");
    windowtest::ModalDriver driver;
    std::vector<std::string> dialogs;
    driver.onDialog = [&](QWidget *w) {
        dialogs.push_back(w->metaObject()->className());
        if (w->objectName() == "102")
            control<QPushButton>(w, 2)->click();
        else
            qobject_cast<QDialog *>(w)->reject(); // no schematic chosen
    };
    EXPECT_EQ(window::CreatePartList((dir / "top.sch").c_str(), "csi", "."), 1);
    EXPECT_EQ(window::CreatePartList((dir / "none.sch").c_str(), "csi", "."), 1);
    EXPECT_EQ(dialogs,
              (std::vector<std::string>{"window::BomDialog", "QFileDialog", "window::BomDialog"}));
    EXPECT_EQ(testsupport::occurrences(testing::PrintToString(driver.boxes), "Symbol File:  R"), 1);
    EXPECT_EQ(driver.boxes.back(), "No schematic file specified");
    window::DestroyPartList();
    // Outside the window the run's messages go to standard error again.
    testing::internal::CaptureStderr();
    platform::SCH_MSGBOX(nullptr, "partlist", 1, "text", 1, 1, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "partlist: text\n");
}

} // namespace

WINDOW_TEST_MAIN()
