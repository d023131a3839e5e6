// The night graph below the view and the frame map of AddMax and AddMaxLum
// runs: the Options items that switch them on, the view's context menu that
// traces pixels back to frames, and saving both.

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QRubberBand>
#include <QVBoxLayout>
#include <string>

#include "app/form_main.h"
#include "app/night_graph.h"
#include "app/run_progress_bar.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "engine/frame_map.h"
#include "engine/night_measure.h"
#include "lang/language_strings.h"
#include "lists/ui/check_list_box.h"
#include "viewer/fly_image.h"
#include "viewer/scroll_box.h"
#include "viewer/view_geometry.h"
#include "widgets/dialogs.h"
#include "widgets/qt_text.h"

namespace nocturo {

namespace {

constexpr int kGraphHeight = 170;

}  // namespace

/// The rectangle of "Select the frames behind this area": once armed, the
/// next left-button drag on the picture control draws a band and reports
/// the rectangle in control coordinates; a right click or Esc disarms.
class ViewAreaPicker : public QObject {
  public:
    ViewAreaPicker(QWidget* view, std::function<void(const QRect&)> picked)
        : QObject(view), view_(view), picked_(std::move(picked)) {
        view_->installEventFilter(this);
    }

    bool Armed() const { return armed_; }
    void Arm() {
        armed_ = true;
        view_->setCursor(Qt::CrossCursor);
    }
    void Disarm() {
        armed_ = false;
        dragging_ = false;
        if (band_ != nullptr) {
            band_->hide();
        }
        view_->unsetCursor();
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!armed_ || watched != view_) {
            return false;
        }
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() != Qt::LeftButton) {
                    Disarm();
                    return true;
                }
                start_ = mouse->position().toPoint();
                dragging_ = true;
                if (band_ == nullptr) {
                    band_ = new QRubberBand(QRubberBand::Rectangle, view_);
                }
                band_->setGeometry(QRect(start_, QSize(1, 1)));
                band_->show();
                return true;
            }
            case QEvent::MouseMove:
                if (dragging_) {
                    auto* mouse = static_cast<QMouseEvent*>(event);
                    band_->setGeometry(QRect(start_, mouse->position().toPoint()).normalized());
                    return true;
                }
                return false;  // the readout still follows the pointer
            case QEvent::MouseButtonRelease:
                if (dragging_) {
                    auto* mouse = static_cast<QMouseEvent*>(event);
                    const QRect area = QRect(start_, mouse->position().toPoint()).normalized();
                    Disarm();
                    picked_(area);
                    return true;
                }
                return false;
            case QEvent::KeyPress:
                if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                    Disarm();
                    return true;
                }
                return false;
            default:
                return false;
        }
    }

  private:
    QWidget* view_;
    std::function<void(const QRect&)> picked_;
    QRubberBand* band_ = nullptr;
    QPoint start_;
    bool armed_ = false;
    bool dragging_ = false;
};

