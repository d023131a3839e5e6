#pragma once
// The find and replace dialogs of the language file editor: small
// modeless windows that only collect what to look for; the editor does the
// searching when they signal.

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace nocturo {

class TFindDialog : public QDialog {
    Q_OBJECT
  public:
    /// `replace` adds the replacement field and the replace buttons. The
    /// match-case and whole-word boxes show only when `showOptions`.
    TFindDialog(bool replace, bool showOptions, QWidget* parent);

    QString FindText() const;
    void SetFindText(const QString& text);
    QString ReplaceText() const;
    void SetReplaceText(const QString& text);
    bool MatchCase() const;
    void SetMatchCase(bool on);
    bool WholeWord() const;
    void SetWholeWord(bool on);

  signals:
    /// "Find Next" (or F3 in the dialog).
    void find();
    /// "Replace" or "Replace All": each replaces one occurrence.
    void replace();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    /// The texts in the language in force.
    void ShowTexts();

    bool replaceMode_ = false;
    QLineEdit* findEdit_ = nullptr;
    QLineEdit* replaceEdit_ = nullptr;
    QLabel* findLabel_ = nullptr;
    QLabel* replaceLabel_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    QCheckBox* wholeWord_ = nullptr;
    QPushButton* findNext_ = nullptr;
    QPushButton* replaceOne_ = nullptr;
    QPushButton* replaceAll_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace nocturo
