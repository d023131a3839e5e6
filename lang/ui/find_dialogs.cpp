#include "lang/ui/find_dialogs.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "lang/language_strings.h"
#include "lang/ui/window_texts.h"
#include "widgets/qt_text.h"

namespace nocturo {

TFindDialog::TFindDialog(bool replace, bool showOptions, QWidget* parent)
    : QDialog(parent), replaceMode_(replace) {
    // Part of the editor, not a window of its own for language files; its
    // controls carry no names. Its texts are language strings.
    setProperty(kLanguageWindowProperty, false);
    setModal(false);

    auto* grid = new QGridLayout(this);
    findEdit_ = new QLineEdit(this);
    findLabel_ = new QLabel(this);
    findLabel_->setBuddy(findEdit_);
    grid->addWidget(findLabel_, 0, 0);
    grid->addWidget(findEdit_, 0, 1);
    int row = 1;
    if (replace) {
        replaceEdit_ = new QLineEdit(this);
        replaceLabel_ = new QLabel(this);
        replaceLabel_->setBuddy(replaceEdit_);
        grid->addWidget(replaceLabel_, row, 0);
        grid->addWidget(replaceEdit_, row, 1);
        ++row;
    }
    matchCase_ = new QCheckBox(this);
    wholeWord_ = new QCheckBox(this);
    matchCase_->setVisible(showOptions);
    wholeWord_->setVisible(showOptions);
    grid->addWidget(matchCase_, row++, 0, 1, 2);
    grid->addWidget(wholeWord_, row++, 0, 1, 2);

    auto* buttons = new QVBoxLayout;
    findNext_ = new QPushButton(this);
    findNext_->setDefault(true);
    connect(findNext_, &QPushButton::clicked, this, &TFindDialog::find);
    buttons->addWidget(findNext_);
    if (replace) {
        replaceOne_ = new QPushButton(this);
        replaceAll_ = new QPushButton(this);
        connect(replaceOne_, &QPushButton::clicked, this, &TFindDialog::replace);
        connect(replaceAll_, &QPushButton::clicked, this, &TFindDialog::replace);
        buttons->addWidget(replaceOne_);
        buttons->addWidget(replaceAll_);
    }
    cancel_ = new QPushButton(this);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::close);
    buttons->addWidget(cancel_);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, row, 1);

    auto* again = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(again, &QShortcut::activated, this, &TFindDialog::find);
    ShowTexts();
}

void TFindDialog::ShowTexts() {
    const LanguageStrings& texts = Lng();
    setWindowTitle(Q(replaceMode_ ? texts.txtReplace : texts.txtFind));
    findLabel_->setText(Q(texts.txtFindWhat));
    if (replaceMode_) {
        replaceLabel_->setText(Q(texts.txtReplaceWith));
        replaceOne_->setText(Q(texts.txtReplace));
        replaceAll_->setText(Q(texts.txtReplaceAll));
    }
    matchCase_->setText(Q(texts.txtMatchCase));
    wholeWord_->setText(Q(texts.txtWholeWord));
    findNext_->setText(Q(texts.txtFindNext));
    cancel_->setText(Q(texts.txtCancel));
    adjustSize();
}

void TFindDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange && cancel_ != nullptr) {
        ShowTexts();
    }
}

QString TFindDialog::FindText() const {
    return findEdit_->text();
}
void TFindDialog::SetFindText(const QString& text) {
    findEdit_->setText(text);
}
QString TFindDialog::ReplaceText() const {
    return replaceEdit_ != nullptr ? replaceEdit_->text() : QString();
}
void TFindDialog::SetReplaceText(const QString& text) {
    if (replaceEdit_ != nullptr) {
        replaceEdit_->setText(text);
    }
}
bool TFindDialog::MatchCase() const {
    return matchCase_->isChecked();
}
void TFindDialog::SetMatchCase(bool on) {
    matchCase_->setChecked(on);
}
bool TFindDialog::WholeWord() const {
    return wholeWord_->isChecked();
}
void TFindDialog::SetWholeWord(bool on) {
    wholeWord_->setChecked(on);
}

}  // namespace nocturo
