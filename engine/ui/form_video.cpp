#include "engine/ui/form_video.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>

namespace nocturo {

TFormVideo::TFormVideo(QWidget* parent) : QDialog(parent) {
    setObjectName("FormVideo");
    setWindowTitle("Video (MP4)");
    setModal(true);

    auto addLabel = [this](const char* name, const char* caption) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(name);
        return label;
    };
    auto addSpin = [this](const char* name, int low, int high) {
        auto* spin = new QSpinBox(this);
        spin->setObjectName(name);
        spin->setRange(low, high);
        return spin;
    };
    QLabel* label1 = addLabel("Label1", "Frames per second:");
    spinEditFps_ = addSpin("SpinEditFps", 1, kMaxVideoFps);
    QLabel* label2 = addLabel("Label2", "Width (0: the frames' own):");
    spinEditWidth_ = addSpin("SpinEditWidth", 0, kMaxVideoWidth);
    spinEditWidth_->setSingleStep(2);
    QLabel* label3 = addLabel("Label3", "Quality (CRF, lower is better):");
    spinEditCrf_ = addSpin("SpinEditCrf", kLosslessCrf + 1, kMaxCrf);
    checkBoxLossless_ = new QCheckBox("Lossless (large files; not every player)", this);
    checkBoxLossless_->setObjectName("CheckBoxLossless");
    checkBoxStepFiles_ = new QCheckBox("Also save the step files", this);
    checkBoxStepFiles_->setObjectName("CheckBoxStepFiles");
    checkBoxStepFiles_->hide();
    label1->setBuddy(spinEditFps_);
    label2->setBuddy(spinEditWidth_);
    label3->setBuddy(spinEditCrf_);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BitBtn1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("BitBtn2");

    auto* grid = new QGridLayout(this);
    grid->addWidget(label1, 0, 0);
    grid->addWidget(spinEditFps_, 0, 1);
    grid->addWidget(label2, 1, 0);
    grid->addWidget(spinEditWidth_, 1, 1);
    grid->addWidget(label3, 2, 0);
    grid->addWidget(spinEditCrf_, 2, 1);
    grid->addWidget(checkBoxLossless_, 3, 0, 1, 2);
    grid->addWidget(checkBoxStepFiles_, 4, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 5, 0, 1, 2);

    connect(checkBoxLossless_, &QCheckBox::toggled, this, &TFormVideo::CheckBoxLosslessClick);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    SetSettings(VideoSettings{});
}

VideoSettings TFormVideo::Settings() const {
    VideoSettings settings;
    settings.fps = spinEditFps_->value();
    const int width = spinEditWidth_->value();
    settings.width = width == 0 ? 0 : std::max(width, kMinVideoWidth);
    settings.crf = checkBoxLossless_->isChecked() ? kLosslessCrf : spinEditCrf_->value();
    return settings;
}

void TFormVideo::SetSettings(const VideoSettings& settings) {
    spinEditFps_->setValue(settings.fps);
    spinEditWidth_->setValue(settings.width);
    const bool lossless = settings.crf == kLosslessCrf;
    if (!lossless) {
        spinEditCrf_->setValue(settings.crf);
    }
    checkBoxLossless_->setChecked(lossless);
    CheckBoxLosslessClick();
}

void TFormVideo::ShowStepFilesChoice(bool shown) {
    checkBoxStepFiles_->setVisible(shown);
    adjustSize();
}

void TFormVideo::CheckBoxLosslessClick() {
    // Lossless has no quality to choose.
    spinEditCrf_->setEnabled(!checkBoxLossless_->isChecked());
}

}  // namespace nocturo
