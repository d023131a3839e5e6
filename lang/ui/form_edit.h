#pragma once
// TFormEdit: the language file editor. A plain-text editor with load, save,
// clipboard, find and replace. Section and key lines are shown indented;
// the indent is display only and never saved.

#include <QDialog>
#include <QString>
#include <memory>

class QAction;
class QPushButton;
class QTextEdit;

namespace nocturo {

class TFindDialog;
struct FileDialogOptions;

class TFormEdit : public QDialog {
    Q_OBJECT
  public:
    explicit TFormEdit(QWidget* parent = nullptr);
    ~TFormEdit() override;

    /// Loads the file at `path`, or, when there is none, asks for one in
    /// `folder`; then shows the editor modally. `filter` serves the save
    /// dialog (and the open dialog, "*.*|*.*" when empty).
    int OpenEditor(const QString& path, const QString& folder, const QString& filter);

    /// Loads a file into the editor (an empty or missing path leaves an
    /// empty text; a missing one is the file that saving creates). A file
    /// that cannot be loaded (too large, unreadable, no regular file) is
    /// reported and leaves an empty text and no file, so that it is never
    /// saved over.
    void LoadEditorFile(const QString& path);
    /// Saves the text as plain lines; false with a message to the user
    /// when the file could not be written (the old one then stays whole).
    bool SaveEditorFile(const QString& path);

    QString CurrentPath() const { return currentPath_; }
    QTextEdit* RichEdit1() const { return richEdit1_; }
    TFindDialog* FindDialog1() const { return findDialog1_; }
    TFindDialog* ReplaceDialog1() const { return replaceDialog1_; }

    /// Closes the editor; unsaved changes are asked about (Yes saves, No
    /// discards, Cancel keeps the editor open), unless the Cancel button
    /// closes it.
    void done(int result) override;

  public slots:
    /// Asks about unsaved changes first, as closing does.
    void BitBtnLoadClick();
    /// Closes the editor and discards its changes without a question.
    void BitBtnCancelClick();
    void BitBtnSaveClick();
    void MenuEdit_SearchClick();
    void Remplacer1Click();
    void FindDialog1Find();
    void ReplaceDialog1Find();
    void ReplaceDialog1Replace();

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    /// When the text has changed, asks whether to save it: true when the
    /// text may go (saved, or No), false on Cancel or a failed save.
    bool SettleChanges();
    /// Searches the dialog's text from the end of the selection, or from
    /// the start of the text when nothing is selected.
    void FindNext(TFindDialog* dialog);
    void ShowDialog(TFindDialog* dialog);
    QAction* AddItem(class QMenu* menu, const char* name, const QString& caption,
                     const QKeySequence& shortcut = {});

    QTextEdit* richEdit1_ = nullptr;
    TFindDialog* findDialog1_ = nullptr;
    TFindDialog* replaceDialog1_ = nullptr;
    std::unique_ptr<FileDialogOptions> openDialog1_;
    std::unique_ptr<FileDialogOptions> saveDialog1_;
    QString currentPath_;
    bool discarding_ = false;
};

}  // namespace nocturo
