// The view half of the main window: showing a list entry or the result
// buffer, the stretch and zoom modes, the status bar texts and the pixel
// readout.

#include <QAction>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QSysInfo>
#include <QToolButton>
#include <vector>

#include "app/form_main.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "engine/ui/form_factor.h"
#include "engine/view_decoder.h"
#include "lang/language_strings.h"
#include "lists/ui/check_list_box.h"
#include "viewer/fly_image.h"
#include "viewer/form_create_img.h"
#include "viewer/scroll_box.h"
#include "viewer/view_geometry.h"
#include "viewer/view_layout.h"
#include "widgets/qt_text.h"

namespace nocturo {

namespace {

// The quick picture of a RAW frame brought to the frame's size, each pixel
// the quick picture's pixel under its centre: the view, its zoom, the
// readout's coordinates and the Info Image window see the frame's geometry
// from the first moment.
bool ScaleToFrameSize(const RgbImage& quick, RgbImage& out, int width, int height) {
    if (quick.Width() <= 0 || quick.Height() <= 0 || quick.Depth() != 8 ||
        !out.Resize(width, height, 8)) {
        return false;
    }
    std::vector<int> columns(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        columns[static_cast<size_t>(x)] =
            static_cast<int>((int64_t{2} * x + 1) * quick.Width() / (int64_t{2} * width)) * 3;
    }
    for (int y = 0; y < height; ++y) {
        const int sy =
            static_cast<int>((int64_t{2} * y + 1) * quick.Height() / (int64_t{2} * height));
        const uint8_t* src = quick.Row(sy);
        uint8_t* dst = out.Row(y);
        for (int x = 0; x < width; ++x, dst += 3) {
            const uint8_t* p = src + columns[static_cast<size_t>(x)];
            dst[0] = p[0];
            dst[1] = p[1];
            dst[2] = p[2];
        }
    }
    return true;
}

}  // namespace

bool TFormMain::StretchMode() const {
    return toolButton7_->isChecked();
}

const RgbImage& TFormMain::ViewPicture() const {
    return image1_->Picture();
}

qint64 TFormMain::ViewRenderCost() const {
    return image1_->LastRenderCost();
}

void TFormMain::ShowListEntry(int index, FileList& list) {
    // A full RAW frame still on its way is for an entry no longer wanted.
    viewDecodeTicket_ = 0;
    viewDecoder_->Cancel();
    bool shown = false;
    if (index >= 0 && !list.IsEmpty() && index < list.Count()) {
        const std::string name = list.Text(index);
        int format = kPixelFormat24;
        // A disabled entry counts as a failed load: it is never shown.
        // RAW frames develop for a second or more: their quick picture shows
        // now, the frame itself when it is ready.
        const bool quick = list.IsEnabled(index) && IsRawName(name) && ShowRawPreview(index, list);
        const bool loaded =
            quick || (list.IsEnabled(index) &&
                      LoadImageFile(image1_->Picture(), name, LoadOptions{run_.Depth}, &format));
        if (quick) {
            shown = true;
        } else if (loaded) {
            image1_->PictureChanged();
            ShowExcludedAreas(list, index);
            RefreshInfoImageIfVisible();
            ShowStatus(index, QString::fromStdString(name), list, true);
            shown = true;
        } else {
            DisableEntry(index, list);
            ShowStatus(-index, Q(FormatText(Lng().kstunknownformat, name)), list, false);
        }
    } else {
        ShowStatus(-list.Count(), Q(Lng().kstemptylist), list, false);
    }
    if (!shown) {
        image1_->ShowPicture(nullptr);
    }
    LayoutView();
}

bool TFormMain::ShowRawPreview(int index, FileList& list) {
    const std::string name = list.Text(index);
    RgbImage quick;
    int fullWidth = 0;
    int fullHeight = 0;
    if (!LoadRawPreview(quick, name, fullWidth, fullHeight) ||
        !ScaleToFrameSize(quick, image1_->Picture(), fullWidth, fullHeight)) {
        return false;
    }
    image1_->PictureChanged();
    RefreshInfoImageIfVisible();
    ShowStatus(index, QString::fromStdString(name), list, true);
    viewDecodeTicket_ = viewDecoder_->Request(name, run_.Depth);
    viewDecodeList_ = &list;
    viewDecodeIndex_ = index;
    viewDecodeName_ = name;
    viewDecodeGeneration_ = image1_->Generation();
    return true;
}

void TFormMain::ViewDecodeReady() {
    if (viewDecodeTicket_ == 0) {
        return;
    }
    RgbImage full;
    const std::optional<bool> outcome = viewDecoder_->Take(viewDecodeTicket_, full);
    if (!outcome) {
        return;  // the news of an older request
    }
    viewDecodeTicket_ = 0;
    if (image1_->Generation() != viewDecodeGeneration_) {
        return;  // the view shows another picture by now
    }
    if (*outcome) {
        image1_->Picture().Swap(full);
        image1_->PictureChanged();
        RefreshInfoImageIfVisible();
        LayoutView();
        return;
    }
    // A RAW file whose preview decodes but whose frame does not: a failed
    // load, as it would have been without the quick picture.
    FileList& list = *viewDecodeList_;
    const int index = viewDecodeIndex_;
    if (index < list.Count() && list.Text(index) == viewDecodeName_) {
        DisableEntry(index, list);
        ShowStatus(-index, Q(FormatText(Lng().kstunknownformat, viewDecodeName_)), list, false);
    }
    image1_->ShowPicture(nullptr);
    LayoutView();
}

void TFormMain::ShowImage(const RgbImage* image, bool force) {
    if (!force && !liveDisplay_) {
        return;
    }
    if (viewDecodeTicket_ != 0) {
        viewDecodeTicket_ = 0;
        viewDecoder_->Cancel();
    }
    // The control draws into the bounds of the last layout.
    image1_->ShowPicture(image);
    const bool result = image != nullptr && image == run_.Result.get();
    viewResultGeneration_ = result ? run_.ResultGeneration : 0;
    viewPictureGeneration_ = result ? image1_->Generation() : 0;
}

void TFormMain::LayoutView() {
    if (scrollBox1_ == nullptr || image1_ == nullptr || toolButton7_ == nullptr) {
        return;  // a resize while the window is still being built
    }
    zoomFactor_ = ApplyViewLayout(*scrollBox1_, *image1_, StretchMode(), trackBar1_->value());
}

void TFormMain::ShowStatus(int position, const QString& text, const FileList& list, bool ok) {
    const int leftCount = LeftList().Count();
    if (ok && position >= 0 && position < list.Count()) {
        statusBar1_->SetErrorStyle(false);
        statusBar1_->SetPanelText(0, QStringLiteral("%1/%2").arg(position + 1).arg(leftCount));
    } else {
        statusBar1_->SetErrorStyle(true);
        const int p = position < 0 ? -position : position;
        statusBar1_->SetPanelText(0, p < leftCount ? QString::number(p) : QString());
    }
    statusBar1_->SetPanelText(2, text);
}

// --- result display ---------------------------------------------------------

void TFormMain::ViewResult1Click() {
    // The action has already flipped its check mark: checked now means the
    // result is to be shown.
    QAction* action = Action("ViewResult1");
    if (!action->isChecked()) {
        ShowListEntry(LeftList().Current(), LeftList());
    } else {
        ShowImage(run_.Result.get(), false);
    }
    toolButton1_->setChecked(action->isChecked());
    ShowStatus(run_.ResultPosition, Q(Lng().kstproc), LeftList(), true);
}

// --- stretch and zoom -------------------------------------------------------

void TFormMain::Adapterlimage1Click() {
    toolButton7_->setChecked(Action("Adapterlimage1")->isChecked());
    ToolButton7Click();
}

void TFormMain::ToolButton7Click() {
    const bool stretch = StretchMode();
    Action("Adapterlimage1")->setChecked(stretch);
    // Widgets in a tool bar are shown and hidden through their actions.
    trackBar1_->setEnabled(!stretch);
    label100_->setEnabled(!stretch);
    trackBar1Action_->setVisible(!stretch);
    label100Action_->setVisible(!stretch);
    LayoutView();
}

void TFormMain::TrackBar1Change() {
    label100_->setText(Q(ZoomLabelText(trackBar1_->value())));
    LayoutView();
}

void TFormMain::Label100Click() {
    trackBar1_->setValue(100);
    TrackBar1Change();  // also when it already stood at 100
}

void TFormMain::ScrollBox1ZoomWheel(int angleDelta, QPoint pointer) {
    const QRect placed = scrollBox1_->ChildRect();
    const ViewGeometry before{placed.x(), placed.y(), placed.width(), placed.height(), zoomFactor_};
    const QPoint scrolled = scrollBox1_->ScrollPosition();
    const bool stretch = StretchMode();
    const int from = stretch ? RoundHalfEven(zoomFactor_ * 100.0) : trackBar1_->value();
    {
        // One layout below, not one per change.
        const QSignalBlocker quiet(trackBar1_);
        trackBar1_->setValue(WheelZoomPosition(from, angleDelta));
    }
    if (stretch) {
        toolButton7_->setChecked(false);
        ToolButton7Click();
    }
    TrackBar1Change();
    const QRect now = scrollBox1_->ChildRect();
    const ViewGeometry after{now.x(), now.y(), now.width(), now.height(), zoomFactor_};
    const ScrollPoint target =
        ScrollForZoomAbout(pointer.x(), pointer.y(), {scrolled.x(), scrolled.y()}, before, after);
    scrollBox1_->ScrollTo(QPoint(target.x, target.y));
}

// --- pointer ----------------------------------------------------------------

void TFormMain::Image1MouseMove(int x, int y) {
    QString readout = Q(PointerReadoutText(image1_->Picture(), x, y, zoomFactor_));
    const PicturePoint point = PointerToPicture(x, y, zoomFactor_);
    if (const QString frame = FrameReadout(point.x, point.y); !frame.isEmpty()) {
        readout += frame;
        statusBar1_->WidenPanelFor(1, readout);
    } else if (image1_->Picture().Depth() == 16) {
        statusBar1_->WidenPanelFor(1, readout);  // five digits a value
    }
    statusBar1_->SetPanelText(1, readout);
}

void TFormMain::Image1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x,
                                int y) {
    // Shift moves the marked point, whichever button.
    if (modifiers & Qt::ShiftModifier) {
        const PicturePoint point = PointerToPicture(x, y, zoomFactor_);
        markedX_ = point.x;
        markedY_ = point.y;
    }
    // The right button opens the context menu only; an open Info Image
    // still follows the point.
    if (button == Qt::RightButton) {
        RefreshInfoImageIfVisible();
        return;
    }
    Image1Click();
}

