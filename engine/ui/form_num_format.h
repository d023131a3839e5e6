#pragma once
// TFormNumFormat, "FileName Num Format": how many digits the numbers of step
// files carry, and whether that count widens to the left list's size.

#include <QDialog>

class QCheckBox;
class QPushButton;
class QSpinBox;

namespace nocturo {

struct StepSettings;

/// Modal. Opening shows the settings; closing, by any button or the close
/// box, writes the controls back into them: OK and Cancel alike.
class TFormNumFormat : public QDialog {
    Q_OBJECT
  public:
    /// settings must outlive the window.
    explicit TFormNumFormat(StepSettings& settings, QWidget* parent = nullptr);

    QSpinBox* SpinEdit1() const { return spinEdit1_; }
    QCheckBox* CheckBox1() const { return checkBox1_; }

    /// Applies the controls to the settings, then closes the window.
    void done(int result) override;

  public slots:
    /// Loads the controls from the settings, as the window does on opening.
    void FormShow();
    /// Six digits, widened to the list's size.
    void BitBtnDefaultClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormClose();

    StepSettings& settings_;
    QSpinBox* spinEdit1_ = nullptr;
    QCheckBox* checkBox1_ = nullptr;
};

}  // namespace nocturo
