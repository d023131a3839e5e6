#pragma once
// TFormSelDir, the mask directory browser ("Mask Directory"): the subfolders
// of the current folder for navigation, and beside them the files of the
// folder that pass a name mask and an extension filter, all checked. "OK"
// hands the checked files to a receiver (the main window appends them to its
// left list), without the size limit of a multi-selection file dialog.
//
// The folder's file names are read once when a folder is opened, when the
// window is shown and on a refresh; every change of the mask or the filter
// refilters those names in memory.

#include <QModelIndex>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "lists/file_list.h"
#include "lists/file_mask.h"

class QAbstractItemView;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QToolButton;
class QTreeView;

namespace nocturo {

class CheckListBox;
class FolderCellDelegate;
class FolderModel;

class TFormSelDir : public QWidget {
    Q_OBJECT
  public:
    /// How the folder view shows its items; the values are the view
    /// buttons' tags.
    enum ViewStyle { LargeIcons = 0, SmallIcons = 1, List = 2, Report = 3 };

    /// A tool window of `parent` (the main window): it stays above it, yet
    /// below the questions and file dialogs of every window, and the
    /// parent's menu shortcuts keep working while it is active.
    explicit TFormSelDir(QWidget* parent = nullptr);
    ~TFormSelDir() override;

    /// The file list (CheckListBox1's entries).
    FileList& Files() { return files_; }
    /// Called by "OK"; none at start.
    void SetReceiver(std::function<void()> receiver) { receiver_ = std::move(receiver); }
    /// How a double-clicked file is opened with its associated program;
    /// returns false when that failed. The desktop's service by default.
    void SetFileOpener(std::function<bool(const QString&)> opener) { opener_ = std::move(opener); }

    /// The current folder's full path, without a trailing delimiter except
    /// for "/".
    QString CurrentFolder() const { return currentFolder_; }
    /// The folders visited, newest first (the entries of cbPath).
    QStringList History() const;
    ViewStyle GetViewStyle() const { return viewStyle_; }
    /// The folder view's model (subfolders of the current folder).
    nocturo::FolderModel* Folders() const { return model_; }

    /// Opens a folder: the folder view shows its subfolders, cbPath lists
    /// it, and the file list is filled from it. A folder that does not exist
    /// or cannot be read is reported in a message box and the browser keeps
    /// its folder; returns false then.
    bool OpenFolder(const QString& path);
    /// Reads the current folder's names again and fills the file list.
    void FillFileList();
    /// Fills the file list from the names already read (mask or filter
    /// changed).
    void RefilterFileList();
    /// F5: reads the current folder's subfolders and files again.
    void Refresh();

  public slots:
    void btnBrowseClick();
    void btnBackClick();
    void btnLargeIconsClick(int tag);
    void cbPathClick(int index);
    void ListViewDblClick(const QModelIndex& index);
    void EditNameChange();
    void FilterComboBox1Select(int index);
    void ToolButtonCheckClick();
    void BitBtnOkClick();
    void BitBtnCloseClick();
    // PopupMenu1
    void TestValidPictures1Click();
    void CheckSelectionClick();
    void UncheckSelectionClick();
    void InvertCheckSelectionClick();
    void CheckAllClick();
    void UnCheckAllClick();
    void InvertCheckAllClick();
    void SelectAllClick();
    void UnselectAllClick();

  signals:
    /// The window became the active window, or stopped being it.
    void activeChanged(bool active);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormCreate();
    /// The window-level keys; true when the key was used.
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    /// Enter opens the typed path.
    void cbPathKeyDown();
    /// Enter opens the selected folder, Backspace the parent.
    bool ListViewKeyDown(int key);
    void CheckListBox1DblClick(int row);
    /// Selects the folder item of `path` in both folder views, or the first
    /// item when there is none such.
    void SelectFolderItem(const QString& path);
    /// Sizes the folder view's cells to its widest name, within the pane.
    void FitFolderGrid();
    QAbstractItemView* ActiveView() const;
    /// Applies `change` to every entry, as one change of the list.
    void ForEachEntry(const std::function<void(FileList&, int)>& change);

    FileList files_;
    FolderFiles folderFiles_;
    std::function<void()> receiver_;
    std::function<bool(const QString&)> opener_;
    QString currentFolder_;
    ViewStyle viewStyle_ = SmallIcons;

    FolderModel* model_ = nullptr;
    QWidget* coolBar1_ = nullptr;
    QToolBar* toolBar2_ = nullptr;
    QComboBox* cbPath_ = nullptr;
    QStackedWidget* listView_ = nullptr;
    QListView* iconView_ = nullptr;
    QTreeView* reportView_ = nullptr;
    FolderCellDelegate* folderCells_ = nullptr;
    QSplitter* splitter1_ = nullptr;
    CheckListBox* checkListBox1_ = nullptr;
    QWidget* panel1_ = nullptr;
    QLineEdit* editName_ = nullptr;
    QComboBox* filterComboBox1_ = nullptr;
    QPushButton* bitBtnOk_ = nullptr;
    QPushButton* bitBtnClose_ = nullptr;
    QMenu* popupMenu1_ = nullptr;
    QToolButton* toolButtonCheck_ = nullptr;
};

}  // namespace nocturo
