// filterdlg.cpp - the component filter dialogs of the two flavours.
//
// Each offers three categories as check boxes and the property length. OK writes the letters of
// the ticked boxes in the fixed order of the flavour's table, whatever the order of ticking, and
// accepts a length from 40 to 80. Owns the last length confirmed per flavour in this process.
#include "windowint.h"

#include <QCheckBox>
#include <QLineEdit>

#include <climits>
#include <cstdlib>

namespace window {

namespace {

inline constexpr long MIN_LENGTH = 40;
inline constexpr long MAX_LENGTH = 80;
inline constexpr const char *DEFAULT_LENGTH = "40";

constexpr ControlRow dravoniteRows[] = {
    {Control::defbutton, 1, "OK", 40, 103, 38, 14},
    {Control::button, 2, "Cancel", 85, 102, 40, 14},
    {Control::check, 1006, "Discrete Components", 43, 37, 106, 13},
    {Control::check, 1007, "Distributed Components", 43, 56, 113, 12},
    {Control::check, 1008, "Control Components", 43, 80, 89, 12},
    {Control::label, NO_ID, "Enter the length of properties :", 35, 13, 54, 21},
    {Control::edit, 1015, "", 101, 15, 32, 15},
};
constexpr DialogTemplate dravoniteTemplate{131, "Component Filter for Dravonite", 186, 140,
                                           dravoniteRows};

constexpr ControlRow kestruneRows[] = {
    {Control::defbutton, 1, "OK", 30, 119, 40, 14},
    {Control::button, 2, "Cancel", 84, 119, 35, 14},
    {Control::check, 1012, "Functional Components", 30, 52, 109, 12},
    {Control::label, NO_ID, "Enter the Property length :", 33, 20, 55, 18},
    {Control::edit, 1016, "", 87, 22, 37, 15},
    {Control::check, 1017, "Electrical Components", 30, 74, 113, 15},
    {Control::check, 1013, "Control Components", 30, 94, 97, 13},
};
constexpr DialogTemplate kestruneTemplate{132, "Component Filter for Kestrune", 164, 154,
                                          kestruneRows};

struct FilterState {
    std::string dravoniteLength; // last length confirmed in a Dravonite filter
    std::string kestruneLength;  // last length confirmed in a Kestrune filter
};

FilterState &state() {
    static FilterState s;
    return s;
}

const FilterDialog::Flavour &dravonite() {
    static const FilterDialog::Flavour f{
        dravoniteTemplate,
        {{1007, 'd'}, {1006, 'i'}, {1008, 'c'}},
        1015,
        "Choose Property Length (in numbers) between 40-80 characters length.",
        state().dravoniteLength};
    return f;
}

const FilterDialog::Flavour &kestrune() {
    static const FilterDialog::Flavour f{
        kestruneTemplate,
        {{1012, 's'}, {1017, 'e'}, {1013, 'c'}},
        1016,
        "Choose Property Length(in numbers) between 40-80 characters length.",
        state().kestruneLength};
    return f;
}

// The text's value as a decimal number: leading blanks and one sign, digits up to the first
// other character, 0 without digits.
long lengthValue(const std::string &text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

} // namespace

FilterDialog::FilterDialog(const Flavour &flavour, QWidget *parent, const std::string &letters,
                           const std::string &length)
    : QDialog(parent), flavour_(flavour) {
    buildDialog(this, flavour.tmpl);
    for (const Category &c : flavour.categories)
        control<QCheckBox>(this, c.id)->setChecked(letters.find(c.letter) != std::string::npos);
    length_ = !length.empty()               ? length
              : !flavour.lastLength.empty() ? flavour.lastLength
                                            : DEFAULT_LENGTH;
    control<QLineEdit>(this, flavour.lengthEdit)->setText(QString::fromStdString(length_));
    connect(control<QPushButton>(this, 1), &QPushButton::clicked, this,
            [this] { guarded([this] { confirm(); }); });
    connect(control<QPushButton>(this, 2), &QPushButton::clicked, this, &QDialog::reject);
}

void FilterDialog::confirm() {
    letters_.clear();
    for (const Category &c : flavour_.categories)
        if (control<QCheckBox>(this, c.id)->isChecked()) letters_.push_back(c.letter);
    QLineEdit *edit = control<QLineEdit>(this, flavour_.lengthEdit);
    const std::string text = edit->text().toStdString();
    if (text.empty()) {
        message(this, "Plese enter the value for Property Length (40-80)", false);
        letters_.clear();
        length_.clear();
        return;
    }
    const long value = lengthValue(text);
    if (value >= MIN_LENGTH && value <= MAX_LENGTH) {
        length_ = text;
        flavour_.lastLength = text;
        QDialog::accept();
        return;
    }
    message(this, flavour_.rangeMessage, false);
    edit->clear();
    letters_.clear();
    length_.clear();
}

DravoniteFilterDialog::DravoniteFilterDialog(QWidget *parent, const std::string &letters,
                                             const std::string &length)
    : FilterDialog(dravonite(), parent, letters, length) {}

KestruneFilterDialog::KestruneFilterDialog(QWidget *parent, const std::string &letters,
                                           const std::string &length)
    : FilterDialog(kestrune(), parent, letters, length) {}

} // namespace window
