// The main window driven offscreen with scripted dialogs.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <cstdlib>

#include "app/form_main.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "lists/list_commands.h"
#include "lists/ui/check_list_box.h"
#include "tests/ui/scripted_dialogs.h"
#include "viewer/fly_image.h"
#include "viewer/form_create_img.h"
#include "viewer/scroll_box.h"
#include "viewer/view_geometry.h"

using nocturo::DialogButton;
using nocturo::FileList;
using nocturo::RgbImage;
using nocturo::TFormMain;
using nocturo::test::DialogScript;

namespace {

// Writes a w x h picture of one colour and returns its name.
QString WritePicture(const QTemporaryDir& dir, const QString& name, int w, int h, uint8_t value) {
    RgbImage image;
    image.Resize(w, h);
    nocturo::FillImage(image, value, value, value);
    std::string file = dir.filePath(name).toStdString();
    nocturo::SaveImageFile(image, file);
    return QString::fromStdString(file);
}

void Fill(FileList& list, int count, const QString& prefix = "/none/frame") {
    for (int i = 0; i < count; ++i) {
        list.Append(QStringLiteral("%1%2.jpg").arg(prefix).arg(i, 4, 10, QChar('0')).toStdString(),
                    true, true);
    }
}

}  // namespace

class FormMainTest : public QObject {
    Q_OBJECT

    // Every test runs with scripted dialogs, so that no question can block.
    std::unique_ptr<DialogScript> script_;

  private slots:
    void init() { script_ = std::make_unique<DialogScript>(); }
    void cleanup() { script_.reset(); }
    void everyMenuItemHasItsNameCaptionAndShortcut();
    void toolButtonsCarryTheirHints();
    void startsEmptyInStretchMode();
    void closeAsksOnlyWhileTheResultIsUnsaved();
    void saveResultAsksBeforeReplacingAndReportsFailures();
    void pixelReadoutFitsItsPanelInAnyFont();
    void clearResultKeepsTheUnsavedMark();
    void windowKeysActOnTheCurrentList();
    void statusCounterUsesTheLeftListsCount();
    void layoutAndPixelReadout();
    void shiftPressMarksThePoint();
    void ctrlWheelZoomsAboutThePointerAndDraggingPans();
    void commandLineFilesFillTheLeftList();
    void optionsMenuShowsTheCurrentModes();
    void listPanelsRefuseToGetNarrowerThan175();
};

