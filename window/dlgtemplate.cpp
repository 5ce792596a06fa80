// dlgtemplate.cpp - dialogs built from templates, and what all dialogs of the window share.
//
// A template places its controls in dialog units: a quarter of the dialog font's average
// character width across, an eighth of its height down, as the templates were drawn. No state.
#include "windowint.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTreeWidget>

#include <cstdio>

namespace window {

namespace {

inline constexpr int TEMPLATE_POINTS = 8; // the templates' font size

// The average character size of a font as the templates measure it: the width of the 52
// letters, halved and rounded, and the height of a line.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont &font) {
        const QFontMetrics fm(font);
        const int letters =
            fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        cx_ = (letters / 26 + 1) / 2;
        cy_ = fm.height();
    }
    int x(int units) const { return units * cx_ / 4; }
    int y(int units) const { return units * cy_ / 8; }

  private:
    int cx_;
    int cy_;
};

QWidget *make(QDialog *dialog, const ControlRow &row) {
    const QString text = QString::fromUtf8(row.text ? row.text : "");
    switch (row.kind) {
    case Control::button:
    case Control::defbutton: {
        // Enter presses the button that has the focus, the dialog's default only when no button
        // has it, as the platform's dialogs do.
        auto *b = new QPushButton(text, dialog);
        b->setAutoDefault(true);
        b->setDefault(row.kind == Control::defbutton);
        return b;
    }
    case Control::wrapbutton: {
        auto *b = new WrapButton(dialog);
        b->setText(text);
        b->setAutoDefault(true);
        return b;
    }
    case Control::check:
        return new QCheckBox(text, dialog);
    case Control::edit:
        return new QLineEdit(text, dialog);
    case Control::list: {
        auto *list = new QTreeWidget(dialog);
        list->setRootIsDecorated(false);
        list->setUniformRowHeights(true);
        list->setSortingEnabled(false);
        list->setSelectionBehavior(QAbstractItemView::SelectRows);
        // Cells keep the report's padding: cut them at the column edge, never mark them cut.
        list->setTextElideMode(Qt::ElideNone);
        list->setFrameShape(QFrame::StyledPanel);
        list->header()->setSectionsMovable(false);
        return list;
    }
    case Control::label:
    case Control::centredlabel: {
        auto *label = new QLabel(text, dialog);
        label->setWordWrap(true);
        label->setAlignment(row.kind == Control::centredlabel ? Qt::AlignHCenter | Qt::AlignTop
                                                              : Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case Control::group:
        return new QGroupBox(text, dialog);
    }
    return nullptr;
}

} // namespace

void buildDialog(QDialog *dialog, const DialogTemplate &tmpl) {
    dialog->setObjectName(QString::number(tmpl.id));
    dialog->setWindowTitle(QString::fromUtf8(tmpl.caption));
    QFont font = dialog->font();
    font.setPointSize(TEMPLATE_POINTS);
    dialog->setFont(font);
    const DialogUnits du(font);
    QWidget *frame = nullptr;
    for (const ControlRow &row : tmpl.rows) {
        QWidget *w = make(dialog, row);
        if (row.id != NO_ID) w->setObjectName(QString::number(row.id));
        w->setGeometry(du.x(row.x), du.y(row.y), du.x(row.w), du.y(row.h));
        if (row.kind == Control::group) frame = w;
    }
    // The frame is drawn behind the controls it surrounds.
    if (frame) frame->lower();
    dialog->setFixedSize(du.x(tmpl.w), du.y(tmpl.h));
}

void WrapButton::paintEvent(QPaintEvent *) {
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString label = option.text;
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);
    p.drawText(rect().adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap, label);
}

void messageBox(QWidget *parent, QMessageBox::Icon icon, const char *caption, const char *text) {
    QMessageBox box(icon, QString::fromUtf8(caption ? caption : ""),
                    QString::fromUtf8(text ? text : ""), QMessageBox::Ok, parent);
    box.exec();
}

void message(QWidget *parent, const char *text, bool exclamation) {
    messageBox(parent, exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
               QCoreApplication::applicationName().toUtf8().constData(), text);
}

void noteFailure() noexcept {
    std::fputs("partlist: a window command failed (out of memory?)\n", stderr);
}

} // namespace window
