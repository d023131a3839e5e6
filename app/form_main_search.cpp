// The search commands of the main window: "Search / Crop" and the meteor
// search of "MeteorMax...".

#include <QAction>

#include "app/form_main.h"
#include "app/qt_run_host.h"
#include "engine/meteor_search.h"
#include "engine/search_run.h"
#include "engine/ui/form_search.h"
#include "lang/language_strings.h"
#include "widgets/dialogs.h"

namespace nocturo {

void TFormMain::CreateSearchWindow() {
    formSearch_ = new TFormSearch(this);
    formSearch_->SetClearRightList([this] { SearchClearRightList(); });
}

void TFormMain::SearchClearRightList() {
    // Asked from the modal parameters window: the right list is cleared
    // whichever window is active.
    lists_.SetCurrentList(ListSide::Right);
    const bool cleared = lists_.ClearRightList([this] {
        return Dialogs::Get().Message(formSearch_, QString::fromStdString(Lng().kstclearlist),
                                      QString::fromStdString(Lng().kstcaption2),
                                      {DialogButton::Ok, DialogButton::Cancel}) == DialogButton::Ok;
    });
    if (cleared) {
        ShowImage(nullptr, true);
        ShowListEntry(RightList().Current(), RightList());
    }
}

void TFormMain::RunSearchCommand(bool (*operation)(RgbImage&, const SearchParams&, bool),
                                 bool withOutput) {
    RunExclusive([this, operation, withOutput] {
        RunContext context{lists_, run_, *host_};
        if (withOutput) {
            AskSearchOutput(context, operation, *formSearch_);
        } else {
            RunSearch(context, operation, false, std::string(), std::string(), *formSearch_);
        }
        host_->Flush();
    });
}

void TFormMain::Search1Click() {
    RunSearchCommand(DetectObject, false);
}

void TFormMain::SearchSave1Click() {
    RunSearchCommand(DetectObject, true);
}

void TFormMain::Crop1Click() {
    RunSearchCommand(MarkObject, true);
}

void TFormMain::CropSave1Click() {
    RunSearchCommand(CropObject, true);
}

void TFormMain::MaximumSearch1Click() {
    RunExclusive([this] {
        RunContext context{lists_, run_, *host_};
        MaximumSearch(context, markedX_, markedY_);
        host_->Flush();
    });
}

}  // namespace nocturo
