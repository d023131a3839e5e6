#pragma once
// TFormVideo, "Video (MP4)": the settings of a time-lapse video. Frames per
// second, the width (0 keeps the frames' own), the quality as x264's
// constant rate factor, or lossless.

#include <QDialog>

#include "video/video_writer.h"

class QCheckBox;
class QSpinBox;

namespace nocturo {

class TFormVideo : public QDialog {
    Q_OBJECT
  public:
    explicit TFormVideo(QWidget* parent = nullptr);

    /// The choices as they stand: a width below the smallest video width
    /// (other than 0) counts as the smallest.
    VideoSettings Settings() const;
    void SetSettings(const VideoSettings& settings);

    QSpinBox* SpinEditFps() const { return spinEditFps_; }
    QSpinBox* SpinEditWidth() const { return spinEditWidth_; }
    QSpinBox* SpinEditCrf() const { return spinEditCrf_; }
    QCheckBox* CheckBoxLossless() const { return checkBoxLossless_; }
    /// "Step files too", shown only for a video chosen in the step question.
    QCheckBox* CheckBoxStepFiles() const { return checkBoxStepFiles_; }
    void ShowStepFilesChoice(bool shown);

  public slots:
    void CheckBoxLosslessClick();

  private:
    QSpinBox* spinEditFps_ = nullptr;
    QSpinBox* spinEditWidth_ = nullptr;
    QSpinBox* spinEditCrf_ = nullptr;
    QCheckBox* checkBoxLossless_ = nullptr;
    QCheckBox* checkBoxStepFiles_ = nullptr;
};

}  // namespace nocturo
