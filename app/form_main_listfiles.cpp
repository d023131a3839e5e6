// List files and the mask directory browser, as the main window runs them:
// "Load Current List...", "Save Current List...", "New list (Unlimited)" and
// the browser's "OK".

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include "app/form_main.h"
#include "core/image_file.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"
#include "lists/list_file.h"
#include "lists/ui/form_sel_dir.h"
#include "widgets/busy_cursor.h"
#include "widgets/dialogs.h"
#include "widgets/file_places.h"

namespace nocturo {

namespace {

constexpr const char* kListFileFilter = "*.txt|*.txt|*.*|*.*";
constexpr const char* kListFileName = "processlist.txt";

// Letting pending events run after every one of 50,000 entries would cost
// more than the entries; every few milliseconds keeps the window responsive.
constexpr qint64 kPumpIntervalMs = 15;

// A list dialog never proposes a picture: one "Yes" would replace it with a
// list.
bool SuitsList(const QString& name) {
    return !IsLoadableName(name.toStdString());
}

// The list dialogs' options: the list files' own folder and last name.
FileDialogOptions ListDialog() {
    FileDialogOptions dialog;
    dialog.filter = kListFileFilter;
    dialog.filterIndex = 1;
    FilePlaces::Session().Propose(FileKind::Lists, dialog, kListFileName, SuitsList);
    return dialog;
}

std::string LocalName(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

// Lets pending events run, at most every kPumpIntervalMs.
class SpacedPump {
  public:
    SpacedPump() { timer_.start(); }
    void operator()() {
        if (timer_.elapsed() >= kPumpIntervalMs) {
            QCoreApplication::processEvents();
            timer_.restart();
        }
    }

  private:
    QElapsedTimer timer_;
};

}  // namespace

// --- list files ---------------------------------------------------------------

void TFormMain::SaveList1Click() {
    FileDialogOptions dialog = ListDialog();
    const QString chosen = Dialogs::Get().SaveFileName(this, dialog);
    if (chosen.isEmpty()) {
        return;
    }
    if (QFileInfo::exists(chosen) &&
        Dialogs::Get().Message(
            this, QString::fromStdString(FormatText(Lng().kstoverwrite, chosen.toStdString())),
            QString::fromStdString(Lng().kstfileexists),
            {DialogButton::Yes, DialogButton::No}) != DialogButton::Yes) {
        return;
    }
    FilePlaces::Session().Remember(FileKind::Lists, chosen);
    SaveListFile(chosen);
}

bool TFormMain::SaveListFile(const QString& fileName) {
    const FileList& list = CurrentList();
    BusyCursor busy;
    SpacedPump pump;
    std::string error;
    if (nocturo::SaveListFile(list, LocalName(fileName), &error, [&] { pump(); })) {
        return true;
    }
    Dialogs::Get().Message(this, QString::fromStdString(LocalizedError(error)),
                           Action("SaveList1")->text(), {DialogButton::Ok}, MessageKind::Error);
    return false;
}

void TFormMain::LoadList1Click() {
    FileDialogOptions dialog = ListDialog();
    const QString chosen = Dialogs::Get().OpenFileName(this, dialog);
    FileList& list = CurrentList();
    if (!chosen.isEmpty()) {
        FilePlaces::Session().Remember(FileKind::Lists, chosen);
        LoadListFile(chosen);
    }
    ShowListEntry(list.Current(), list);
}

bool TFormMain::LoadListFile(const QString& fileName) {
    bool loaded = false;
    RunExclusive([&] {
        FileList& list = CurrentList();
        std::vector<ListEntry> entries;
        std::string error;
        {
            BusyCursor busy;
            SpacedPump pump;
            if (!ReadListFile(LocalName(fileName), entries, &error, [&] { pump(); })) {
                entries.clear();
            } else {
                loaded = true;
            }
        }
        if (!loaded) {
            Dialogs::Get().Message(this, QString::fromStdString(LocalizedError(error)),
                                   Action("LoadList1")->text(), {DialogButton::Ok},
                                   MessageKind::Error);
            return;
        }
        // The list may have changed while events ran; ask about it as it is
        // now. The browser's list is not the window's to clear.
        if (&list == &LeftList() || &list == &RightList()) {
            ClearList1Click();
        }
        BusyCursor busy;
        list.AppendEntries(std::move(entries));
    });
    return loaded;
}

// --- the mask directory browser -------------------------------------------------

void TFormMain::NewDirectory1Click() {
    ListBoxEnter(ListSide::Left);
    formSelDir_->SetReceiver([this] { AddBrowserFiles(); });
    formSelDir_->show();
    formSelDir_->raise();
    formSelDir_->activateWindow();
}

void TFormMain::AddBrowserFiles() {
    const FileList& files = formSelDir_->Files();
    if (files.IsEmpty() || busy_) {
        return;  // nothing to add; a run walks the left list by position
    }
    // The window manager activates the window later; until then the
    // commands below act as if it were active.
    raise();
    activateWindow();
    activating_ = true;
    lists_.SetCurrentListOverride(nullptr);
    ListBoxEnter(ListSide::Left);
    ClearList1Click();
    activating_ = false;

    FileList& list = LeftList();
    std::vector<ListEntry> entries;
    entries.reserve(static_cast<size_t>(files.Count()));
    for (const ListEntry& entry : files.Entries()) {
        if (entry.checked) {
            entries.push_back(ListEntry{entry.text, true, true, false});
        }
    }
    list.AppendEntries(std::move(entries));
    if (!list.IsEmpty() && list.Current() < 0) {
        list.SetCurrent(0);
    }
    if (list.Current() == 0) {
        list.SetSelected(0, true);
    }
    ShowListEntry(list.Current(), list);
}

}  // namespace nocturo