// --- the Info Image window --------------------------------------------------

void TFormMain::Image1Click() {
    const RgbImage& picture = image1_->Picture();
    formCreateImg_->SetImageWidth(picture.Width());
    formCreateImg_->SetImageHeight(picture.Height());
    formCreateImg_->SetPixelFormat(picture.Format());
    formCreateImg_->SetPointX(markedX_);
    formCreateImg_->SetPointY(markedY_);
    // A point outside the picture (also the unmarked -1, -1) reads white.
    const PixelColour colour = ReadViewPixel(picture, markedX_, markedY_);
    formCreateImg_->SetPointValue(Luminosity(colour.blue, colour.green, colour.red));
    // Also when the batch window opened it: the main window's refresh takes
    // the call-back back.
    formCreateImg_->SetInfoCallBack([this] { ApplyInfoPoint(); });
    if (!formCreateImg_->isVisible()) {
        formCreateImg_->show();
    }
}

void TFormMain::CreateImage1Click() {
    Image1Click();
}

void TFormMain::RefreshInfoImageIfVisible() {
    // Null while the window is being built: the first entry is shown before
    // the Info Image window exists.
    if (formCreateImg_ != nullptr && formCreateImg_->isVisible()) {
        Image1Click();
    }
}

void TFormMain::OpenCreateImgFor(std::function<void()> callBack) {
    const RgbImage& picture = image1_->Picture();
    formCreateImg_->SetImageWidth(picture.Width());
    formCreateImg_->SetImageHeight(picture.Height());
    formCreateImg_->SetPixelFormat(picture.Format());
    formCreateImg_->SetInfoCallBack(std::move(callBack));
    formCreateImg_->show();
    formCreateImg_->raise();
}

