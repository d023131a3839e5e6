#pragma once
// TFormSearch, "Search Parameters:": the levels, margins and crop size of
// the search, whether copies are saved, and where. Created once with the
// main window; its values last for the life of the program.

#include <QDialog>
#include <functional>

#include "engine/search_run.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;
class QToolButton;

namespace nocturo {

class TFormSearch : public QDialog, public SearchWindow {
    Q_OBJECT
  public:
    explicit TFormSearch(QWidget* parent = nullptr);

    /// What "Clear Right List" does: the main window's own command.
    void SetClearRightList(std::function<void()> clear) { clearRightList_ = std::move(clear); }

    // SearchWindow
    void SetOutputName(const std::string& name) override;
    std::optional<SearchChoice> Execute(bool save, const std::string& firstEntry) override;

    /// The parameters the up-down controls show.
    SearchParams Params() const;

    QSpinBox* UpDown(const char* name) const;
    QCheckBox* CheckBoxSave() const { return checkBoxSave_; }
    QLineEdit* EditName() const { return editName_; }
    QToolButton* SpeedButton1() const { return speedButton1_; }
    QToolButton* SpeedButton2() const { return speedButton2_; }

  public slots:
    void FormShow();
    void CheckBoxSaveClick();
    void SpeedButton1Click();
    void SpeedButton2Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QSpinBox* AddUpDown(const char* name, int low, int high, int initial);

    QCheckBox* checkBoxSave_ = nullptr;
    QLineEdit* editName_ = nullptr;
    QToolButton* speedButton1_ = nullptr;
    QToolButton* speedButton2_ = nullptr;
    std::function<void()> clearRightList_;
};

}  // namespace nocturo
