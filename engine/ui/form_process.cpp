#include "engine/ui/form_process.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>

#include "engine/run_state.h"
#include "widgets/dialogs.h"

namespace nocturo {

TFormProcess::TFormProcess(StepSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setObjectName("FormProcess");
    setWindowTitle("Starting Number");
    // A tool window of the main window: above it, never blocking it.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    setModal(false);

    spinEdit1_ = new QSpinBox(this);
    spinEdit1_->setObjectName("SpinEdit1");
    spinEdit1_->setRange(0, 32767);
    spinEdit1_->setValue(0);
    checkBox1_ = new QCheckBox("Select first image Number ", this);
    checkBox1_->setObjectName("CheckBox1");
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BitBtnOk");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("BitBtnCancel");

    // valueChanged and clicked come from the user (or a test acting as one);
    // the window's own setChecked calls do not re-enter CheckBox1Click.
    connect(spinEdit1_, &QSpinBox::valueChanged, this, &TFormProcess::SpinEdit1Change);
    connect(checkBox1_, &QCheckBox::clicked, this, &TFormProcess::CheckBox1Click);
    connect(ok, &QPushButton::clicked, this, &TFormProcess::BitBtnOkClick);
    connect(cancel, &QPushButton::clicked, this, &TFormProcess::BitBtnCancelClick);

    auto* grid = new QGridLayout(this);
    grid->addWidget(spinEdit1_, 0, 0);
    grid->addWidget(checkBox1_, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 1, 0, 1, 2);
    setFixedSize(sizeHint());
}

void TFormProcess::SpinEdit1Change() {
    const int number = spinEdit1_->value();
    settings_.StartNumber = number < 0 ? 0 : number;
    settings_.ForceStartNumber = settings_.StartNumber > 0;
    checkBox1_->setChecked(settings_.ForceStartNumber);
}

void TFormProcess::CheckBox1Click() {
    settings_.ForceStartNumber = checkBox1_->isChecked();
    settings_.StartNumber = spinEdit1_->value();
}

void TFormProcess::BitBtnOkClick() {
    SpinEdit1Change();
    settings_.ForceStartNumber = true;
    checkBox1_->setChecked(true);
    hide();
}

void TFormProcess::BitBtnCancelClick() {
    checkBox1_->setChecked(false);
    settings_.ForceStartNumber = false;
    settings_.StartNumber = spinEdit1_->value();
    hide();
}

void TFormProcess::ForceStartNumberChanged() {
    checkBox1_->setChecked(settings_.ForceStartNumber);
}

void TFormProcess::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    WidenForTitle(this);
}

}  // namespace nocturo
