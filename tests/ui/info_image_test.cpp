// The main window and the Info Image window together: opening it from the
// picture and the menu, taking its point back, and the other openers.

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/form_main.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "engine/ui/form_factor.h"
#include "lists/ui/check_list_box.h"
#include "tests/ui/scripted_dialogs.h"
#include "viewer/fly_image.h"
#include "viewer/form_create_img.h"

using nocturo::FileList;
using nocturo::RgbImage;
using nocturo::TFormCreateImg;
using nocturo::TFormMain;
using nocturo::test::DialogScript;

namespace {

// Writes a w x h PNG of one colour and returns its name.
QString WritePicture(const QTemporaryDir& dir, const QString& name, int w, int h, uint8_t red,
                     uint8_t green, uint8_t blue) {
    RgbImage image;
    image.Resize(w, h);
    nocturo::FillImage(image, blue, green, red);
    std::string file = dir.filePath(name).toStdString();
    nocturo::SaveImageFile(image, file);
    return QString::fromStdString(file);
}

// A press on the picture at picture pixel (x, y).
void PressOnPicture(TFormMain& form, int x, int y, Qt::KeyboardModifiers modifiers,
                    Qt::MouseButton button = Qt::LeftButton) {
    auto* image = form.findChild<nocturo::tFlyImage*>("Image1");
    const QPointF at(x * form.ZoomFactor(), y * form.ZoomFactor());
    QMouseEvent press(QEvent::MouseButtonPress, at, at, button, button, modifiers);
    QApplication::sendEvent(image, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, at, button, Qt::NoButton, modifiers);
    QApplication::sendEvent(image, &release);
}

struct Shown {
    QString w, h, pf, x, y, value;
};

Shown ShownIn(const TFormCreateImg& window) {
    return {window.EditW()->text(),    window.EditH()->text(),    window.EditPF()->text(),
            window.EditPosX()->text(), window.EditPosY()->text(), window.EditVal()->text()};
}

}  // namespace

class InfoImageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DialogScript> script_;

  private slots:
    void init() { script_ = std::make_unique<DialogScript>(); }
    void cleanup() { script_.reset(); }
    void createdWithTheMainWindowAndHidden();
    void pressOnThePictureOpensTheWindow();
    void menuItemOpensTheWindowAtTheMarkedPoint();
    void applyMovesTheMarkedPointAndShowsTheRightList();
    void createWithTheDialogCancelledAppliesThePoint();
    void showingAnEntryWhileVisibleRefreshesAndTakesTheCallBackBack();
    void anotherOpenerReceivesTheCreatedMaskName();
    void rightClickOpensTheMenuOnly();
    void questionsOpenAboveTheWindow();
};

void InfoImageTest::createdWithTheMainWindowAndHidden() {
    TFormMain form;
    TFormCreateImg* window = form.FormCreateImg();
    QVERIFY(window != nullptr);
    QCOMPARE(window->objectName(), QString("FormCreateImg"));
    QVERIFY(!window->isVisible());
    QVERIFY(form.Action("CreateImage1")->isEnabled());
}

void InfoImageTest::pressOnThePictureOpensTheWindow() {
    QTemporaryDir dir;
    TFormMain form;
    form.resize(900, 600);
    form.show();
    form.OpenFiles({WritePicture(dir, "a.png", 40, 30, 30, 60, 90)});
    TFormCreateImg* window = form.FormCreateImg();

    // Without Shift before any point was marked: -1, -1 reads as white.
    PressOnPicture(form, 10, 5, Qt::NoModifier);
    QVERIFY(window->isVisible());
    QVERIFY(window->HasInfoCallBack());
    Shown shown = ShownIn(*window);
    QCOMPARE(shown.w, QString("40"));
    QCOMPARE(shown.h, QString("30"));
    QCOMPARE(shown.pf, QString("24"));
    QCOMPARE(shown.x, QString("-1"));
    QCOMPARE(shown.y, QString("-1"));
    QCOMPARE(shown.value, QString("255"));
    QCOMPARE(form.MarkedX(), -1);

    // With Shift, any button marks the point, and the window shows its
    // luminosity (30 + 60 + 90) div 3.
    PressOnPicture(form, 12, 7, Qt::ShiftModifier, Qt::RightButton);
    QCOMPARE(form.MarkedX(), 12);
    QCOMPARE(form.MarkedY(), 7);
    shown = ShownIn(*window);
    QCOMPARE(shown.x, QString("12"));
    QCOMPARE(shown.y, QString("7"));
    QCOMPARE(shown.value, QString("60"));
    // The marked value is only taken back by Apply.
    QCOMPARE(form.MarkedValue(), -1);

    // A press without Shift elsewhere shows the marked point, not the pointer.
    PressOnPicture(form, 30, 20, Qt::NoModifier);
    QCOMPARE(ShownIn(*window).x, QString("12"));
}

