// The "Processing..." commands of the main window, the numbering options of
// the step files, and how a run shares the window with the user while it
// lets events run between frames.

#include <QAction>
#include <QString>
#include <algorithm>
#include <climits>
#include <string>

#include "app/form_main.h"
#include "app/qt_run_host.h"
#include "app/run_progress_bar.h"
#include "core/combine.h"
#include "core/text.h"
#include "engine/batch_command.h"
#include "engine/stacking_run.h"
#include "engine/step_saving.h"
#include "engine/ui/form_factor.h"
#include "engine/ui/form_num_format.h"
#include "engine/ui/form_process.h"
#include "lang/language_strings.h"
#include "widgets/dialogs.h"

namespace nocturo {

namespace {

// Commands that would fight a run over the left list, the result buffer or
// the step settings. While a run lets events through, the user can still
// look at entries, change check marks, save the result, use the right list
// and press the abort button.
constexpr const char* kFightingCommands[] = {
    // Processing...
    "GetMAX1", "GetMaxandSave1", "GetMAxThreshold1", "GetMaxTrhesholdandSave1", "Getmin1",
    "GetMinAndSave1", "GetMaxGray1", "GetMaxGrayandSavesteps1", "GetMinGray1",
    "GetMinGrayandSavesteps1", "Add1", "Sub1",
    // the other runs over the left list
    "MovingMax1", "NewBatchOperations1", "Search2", "SearchSave1", "Crop1", "CropSave1",
    "MaximumSearch1", "MakeVideo1",
    // filling, reordering and clearing the lists
    "NewDirectory1", "NewList1", "LoadList1", "Testvalidpictures1", "Redirect1", "SortbyNum1",
    "ClearSelection1", "Clearlist1", "Sendtobottom1", "SortList1", "ToolButtonOpen1",
    "ToolButtonDelete1", "ToolButtonCopyList1", "ToolButtonUp1", "ToolButtonDown1",
    "ToolButtonSwap",
    // the result buffer and the numbering of step files
    "ClearResult1", "numformat1"};

// The standard integer conversion of a typed number: optional leading
// blanks, an optional sign and decimal digits, nothing after them, within
// the signed 32-bit range. Anything else gives 0.
int32_t IntegerOrZero(const QString& text) {
    return ParseInt32(TrimLeft(text.toStdString())).value_or(0);
}

}  // namespace

// --- running while events are let through -----------------------------------

void TFormMain::RunExclusive(const std::function<void()>& command) {
    if (busy_) {
        return;  // the command already running owns the list and the result
    }
    SetBusy(true);
    progressBar_->Begin();
    try {
        command();
    } catch (...) {
        progressBar_->End();
        SetBusy(false);
        throw;
    }
    progressBar_->End();
    SetBusy(false);
    if (closePending_) {
        // Asked and answered during the command; the command has returned,
        // so nothing still runs on the window's stack.
        closePending_ = false;
        closeConfirmed_ = true;
        close();
    }
}

void TFormMain::SetBusy(bool busy) {
    busy_ = busy;
    if (busy) {
        for (const char* name : kFightingCommands) {
            QAction* action = Action(name);
            if (action != nullptr && action->isEnabled()) {
                action->setEnabled(false);
                disabledWhileBusy_.push_back(action);
            }
        }
        return;
    }
    for (QAction* action : disabledWhileBusy_) {
        action->setEnabled(true);
    }
    disabledWhileBusy_.clear();
}

void TFormMain::RunStackingCommand(ImageOperation operation, bool saveSteps) {
    RunExclusive([this, operation, saveSteps] {
        RunContext context{lists_, run_, *host_};
        nocturo::StackingCommand(context, operation, saveSteps);
        host_->Flush();
    });
}

bool TFormMain::AskThreshold() {
    // The threshold in force, as it was typed.
    QString value = QString::number(run_.Depth == 16 ? threshold_ : MaxThreshold);
    if (!Dialogs::Get().InputQuery(this, QString::fromStdString(Lng().txtThresholdCaption),
                                   QString::fromStdString(Lng().txtThresholdPrompt), value)) {
        return false;
    }
    // Typed on the 0..255 scale at either depth; a 16-bit run compares with
    // the level widened (LevelAtDepth), which takes the same channels of an
    // 8-bit frame as the 8-bit run.
    threshold_ = IntegerOrZero(value);
    MaxThreshold = static_cast<int32_t>(
        std::clamp<int64_t>(LevelAtDepth(threshold_, run_.Depth), INT32_MIN, INT32_MAX));
    return true;
}

// --- Processing... ----------------------------------------------------------

void TFormMain::GetMAX1Click() {
    RunStackingCommand(AddMax, false);
}

void TFormMain::GetMaxandSave1Click() {
    RunStackingCommand(AddMax, true);
}

void TFormMain::GetMAxThreshold1Click() {
    // No question while another run owns the threshold's user.
    if (!busy_ && AskThreshold()) {
        RunStackingCommand(AddMaxThreshold, false);
    }
}

void TFormMain::GetMaxTrhesholdandSave1Click() {
    if (!busy_ && AskThreshold()) {
        RunStackingCommand(AddMaxThreshold, true);
    }
}

void TFormMain::Getmin1Click() {
    RunStackingCommand(AddMin, false);
}

void TFormMain::GetMinAndSave1Click() {
    RunStackingCommand(AddMin, true);
}

void TFormMain::GetMaxGray1Click() {
    RunStackingCommand(AddMaxLum, false);
}

void TFormMain::GetMaxGrayandSavesteps1Click() {
    RunStackingCommand(AddMaxLum, true);
}

void TFormMain::GetMinGray1Click() {
    RunStackingCommand(SubMinLum, false);
}

void TFormMain::GetMinGrayandSavesteps1Click() {
    RunStackingCommand(SubMinLum, true);
}

void TFormMain::Add1Click() {
    RunStackingCommand(Add, false);
}

void TFormMain::Sub1Click() {
    RunStackingCommand(Sub, false);
}

// --- Batch Operations -------------------------------------------------------

void TFormMain::NewBatchOperations1Click() {
    const int current = LeftList().Current();
    const bool named = !LeftList().IsEmpty() && current >= 0 && current < LeftList().Count();
    formFactor_->SetReferenceFileName(named ? QString::fromStdString(LeftList().Text(current))
                                            : QString());
    formFactor_->show();
    formFactor_->raise();
    formFactor_->activateWindow();
}

void TFormMain::RunBatchWindowCommand(const BatchRequest& request, BatchMode mode,
                                      BatchPreviewCache& cache) {
    // A preview also lets events run (a failing entry is disabled with the
    // list repainted): it owns the lists and the result like any run, and
    // is ignored while another command does.
    RunExclusive([this, &request, mode, &cache] {
        RunContext context{lists_, run_, *host_};
        // The window's scales are those of 8 bits; a 16-bit run takes them
        // widened.
        RunBatchCommand(context, BatchRequestAtDepth(request, run_.Depth), mode, &cache);
        host_->Flush();
    });
}

// --- numbering options ------------------------------------------------------

void TFormMain::ProcessNumerotation1Click() {
    formProcess_->show();
    formProcess_->raise();
    formProcess_->activateWindow();
}

void TFormMain::numformat1Click() {
    formNumFormat_->exec();
    Action("numformat1")->setChecked(run_.Steps.FormatNumbers);
}

}  // namespace nocturo
