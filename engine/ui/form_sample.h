#pragma once
// TFormSample, "MovingMax - Sample": the window size of the moving maximum
// on a number field, its up-down and a track bar that follow each other,
// how the sequence starts and ends, and whether older frames fade.

#include <QDialog>
#include <QWidget>

#include "engine/moving_max.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;
class QToolButton;

namespace nocturo {

/// Two arrow buttons that step a position within a range (an up-down
/// control); the number is shown by the field they are attached to.
class ArrowStepper : public QWidget {
    Q_OBJECT
  public:
    explicit ArrowStepper(QWidget* parent = nullptr);

    int Position() const { return position_; }
    int Min() const { return min_; }
    int Max() const { return max_; }
    /// Sets the range; the position is kept inside it.
    void SetRange(int min, int max);
    /// Sets the position, kept inside the range and to 16 bits as the
    /// control's position is. Emits Changed when it moves.
    void SetPosition(int position);
    /// One step up (+1) or down (-1), as the arrows do.
    void Step(int delta);

  signals:
    /// The position is about to become `next` by a click of an arrow.
    void Changing(int next);
    /// The position changed.
    void Changed(int position);

  private:
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
};

class TFormSample : public QDialog {
    Q_OBJECT
  public:
    explicit TFormSample(QWidget* parent = nullptr);

    /// Before showing: "Count: %d" and the ranges for a left list of
    /// entryCount entries.
    void PrepareFor(int entryCount);
    /// The choices as they stand (the window size is the up-down's).
    MovingMaxSettings Settings() const;

    QLineEdit* Edit1() const { return edit1_; }
    ArrowStepper* UpDown1() const { return upDown1_; }
    QSlider* TrackBar1() const { return trackBar1_; }
    QLabel* Label2() const { return label2_; }
    QRadioButton* Progressive() const { return progressive_; }
    QRadioButton* RangeOnly() const { return rangeOnly_; }
    QCheckBox* CheckBoxDarkening1() const { return checkBoxDarkening1_; }
    QCheckBox* CheckBoxShowProcess1() const { return checkBoxShowProcess1_; }

  public slots:
    void TrackBar1Change();
    void UpDown1ChangingEx(int next);
    void Edit1Change();

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void ShowCount();

    QLineEdit* edit1_ = nullptr;
    ArrowStepper* upDown1_ = nullptr;
    QLabel* label2_ = nullptr;
    QSlider* trackBar1_ = nullptr;
    QGroupBox* radioGroupStart_ = nullptr;
    QRadioButton* progressive_ = nullptr;
    QRadioButton* rangeOnly_ = nullptr;
    QCheckBox* checkBoxDarkening1_ = nullptr;
    QCheckBox* checkBoxShowProcess1_ = nullptr;
    bool following_ = false;  // one control is being set from another
    int entryCount_ = -1;     // since PrepareFor
};

}  // namespace nocturo
