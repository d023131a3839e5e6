// The list handlers of the main window: the "Current List" menu, the list
// tool bars, filling, clearing, testing and redirecting the lists.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QToolButton>

#include "app/form_main.h"
#include "app/run_progress_bar.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "engine/view_decoder.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"
#include "lists/ui/check_list_box.h"
#include "viewer/fly_image.h"
#include "widgets/busy_cursor.h"
#include "widgets/dialogs.h"
#include "widgets/file_places.h"
#include "widgets/qt_text.h"

namespace nocturo {

namespace {

constexpr const char* kOpenPicturesFilter =
    "All "
    "Images|*.BMP;*.JPG;*.JPS;*.JPEG;*.PNG;*.TIF;*.TIFF;*.GIF;*.ICO;*.WMF;*."
    "EMF;" NOCTURO_RAW_PATTERNS
    "|BMP Files|*.BMP|JPG Files|*.JPG;*.JPS;*.JPEG|PNG Files|*.PNG|TIF Files|*.TIF;*.TIFF|GIF "
    "Files|*.GIF|RAW Files|" NOCTURO_RAW_PATTERNS
    "|ICO Files|*.ICO|WMF Files|*.WMF|EMF Files|*.EMF|All Files (*.*)|*.*";

// Appends names checked and enabled, as every filling command does.
void AppendChecked(FileList& list, const QStringList& files) {
    std::vector<ListEntry> entries;
    entries.reserve(static_cast<size_t>(files.size()));
    for (const QString& file : files) {
        entries.push_back(ListEntry{file.toStdString(), true, true, false});
    }
    list.AppendEntries(std::move(entries));
}

// Dropped folders bring their pictures, in name order; files come as they are.
QStringList ExpandDropped(const QStringList& paths) {
    QStringList files;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            QDir dir(path);
            const QFileInfoList pictures =
                dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
            for (const QFileInfo& picture : pictures) {
                if (IsLoadableName(picture.absoluteFilePath().toStdString())) {
                    files << picture.absoluteFilePath();
                }
            }
        } else if (info.exists()) {
            files << info.absoluteFilePath();
        }
    }
    return files;
}

}  // namespace

CheckListBox* TFormMain::ListBoxOf(const FileList& list) const {
    if (&list == &lists_.Left()) {
        return listBox1_;
    }
    if (&list == &lists_.Right()) {
        return listBox2_;
    }
    return nullptr;
}

void TFormMain::EnableEntry(int index, FileList& list) {
    nocturo::EnableEntry(index, list);
    ProcessPendingEvents();
}

void TFormMain::DisableEntry(int index, FileList& list) {
    nocturo::DisableEntry(index, list);
    ProcessPendingEvents();
}

// --- which list is current --------------------------------------------------

void TFormMain::ListBoxEnter(ListSide side) {
    lists_.SetCurrentList(side);
    if (CheckListBox* box = ListBoxOf(CurrentList()); box != nullptr && !box->hasFocus()) {
        box->setFocus(Qt::OtherFocusReason);
    }
    const bool left = lists_.CurrentSide() == ListSide::Left;
    ListBoxEnterTexts();
    listBox1_->SetIsCurrentList(left);
    listBox2_->SetIsCurrentList(!left);
    toolButtonFocus1_->setChecked(left);
    toolButtonFocus2_->setChecked(!left);
}

void TFormMain::ListBoxEnterTexts() {
    const std::string& word =
        lists_.CurrentSide() == ListSide::Left ? Lng().kstleft : Lng().kstright;
    Action("LoadList1")->setText(Q(FormatText(Lng().kstloadcaption, word)));
    Action("SaveList1")->setText(Q(FormatText(Lng().kstsavecaption, word)));
}

void TFormMain::ToolBar1Click() {
    ListBoxEnter(ListSide::Left);
}

void TFormMain::ToolBar2Click() {
    ListBoxEnter(ListSide::Right);
}

void TFormMain::ListBoxClick(ListSide side, int index) {
    ShowListEntry(index, lists_.List(side));
}

void TFormMain::ShowCurrentEntry(FileList& list) {
    ShowListEntry(list.Current(), list);
}

// --- filling ----------------------------------------------------------------

