#include "engine/ui/form_num_format.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <string>

#include "engine/run_state.h"
#include "engine/step_saving.h"
#include "widgets/dialogs.h"

namespace nocturo {

namespace {

constexpr int kDefaultDigits = 6;

// "%s%<d>.<d>d%s": base, number with d digits, extension.
std::string NumberFormatFor(int digits) {
    const std::string d = std::to_string(digits);
    return "%s%" + d + "." + d + "d%s";
}

}  // namespace

TFormNumFormat::TFormNumFormat(StepSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setObjectName("FormNumFormat");
    setWindowTitle("FileName Num Format");
    setModal(true);

    auto* label1 = new QLabel("Count of Digits Number:", this);
    label1->setObjectName("Label1");
    spinEdit1_ = new QSpinBox(this);
    spinEdit1_->setObjectName("SpinEdit1");
    spinEdit1_->setRange(1, 10);
    spinEdit1_->setValue(kDefaultDigits);
    label1->setBuddy(spinEdit1_);
    checkBox1_ = new QCheckBox("AutoAdapt  Number Format to File Count", this);
    checkBox1_->setObjectName("CheckBox1");
    checkBox1_->setChecked(true);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BitBtnOk");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("BitBtnCancel");
    auto* byDefault = new QPushButton("Default", this);
    byDefault->setObjectName("BitBtnDefault");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(byDefault, &QPushButton::clicked, this, &TFormNumFormat::BitBtnDefaultClick);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label1, 0, 0);
    grid->addWidget(spinEdit1_, 0, 1);
    grid->addWidget(checkBox1_, 1, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(byDefault);
    grid->addLayout(buttons, 2, 0, 1, 2);
    setFixedSize(sizeHint());
}

void TFormNumFormat::showEvent(QShowEvent* event) {
    // A window brought back by the window manager keeps what the user typed.
    if (!event->spontaneous()) {
        FormShow();
    }
    QDialog::showEvent(event);
    WidenForTitle(this);
}

void TFormNumFormat::FormShow() {
    checkBox1_->setChecked(settings_.AutoAdaptDigits);
    // A format set in code may carry 0 or more than 10 digits; the field
    // shows the nearest count it allows.
    spinEdit1_->setValue(FirstNumberInFormat(settings_.NumberFormat));
}

void TFormNumFormat::BitBtnDefaultClick() {
    spinEdit1_->setValue(kDefaultDigits);
    checkBox1_->setChecked(true);
}

void TFormNumFormat::done(int result) {
    // The settings are written before anyone hears that the window closed.
    FormClose();
    QDialog::done(result);
}

void TFormNumFormat::FormClose() {
    const int digits = spinEdit1_->value();
    settings_.AutoAdaptDigits = checkBox1_->isChecked();
    settings_.digitCount = digits;
    settings_.NumberFormat = NumberFormatFor(digits);
    settings_.FormatNumbers = digits != 0;
}

}  // namespace nocturo
