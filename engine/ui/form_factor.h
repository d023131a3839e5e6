#pragma once
// TFormFactor, "Batch Operations:": one of the six batch functions against a
// reference picture, with factor and offset, tried on the left list's
// current entry ("Processed Image") or applied to every checked entry with
// numbered output files ("Apply to All"). Modeless and above the main
// window, so the user keeps working in the lists and the view meanwhile.
//
// The window only gathers what a command needs; the commands run through
// the runner its owner sets (RunBatchCommand on the owner's lists, result
// buffer and run host).

#include <QDialog>
#include <QString>
#include <functional>

#include "engine/batch_command.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QToolButton;

namespace nocturo {

class TFormFactor : public QDialog {
    Q_OBJECT
  public:
    /// Runs a batch command for the window. The cache is the window's own:
    /// it keeps the decoded reference and frame between previews.
    using CommandRunner =
        std::function<void(const BatchRequest& request, BatchMode mode, BatchPreviewCache& cache)>;

    /// What a slider reports with its new position: a step by an arrow, a
    /// step by a page click, the thumb being dragged, or the thumb released
    /// after a drag.
    enum class ScrollCode { LineStep, PageStep, Track, EndTrack };

    /// Give the main window as parent: the window stays above it.
    explicit TFormFactor(QWidget* parent = nullptr);

    void SetCommandRunner(CommandRunner runner) { runner_ = std::move(runner); }
    /// "Original Image": shows the left list's current entry unprocessed.
    void SetShowOriginal(std::function<void()> action) { showOriginal_ = std::move(action); }
    /// "Create an Image Mask..": opens the mask window for the picture in
    /// the view; that window fills the file name field through
    /// SetReferenceFileName when it has made a mask.
    void SetCreateMaskAction(std::function<void()> action) { createMask_ = std::move(action); }
    /// The sound of a key the two number fields refuse (QApplication::beep
    /// unless replaced, by tests).
    void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }

    /// The text of the file name field.
    QString EditFileNameText() const;
    void SetReferenceFileName(const QString& fileName);
    /// The reference name of the last command (the field's text at its click).
    const QString& ReferenceFileName() const { return referenceFileName_; }
    /// The chosen function's list index; -1 while the box holds typed text.
    int FunctionIndex() const { return functionIndex_; }
    /// Selects a function as the user does from the list.
    void SelectFunction(int index);
    /// What a command started now would use: function, field text, slider
    /// positions.
    BatchRequest Request() const;
    BatchPreviewCache& PreviewCache() { return cache_; }

    QComboBox* ComboBoxFunction() const { return comboBoxFunction_; }
    QLineEdit* EditFileName() const { return editFileName_; }
    QLineEdit* EditFactor() const { return editFactor_; }
    QLineEdit* EditOffset() const { return editOffset_; }
    QScrollBar* ScrollBarFactor() const { return scrollBarFactor_; }
    QScrollBar* ScrollBarOffset() const { return scrollBarOffset_; }
    QPushButton* SpeedButtonFactor() const { return speedButtonFactor_; }
    QPushButton* SpeedButtonOffset() const { return speedButtonOffset_; }
    QToolButton* SpeedButtonBrowse() const { return speedButtonBrowse_; }
    QPushButton* SpeedButton1() const { return speedButton1_; }
    QLabel* Label1() const { return label1_; }

  public slots:
    /// A function was chosen or text typed: the factor controls start again
    /// from the function's default; square and cube hide the reference.
    void ComboBoxFunctionChange();
    void ScrollBarFactorScroll(ScrollCode code, int position);
    void ScrollBarOffsetScroll(ScrollCode code, int position);
    /// A key released in a number field: refused keys beep; text that reads
    /// as a number moves the slider, limited to its range.
    void EditFactorKeyUp(int key);
    void EditOffsetKeyUp(int key);
    void SpeedButtonFactorClick();
    void SpeedButtonOffsetClick();
    void SpeedButtonBrowseClick();
    void SpeedButton1Click();
    /// "Processed Image": the preview, under the busy cursor.
    void BitBtnApplyClick();
    /// "Original Image".
    void BitBtnUndoClick();
    /// "Apply to All".
    void BitBtnOkClick();
    /// "Close": hides the window; its settings stay.
    void BitBtnCloseClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void reject() override;
    void changeEvent(QEvent* event) override;

  private:
    void FormCreate();
    /// "Default = 255" and "Default = 0" in the language in force.
    void ShowDefaults();
    void NumberKeyUp(int key, QLineEdit* field, QScrollBar* slider);
    void RunCommand(BatchMode mode);

    CommandRunner runner_;
    std::function<void()> showOriginal_;
    std::function<void()> createMask_;
    std::function<void()> beep_;
    BatchPreviewCache cache_;
    QString referenceFileName_;
    int functionIndex_ = 0;
    /// The factor "Default = %d" names.
    int32_t defaultFactor_ = 255;

    QComboBox* comboBoxFunction_ = nullptr;
    QLabel* label1_ = nullptr;
    QLineEdit* editFileName_ = nullptr;
    QToolButton* speedButtonBrowse_ = nullptr;
    QPushButton* speedButton1_ = nullptr;
    QLineEdit* editFactor_ = nullptr;
    QScrollBar* scrollBarFactor_ = nullptr;
    QPushButton* speedButtonFactor_ = nullptr;
    QLineEdit* editOffset_ = nullptr;
    QScrollBar* scrollBarOffset_ = nullptr;
    QPushButton* speedButtonOffset_ = nullptr;
};

}  // namespace nocturo
