// Cleaning a night in the main window: bright frames unchecked from the
// night graph, and a plane's or satellite's streak left out of the frames
// behind it ("Remove from these frames in this area"), with the excluded
// areas shown and cleared.

#include <QAction>
#include <QMenu>
#include <string>
#include <vector>

#include "app/form_main.h"
#include "app/night_graph.h"
#include "app/status_bar.h"
#include "core/excluded_areas.h"
#include "engine/frame_map.h"
#include "lang/language_strings.h"
#include "lists/ui/check_list_box.h"
#include "viewer/fly_image.h"
#include "widgets/dialogs.h"

namespace nocturo {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

void TFormMain::BuildCleanTools() {
    connect(AddAction(popupMenuView_, "BehindMargin1",
                      "Brightness margin of the frames behind an area..."),
            &QAction::triggered, this, &TFormMain::BehindMargin1Click);
    connect(AddAction(popupMenuView_, "RemoveInArea1", "Remove from these frames in this area"),
            &QAction::triggered, this, &TFormMain::RemoveInArea1Click);
    connect(AddAction(popupMenuView_, "ClearExcluded1",
                      "Clear the excluded areas of the selected frames"),
            &QAction::triggered, this, &TFormMain::ClearExcluded1Click);
    connect(AddAction(popupMenuView_, "ClearAllExcluded1", "Clear every excluded area"),
            &QAction::triggered, this, &TFormMain::ClearAllExcluded1Click);
    // In the order of the work: select, remove, clear; saving the map last.
    QAction* save = Action("SaveFrameMap1");
    popupMenuView_->removeAction(save);
    popupMenuView_->addAction(save);

    connect(panelGraph_, &TPanelGraph::brightFramesUnchecked, this,
            &TFormMain::BrightFramesUnchecked);
}

void TFormMain::UpdateCleanActions() {
    const FileList& left = LeftList();
    Action("RemoveInArea1")->setEnabled(left.SelectedCount() > 0);
    bool selectedExcluded = false;
    for (const ListEntry& entry : left.Entries()) {
        selectedExcluded = selectedExcluded || (entry.selected && !entry.excluded.empty());
    }
    Action("ClearExcluded1")->setEnabled(selectedExcluded);
    Action("ClearAllExcluded1")->setEnabled(left.AnyExcluded());
}

void TFormMain::SetBehindMargin(int levels) {
    behindMargin_ = std::clamp(levels, 0, 255);
}

void TFormMain::BehindMargin1Click() {
    QString value = QString::number(behindMargin_);
    if (!Dialogs::Get().InputQuery(this, PlainCaption(Action("BehindMargin1")->text()),
                                   Q(Lng().txtBehindMarginPrompt), value)) {
        return;
    }
    bool ok = false;
    const int levels = value.trimmed().toInt(&ok);
    if (!ok || levels < 0 || levels > 255) {
        Dialogs::Get().Message(this, Q(FormatText(Lng().txtBehindMarginRange, value.toStdString())),
                               PlainCaption(Action("BehindMargin1")->text()), {DialogButton::Ok},
                               MessageKind::Warning);
        return;
    }
    SetBehindMargin(levels);
}

void TFormMain::AreaPicked(int x0, int y0, int x1, int y1) {
    if (pickingToRemove_) {
        pickingToRemove_ = false;
        lastArea_ = {x0, y0, x1, y1};
        ExcludeSelectedInArea();
    } else {
        SelectFramesBehindArea(x0, y0, x1, y1);
    }
}

void TFormMain::RemoveInArea1Click() {
    if (lastArea_) {
        ExcludeSelectedInArea();
    } else {
        // No area drawn yet: the next drag gives it.
        pickingToRemove_ = true;
        ArmAreaPicker();
    }
}

int TFormMain::ExcludeSelectedInArea() {
    FileList& left = LeftList();
    const RgbImage& picture = image1_->Picture();
    if (!lastArea_ || left.SelectedCount() == 0) {
        Dialogs::Get().Message(this, Q(Lng().txtNoFramesToExclude),
                               PlainCaption(Action("RemoveInArea1")->text()), {DialogButton::Ok},
                               MessageKind::Information);
        return 0;
    }
    const std::array<int, 4>& c = *lastArea_;
    const ExcludedArea area = AreaFromCorners(c[0], c[1], c[2], c[3], kExclusionGrowth,
                                              picture.Width(), picture.Height());
    if (area.w == 0) {
        return 0;
    }
    int count = 0;
    {
        FileList::UpdateGuard update(left);
        for (int i = 0; i < left.Count(); ++i) {
            if (!left.IsSelected(i)) {
                continue;
            }
            ExcludedAreas areas = left.Excluded(i);
            if (areas.size() < kMaxExcludedAreas) {
                areas.push_back(area);
                left.SetExcluded(i, std::move(areas));
                ++count;
            }
        }
    }
    statusBar1_->SetErrorStyle(false);
    statusBar1_->SetPanelText(2, Q(FormatText(Lng().txtAreaExcluded, count,
                                              FormatExcludedAreas({area}), kExclusionGrowth)));
    return count;
}

int TFormMain::ClearExcludedAreas(bool all) {
    FileList& left = LeftList();
    int count = 0;
    FileList::UpdateGuard update(left);
    for (int i = 0; i < left.Count(); ++i) {
        if ((all || left.IsSelected(i)) && !left.Excluded(i).empty()) {
            left.SetExcluded(i, {});
            ++count;
        }
    }
    statusBar1_->SetErrorStyle(false);
    statusBar1_->SetPanelText(2, Q(FormatText(Lng().txtExcludedCleared, count)));
    return count;
}

void TFormMain::ClearExcluded1Click() {
    ClearExcludedAreas(false);
}

void TFormMain::ClearAllExcluded1Click() {
    if (Dialogs::Get().Message(this, Q(Lng().txtClearAllExcluded),
                               PlainCaption(Action("ClearAllExcluded1")->text()),
                               {DialogButton::Yes, DialogButton::No}) == DialogButton::Yes) {
        ClearExcludedAreas(true);
    }
}

void TFormMain::BrightFramesUnchecked(int count, int first) {
    // The list commands ("Delete Selection", ...) act on the current list.
    ListBoxEnter(ListSide::Left);
    if (first >= 0) {
        listBox1_->ScrollToRow(first);
    }
    QAction* item = panelGraph_->findChild<QAction*>("UncheckBright1");
    Dialogs::Get().Message(this, Q(FormatText(Lng().txtBrightFramesUnchecked, count)),
                           PlainCaption(item->text()), {DialogButton::Ok},
                           MessageKind::Information);
}

void TFormMain::ShowExcludedAreas(const FileList& list, int index) {
    std::vector<QRect> areas;
    for (const ExcludedArea& a : list.Excluded(index)) {
        areas.emplace_back(a.x, a.y, a.w, a.h);
    }
    image1_->SetOverlayAreas(std::move(areas));
}

}  // namespace nocturo
