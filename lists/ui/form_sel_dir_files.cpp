// The folder browser's file list: filled from the folder shown, filtered by
// name and mask, and its check and selection commands.

#include <unistd.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <functional>
#include <string>

#include "core/image_file.h"
#include "lang/language_strings.h"
#include "lists/ui/check_list_box.h"
#include "lists/ui/folder_model.h"
#include "lists/ui/form_sel_dir.h"
#include "lists/ui/local_path.h"
#include "widgets/busy_cursor.h"
#include "widgets/dialogs.h"

namespace nocturo {

namespace {

// Runs the browser's check and selection commands over a file list.
void SetAll(FileList& list, const std::function<void(FileList&, int)>& change) {
    FileList::UpdateGuard update(list);
    for (int i = 0; i < list.Count(); ++i) {
        change(list, i);
    }
}

}  // namespace

void TFormSelDir::FillFileList() {
    if (currentFolder_.isEmpty()) {
        return;
    }
    const std::string folder = PathToBytes(currentFolder_);
    // File dialogs without a start folder open here afterwards. A folder
    // removed meanwhile is reported by reading it below.
    [[maybe_unused]] const int changed = ::chdir(folder.c_str());
    std::string error;
    bool read = false;
    {
        const BusyCursor busy;
        read = folderFiles_.Open(folder, &error);
        RefilterFileList();
    }
    if (!read) {
        Dialogs::Get().Message(this, QString::fromStdString(LocalizedError(error)), windowTitle(),
                               {DialogButton::Ok}, MessageKind::Error);
    }
}

void TFormSelDir::Refresh() {
    if (!currentFolder_.isEmpty()) {
        // Folders made meanwhile appear; the selected one stays selected.
        const QString selected = model_->FilePath(ActiveView()->currentIndex());
        model_->SetFolder(currentFolder_);
        SelectFolderItem(selected);
        FillFileList();
    }
}

void TFormSelDir::RefilterFileList() {
    folderFiles_.Fill(files_, editName_->text().toStdString(),
                      filterComboBox1_->currentText().toStdString());
}

void TFormSelDir::EditNameChange() {
    RefilterFileList();
}

void TFormSelDir::FilterComboBox1Select(int) {
    RefilterFileList();
}

void TFormSelDir::CheckListBox1DblClick(int row) {
    if (!files_.IsValidIndex(row)) {
        return;
    }
    const QString file = PathFromBytes(files_.Text(row));
    if (!opener_(file)) {
        // The codes the desktop used to answer with: 2 for a file that is
        // not there, 31 for one without an associated program.
        const int code = ::access(files_.Text(row).c_str(), F_OK) == 0 ? 31 : 2;
        Dialogs::Get().Message(this, QString::number(std::abs(code)),
                               QString::fromStdString(Lng().txtFailToOpen), {DialogButton::Ok},
                               MessageKind::Error);
    }
}

void TFormSelDir::ForEachEntry(const std::function<void(FileList&, int)>& change) {
    SetAll(files_, change);
}

void TFormSelDir::ToolButtonCheckClick() {
    ForEachEntry([](FileList& l, int i) { l.SetChecked(i, l.IsSelected(i)); });
}

void TFormSelDir::TestValidPictures1Click() {
    ForEachEntry([](FileList& l, int i) {
        const bool loadable = IsLoadableName(l.Text(i));
        l.SetEnabled(i, loadable);
        l.SetChecked(i, loadable);
    });
}

void TFormSelDir::CheckSelectionClick() {
    ForEachEntry([](FileList& l, int i) {
        if (l.IsSelected(i)) {
            l.SetChecked(i, true);
        }
    });
}

void TFormSelDir::UncheckSelectionClick() {
    ForEachEntry([](FileList& l, int i) {
        if (l.IsSelected(i)) {
            l.SetChecked(i, false);
        }
    });
}

void TFormSelDir::InvertCheckSelectionClick() {
    ForEachEntry([](FileList& l, int i) {
        if (l.IsSelected(i)) {
            l.SetChecked(i, !l.IsChecked(i));
        }
    });
}

void TFormSelDir::CheckAllClick() {
    ForEachEntry([](FileList& l, int i) { l.SetChecked(i, true); });
}

void TFormSelDir::UnCheckAllClick() {
    ForEachEntry([](FileList& l, int i) { l.SetChecked(i, false); });
}

void TFormSelDir::InvertCheckAllClick() {
    ForEachEntry([](FileList& l, int i) { l.SetChecked(i, !l.IsChecked(i)); });
}

void TFormSelDir::SelectAllClick() {
    ForEachEntry([](FileList& l, int i) { l.SetSelected(i, true); });
}

void TFormSelDir::UnselectAllClick() {
    ForEachEntry([](FileList& l, int i) { l.SetSelected(i, false); });
}

void TFormSelDir::BitBtnOkClick() {
    if (receiver_) {
        receiver_();
    }
}

void TFormSelDir::BitBtnCloseClick() {
    hide();
}

}  // namespace nocturo
