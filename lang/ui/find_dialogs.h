#pragma once
// The find and replace dialogs of the language file editor: small
// modeless windows that only collect what to look for; the editor does the
// searching when they signal.

#include <QDialog>

class QCheckBox;
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

  private:
    QLineEdit* findEdit_ = nullptr;
    QLineEdit* replaceEdit_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    QCheckBox* wholeWord_ = nullptr;
};

}  // namespace nocturo