void InfoImageTest::menuItemOpensTheWindowAtTheMarkedPoint() {
    QTemporaryDir dir;
    TFormMain form;
    form.show();
    form.OpenFiles({WritePicture(dir, "a.png", 16, 8, 0, 0, 3)});
    PressOnPicture(form, 3, 4, Qt::ShiftModifier);
    form.FormCreateImg()->hide();
    form.FormCreateImg()->SetPointValue(-7);

    form.Action("CreateImage1")->trigger();
    TFormCreateImg* window = form.FormCreateImg();
    QVERIFY(window->isVisible());
    const Shown shown = ShownIn(*window);
    QCOMPARE(shown.w, QString("16"));
    QCOMPARE(shown.h, QString("8"));
    QCOMPARE(shown.x, QString("3"));
    QCOMPARE(shown.y, QString("4"));
    QCOMPARE(shown.value, QString("1"));  // (0 + 0 + 3) div 3

    // A marked point outside the picture reads white.
    PressOnPicture(form, 16, 2, Qt::ShiftModifier);
    QCOMPARE(window->EditVal()->text(), QString("255"));
}

void InfoImageTest::applyMovesTheMarkedPointAndShowsTheRightList() {
    QTemporaryDir dir;
    TFormMain form;
    form.show();
    form.OpenFiles({WritePicture(dir, "a.png", 20, 10, 90, 90, 90)});
    form.CreateImage1Click();
    TFormCreateImg* window = form.FormCreateImg();

    // An empty right list: the view is cleared and says so.
    window->EditPosX()->setText("5");
    window->EditPosY()->setText("6");
    window->EditVal()->setText("7");
    window->findChild<QPushButton*>("Button1")->click();
    QCOMPARE(form.MarkedX(), 5);
    QCOMPARE(form.MarkedY(), 6);
    QCOMPARE(form.MarkedValue(), 7);
    QVERIFY(form.Lists().CurrentSide() == nocturo::ListSide::Right);
    QCOMPARE(form.StatusBar1()->PanelText(2), QString("Empty List"));
    QVERIFY(form.ViewPicture().IsEmptyImage());
    QVERIFY(window->isVisible());  // Apply keeps the window open

    // A right list with a current entry: it is shown, and the visible
    // window follows the new picture at the point just applied.
    const QString right = WritePicture(dir, "r.png", 24, 12, 30, 30, 30);
    form.RightList().Append(right.toStdString(), true, true);
    form.RightList().SetCurrent(0);
    window->EditPosX()->setText("2");
    window->EditPosY()->setText("3");
    window->EditVal()->setText("200");
    window->findChild<QPushButton*>("Button1")->click();
    QCOMPARE(form.MarkedX(), 2);
    QCOMPARE(form.MarkedValue(), 200);
    QCOMPARE(form.ViewPicture().Width(), 24);
    QCOMPARE(form.StatusBar1()->PanelText(2), right);
    const Shown shown = ShownIn(*window);
    QCOMPARE(shown.w, QString("24"));
    QCOMPARE(shown.x, QString("2"));
    QCOMPARE(shown.value, QString("30"));
}

void InfoImageTest::createWithTheDialogCancelledAppliesThePoint() {
    QTemporaryDir dir;
    TFormMain form;
    form.show();
    form.OpenFiles({WritePicture(dir, "a.png", 20, 10, 90, 90, 90)});
    form.CreateImage1Click();
    TFormCreateImg* window = form.FormCreateImg();
    window->EditPosX()->setText("8");
    window->EditPosY()->setText("9");
    window->findChild<QPushButton*>("BitBtnCreate")->click();  // no name: Cancel
    QCOMPARE((*script_)->Count("save"), 1);
    QVERIFY(!window->isVisible());
    QCOMPARE(form.MarkedX(), 8);
    QCOMPARE(form.MarkedY(), 9);
    QCOMPARE(form.StatusBar1()->PanelText(2), QString("Empty List"));
    QCOMPARE(form.RightList().Count(), 0);
}