void FormMainTest::everyMenuItemHasItsNameCaptionAndShortcut() {
    TFormMain form;
    struct Item {
        const char* name;
        const char* caption;
        const char* shortcut;
    };
    const Item items[] = {
        {"NewDirectory1", "New list (Unlimited)", "Ctrl+F"},
        {"NewList1", "New list (Win Explorer with ~32 000 limit)", "Ctrl+N"},
        {"LoadList1", "Load LEFT current list", ""},
        {"SaveList1", "Save LEFT current list", ""},
        {"ViewResult1", "Show Result...", ""},
        {"ClearResult1", "Clear Result", ""},
        {"SaveResult1", "Save Result as...", "Ctrl+S"},
        {"Quit1", "Quit..", "Ctrl+Q"},
        {"Testvalidpictures1", "Test if files are valid pictures...", "Ctrl+T"},
        {"Redirect1", "Redirect...", ""},
        {"SortbyNum1", "Sort by Num ", ""},
        {"CheckSelection", "Check Selection", "Ctrl+J"},
        {"UncheckSelection", "Uncheck Selection", "Ctrl+U"},
        {"InvertCheckSelection", "Invert Check Selection", "Ctrl+I"},
        {"CheckAll", "Check All", "Ctrl+Alt+J"},
        {"UncheckAll", "Uncheck All", "Ctrl+Alt+U"},
        {"InvertCheckAll", "Invert Check All", "Ctrl+Alt+I"},
        {"ClearSelection1", "Clear Selection...", "Del"},
        {"Clearlist1", "Clear all...", "Shift+Del"},
        {"Selectall", "Select all", "Ctrl+A"},
        {"UnselectAll", "Unselect all", ""},
        {"InvertSelectAll", "Invert select all", ""},
        {"Sendtobottom1", "Send current filename to end of list", "Ctrl+E"},
        {"StackBuffer1", "Processing...", ""},
        {"GetMAX1", "AddMax..", ""},
        {"GetMaxandSave1", "AddMax and Save steps...", ""},
        {"GetMAxThreshold1", "AddMaxThreshold..", ""},
        {"GetMaxTrhesholdandSave1", "AddMaxThreshold and Save steps...", ""},
        {"Getmin1", "AddMin..", ""},
        {"GetMinAndSave1", "AddMin and Save steps...", ""},
        {"GetMaxGray1", "AddMaxLum..", ""},
        {"GetMaxGrayandSavesteps1", "AddMaxLum and Save steps..", ""},
        {"GetMinGray1", "SubMinLum..", ""},
        {"GetMinGrayandSavesteps1", "SubMinLum and Save steps..", ""},
        {"Add1", "Add", ""},
        {"Sub1", "Sub", ""},
        {"MovingMax1", "MovingMax ", ""},
        {"NewBatchOperations1", "Batch Operations...", ""},
        {"Search1", "Search / Crop", ""},
        {"Search2", "Search", ""},
        {"SearchSave1", "Search && Save", ""},
        {"Crop1", "Show && Save", ""},
        {"CropSave1", "Crop && Save", ""},
        {"MeteorMax1", "MeteorMax...", ""},
        {"MaximumSearch1", "Maximum Search", ""},
        {"GaussianSubtraction1", "Gaussian Substraction", ""},
        {"Addmaxsavemeteors1", "Addmax / save luminosity events  ?", ""},
        {"CreateImage1", "Create Mask...", ""},
        {"Adapterlimage1", "Stretch image to window", ""},
        {"ProcessNumerotation1", "Starting Number", ""},
        {"numformat1", "Format Filename Numbers", ""},
        {"SortList1", "Sort Left List (ascending)", ""},
        {"SortList2", "Sort Right List (ascending)", ""},
        {"EnableFlyOverMouse1", "Enable Fly Over Mouse", ""},
        {"Translate1", "Translate...", ""},
        {"About1", "Help", "F1"},
        {"Translation1", "Translations", ""},
        {"En1", "En-English", ""},
        {"Fr1",
         "Fr-Fran\xC3\xA7"
         "ais",
         ""},
        {"Fichier1", "Files", ""},
        {"Edit1", "Current List", ""},
        {"Process1", "Process (Left Column)", ""},
        {"Options1", "Options", ""},
        {"Help1", "?", ""},
    };
    for (const Item& item : items) {
        QAction* action = form.Action(item.name);
        QVERIFY2(action != nullptr, item.name);
        QCOMPARE(action->objectName(), QString(item.name));
        QCOMPARE(action->text(), QString::fromUtf8(item.caption));
        QCOMPARE(action->shortcut(), QKeySequence(item.shortcut));
    }
    QCOMPARE(form.Action("Redirect1")->statusTip(), QString("Change Current List Directory"));
    QVERIFY(form.Action("Adapterlimage1")->isCheckable());
    QVERIFY(form.Action("Adapterlimage1")->isChecked());
    QVERIFY(form.Action("SortList1")->isCheckable());
    QVERIFY(form.Action("ViewResult1")->isCheckable());
}

void FormMainTest::toolButtonsCarryTheirHints() {
    TFormMain form;
    const std::pair<const char*, const char*> buttons[] = {
        {"ToolButtonOpen1", "Open New List.."},
        {"ToolButtonDelete1", "Clear Selected Highlighted"},
        {"ToolButtonCopyList1", "Copy List2 into List1"},
        {"ToolButtonUp1", "Up"},
        {"ToolButtonDown1", "Down"},
        {"ToolButtonFocus1", "Set Focus to List1"},
        {"ToolButtonSwap", "Swap List1 <> List2"},
        {"ToolButtonDelete2", "Clear Selected Highlighted"},
        {"ToolButtonCopyList2", "Copy List1 into List2"},
        {"ToolButtonUp2", "Up"},
        {"ToolButtonDown2", "Down"},
        {"ToolButtonFocus2", "Set Focus to List2"},
        {"ToolButtonAbort", "Abort Process.."},
        {"EnableFlyOverMouse2", "Enable Fly Over Mouse"},
        {"ToolButton9", ""},
        {"ToolButtonSave", "Save Result as..."},
        {"ToolButton1", "Show Result..."},
        {"ToolButton7", "Auto Stretch: Adapt Picture to Window"},
    };
    for (const auto& [name, hint] : buttons) {
        auto* button = form.findChild<QToolButton*>(name);
        QVERIFY2(button != nullptr, name);
        QCOMPARE(button->property("hint").toString(), QString(hint));
    }
    // The left bar keeps its hints to itself; the others show them.
    QVERIFY(form.findChild<QToolButton*>("ToolButtonUp1")->toolTip().isEmpty());
    QCOMPARE(form.findChild<QToolButton*>("ToolButtonUp2")->toolTip(), QString("Up"));
    // Buttons bound to a menu item run that item.
    QCOMPARE(form.findChild<QToolButton*>("ToolButtonSave")->defaultAction(),
             form.Action("SaveResult1"));
    QCOMPARE(form.findChild<QToolButton*>("ToolButton1")->defaultAction(),
             form.Action("ViewResult1"));
    for (const char* name : {"Panel1", "Panel2", "Panel3", "ToolBar1", "ToolBar2", "ToolBar3",
                             "ListBox1", "ListBox2", "ScrollBox1", "Image1", "StatusBar1",
                             "Splitter1", "Splitter2", "TrackBar1", "Label100"}) {
        QVERIFY2(form.findChild<QWidget*>(name) != nullptr, name);
    }
}