void TFormMain::NewList1Click() {
    ListBoxEnter(ListSide::Left);
    FileList& list = CurrentList();
    list.SetSorted(false);
    FileDialogOptions dialog;
    dialog.filter = kOpenPicturesFilter;
    dialog.defaultExtension = "BMP";
    FilePlaces::Session().Propose(FileKind::Frames, dialog, QString(), nullptr);
    const QStringList chosen = Dialogs::Get().OpenFileNames(this, dialog);
    if (!chosen.isEmpty()) {
        FilePlaces::Session().Remember(FileKind::Frames, chosen.first(), dialog.filterIndex);
        ClearList1Click();
        const int first = list.Count();
        AppendChecked(list, chosen);
        // Show what was just chosen, as the command-line start does: the
        // first new entry becomes current (after the old entries when the
        // clearing was cancelled).
        if (first < list.Count()) {
            list.SetCurrent(first);
            list.SetSelected(first, true);
        }
    }
    ShowListEntry(list.Current(), list);
    if (!list.IsEmpty() && list.Current() < 0) {
        list.SetCurrent(0);
    }
    if (list.Current() == 0) {
        list.SetSelected(0, true);
    }
}

void TFormMain::OpenFiles(const QStringList& files) {
    const QStringList pictures = ExpandDropped(files);
    if (pictures.isEmpty()) {
        return;
    }
    ListBoxEnter(ListSide::Left);
    FileList& list = LeftList();
    list.SetSorted(false);
    ClearList1Click();
    AppendChecked(list, pictures);
    if (!list.IsEmpty() && list.Current() < 0) {
        list.SetCurrent(0);
        list.SetSelected(0, true);
    }
    ShowListEntry(list.Current(), list);
}

void TFormMain::FilesDropped(ListSide side, const QStringList& files) {
    if (busy_ && side == ListSide::Left) {
        return;  // a run walks the left list by position
    }
    const QStringList pictures = ExpandDropped(files);
    FileList& list = lists_.List(side);
    AppendChecked(list, pictures);
    if (!list.IsEmpty() && list.Current() < 0) {
        list.SetCurrent(0);
        list.SetSelected(0, true);
        ShowListEntry(0, list);
    }
}

// --- clearing ---------------------------------------------------------------

void TFormMain::ClearList1Click() {
    if (!IsMainWindowActive()) {
        return;
    }
    FileList& list = CurrentList();
    if (!list.IsEmpty() &&
        Dialogs::Get().Message(this, Q(Lng().kstclearlist), ListTitle(),
                               {DialogButton::Ok, DialogButton::Cancel}) != DialogButton::Ok) {
        return;
    }
    ResetList(list);
    ShowImage(nullptr, true);
    ShowCurrentEntry(list);
}

void TFormMain::ClearSelection1Click() {
    if (!IsMainWindowActive()) {
        return;
    }
    FileList& list = CurrentList();
    if (list.IsEmpty()) {
        return;
    }
    if (Dialogs::Get().Message(this, Q(Lng().kstclearselection), ListTitle(),
                               {DialogButton::Ok, DialogButton::Cancel}) != DialogButton::Ok) {
        return;
    }
    DeleteSelection(list);
    ShowCurrentEntry(list);
}

void TFormMain::ClearSelected1Click() {
    ListBoxEnter(ListSide::Left);
    ClearSelection1Click();
}

void TFormMain::ToolButtonDelete2Click() {
    ListBoxEnter(ListSide::Right);
    ClearSelection1Click();
}

// --- selection and check marks ----------------------------------------------

void TFormMain::SelectallClick() {
    SelectAll(CurrentList());
}

void TFormMain::UnselectAllClick() {
    UnselectAll(CurrentList());
}

void TFormMain::InvertSelectAllClick() {
    FileList& list = CurrentList();
    const int current = list.Current();
    InvertSelectAll(list);
    ShowListEntry(current, list);
    list.SetCurrent(current);
}

void TFormMain::CheckAllClick() {
    CheckAll(CurrentList());
}

void TFormMain::UncheckAllClick() {
    UncheckAll(CurrentList());
}

void TFormMain::InvertCheckAllClick() {
    InvertCheckAll(CurrentList());
}

void TFormMain::CheckSelectionClick() {
    CheckSelection(CurrentList());
}

void TFormMain::UncheckSelectionClick() {
    UncheckSelection(CurrentList());
}

void TFormMain::InvertCheckSelectionClick() {
    InvertCheckSelection(CurrentList());
}

// --- moving, copying, swapping ----------------------------------------------

void TFormMain::ToolButtonUp1Click() {
    ListBoxEnter(ListSide::Left);
    MoveUp(LeftList());
}