void TFormMain::BuildNightTools() {
    // Options: the graph and the frame map, before the translation item.
    QAction* graph = AddAction(options1_, "NightGraph1", "Night Graph");
    graph->setCheckable(true);
    graph->setStatusTip("Mean luminosity of every frame of the left list, below the view");
    connect(graph, &QAction::triggered, this, &TFormMain::NightGraph1Click);
    QAction* remember =
        AddAction(options1_, "RememberFrames1", "Remember which frame made each pixel");
    remember->setCheckable(true);
    remember->setStatusTip(
        "AddMax and AddMaxLum runs record the frame behind every pixel (2 bytes per pixel)");
    connect(remember, &QAction::triggered, this, &TFormMain::RememberFrames1Click);
    if (QAction* translate = Action("Translate1"); translate != nullptr) {
        const QList<QAction*> items = options1_->actions();
        const qsizetype at = items.indexOf(translate);
        // Back above the separator that precedes the translation item.
        QAction* before = at > 0 ? items[at - 1] : translate;
        options1_->removeAction(graph);
        options1_->removeAction(remember);
        options1_->insertAction(before, graph);
        options1_->insertAction(before, remember);
    }

    // The panel below the view, hidden until asked for.
    panelGraph_ = new TPanelGraph(lists_.Left(), panel3_);
    panelGraph_->setFixedHeight(kGraphHeight);
    panelGraph_->hide();
    panel3_->layout()->addWidget(panelGraph_);
    connect(panelGraph_->Graph(), &TNightGraph::entryClicked, this, &TFormMain::GraphEntryClicked);
    connect(panelGraph_->Graph(), &TNightGraph::rangeSelected, this,
            &TFormMain::GraphRangeSelected);
    connect(panelGraph_, &TPanelGraph::saveCsvRequested, this, &TFormMain::SaveGraphCsv1Click);
    connect(panelGraph_, &TPanelGraph::measuring, this, &TFormMain::GraphMeasuring);
    connect(panelGraph_, &TPanelGraph::framesUnchecked, this, [this](int count) {
        statusBar1_->SetErrorStyle(false);
        // What "Uncheck frames above the line" did.
        statusBar1_->SetPanelText(2, Q(FormatText(Lng().txtFramesUnchecked, count)));
    });

    // The view's context menu.
    popupMenuView_ = new QMenu(this);
    popupMenuView_->setObjectName("PopupMenuView");
    connect(AddAction(popupMenuView_, "SelectFramesBehind1", "Select the frames behind this area"),
            &QAction::triggered, this, &TFormMain::SelectFramesBehind1Click);
    connect(AddAction(popupMenuView_, "SaveFrameMap1", "Save frame map as..."), &QAction::triggered,
            this, &TFormMain::SaveFrameMap1Click);
    image1_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(image1_, &QWidget::customContextMenuRequested, this, &TFormMain::PopupMenuViewShow);
    areaPicker_ = new ViewAreaPicker(image1_, [this](const QRect& area) {
        const PicturePoint a = PointerToPicture(area.left(), area.top(), zoomFactor_);
        const PicturePoint b = PointerToPicture(area.right(), area.bottom(), zoomFactor_);
        AreaPicked(a.x, a.y, b.x, b.y);
    });
    BuildCleanTools();
}

bool TFormMain::PickingArea() const {
    return areaPicker_ != nullptr && areaPicker_->Armed();
}

void TFormMain::GraphMeasuring(int done, int total, bool running) {
    if (busy_) {
        // The command going owns the bar; a measuring still going comes
        // back to it at the next count after the command.
        return;
    }
    if (!running) {
        progressBar_->End();
        return;
    }
    if (!progressBar_->Progress().Running()) {
        progressBar_->Begin();
    }
    progressBar_->Report(done, total);
}

void TFormMain::NightGraph1Click() {
    panelGraph_->setVisible(Action("NightGraph1")->isChecked());
    LayoutView();
}

void TFormMain::RememberFrames1Click() {
    run_.RecordFrameMap = Action("RememberFrames1")->isChecked();
}

void TFormMain::PopupMenuViewShow(const QPoint& pos) {
    if (PickingArea()) {
        return;  // the right click ends the picking instead
    }
    const bool haveMap = run_.CurrentFrameMap() != nullptr;
    Action("SelectFramesBehind1")->setEnabled(haveMap);
    Action("SaveFrameMap1")->setEnabled(haveMap);
    UpdateCleanActions();
    popupMenuView_->popup(image1_->mapToGlobal(pos));
}

void TFormMain::SelectFramesBehind1Click() {
    if (run_.CurrentFrameMap() != nullptr) {
        pickingToRemove_ = false;
        ArmAreaPicker();
    }
}

void TFormMain::ArmAreaPicker() {
    areaPicker_->Arm();
}