void InfoImageTest::showingAnEntryWhileVisibleRefreshesAndTakesTheCallBackBack() {
    QTemporaryDir dir;
    TFormMain form;
    form.show();
    const QString a = WritePicture(dir, "a.png", 20, 10, 0, 0, 0);
    const QString b = WritePicture(dir, "b.png", 33, 17, 0, 0, 0);
    form.OpenFiles({a, b});
    TFormCreateImg* window = form.FormCreateImg();

    // Another window opens it: facts of the picture, its own call-back, the
    // point left alone.
    int batchCalls = 0;
    window->SetPointX(77);
    form.OpenCreateImgFor([&] { ++batchCalls; });
    QVERIFY(window->isVisible());
    QCOMPARE(window->EditW()->text(), QString("20"));
    QCOMPARE(window->EditH()->text(), QString("10"));
    QCOMPARE(window->EditPF()->text(), QString("24"));
    QCOMPARE(window->EditPosX()->text(), QString("77"));
    window->Button1Click();
    QCOMPARE(batchCalls, 1);
    QCOMPARE(form.MarkedX(), -1);

    // Showing an entry while the window is visible refreshes it and
    // registers the main window's call-back again.
    form.ShowListEntry(1, form.LeftList());
    QCOMPARE(window->EditW()->text(), QString("33"));
    QCOMPARE(window->EditH()->text(), QString("17"));
    QCOMPARE(window->EditPosX()->text(), QString("-1"));
    window->EditPosX()->setText("4");
    window->Button1Click();
    QCOMPARE(batchCalls, 1);
    QCOMPARE(form.MarkedX(), 4);

    // Hidden, it is left alone.
    window->hide();
    form.ShowListEntry(0, form.LeftList());
    QCOMPARE(window->EditW()->text(), QString("33"));
    QVERIFY(!window->isVisible());

    // Testing the pictures refreshes it too while it is visible, from the
    // pictures that pass (b's size differs from a's).
    window->show();
    window->SetImageWidth(-1);
    form.ToolBar1Click();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    (*script_)->messages = {nocturo::DialogButton::Ok};
    form.Action("Testvalidpictures1")->trigger();
    QCOMPARE((*script_)->Count("message"), 1);
    QCOMPARE(window->EditW()->text(), QString("20"));
}

void InfoImageTest::anotherOpenerReceivesTheCreatedMaskName() {
    QTemporaryDir dir;
    TFormMain form;
    form.show();
    form.OpenFiles({WritePicture(dir, "a.png", 12, 9, 0, 0, 0)});
    TFormCreateImg* window = form.FormCreateImg();
    // The batch window's "Create an Image Mask.." opens it for the current
    // picture, and the mask becomes the batch reference.
    form.NewBatchOperations1Click();
    nocturo::TFormFactor* batch = form.FormFactor();
    batch->SpeedButton1Click();
    QVERIFY(window->isVisible());
    QCOMPARE(window->EditW()->text(), QString("12"));
    const QString mask = dir.filePath("mask.tif");
    window->EditC()->setText("00FFFFFF");
    (*script_)->saveNames = {mask};
    window->BitBtnCreateClick();
    QCOMPARE(batch->EditFileNameText(), mask);
    QVERIFY(!window->isVisible());
    RgbImage loaded;
    QVERIFY(nocturo::LoadImageFile(loaded, mask.toStdString()));
    QCOMPARE(loaded.Width(), 12);
    QCOMPARE(loaded.Height(), 9);
    QCOMPARE(loaded.Row(8)[3 * 11 + 1], uint8_t{255});
    // The main window was not called back: its point stays unmarked.
    QCOMPARE(form.MarkedX(), -1);
}

void InfoImageTest::rightClickOpensTheMenuOnly() {
    QTemporaryDir dir;
    TFormMain form;
    form.show();
    form.OpenFiles({WritePicture(dir, "a.png", 16, 8, 0, 0, 0)});
    PressOnPicture(form, 3, 4, Qt::NoModifier, Qt::RightButton);
    QVERIFY(!form.FormCreateImg()->isVisible());
    PressOnPicture(form, 3, 4, Qt::NoModifier, Qt::MiddleButton);
    QVERIFY(form.FormCreateImg()->isVisible());
}

void InfoImageTest::questionsOpenAboveTheWindow() {
    QTemporaryDir dir;
    TFormMain form;
    form.show();
    form.OpenFiles({WritePicture(dir, "a.png", 16, 8, 0, 0, 0)});
    TFormCreateImg* window = form.FormCreateImg();
    // A tool window of the main window, not one above every window.
    QCOMPARE(window->parentWidget(), &form);
    QCOMPARE(window->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    PressOnPicture(form, 3, 4, Qt::NoModifier);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    // The real question at quit opens above it, active.
    nocturo::test::RealDialogs real;
    form.Run().ResultUnsaved = true;
    QString text;
    QWidget* parent = nullptr;
    bool active = false;
    nocturo::test::OnceModalOpens([&](QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        QVERIFY(box != nullptr);
        text = box->text();
        parent = box->parentWidget();
        active = QTest::qWaitForWindowActive(box);
    });
    QVERIFY(!form.close());
    QCOMPARE(text, QString("Save Processed Image?"));
    QCOMPARE(parent, window);
    QVERIFY(active);
    form.Run().ResultUnsaved = false;
}

QTEST_MAIN(InfoImageTest)
#include "info_image_test.moc"
