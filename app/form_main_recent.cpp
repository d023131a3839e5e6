// The main window's memory between sessions: "Files" > "Recent lists" and
// the folders of the file dialogs.

#include <QAction>
#include <QFileInfo>
#include <QMenu>

#include "app/form_main.h"
#include "app/program_settings.h"
#include "widgets/file_places.h"

namespace nocturo {

void TFormMain::BuildRecentListsMenu(QMenu* files) {
    recentLists1_ = files->addMenu(QStringLiteral("Recent lists"));
    recentLists1_->setObjectName("RecentLists1");
    recentLists1_->menuAction()->setObjectName("RecentLists1");
    actions_["RecentLists1"] = recentLists1_->menuAction();
    // A file can vanish while the window is open: the menu is filled when
    // it opens.
    connect(recentLists1_, &QMenu::aboutToShow, this, &TFormMain::FillRecentListsMenu);
    clearRecentLists1_ = new QAction(QStringLiteral("Clear"), this);
    clearRecentLists1_->setObjectName("ClearRecentLists1");
    actions_["ClearRecentLists1"] = clearRecentLists1_;
    connect(clearRecentLists1_, &QAction::triggered, this, &TFormMain::ClearRecentLists1Click);
    FillRecentListsMenu();
}

void TFormMain::FillRecentListsMenu() {
    // The file actions are rebuilt; "Clear" stays the window's.
    for (QAction* action : recentLists1_->actions()) {
        recentLists1_->removeAction(action);
        if (action != clearRecentLists1_) {
            action->deleteLater();
        }
    }
    int number = 1;
    for (const std::string& path : recentLists_.Paths()) {
        const QString name = QString::fromStdString(path);
        auto* action = new QAction(QStringLiteral("&%1 %2").arg(number++).arg(name), recentLists1_);
        // A file that is gone stays in sight, greyed, until "Clear".
        action->setEnabled(QFileInfo(name).isFile());
        connect(action, &QAction::triggered, this, [this, name] { OpenRecentList(name); });
        recentLists1_->addAction(action);
    }
    recentLists1_->addSeparator();
    recentLists1_->addAction(clearRecentLists1_);
    clearRecentLists1_->setEnabled(!recentLists_.Paths().empty());
}

void TFormMain::OpenRecentList(const QString& fileName) {
    if (busy_) {
        return;
    }
    FileList& list = CurrentList();
    FilePlaces::Session().Remember(FileKind::Lists, fileName);
    if (LoadListFile(fileName)) {
        RememberRecentList(fileName);
    }
    ShowListEntry(list.Current(), list);
}

void TFormMain::RememberRecentList(const QString& fileName) {
    recentLists_.Add(QFileInfo(fileName).absoluteFilePath().toStdString());
    FillRecentListsMenu();
    SaveSettings();
}

void TFormMain::ClearRecentLists1Click() {
    recentLists_.Clear();
    FillRecentListsMenu();
    SaveSettings();
}

void TFormMain::SetSettingsFile(const std::string& path) {
    settingsFile_ = path;
    LoadProgramSettings(settingsFile_, recentLists_, FilePlaces::Session());
    FillRecentListsMenu();
}

void TFormMain::SaveSettings() const {
    if (!settingsFile_.empty()) {
        SaveProgramSettings(settingsFile_, recentLists_, FilePlaces::Session());
    }
}

}  // namespace nocturo
