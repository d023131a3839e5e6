#include "app/qt_run_host.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QString>
#include <algorithm>

#include "app/form_main.h"
#include "app/run_progress_bar.h"
#include "app/status_bar.h"
#include "engine/ui/form_process.h"
#include "engine/ui/form_video.h"
#include "widgets/dialogs.h"
#include "widgets/qt_text.h"

namespace nocturo {

namespace {

DialogButton ToDialogButton(Answer answer) {
    switch (answer) {
        case Answer::Ok:
            return DialogButton::Ok;
        case Answer::Cancel:
            return DialogButton::Cancel;
        case Answer::Yes:
            return DialogButton::Yes;
        case Answer::No:
            return DialogButton::No;
        case Answer::YesToAll:
            return DialogButton::YesToAll;
        case Answer::NoToAll:
            return DialogButton::NoToAll;
        case Answer::None:
            break;
    }
    return DialogButton::None;
}

Answer ToAnswer(DialogButton button) {
    switch (button) {
        case DialogButton::Ok:
            return Answer::Ok;
        case DialogButton::Cancel:
            return Answer::Cancel;
        case DialogButton::Yes:
            return Answer::Yes;
        case DialogButton::No:
            return Answer::No;
        case DialogButton::YesToAll:
            return Answer::YesToAll;
        case DialogButton::NoToAll:
            return Answer::NoToAll;
        case DialogButton::None:
            break;
    }
    return Answer::None;
}

}  // namespace

void QtRunHost::ShowImage(const RgbImage* image, bool force) {
    // Only the result buffer is held back: it stays valid between frames,
    // so Flush can copy it later. Any other picture is shown at once.
    const bool isResult = image != nullptr && image == form_.Run().Result.get();
    if (!force && isResult && lastShown_.isValid() && lastShown_.nsecsElapsed() < showInterval_) {
        resultPending_ = true;
        return;
    }
    ShowNow(image, force);
}

void QtRunHost::ShowNow(const RgbImage* image, bool force) {
    resultPending_ = false;
    lastShown_.start();
    form_.ShowImage(image, force);
    // The copy just made and the drawing of the one before set the pace.
    const qint64 cost = lastShown_.nsecsElapsed() + form_.ViewRenderCost();
    showInterval_ = std::max(kMinShowInterval, cost * kCostShare);
}

void QtRunHost::Flush() {
    if (resultPending_) {
        ShowNow(form_.Run().Result.get(), false);
    }
}

void QtRunHost::ShowStatus(int position, const std::string& text, const FileList& list, bool ok) {
    form_.ShowStatus(position, Q(text), list, ok);
}

void QtRunHost::ShowProgress(int done, int total) {
    form_.ProgressBar()->Report(done, total);
}

void QtRunHost::ProcessEvents() {
    QCoreApplication::processEvents();
    if (form_.ClosePending()) {
        form_.Run().StopRequested = true;
    }
}

Answer QtRunHost::Ask(const std::string& text, const std::string& caption,
                      const std::vector<Answer>& buttons, bool warning) {
    Flush();
    std::vector<DialogButton> shown;
    shown.reserve(buttons.size());
    for (Answer answer : buttons) {
        shown.push_back(ToDialogButton(answer));
    }
    return ToAnswer(Dialogs::Get().Message(&form_, Q(text), Q(caption), std::move(shown),
                                           warning ? MessageKind::Warning : MessageKind::Question));
}

std::optional<std::string> QtRunHost::AskSaveFileName(const SaveRequest& request) {
    Flush();
    FileDialogOptions options;
    options.title = Q(request.title);
    options.filter = Q(request.filter);
    options.filterIndex = request.filterIndex;
    options.defaultExtension = Q(request.defaultExtension);
    options.fileName = Q(request.fileName);
    const QString chosen = Dialogs::Get().SaveFileName(&form_, options);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen.toStdString();
}

bool QtRunHost::AskVideoSettings(VideoSettings& settings, bool& stepFiles) {
    Flush();
    // The window proposes its own last choices, "Make video from list..."'s
    // among them.
    TFormVideo* window = form_.FormVideo();
    window->ShowStepFilesChoice(true);
    const bool ok = window->exec() == QDialog::Accepted;
    window->ShowStepFilesChoice(false);
    if (ok) {
        settings = window->Settings();
        stepFiles = window->CheckBoxStepFiles()->isChecked();
    }
    return ok;
}

void QtRunHost::ShowMessage(const std::string& text, const std::string& caption) {
    Flush();
    Dialogs::Get().Message(&form_, Q(text), Q(caption), {DialogButton::Ok},
                           MessageKind::Information);
}

void QtRunHost::FocusLeftList() {
    form_.ToolBar1Click();
}

void QtRunHost::SaveResultAs() {
    Flush();
    form_.SaveResult1Click();
}

void QtRunHost::SetStatusPanel(int panel, const std::string& text) {
    form_.StatusBar1()->SetPanelText(panel, QString::fromStdString(text));
}

void QtRunHost::StartNumberChanged() {
    if (TFormProcess* window = form_.FormProcess(); window != nullptr) {
        window->ForceStartNumberChanged();
    }
}

}  // namespace nocturo
