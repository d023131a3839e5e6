#pragma once
// TFormProcess, "Starting Number": the number the next step saving starts
// at, and whether it is forced. It stays on top of the main window without
// blocking it, so the user can set the number while working with the lists.

#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace nocturo {

struct StepSettings;

class TFormProcess : public QDialog {
    Q_OBJECT
  public:
    /// settings must outlive the window. Give the main window as parent:
    /// the window stays above it.
    explicit TFormProcess(StepSettings& settings, QWidget* parent = nullptr);

    QSpinBox* SpinEdit1() const { return spinEdit1_; }
    QCheckBox* CheckBox1() const { return checkBox1_; }

  public slots:
    /// The number changed: a number above 0 is forced.
    void SpinEdit1Change();
    /// The user clicked the check box: it alone decides whether to force.
    void CheckBox1Click();
    /// Forces the number shown, also 0, and closes.
    void BitBtnOkClick();
    /// Drops the forced start and closes.
    void BitBtnCancelClick();
    /// The settings' forced start was switched off elsewhere (by the step
    /// dialog): the check box follows.
    void ForceStartNumberChanged();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    StepSettings& settings_;
    QSpinBox* spinEdit1_ = nullptr;
    QCheckBox* checkBox1_ = nullptr;
};

}  // namespace nocturo