void TFormMain::ApplyInfoPoint() {
    markedX_ = formCreateImg_->PointX();
    markedY_ = formCreateImg_->PointY();
    markedValue_ = formCreateImg_->PointValue();
    const int index = RightList().Current();
    ToolBar2Click();
    ShowListEntry(index, RightList());
}

// --- fly-over preview ------------------------------------------------------

void TFormMain::EnableFlyOverMouse1Click() {
    // The menu item has toggled its check; the button shows the same switch.
    enableFlyOverMouse2_->setChecked(Action("EnableFlyOverMouse1")->isChecked());
}

void TFormMain::Image1MouseEnter() {
    if (!Action("EnableFlyOverMouse1")->isChecked() || !formFactor_->isVisible()) {
        return;
    }
    FileList& left = LeftList();
    const int current = left.Current();
    if (current < 0 || current >= left.Count()) {
        return;
    }
    if (left.IsEnabled(current)) {
        formFactor_->BitBtnApplyClick();  // under the busy cursor, as its click
    } else if (!RightList().IsEmpty()) {
        ShowListEntry(current, RightList());
    }
}

void TFormMain::Image1MouseLeave() {
    if (!Action("EnableFlyOverMouse1")->isChecked()) {
        return;
    }
    // Unlike entering, leaving also acts with the batch window closed, as
    // long as the right list has entries.
    if (!formFactor_->isVisible() && RightList().IsEmpty()) {
        return;
    }
    ShowListEntry(LeftList().Current(), LeftList());
}

void TFormMain::ToolButton9Click() {
    statusBar1_->SetPanelText(2, QSysInfo::machineHostName().left(256));
}

}  // namespace nocturo
