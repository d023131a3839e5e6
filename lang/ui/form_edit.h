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
    /// empty text and no file).
    void LoadEditorFile(const QString& path);
    /// Saves the text as plain lines; false with a message to the user
    /// when the file could not be written (the old one then stays whole).
    bool SaveEditorFile(const QString& path);

    QString CurrentPath() const { return currentPath_; }
    QTextEdit* RichEdit1() const { return richEdit1_; }
    TFindDialog* FindDialog1() const { return findDialog1_; }
    TFindDialog* ReplaceDialog1() const { return replaceDialog1_; }

    /// Closes the editor; with Accepted, unsaved changes are asked about.
    void done(int result) override;

  public slots:
    void BitBtnLoadClick();
    void BitBtnSaveClick();
    void MenuEdit_SearchClick();
    void Remplacer1Click();
    void FindDialog1Find();
    void ReplaceDialog1Find();
    void ReplaceDialog1Replace();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
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
};

}  // namespace nocturo