int TFormMain::SelectFramesBehindArea(int x0, int y0, int x1, int y1) {
    const FrameMap* map = run_.CurrentFrameMap();
    if (map == nullptr) {
        return 0;
    }
    lastArea_ = {x0, y0, x1, y1};
    FileList& left = LeftList();
    // Only what stands out from the sky of the area: its noise was made by
    // many frames that hold nothing worth finding.
    const std::vector<int> frames =
        run_.Result ? FramesBehindBright(*map, *run_.Result, x0, y0, x1, y1, behindMargin_)
                    : std::vector<int>();
    const int first = SelectMappedFrames(left, *map, frames);
    statusBar1_->SetErrorStyle(false);
    statusBar1_->SetPanelText(
        2, Q(FormatText(Lng().txtFramesBehindArea, left.SelectedCount(), behindMargin_)));
    // The list commands ("Uncheck Selection", ...) act on the current list.
    ListBoxEnter(ListSide::Left);
    if (first >= 0) {
        listBox1_->ScrollToRow(first);
    }
    return left.SelectedCount();
}

QString TFormMain::FrameReadout(int x, int y) const {
    // Only over the result the map was recorded with: not over a frame of
    // the list, nor an older or newer result, though all have its size.
    const FrameMap* map = run_.CurrentFrameMap();
    if (map == nullptr || viewResultGeneration_ != run_.ResultGeneration ||
        viewPictureGeneration_ != image1_->Generation() || !map->SameSize(image1_->Picture())) {
        return QString();
    }
    const int index = map->IndexAt(x, y);
    if (index < 0) {
        return QString();
    }
    const QString name = QFileInfo(Q(map->NameOf(index))).fileName();
    // Counted from 1, as the status bar counts entries.
    return QStringLiteral(" - #%1 %2").arg(index + 1).arg(name);
}

void TFormMain::SaveFrameMap1Click() {
    const FrameMap* map = run_.CurrentFrameMap();
    if (map == nullptr) {
        return;
    }
    FileDialogOptions dialog;
    dialog.filter = "PNG Files|*.PNG";
    dialog.filterIndex = 1;
    dialog.defaultExtension = "PNG";
    dialog.fileName = "framemap.png";
    const QString chosen = Dialogs::Get().SaveFileName(this, dialog);
    if (chosen.isEmpty()) {
        return;
    }
    std::vector<std::pair<int, std::string>> names;
    for (int index : map->NotedIndices()) {
        names.emplace_back(index, map->NameOf(index));
    }
    std::string problem;
    if (!SaveFrameMap(*map, chosen.toStdString(), "index,file", names, problem)) {
        Dialogs::Get().Message(this,
                               Q(FormatText(Lng().txtCannotSaveFrameMap, LocalizedError(problem))),
                               PlainCaption(Action("SaveFrameMap1")->text()), {DialogButton::Ok},
                               MessageKind::Warning);
    }
}

void TFormMain::SaveGraphCsv1Click() {
    FileDialogOptions dialog;
    dialog.filter = "CSV Files|*.CSV|All Files (*.*)|*.*";
    dialog.filterIndex = 1;
    dialog.defaultExtension = "CSV";
    dialog.fileName = "night.csv";
    const QString chosen = Dialogs::Get().SaveFileName(this, dialog);
    if (chosen.isEmpty()) {
        return;
    }
    const std::string csv = NightCsv(LeftList(), panelGraph_->Cache());
    if (!SaveFileBytes(chosen.toStdString(), std::vector<uint8_t>(csv.begin(), csv.end()))) {
        Dialogs::Get().Message(
            this, Q(FormatText(Lng().txtCannotWriteFile, chosen.toStdString())),
            PlainCaption(panelGraph_->findChild<QAction*>("SaveGraphCsv1")->text()),
            {DialogButton::Ok}, MessageKind::Warning);
    }
}

void TFormMain::GraphEntryClicked(int index) {
    FileList& left = LeftList();
    if (!left.IsValidIndex(index)) {
        return;
    }
    ListBoxEnter(ListSide::Left);
    left.SetCurrent(index);
    listBox1_->ScrollToRow(index);
    ShowListEntry(index, left);
}

void TFormMain::GraphRangeSelected(int first, int last) {
    FileList& left = LeftList();
    {
        FileList::UpdateGuard update(left);
        for (int i = 0; i < left.Count(); ++i) {
            left.SetSelected(i, i >= first && i <= last);
        }
    }
    ListBoxEnter(ListSide::Left);
    listBox1_->ScrollToRow(first);
}

}  // namespace nocturo
