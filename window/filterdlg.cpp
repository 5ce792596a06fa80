// filterdlg.cpp - the component filter dialogs of the two flavours, in Qt.
//
// Each offers three categories as check boxes and the property length; what OK does with them is
// the filter's rule (confirmFilter in bomcore.cpp), the same for every face.
#include "windowint.h"

#include <QCheckBox>
#include <QLineEdit>

namespace window {

FilterDialog::FilterDialog(const FilterRules &rules, QWidget *parent, const std::string &letters,
                           const std::string &length)
    : QDialog(parent), rules_(rules) {
    buildDialog(this, rules.tmpl);
    for (const Category &c : rules.categories)
        control<QCheckBox>(this, c.id)->setChecked(letters.find(c.letter) != std::string::npos);
    length_ = initialLength(rules, length);
    control<QLineEdit>(this, rules.lengthEdit)->setText(QString::fromStdString(length_));
    connect(control<QPushButton>(this, 1), &QPushButton::clicked, this,
            [this] { guarded([this] { confirm(); }); });
    connect(control<QPushButton>(this, 2), &QPushButton::clicked, this, &QDialog::reject);
}

void FilterDialog::confirm() {
    std::array<bool, 3> ticked{};
    for (std::size_t i = 0; i < ticked.size(); ++i)
        ticked[i] = control<QCheckBox>(this, rules_.categories[i].id)->isChecked();
    QLineEdit *edit = control<QLineEdit>(this, rules_.lengthEdit);
    const FilterResult r = confirmFilter(rules_, ticked, edit->text().toStdString());
    letters_ = r.letters;
    length_ = r.length;
    if (r.ok) {
        QDialog::accept();
        return;
    }
    message(this, r.message, false);
    if (r.clearEdit) edit->clear();
}

DravoniteFilterDialog::DravoniteFilterDialog(QWidget *parent, const std::string &letters,
                                             const std::string &length)
    : FilterDialog(dravoniteFilter(), parent, letters, length) {}

KestruneFilterDialog::KestruneFilterDialog(QWidget *parent, const std::string &letters,
                                           const std::string &length)
    : FilterDialog(kestruneFilter(), parent, letters, length) {}

} // namespace window
