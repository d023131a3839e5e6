#pragma once
// TFormAbout, "About..": the program's emblem and name above the quick
// manual and version history, which can be printed. Created last, it is the
// window whose creation applies the chosen language to every window.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QToolButton;

namespace nocturo {

class TextDevice;

class TFormAbout : public QDialog {
    Q_OBJECT
  public:
    /// With `applyLanguage`, creation applies "current.lng" to all windows
    /// that exist, when that file exists.
    explicit TFormAbout(QWidget* parent = nullptr, bool applyLanguage = true);

    QPlainTextEdit* Memo1() const { return memo1_; }

    /// Prints every line of the help text on `device`; an error is shown
    /// to the user and the window stays open. Returns whether it printed.
    bool PrintHelp(TextDevice& device);

  public slots:
    void SpeedButton1Click();
    /// "Print...": the help text on the default printer.
    void SpeedButton2Click();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void FormCreate(bool applyLanguage);

    QWidget* image1_ = nullptr;
    QLabel* label1_ = nullptr;
    QToolButton* speedButton1_ = nullptr;
    QToolButton* speedButton2_ = nullptr;
    QPlainTextEdit* memo1_ = nullptr;
};

}  // namespace nocturo