void TFormMain::ToolButtonDown1Click() {
    ListBoxEnter(ListSide::Left);
    MoveDown(LeftList());
}

void TFormMain::ToolButtonUp2Click() {
    ListBoxEnter(ListSide::Right);
    MoveUp(RightList());
}

void TFormMain::ToolButtonDown2Click() {
    ListBoxEnter(ListSide::Right);
    MoveDown(RightList());
}

void TFormMain::Sendtobottom1Click() {
    SendToEnd(CurrentList());
}

void TFormMain::ToolButtonCopyList2Click() {
    ListBoxEnter(ListSide::Right);
    CopySelected(LeftList(), RightList());
}

void TFormMain::ToolButtonCopyList1Click() {
    ListBoxEnter(ListSide::Left);
    CopySelected(RightList(), LeftList());
}

void TFormMain::ToolButtonSwapClick() {
    const ListSide before = lists_.CurrentSide();
    nocturo::Swap(LeftList(), RightList());
    ListBoxEnter(before == ListSide::Left ? ListSide::Right : ListSide::Left);
}

// --- sorting ----------------------------------------------------------------

void TFormMain::SortbyNum1Click() {
    SortByNumber(LeftList(), SortThreshold(run_.Steps.StartNumber, run_.Steps.ForceStartNumber));
    CheckAll(LeftList());
}

// --- testing and redirecting ------------------------------------------------

void TFormMain::Testvalidpictures1Click() {
    if (IsMainWindowActive()) {
        TestPictures();
    }
}

void TFormMain::TestPictures() {
    RunExclusive([this] {
        FileList& list = CurrentList();
        int errors = 0;
        int referenceWidth = -1;
        int referenceHeight = -1;
        run_.PauseRequested = false;
        viewDecodeTicket_ = 0;  // the view shows every picture tested
        viewDecoder_->Cancel();
        // The abort button ends the test, and so does a request to close.
        for (int i = 0; i < list.Count() && !run_.PauseRequested && !closePending_; ++i) {
            const std::string name = list.Text(i);
            int format = kPixelFormat24;
            const bool loaded =
                LoadImageFile(image1_->Picture(), name, LoadOptions{run_.Depth}, &format);
            image1_->PictureChanged();
            // The first picture that loads sets the size the others must
            // have: a missing or broken first entry must not fail the rest.
            if (loaded && referenceWidth < 0) {
                referenceWidth = image1_->Picture().Width();
                referenceHeight = image1_->Picture().Height();
            }
            if (loaded && image1_->Picture().Width() == referenceWidth &&
                image1_->Picture().Height() == referenceHeight) {
                RefreshInfoImageIfVisible();
                EnableEntry(i, list);
                ShowStatus(i, QString::fromStdString(name), list, true);
            } else {
                ++errors;
                DisableEntry(i, list);
                ShowStatus(-i, Q(FormatText(Lng().kstunknownformat, name)), list, false);
            }
            progressBar_->Report(i + 1, list.Count());
            image1_->repaint();
            ProcessPendingEvents();
        }
        Dialogs::Get().Message(this, Q(FormatText(Lng().lngfilesinerror, errors)),
                               Q(Lng().lngtestpictures), {DialogButton::Ok},
                               MessageKind::Information);
    });
}

void TFormMain::Redirect1Click() {
    // The folder dialog's title is the item's hint, as the status bar shows it.
    QString folder = Dialogs::Get().Folder(this, Action("Redirect1")->statusTip(), QString());
    if (folder.isEmpty()) {
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        const QString caption = PlainCaption(Action("Redirect1")->text());
        if (Dialogs::Get().Message(
                this, Q(FormatText(Lng().txtFolderMissingCreate, folder.toStdString())), caption,
                {DialogButton::Yes, DialogButton::No}) != DialogButton::Yes) {
            return;
        }
        if (!QDir().mkpath(folder)) {
            Dialogs::Get().Message(this,
                                   Q(FormatText(Lng().txtCannotCreateFolder, folder.toStdString())),
                                   caption, {DialogButton::Ok}, MessageKind::Error);
            return;
        }
    }
    FileList& list = CurrentList();
    {
        const BusyCursor busy;
        Redirect(list, QDir::cleanPath(folder).toStdString());
    }
    TestPictures();
    ShowCurrentEntry(list);
}

}  // namespace nocturo
