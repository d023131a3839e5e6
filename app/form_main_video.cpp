// "Files" -> "Make video from list...": the checked entries of the current
// list, in order, into a time-lapse video, with the run's progress in the
// status bar and its report at the end.

#include <QDialog>
#include <QFileInfo>
#include <QString>

#include "app/form_main.h"
#include "app/qt_run_host.h"
#include "engine/step_saving.h"
#include "engine/ui/form_video.h"
#include "engine/video_run.h"
#include "lang/language_strings.h"
#include "widgets/dialogs.h"
#include "widgets/file_places.h"

namespace nocturo {

namespace {

constexpr const char* kVideoFilter = "MP4 Files|*.MP4|All Files (*.*)|*.*";
constexpr const char* kVideoName = "timelapse.mp4";

/// The folder of the first checked entry: where the night's frames are.
QString FramesFolder(const FileList& list) {
    for (int i = 0; i < list.Count(); ++i) {
        if (list.IsChecked(i)) {
            return QFileInfo(QString::fromStdString(list.Text(i))).absolutePath();
        }
    }
    return QString();
}

}  // namespace

void TFormMain::MakeVideo1Click() {
    RunExclusive([this] {
        FileList& list = CurrentList();
        if (formVideo_->exec() != QDialog::Accepted) {
            return;
        }
        FileDialogOptions dialog;
        dialog.filter = kVideoFilter;
        dialog.defaultExtension = "mp4";
        FilePlaces::Session().Propose(
            FileKind::Videos, dialog, kVideoName,
            [](const QString& name) { return name.endsWith(".mp4", Qt::CaseInsensitive); },
            FramesFolder(list));
        // A video of a night is hours of work: never replaced without asking.
        const QString chosen = SaveFileNameAskingToReplace(
            this, dialog,
            [](const QString& name) {
                return QString::fromStdString(FormatText(Lng().kstoverwrite, name.toStdString()));
            },
            QString::fromStdString(Lng().txtWarning));
        if (chosen.isEmpty()) {
            return;
        }
        FilePlaces::Session().Remember(FileKind::Videos, chosen, dialog.filterIndex);
        RunContext context{lists_, run_, *host_};
        MakeVideoRun(context, list, {chosen.toStdString(), formVideo_->Settings(), true});
        host_->Flush();
    });
}

}  // namespace nocturo
