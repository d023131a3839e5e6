#include "engine/ui/form_sample.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "lang/language_strings.h"
#include "widgets/dialogs.h"
#include "widgets/qt_text.h"

namespace nocturo {

ArrowStepper::ArrowStepper(QWidget* parent) : QWidget(parent) {
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFixedSize(17, 11);
    }
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(up_);
    column->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void ArrowStepper::SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    SetPosition(position_);
}

void ArrowStepper::SetPosition(int position) {
    // The control's position is a 16-bit number.
    position = std::clamp(position, std::max(min_, int{SHRT_MIN}), std::min(max_, int{SHRT_MAX}));
    if (position != position_) {
        position_ = position;
        emit Changed(position_);
    }
}

void ArrowStepper::Step(int delta) {
    const int next = std::clamp(position_ + delta, min_, max_);
    if (next != position_) {
        emit Changing(next);
        SetPosition(next);
    }
}

TFormSample::TFormSample(QWidget* parent) : QDialog(parent) {
    setObjectName("FormSample");
    setWindowTitle("MovingMax - Sample");
    setModal(true);

    auto* label1 = new QLabel(" Samples:", this);
    label1->setObjectName("Label1");
    edit1_ = new QLineEdit("50", this);
    edit1_->setObjectName("Edit1");
    edit1_->setFixedWidth(70);
    upDown1_ = new ArrowStepper(this);
    upDown1_->setObjectName("UpDown1");
    upDown1_->SetRange(2, 32767);
    upDown1_->SetPosition(50);
    label2_ = new QLabel("Count: ", this);
    label2_->setObjectName("Label2");
    trackBar1_ = new QSlider(Qt::Horizontal, this);
    trackBar1_->setObjectName("TrackBar1");
    trackBar1_->setRange(2, 1000000);
    trackBar1_->setValue(100);
    trackBar1_->setPageStep(1);

    radioGroupStart_ = new QGroupBox("Start/Stop", this);
    radioGroupStart_->setObjectName("RadioGroupStart");
    progressive_ = new QRadioButton("Progressive", radioGroupStart_);
    progressive_->setObjectName("RadioButtonProgressive");
    rangeOnly_ = new QRadioButton("Range only", radioGroupStart_);
    rangeOnly_->setObjectName("RadioButtonRangeOnly");
    rangeOnly_->setChecked(true);
    auto* radios = new QHBoxLayout(radioGroupStart_);  // two columns
    radios->addWidget(progressive_);
    radios->addWidget(rangeOnly_);

    checkBoxDarkening1_ = new QCheckBox("Darkening", this);
    checkBoxDarkening1_->setObjectName("CheckBoxDarkening1");
    checkBoxDarkening1_->setChecked(true);
    checkBoxShowProcess1_ = new QCheckBox("ShowProcess (Slower !)", this);
    checkBoxShowProcess1_->setObjectName("CheckBoxShowProcess1");

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BitBtn1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("BitBtn2");

    auto* grid = new QGridLayout(this);
    auto* number = new QHBoxLayout;
    number->setSpacing(0);
    number->addWidget(edit1_);
    number->addWidget(upDown1_);
    number->addStretch();
    grid->addWidget(label1, 0, 0);
    grid->addLayout(number, 0, 1);
    grid->addWidget(label2_, 0, 2);
    grid->addWidget(trackBar1_, 1, 0, 1, 3);
    grid->addWidget(radioGroupStart_, 2, 0, 1, 3);
    grid->addWidget(checkBoxDarkening1_, 3, 0, 1, 2);
    grid->addWidget(checkBoxShowProcess1_, 4, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 5, 0, 1, 3);

    connect(trackBar1_, &QSlider::valueChanged, this, &TFormSample::TrackBar1Change);
    connect(upDown1_, &ArrowStepper::Changing, this, &TFormSample::UpDown1ChangingEx);
    // The field shows the up-down's position, as an attached field does.
    connect(upDown1_, &ArrowStepper::Changed, this, [this](int position) {
        const QString text = QString::number(position);
        // Not while the user types: the field keeps what was typed.
        if (!following_ && edit1_->text() != text) {
            edit1_->setText(text);
        }
    });
    connect(edit1_, &QLineEdit::textChanged, this, &TFormSample::Edit1Change);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormSample::PrepareFor(int entryCount) {
    entryCount_ = entryCount;
    ShowCount();
    trackBar1_->setRange(2, std::max(2, entryCount));
    upDown1_->SetRange(2, entryCount > 32767 ? 32767 : std::max(2, entryCount));
}

void TFormSample::ShowCount() {
    if (entryCount_ >= 0) {
        label2_->setText(QString::fromStdString(FormatText(Lng().txtSampleCount, entryCount_)));
    }
}

void TFormSample::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    WidenForTitle(this);
}

void TFormSample::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        ShowCount();
    }
}

MovingMaxSettings TFormSample::Settings() const {
    MovingMaxSettings settings;
    settings.windowSize = upDown1_->Position();
    settings.progressive = progressive_->isChecked();
    settings.darkening = checkBoxDarkening1_->isChecked();
    settings.showProcess = checkBoxShowProcess1_->isChecked();
    return settings;
}

void TFormSample::TrackBar1Change() {
    if (following_) {
        return;
    }
    // The field follows the new position; its change must not pull the
    // track bar back to the up-down's narrower range.
    following_ = true;
    upDown1_->SetPosition(trackBar1_->value());
    const QString text = QString::number(upDown1_->Position());
    if (edit1_->text() != text) {
        edit1_->setText(text);
    }
    following_ = false;
}

void TFormSample::UpDown1ChangingEx(int next) {
    trackBar1_->setValue(next);
}

void TFormSample::Edit1Change() {
    if (following_) {
        return;
    }
    const std::optional<int32_t> typed = TypedInteger(edit1_->text());
    if (!typed) {
        return;  // the up-down keeps its position while the text is no number
    }
    following_ = true;
    upDown1_->SetPosition(*typed);
    trackBar1_->setValue(upDown1_->Position());
    following_ = false;
}

}  // namespace nocturo
