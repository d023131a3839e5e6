// The moving maximum from the main window: the sample window, the list copy
// shown in the right list's place, the status bar panels and live display.

#include <QDialog>
#include <QLayout>
#include <QString>

#include "app/form_main.h"
#include "app/qt_run_host.h"
#include "app/status_bar.h"
#include "engine/moving_max.h"
#include "engine/ui/form_sample.h"
#include "lists/ui/check_list_box.h"

namespace nocturo {

namespace {

constexpr int kProgressPanel = 3;

/// What the moving maximum shows in the main window besides a run's view
/// and status.
class WindowMovingMaxDisplay : public MovingMaxDisplay {
  public:
    explicit WindowMovingMaxDisplay(TFormMain& form) : form_(form) {}

    void SetStatusPanel(int panel, const std::string& text) override {
        const QString shown = QString::fromStdString(text);
        if (panel == kProgressPanel) {
            // The progress, "To do" and its number last, is read in full.
            form_.StatusBar1()->WidenPanelFor(panel, shown);
        }
        form_.StatusBar1()->SetPanelText(panel, shown);
    }
    void SetLiveDisplay(bool on) override { form_.SetLiveDisplay(on); }
    void ShowListCopy(FileList* copy) override { form_.ShowListCopy(copy); }

  private:
    TFormMain& form_;
};

}  // namespace

void TFormMain::ShowListCopy(FileList* copy) {
    if (copy == nullptr) {
        if (listBoxCopy_ != nullptr) {
            listBoxCopy_->SetList(nullptr);
            listBoxCopy_->hide();
        }
        listBox2_->show();
        return;
    }
    if (listBoxCopy_ == nullptr) {
        listBoxCopy_ = new CheckListBox(panel2_);
        panel2_->layout()->addWidget(listBoxCopy_);
    }
    listBoxCopy_->SetList(copy);
    listBox2_->hide();
    listBoxCopy_->show();
}

void TFormMain::MovingMax1Click() {
    RunExclusive([this] {
        RunContext context{lists_, run_, *host_};
        WindowMovingMaxDisplay display(*this);
        MovingMaxCommand(context, display, [this](int entryCount) {
            formSample_->PrepareFor(entryCount);
            std::optional<MovingMaxSettings> settings;
            if (formSample_->exec() == QDialog::Accepted) {
                settings = formSample_->Settings();
            }
            return settings;
        });
        host_->Flush();
    });
}

}  // namespace nocturo