void FormMainTest::startsEmptyInStretchMode() {
    TFormMain form;
    form.show();
    QVERIFY(form.windowTitle().startsWith("Nocturo - Ver: 2-5-15 - 2016/02/29"));
    QVERIFY(form.Result().IsEmptyImage());
    QCOMPARE(form.ResultPosition(), 0);
    QVERIFY(!form.Run().ResultUnsaved);
    QVERIFY(form.StretchMode());
    QTRY_VERIFY(!form.findChild<QSlider*>("TrackBar1")->isVisible());
    QCOMPARE(form.StatusBar1()->PanelText(2), QString("Empty List"));
    QVERIFY(form.StatusBar1()->IsErrorStyle());
    QCOMPARE(form.ListTitle(), QString("Left List"));
    QCOMPARE(form.MarkedX(), -1);
    QCOMPARE(form.MarkedY(), -1);
    QCOMPARE(form.MarkedValue(), -1);
    QVERIFY(form.findChild<QToolButton*>("ToolButtonFocus1")->isChecked());
    QVERIFY(!form.findChild<QToolButton*>("ToolButtonFocus2")->isChecked());
}

void FormMainTest::closeAsksOnlyWhileTheResultIsUnsaved() {
    QTemporaryDir dir;
    DialogScript& script = *script_;
    {
        TFormMain form;
        form.show();
        QVERIFY(form.close());  // nothing unsaved: no question
        QCOMPARE(script->Count("message"), 0);
    }
    {
        TFormMain form;
        form.show();
        form.Run().ResultUnsaved = true;
        script->messages = {DialogButton::Cancel};
        QVERIFY(!form.close());
        QCOMPARE(script->Last("message").text, QString("Save Processed Image?"));
        QCOMPARE(script->Last("message").caption, QString("Quit"));

        // Yes saves and keeps the window; the next request closes it.
        script->messages = {DialogButton::Yes};
        script->saveNames = {dir.filePath("kept.png")};
        QVERIFY(!form.close());
        QVERIFY(QFileInfo::exists(dir.filePath("kept.png")));
        QVERIFY(!form.Run().ResultUnsaved);
        const int asked = script->Count("message");
        QVERIFY(form.close());
        QCOMPARE(script->Count("message"), asked);
    }
    {
        TFormMain form;
        form.show();
        form.Run().ResultUnsaved = true;
        script->messages = {DialogButton::No};
        QVERIFY(form.close());
    }
}

void FormMainTest::pixelReadoutFitsItsPanelInAnyFont() {
    TFormMain form;
    nocturo::StatusPanels* bar = form.StatusBar1();
    for (int pixels : {0, 11, 18, 26}) {
        if (pixels > 0) {
            QFont font = bar->font();
            font.setPixelSize(pixels);
            bar->setFont(font);
        }
        QFont italic = bar->font();
        italic.setItalic(true);
        for (const std::string& text : {nocturo::PixelReadoutText(12345, 67890, 255, 128, 0),
                                        nocturo::PixelReadoutText(99999, 88888, 188, 188, 188),
                                        nocturo::PixelReadoutText(4000, 3000, 255, 255, 255)}) {
            const QString readout = QString::fromStdString(text);
            for (const QFont& f : {bar->font(), italic}) {
                const int need = QFontMetrics(f).horizontalAdvance(readout) + 6;
                QVERIFY2(bar->PanelWidth(1) >= need,
                         qPrintable(QStringLiteral("%1 px font: %2 < %3")
                                        .arg(pixels)
                                        .arg(bar->PanelWidth(1))
                                        .arg(need)));
            }
        }
        // The other panels keep their widths.
        QCOMPARE(bar->PanelWidth(0), 178);
        QCOMPARE(bar->PanelWidth(2), 600);
    }
}

