// The component filter dialogs of both flavours, driven by their controls' ids.
#include "windowint.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

namespace {

using window::control;

const char *const dravoniteRange =
    "Choose Property Length (in numbers) between 40-80 characters length.";
const char *const kestruneRange =
    "Choose Property Length(in numbers) between 40-80 characters length.";
const char *const emptyLength = "Plese enter the value for Property Length (40-80)";

struct Flavour {
    const char *name;
    int lengthEdit;
    const char *range;
    std::function<std::unique_ptr<window::FilterDialog>(const std::string &, const std::string &)>
        make;
};

const Flavour flavours[] = {
    {"Dravonite", 1015, dravoniteRange,
     [](const std::string &l, const std::string &n) {
         return std::make_unique<window::DravoniteFilterDialog>(nullptr, l, n);
     }},
    {"Kestrune", 1016, kestruneRange,
     [](const std::string &l, const std::string &n) {
         return std::make_unique<window::KestruneFilterDialog>(nullptr, l, n);
     }},
};

// Types text into the length edit and presses OK; the message shown, if any.
std::string confirm(window::FilterDialog &dialog, int edit, const char *text) {
    windowtest::ModalDriver driver;
    control<QLineEdit>(&dialog, edit)->setText(text);
    control<QPushButton>(&dialog, 1)->click();
    EXPECT_LE(driver.boxes.size(), 1u);
    return driver.boxes.empty() ? std::string() : driver.boxes.front();
}

TEST(FilterDialogTest, LengthsFrom40To80AreAcceptedAsTypedOthersRefusedWithTheFlavoursMessage) {
    for (const Flavour &f : flavours) {
        SCOPED_TRACE(f.name);
        for (const char *good : {"40", "80", "45abc"}) {
            auto dialog = f.make("", "");
            dialog->show();
            EXPECT_EQ(confirm(*dialog, f.lengthEdit, good), "") << good;
            EXPECT_EQ(dialog->result(), QDialog::Accepted) << good;
            EXPECT_EQ(dialog->length(), good);
        }
        for (const char *bad : {"39", "81", "0", "abc"}) {
            auto dialog = f.make("d", "50");
            dialog->show();
            EXPECT_EQ(confirm(*dialog, f.lengthEdit, bad), f.range) << bad;
            EXPECT_TRUE(dialog->isVisible()) << bad;
            EXPECT_EQ(control<QLineEdit>(dialog.get(), f.lengthEdit)->text(), "") << bad;
            EXPECT_EQ(dialog->letters(), "");
            EXPECT_EQ(dialog->length(), "");
        }
        auto dialog = f.make("", "50");
        dialog->show();
        EXPECT_EQ(confirm(*dialog, f.lengthEdit, ""), emptyLength);
        EXPECT_TRUE(dialog->isVisible());
    }
}

TEST(FilterDialogTest, LettersFollowTheTableWhateverTheOrderOfTicking) {
    window::DravoniteFilterDialog dravonite(nullptr, "", "");
    dravonite.show();
    EXPECT_EQ(dravonite.objectName(), "131");
    for (int id : {1006, 1007, 1008})
        EXPECT_FALSE(control<QCheckBox>(&dravonite, id)->isChecked()) << id;
    control<QCheckBox>(&dravonite, 1008)->click(); // Control first
    control<QCheckBox>(&dravonite, 1007)->click(); // then Distributed
    EXPECT_EQ(confirm(dravonite, 1015, "40"), "");
    EXPECT_EQ(dravonite.letters(), "dc");

    window::KestruneFilterDialog kestrune(nullptr, "se", "");
    kestrune.show();
    EXPECT_EQ(kestrune.objectName(), "132");
    EXPECT_TRUE(control<QCheckBox>(&kestrune, 1012)->isChecked());
    EXPECT_TRUE(control<QCheckBox>(&kestrune, 1017)->isChecked());
    EXPECT_FALSE(control<QCheckBox>(&kestrune, 1013)->isChecked());
    control<QCheckBox>(&kestrune, 1012)->click();
    control<QCheckBox>(&kestrune, 1013)->click();
    EXPECT_EQ(confirm(kestrune, 1016, "60"), "");
    EXPECT_EQ(kestrune.letters(), "ec");

    // Nothing ticked is a choice too.
    window::KestruneFilterDialog none(nullptr, "", "");
    none.show();
    EXPECT_EQ(confirm(none, 1016, "40"), "");
    EXPECT_EQ(none.result(), QDialog::Accepted);
    EXPECT_EQ(none.letters(), "");
}

TEST(FilterDialogTest, LengthStartsFromTheGivenThenTheFlavoursLastConfirmedThen40) {
    window::DravoniteFilterDialog first(nullptr, "", "");
    EXPECT_EQ(control<QLineEdit>(&first, 1015)->text(), "40");
    first.show();
    EXPECT_EQ(confirm(first, 1015, "55"), "");

    window::DravoniteFilterDialog again(nullptr, "", "");
    EXPECT_EQ(control<QLineEdit>(&again, 1015)->text(), "55");
    window::DravoniteFilterDialog given(nullptr, "", "70");
    EXPECT_EQ(control<QLineEdit>(&given, 1015)->text(), "70");
    // The other flavour keeps its own.
    window::KestruneFilterDialog other(nullptr, "", "");
    EXPECT_EQ(control<QLineEdit>(&other, 1016)->text(), "40");

    // Cancel changes nothing.
    window::KestruneFilterDialog cancelled(nullptr, "s", "");
    cancelled.show();
    control<QLineEdit>(&cancelled, 1016)->setText("66");
    control<QPushButton>(&cancelled, 2)->click();
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    window::KestruneFilterDialog after(nullptr, "", "");
    EXPECT_EQ(control<QLineEdit>(&after, 1016)->text(), "40");
}

} // namespace

WINDOW_TEST_MAIN()
