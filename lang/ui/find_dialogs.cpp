#include "lang/ui/find_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "lang/ui/window_texts.h"

namespace nocturo {

TFindDialog::TFindDialog(bool replace, bool showOptions, QWidget* parent) : QDialog(parent) {
    // Part of the editor, not a window of its own for language files; its
    // controls carry no names.
    setProperty(kLanguageWindowProperty, false);
    setWindowTitle(replace ? tr("Replace") : tr("Find"));
    setModal(false);

    auto* grid = new QGridLayout(this);
    findEdit_ = new QLineEdit(this);
    auto* findLabel = new QLabel(tr("Find what:"), this);
    findLabel->setBuddy(findEdit_);
    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(findEdit_, 0, 1);
    int row = 1;
    if (replace) {
        replaceEdit_ = new QLineEdit(this);
        auto* replaceLabel = new QLabel(tr("Replace with:"), this);
        replaceLabel->setBuddy(replaceEdit_);
        grid->addWidget(replaceLabel, row, 0);
        grid->addWidget(replaceEdit_, row, 1);
        ++row;
    }
    matchCase_ = new QCheckBox(tr("Match case"), this);
    wholeWord_ = new QCheckBox(tr("Whole word only"), this);
    matchCase_->setVisible(showOptions);
    wholeWord_->setVisible(showOptions);
    grid->addWidget(matchCase_, row++, 0, 1, 2);
    grid->addWidget(wholeWord_, row++, 0, 1, 2);

    auto* buttons = new QVBoxLayout;
    auto* findNext = new QPushButton(tr("Find Next"), this);
    findNext->setDefault(true);
    connect(findNext, &QPushButton::clicked, this, &TFindDialog::find);
    buttons->addWidget(findNext);
    if (replace) {
        auto* replaceOne = new QPushButton(tr("Replace"), this);
        auto* replaceAll = new QPushButton(tr("Replace All"), this);
        connect(replaceOne, &QPushButton::clicked, this, &TFindDialog::replace);
        connect(replaceAll, &QPushButton::clicked, this, &TFindDialog::replace);
        buttons->addWidget(replaceOne);
        buttons->addWidget(replaceAll);
    }
    auto* cancel = new QPushButton(tr("Cancel"), this);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    buttons->addWidget(cancel);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, row, 1);

    auto* again = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(again, &QShortcut::activated, this, &TFindDialog::find);
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