void FormMainTest::saveResultAsksBeforeReplacingAndReportsFailures() {
    QTemporaryDir dir;
    DialogScript& script = *script_;
    TFormMain form;
    form.Run().ResultUnsaved = true;

    const QString failing = dir.filePath("missing-folder/result.png");
    script->saveNames = {failing};
    script->messages = {DialogButton::Ok};
    form.SaveResult1Click();
    // First use proposes proc.jpg with the JPEG filter.
    QCOMPARE(script->Last("save").options.fileName, QString("proc.jpg"));
    QCOMPARE(script->Last("save").options.filterIndex, 3);
    QCOMPARE(script->Last("save").options.defaultExtension, QString("JPG"));
    // A failed save says why, and its name goes into the right list
    // unchecked and disabled (red).
    QCOMPARE(script->Count("message"), 1);
    QVERIFY(script->Last("message").text.startsWith("Cannot save " + failing + ": "));
    QVERIFY(script->Last("message").text.contains("No such file or directory"));
    QCOMPARE(form.RightList().Count(), 1);
    QCOMPARE(QString::fromStdString(form.RightList().Text(0)), failing);
    QVERIFY(!form.RightList().IsChecked(0));
    QVERIFY(!form.RightList().IsEnabled(0));
    QVERIFY(form.Run().ResultUnsaved);

    // The dialog proposes the last name chosen in it.
    const QString good = dir.filePath("result.tif");
    script->saveNames = {good};
    form.SaveResult1Click();
    QCOMPARE(script->Last("save").options.fileName, failing);
    QCOMPARE(script->Count("message"), 1);  // a new name: no question
    QVERIFY(!form.Run().ResultUnsaved);
    QCOMPARE(form.RightList().Count(), 2);
    QVERIFY(form.RightList().IsEnabled(1));
    RgbImage loaded;
    QVERIFY(nocturo::LoadImageFile(loaded, good.toStdString()));
    QVERIFY(loaded.IsEmptyImage());

    // An existing file: the question comes first. No goes back to the
    // dialog; Cancel there leaves the file as it was.
    form.Result().Resize(6, 5);
    nocturo::FillImage(form.Result(), 200, 100, 50);
    form.Run().ResultUnsaved = true;
    const QByteArray before = [&] {
        QFile f(good);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    script->saveNames = {good};
    script->messages = {DialogButton::No};
    form.SaveResult1Click();
    QCOMPARE(script->Last("message").text, "OverWrite? " + good);
    QCOMPARE(script->Count("save"), 4);  // asked again after No, then cancelled
    QCOMPARE(script->Last("save").options.fileName, good);
    {
        QFile f(good);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
    QVERIFY(form.Run().ResultUnsaved);
    QCOMPARE(form.RightList().Count(), 2);

    // Cancel at the question ends the command; Yes replaces the file.
    script->saveNames = {good};
    script->messages = {DialogButton::Cancel};
    form.SaveResult1Click();
    QCOMPARE(script->Count("save"), 5);
    QVERIFY(form.Run().ResultUnsaved);
    script->saveNames = {good};
    script->messages = {DialogButton::Yes};
    form.SaveResult1Click();
    QVERIFY(!form.Run().ResultUnsaved);
    QVERIFY(nocturo::LoadImageFile(loaded, good.toStdString()));
    QCOMPARE(loaded.Width(), 6);
    QCOMPARE(form.RightList().Count(), 3);

    // Cancel changes nothing.
    form.SaveResult1Click();
    QCOMPARE(form.RightList().Count(), 3);
}

void FormMainTest::clearResultKeepsTheUnsavedMark() {
    TFormMain form;
    form.Result().Resize(4, 4);
    nocturo::FillImage(form.Result(), 9, 9, 9);
    form.SetResultPosition(7);
    form.Run().ResultUnsaved = true;
    form.ClearResult1Click();
    QVERIFY(form.Result().IsEmptyImage());
    QCOMPARE(form.ResultPosition(), 0);
    QVERIFY(form.Run().ResultUnsaved);
    QVERIFY(form.ViewPicture().IsEmptyImage());
    QCOMPARE(form.StatusBar1()->PanelText(2), QString("Processed images"));
}

void FormMainTest::windowKeysActOnTheCurrentList() {
    TFormMain form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    FileList& left = form.LeftList();
    Fill(left, 5);
    nocturo::UncheckAll(left);
    left.SetEnabled(2, false);
    auto* box = form.findChild<nocturo::CheckListBox*>("ListBox1");
    box->setFocus();

    QTest::keyClick(box, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(left.IsChecked(i), i != 2);
    }
    QTest::keyClick(box, Qt::Key_U, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(left.Entries()[0].checked, false);

    // Shift is ignored: Ctrl+Shift+A selects all like Ctrl+A.
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(left.SelectedCount(), 5);
    nocturo::UnselectAll(left);
    // Alt alone does nothing.
    QTest::keyClick(box, Qt::Key_A, Qt::AltModifier);
    QCOMPARE(left.SelectedCount(), 0);
    // The menu's own shortcut runs once, not twice.
    left.SetSelected(1, true);
    QTest::keyClick(box, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(left.IsChecked(1), true);
    // Ctrl+K checks the selection.
    left.SetSelected(3, true);
    QTest::keyClick(box, Qt::Key_K, Qt::ControlModifier);
    QCOMPARE(left.IsChecked(3), true);
    QCOMPARE(left.IsChecked(4), false);
}

void FormMainTest::statusCounterUsesTheLeftListsCount() {
    TFormMain form;
    Fill(form.LeftList(), 40);
    Fill(form.RightList(), 5, "/none/out");
    form.ShowStatus(2, "third", form.RightList(), true);
    QCOMPARE(form.StatusBar1()->PanelText(0), QString("3/40"));
    QCOMPARE(form.StatusBar1()->PanelText(2), QString("third"));
    QVERIFY(!form.StatusBar1()->IsErrorStyle());

    form.ShowStatus(-7, "bad", form.LeftList(), false);
    QCOMPARE(form.StatusBar1()->PanelText(0), QString("7"));
    QVERIFY(form.StatusBar1()->IsErrorStyle());
    form.ShowStatus(-40, "bad", form.LeftList(), false);
    QCOMPARE(form.StatusBar1()->PanelText(0), QString());
    // A position beyond the given list is an error even when ok.
    form.ShowStatus(5, "x", form.RightList(), true);
    QVERIFY(form.StatusBar1()->IsErrorStyle());
    QCOMPARE(form.StatusBar1()->PanelText(0), QString("5"));
}

void FormMainTest::layoutAndPixelReadout() {
    QTemporaryDir dir;
    TFormMain form;
    form.resize(1000, 700);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* box = form.findChild<nocturo::ScrollBox*>("ScrollBox1");
    auto* image = form.findChild<nocturo::tFlyImage*>("Image1");

    // The empty picture in stretch mode: a centred black square.
    const int side = std::min(box->width() - 6, box->height() - 6);
    QCOMPARE(image->width(), side);
    QCOMPARE(image->height(), side);

    // Zoom mode: a 4000 x 3000 picture at position 1 is 40 x 30 at the top left.
    const QString big = WritePicture(dir, "big.bmp", 4000, 3000, 200);
    form.OpenFiles({big});
    form.findChild<QToolButton*>("ToolButton7")->click();
    QVERIFY(!form.StretchMode());
    QTRY_VERIFY(form.findChild<QSlider*>("TrackBar1")->isVisible());
    form.findChild<QSlider*>("TrackBar1")->setValue(1);
    QCOMPARE(image->size(), QSize(40, 30));
    QCOMPARE(form.findChild<QLabel*>("Label100")->text(), QString(" Z = 1% "));

    // The label resets the zoom to 100 %.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.findChild<QLabel*>("Label100"), &press);
    QCOMPARE(form.findChild<QSlider*>("TrackBar1")->value(), 100);
    QCOMPARE(form.findChild<QLabel*>("Label100")->text(), QString(" Z = 100% "));
    QCOMPARE(form.ZoomFactor(), 1.0);

    // Readout at zoom 3: x = 299 on a 100-pixel picture is outside and reads white.
    const QString small = WritePicture(dir, "small.bmp", 100, 50, 10);
    (*script_)->messages = {DialogButton::Ok};  // "Clear List?"
    form.OpenFiles({small});
    QCOMPARE(form.LeftList().Count(), 1);
    form.findChild<QSlider*>("TrackBar1")->setValue(300);
    QMouseEvent outside(QEvent::MouseMove, QPointF(299, 10), QPointF(299, 10), Qt::NoButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(image, &outside);
    QCOMPARE(form.StatusBar1()->PanelText(1), QString("X0100/Y0003 - r255/g255/b255//lum255"));
    QMouseEvent inside(QEvent::MouseMove, QPointF(30, 60), QPointF(30, 60), Qt::NoButton,
                       Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(image, &inside);
    QCOMPARE(form.StatusBar1()->PanelText(1), QString("X0010/Y0020 - r010/g010/b010//lum010"));
}

void FormMainTest::shiftPressMarksThePoint() {
    TFormMain form;
    form.show();
    auto* image = form.findChild<nocturo::tFlyImage*>("Image1");
    const double zoom = form.ZoomFactor();
    QMouseEvent plain(QEvent::MouseButtonPress, QPointF(20, 20), QPointF(20, 20), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(image, &plain);
    QMouseEvent plainUp(QEvent::MouseButtonRelease, QPointF(20, 20), QPointF(20, 20),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(image, &plainUp);
    QCOMPARE(form.MarkedX(), -1);
    // The press acts when it is released without dragging.
    QMouseEvent shifted(QEvent::MouseButtonPress, QPointF(20, 30), QPointF(20, 30), Qt::RightButton,
                        Qt::RightButton, Qt::ShiftModifier);
    QApplication::sendEvent(image, &shifted);
    QCOMPARE(form.MarkedX(), -1);
    QMouseEvent shiftedUp(QEvent::MouseButtonRelease, QPointF(20, 30), QPointF(20, 30),
                          Qt::RightButton, Qt::NoButton, Qt::ShiftModifier);
    QApplication::sendEvent(image, &shiftedUp);
    QCOMPARE(form.MarkedX(), static_cast<int>(std::nearbyint(20 / zoom)));
    QCOMPARE(form.MarkedY(), static_cast<int>(std::nearbyint(30 / zoom)));
}

void FormMainTest::ctrlWheelZoomsAboutThePointerAndDraggingPans() {
    QTemporaryDir dir;
    TFormMain form;
    form.resize(1000, 700);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* box = form.findChild<nocturo::ScrollBox*>("ScrollBox1");
    auto* image = form.findChild<nocturo::tFlyImage*>("Image1");
    auto* slider = form.findChild<QSlider*>("TrackBar1");
    form.OpenFiles({WritePicture(dir, "big.bmp", 2000, 1500, 90)});
    QVERIFY(form.StretchMode());
    // A wheel over the picture, as the picture passes it on to the viewport
    // (Qt passes on only the wheel events of the window system).
    auto wheel = [&](QPoint at, int delta, Qt::KeyboardModifiers modifiers) {
        const QPointF inViewport = image->mapTo(box->viewport(), QPointF(at));
        QWheelEvent event(inViewport, image->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box->viewport(), &event);
    };
    // The picture pixel under a point of the viewport.
    auto pixelAt = [&](QPoint inViewport) {
        const QPoint onImage = image->mapFrom(box->viewport(), inViewport);
        return nocturo::PointerToPicture(onImage.x(), onImage.y(), form.ZoomFactor());
    };

    // From stretch mode, Ctrl + wheel zooms in from the zoom it showed.
    const int fitted = nocturo::RoundHalfEven(form.ZoomFactor() * 100);
    wheel({100, 100}, 120, Qt::ControlModifier);
    QVERIFY(!form.StretchMode());
    QCOMPARE(slider->value(), nocturo::WheelZoomPosition(fitted, 120));
    QCOMPARE(form.findChild<QLabel*>("Label100")->text(),
             QString::fromStdString(nocturo::ZoomLabelText(slider->value())));

    // In and out again, the pixel under the pointer stays.
    slider->setValue(100);
    box->ScrollTo(QPoint(600, 500));
    const QPoint pointer(box->viewport()->width() / 2, box->viewport()->height() / 3);
    const nocturo::PicturePoint under = pixelAt(pointer);
    for (const int delta : {120, 120, 60, -120, -240, -120}) {
        wheel(image->mapFrom(box->viewport(), pointer), delta, Qt::ControlModifier);
        const nocturo::PicturePoint now = pixelAt(pointer);
        const double zoom = form.ZoomFactor();  // two screen pixels of rounding at most
        QVERIFY2(std::abs(now.x - under.x) * zoom <= 2 && std::abs(now.y - under.y) * zoom <= 2,
                 qPrintable(QString("%1,%2 at %3 from %4,%5")
                                .arg(now.x)
                                .arg(now.y)
                                .arg(slider->value())
                                .arg(under.x)
                                .arg(under.y)));
    }
    QCOMPARE(slider->value(), 71);  // 100 * 1.25^-1.5, rounded at every turn
    // The slider keeps working after the wheel.
    slider->setValue(200);
    QCOMPARE(form.ZoomFactor(), 2.0);

    // A wheel without Ctrl scrolls and leaves the zoom alone.
    const QPoint before = box->ScrollPosition();
    wheel({50, 50}, -120, Qt::NoModifier);
    QCOMPARE(slider->value(), 200);
    QVERIFY(box->ScrollPosition().y() > before.y());

    // Dragging pans by the pointer's travel and opens no Info Image.
    const QPoint start = box->ScrollPosition();
    auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(at), image->mapToGlobal(QPointF(at)), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(image, &event);
    };
    const QPoint grab = image->mapFrom(box->viewport(), QPoint(300, 300));
    mouse(QEvent::MouseButtonPress, grab, Qt::LeftButton);
    mouse(QEvent::MouseMove, grab - QPoint(40, 25), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, grab - QPoint(40, 25), Qt::NoButton);
    QCOMPARE(box->ScrollPosition(), start + QPoint(40, 25));
    QVERIFY(!form.findChild<nocturo::TFormCreateImg*>()->isVisible());
}

void FormMainTest::commandLineFilesFillTheLeftList() {
    QTemporaryDir dir;
    TFormMain form;
    const QString a = WritePicture(dir, "a.png", 8, 6, 50);
    const QString b = WritePicture(dir, "b.png", 8, 6, 60);
    form.OpenFiles({a, b, dir.filePath("not-there.jpg")});
    FileList& left = form.LeftList();
    QCOMPARE(left.Count(), 2);  // names that are no files are left out
    QCOMPARE(QString::fromStdString(left.Text(0)), a);
    QVERIFY(left.IsChecked(0) && left.IsEnabled(0) && left.IsChecked(1));
    QCOMPARE(left.Current(), 0);
    QVERIFY(left.IsSelected(0));
    QCOMPARE(form.ViewPicture().Width(), 8);
    QCOMPARE(form.StatusBar1()->PanelText(0), QString("1/2"));

    // A folder brings its pictures in name order.
    TFormMain other;
    other.OpenFiles({dir.path()});
    QCOMPARE(other.LeftList().Count(), 2);
    QCOMPARE(QString::fromStdString(other.LeftList().Text(1)), b);
}

void FormMainTest::optionsMenuShowsTheCurrentModes() {
    TFormMain form;
    form.show();
    form.findChild<QToolButton*>("ToolButton7")->click();  // zoom mode
    form.LeftList().SetSorted(true);
    form.Options1Click();
    QVERIFY(!form.Action("Adapterlimage1")->isChecked());
    QTRY_VERIFY(form.findChild<QSlider*>("TrackBar1")->isVisible());
    QVERIFY(form.Action("SortList1")->isChecked());
    QVERIFY(!form.Action("SortList2")->isChecked());

    // The menu item switches back to stretch mode.
    form.Action("Adapterlimage1")->trigger();
    QVERIFY(form.StretchMode());
    QTRY_VERIFY(!form.findChild<QSlider*>("TrackBar1")->isVisible());
}

void FormMainTest::listPanelsRefuseToGetNarrowerThan175() {
    TFormMain form;
    form.resize(1000, 600);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* splitter1 = form.findChild<QSplitter*>("Splitter1");
    auto* splitter2 = form.findChild<QSplitter*>("Splitter2");
    splitter1->setSizes({50, 950});
    splitter2->setSizes({20, 930});
    QCOMPARE(form.findChild<QWidget*>("Panel1")->width(), 175);
    QCOMPARE(form.findChild<QWidget*>("Panel2")->width(), 175);
}

QTEST_MAIN(FormMainTest)
#include "form_main_test.moc"
