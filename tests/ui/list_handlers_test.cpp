// The list commands of the main window, driven offscreen with scripted
// dialogs.

#include <QAction>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/form_main.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "lists/list_commands.h"
#include "lists/ui/check_list_box.h"
#include "tests/ui/scripted_dialogs.h"

using nocturo::DialogButton;
using nocturo::FileList;
using nocturo::RgbImage;
using nocturo::TFormMain;
using nocturo::test::DialogScript;

namespace {

QString WritePicture(const QTemporaryDir& dir, const QString& name, int w, int h) {
    RgbImage image;
    image.Resize(w, h);
    nocturo::FillImage(image, 40, 80, 120);
    std::string file = dir.filePath(name).toStdString();
    nocturo::SaveImageFile(image, file);
    return QString::fromStdString(file);
}

QStringList Texts(const FileList& list) {
    QStringList out;
    for (const auto& entry : list.Entries()) {
        out << QString::fromStdString(entry.text);
    }
    return out;
}

}  // namespace

class ListHandlersTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DialogScript> script_;
    nocturo::test::ScriptedDialogs& Script() { return **script_; }

  private slots:
    void init() { script_ = std::make_unique<DialogScript>(); }
    void cleanup() { script_.reset(); }

    void clearingAsksOnlyWhenThereIsSomethingToClear();
    void clearSelectionDeletesAfterOk();
    void newListAppendsAfterACancelledClear();
    void swapMovesContentsAndTheCurrentList();
    void copyAndMoveButtonsActOnTheirOwnList();
    void testPicturesCountsFilesOfAnotherSize();
    void testPicturesTakesItsSizeFromTheFirstPictureThatLoads();
    void redirectCreatesAMissingFolderAfterAQuestion();
    void clickingAnEntryShowsItOrMarksItFailed();
    void sortByNumberChecksEverything();
    void droppedFilesJoinTheirList();
    void sortedFlagsFollowTheOptionsMenu();
};

void ListHandlersTest::clearingAsksOnlyWhenThereIsSomethingToClear() {
    TFormMain form;
    form.ClearList1Click();
    QCOMPARE(Script().Count("message"), 0);
    QCOMPARE(form.StatusBar1()->PanelText(2), QString("Empty List"));

    form.LeftList().Append("/none/a.jpg", true, true);
    Script().messages = {DialogButton::Cancel};
    form.ClearList1Click();
    QCOMPARE(form.LeftList().Count(), 1);
    QCOMPARE(Script().Last("message").text, QString("Clear List?"));
    QCOMPARE(Script().Last("message").caption, QString("Left List"));

    Script().messages = {DialogButton::Ok};
    form.ClearList1Click();
    QCOMPARE(form.LeftList().Count(), 0);
    QVERIFY(form.ViewPicture().IsEmptyImage());
}

void ListHandlersTest::clearSelectionDeletesAfterOk() {
    TFormMain form;
    FileList& right = form.RightList();
    for (const char* name : {"/x/a.jpg", "/x/b.jpg", "/x/c.jpg"}) {
        right.Append(name);
    }
    right.SetSorted(true);
    right.SetSelected(1, true);

    Script().messages = {DialogButton::Cancel};
    form.ToolButtonDelete2Click();  // makes the right list current first
    QCOMPARE(form.ListTitle(), QString("Right List"));
    QCOMPARE(Script().Last("message").text, QString("Clear Selection"));
    QCOMPARE(Script().Last("message").caption, QString("Right List"));
    QCOMPARE(right.Count(), 3);

    Script().messages = {DialogButton::Ok};
    form.ClearSelection1Click();
    QCOMPARE(Texts(right), QStringList({"/x/a.jpg", "/x/c.jpg"}));
    QVERIFY(!right.IsSorted());

    // Nothing to clear: no question at all.
    FileList& left = form.LeftList();
    form.ClearSelected1Click();
    QCOMPARE(form.ListTitle(), QString("Left List"));
    QCOMPARE(left.Count(), 0);
    QCOMPARE(Script().Count("message"), 2);
}

void ListHandlersTest::newListAppendsAfterACancelledClear() {
    QTemporaryDir dir;
    TFormMain form;
    const QString a = WritePicture(dir, "a.png", 4, 4);
    const QString b = WritePicture(dir, "b.png", 4, 4);
    const QString c = WritePicture(dir, "c.png", 4, 4);
    form.LeftList().Append("/old/one.jpg", false, true);

    Script().openFiles = {{b, c}};
    Script().messages = {DialogButton::Cancel};
    form.NewList1Click();
    QCOMPARE(Texts(form.LeftList()), QStringList({"/old/one.jpg", b, c}));
    QVERIFY(!form.LeftList().IsChecked(0));
    QVERIFY(form.LeftList().IsChecked(1) && form.LeftList().IsEnabled(2));
    const auto asked = Script().Last("open");
    QVERIFY(asked.options.filter.startsWith("All Images|*.BMP;*.JPG;*.JPS;*.JPEG;*.PNG;"));
    QCOMPARE(asked.options.defaultExtension, QString("BMP"));
    // The first new entry is current and shown.
    QCOMPARE(form.LeftList().Current(), 1);
    QCOMPARE(form.StatusBar1()->PanelText(2), b);
    QVERIFY(!form.StatusBar1()->IsErrorStyle());

    Script().openFiles = {{a}};
    Script().messages = {DialogButton::Ok};
    form.NewList1Click();
    QCOMPARE(Texts(form.LeftList()), QStringList({a}));
    QCOMPARE(form.LeftList().Current(), 0);
    QVERIFY(form.LeftList().IsSelected(0));
    QCOMPARE(form.StatusBar1()->PanelText(2), a);
    QCOMPARE(form.StatusBar1()->PanelText(0), QString("1/1"));
    QVERIFY(!form.StatusBar1()->IsErrorStyle());
    QCOMPARE(form.ViewPicture().Width(), 4);

    // A cancelled dialog changes nothing.
    form.NewList1Click();
    QCOMPARE(form.LeftList().Count(), 1);
}

void ListHandlersTest::swapMovesContentsAndTheCurrentList() {
    TFormMain form;
    FileList& left = form.LeftList();
    left.Append("/n/1.jpg", true, true);
    left.Append("/n/2.jpg", false, true);
    left.Append("/n/3.jpg", false, false);
    form.ToolBar1Click();

    form.ToolButtonSwapClick();
    QCOMPARE(left.Count(), 0);
    const FileList& right = form.RightList();
    QCOMPARE(Texts(right), QStringList({"/n/1.jpg", "/n/2.jpg", "/n/3.jpg"}));
    QVERIFY(right.IsChecked(0) && !right.IsChecked(1) && !right.IsEnabled(2));
    QCOMPARE(right.SelectedCount(), 0);
    QCOMPARE(form.ListTitle(), QString("Right List"));
    QVERIFY(form.findChild<QToolButton*>("ToolButtonFocus2")->isChecked());
    QVERIFY(!form.findChild<QToolButton*>("ToolButtonFocus1")->isChecked());
    QCOMPARE(form.Action("LoadList1")->text(), QString("Load RIGHT current list"));
    QCOMPARE(form.Action("SaveList1")->text(), QString("Save RIGHT current list"));

    form.ToolButtonSwapClick();
    QCOMPARE(Texts(left), QStringList({"/n/1.jpg", "/n/2.jpg", "/n/3.jpg"}));
    QCOMPARE(form.ListTitle(), QString("Left List"));
}

void ListHandlersTest::copyAndMoveButtonsActOnTheirOwnList() {
    TFormMain form;
    FileList& left = form.LeftList();
    for (const char* name : {"/n/a.jpg", "/n/b.jpg", "/n/c.jpg"}) {
        left.Append(name, true, true);
    }
    left.SetEnabled(2, false);
    left.SetSelected(0, true);
    left.SetSelected(2, true);

    form.ToolButtonCopyList2Click();
    QCOMPARE(form.ListTitle(), QString("Right List"));
    QCOMPARE(Texts(form.RightList()), QStringList({"/n/a.jpg", "/n/c.jpg"}));
    QVERIFY(form.RightList().IsChecked(0));
    QVERIFY(!form.RightList().IsEnabled(1));
    QCOMPARE(left.SelectedCount(), 2);  // the source keeps its selection

    left.SetCurrent(0);
    form.ToolButtonUp1Click();  // the first entry wraps to the end
    QCOMPARE(form.ListTitle(), QString("Left List"));
    QCOMPARE(Texts(left), QStringList({"/n/b.jpg", "/n/c.jpg", "/n/a.jpg"}));
    QCOMPARE(left.Current(), 2);
    form.ToolButtonDown1Click();  // and back to the front
    QCOMPARE(Texts(left), QStringList({"/n/a.jpg", "/n/b.jpg", "/n/c.jpg"}));

    form.RightList().SetSelected(1, true);
    form.ToolButtonCopyList1Click();
    QCOMPARE(left.Count(), 4);
    QCOMPARE(form.ListTitle(), QString("Left List"));

    left.SetCurrent(1);
    form.Sendtobottom1Click();
    QCOMPARE(QString::fromStdString(left.Text(3)), QString("/n/b.jpg"));
    QCOMPARE(left.Current(), 3);
}

void ListHandlersTest::testPicturesCountsFilesOfAnotherSize() {
    QTemporaryDir dir;
    TFormMain form;
    FileList& left = form.LeftList();
    left.Append(WritePicture(dir, "a.png", 8, 6).toStdString(), false, false);
    left.Append(WritePicture(dir, "b.png", 8, 6).toStdString(), true, true);
    left.Append(WritePicture(dir, "c.png", 9, 6).toStdString(), true, true);
    left.Append(dir.filePath("gone.jpg").toStdString(), true, true);  // missing: an error
    Script().messages = {DialogButton::Ok};
    form.Testvalidpictures1Click();
    QCOMPARE(Script().Last("message").text, QString("2 File(s) in Error"));
    QCOMPARE(Script().Last("message").caption, QString("Test Pictures"));
    // A passed test checks and enables its entry, a failed one the opposite.
    QVERIFY(left.IsChecked(0) && left.IsEnabled(0));
    QVERIFY(left.IsEnabled(1));
    QVERIFY(!left.IsEnabled(2) && !left.IsChecked(2));
    QVERIFY(!left.IsEnabled(3));
    QCOMPARE(form.StatusBar1()->PanelText(2),
             QString("Loading Error: %1").arg(dir.filePath("gone.jpg")));
}

void ListHandlersTest::testPicturesTakesItsSizeFromTheFirstPictureThatLoads() {
    QTemporaryDir dir;
    TFormMain form;
    QFile bad(dir.filePath("bad.png"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    // A missing or undecodable entry first fails alone; the pictures after
    // it are measured against the first one that loads.
    FileList& left = form.LeftList();
    left.Append(dir.filePath("gone.png").toStdString(), true, true);
    left.Append(dir.filePath("bad.png").toStdString(), true, true);
    left.Append(WritePicture(dir, "b.png", 8, 6).toStdString(), true, true);
    left.Append(dir.filePath("gone.jpg").toStdString(), true, true);
    left.Append(WritePicture(dir, "c.png", 8, 6).toStdString(), false, true);
    form.Testvalidpictures1Click();
    QCOMPARE(Script().Last("message").text, QString("3 File(s) in Error"));
    for (int i : {0, 1, 3}) {
        QVERIFY(!left.IsEnabled(i) && !left.IsChecked(i));
    }
    for (int i : {2, 4}) {
        QVERIFY(left.IsEnabled(i) && left.IsChecked(i));
    }
}

void ListHandlersTest::redirectCreatesAMissingFolderAfterAQuestion() {
    QTemporaryDir dir;
    TFormMain form;
    FileList& left = form.LeftList();
    const QString a = WritePicture(dir, "a.png", 5, 5);
    left.Append(a.toStdString(), true, true);
    left.Append("/elsewhere/b.png", true, true);
    const QString target = dir.filePath("new/sub");

    Script().folders = {target};
    Script().messages = {DialogButton::No};
    form.Redirect1Click();
    QVERIFY(!QDir(target).exists());
    QCOMPARE(QString::fromStdString(left.Text(0)), a);

    Script().folders = {target};
    Script().messages = {DialogButton::Yes, DialogButton::Ok};
    form.Redirect1Click();
    QVERIFY(QDir(target).exists());
    QCOMPARE(QString::fromStdString(left.Text(0)), target + "/a.png");
    QCOMPARE(QString::fromStdString(left.Text(1)), target + "/b.png");
    // Neither file is in the new folder: both are in error.
    QCOMPARE(Script().Last("message").caption, QString("Test Pictures"));
    QCOMPARE(Script().Last("message").text, QString("2 File(s) in Error"));
    QVERIFY(!left.IsEnabled(0) && !left.IsEnabled(1));

    // Redirecting back to where a.png is: it passes, the other one does not.
    left.SetText(1, "/elsewhere/b.txt");
    Script().folders = {dir.path()};
    Script().messages = {DialogButton::Ok};
    form.Redirect1Click();
    QCOMPARE(QString::fromStdString(left.Text(0)), a);
    QVERIFY(left.IsEnabled(0));
    QVERIFY(!left.IsEnabled(1));
    QCOMPARE(Script().Last("message").text, QString("1 File(s) in Error"));
}

void ListHandlersTest::clickingAnEntryShowsItOrMarksItFailed() {
    QTemporaryDir dir;
    TFormMain form;
    FileList& left = form.LeftList();
    left.Append(WritePicture(dir, "a.png", 7, 3).toStdString(), true, true);
    left.Append(dir.filePath("broken.png").toStdString(), true, true);
    QFile broken(dir.filePath("broken.png"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("\x89PNG\r\n\x1a\n broken");
    broken.close();

    auto* box = form.findChild<nocturo::CheckListBox*>("ListBox1");
    emit box->entryClicked(0);
    QCOMPARE(form.ViewPicture().Width(), 7);
    QCOMPARE(form.StatusBar1()->PanelText(0), QString("1/2"));
    QVERIFY(!form.StatusBar1()->IsErrorStyle());

    emit box->entryClicked(1);
    QVERIFY(!left.IsEnabled(1));
    QVERIFY(!left.IsChecked(1));
    QVERIFY(form.ViewPicture().IsEmptyImage());
    QVERIFY(form.StatusBar1()->IsErrorStyle());
    QCOMPARE(form.StatusBar1()->PanelText(2),
             QString("Loading Error: %1").arg(dir.filePath("broken.png")));
    QCOMPARE(form.StatusBar1()->PanelText(0), QString("1"));

    // A file that went missing is a loading error as well.
    left.Append(dir.filePath("gone.jpg").toStdString(), true, true);
    emit box->entryClicked(2);
    QVERIFY(!left.IsEnabled(2));
    QVERIFY(!left.IsChecked(2));
    QVERIFY(form.ViewPicture().IsEmptyImage());
    QVERIFY(form.StatusBar1()->IsErrorStyle());
    QCOMPARE(form.StatusBar1()->PanelText(2),
             QString("Loading Error: %1").arg(dir.filePath("gone.jpg")));
}

void ListHandlersTest::sortByNumberChecksEverything() {
    TFormMain form;
    FileList& left = form.LeftList();
    for (const char* name : {"/c/IMG_0002.JPG", "/c/IMG_9999.JPG", "/c/dark.jpg", "/c/IMG_0001.JPG",
                             "/c/IMG_0000.JPG"}) {
        left.Append(name, false, false);
    }
    form.SortbyNum1Click();
    QCOMPARE(Texts(left), QStringList({"/c/IMG_0001.JPG", "/c/IMG_0002.JPG", "/c/IMG_9999.JPG",
                                       "/c/dark.jpg", "/c/IMG_0000.JPG"}));
    for (int i = 0; i < left.Count(); ++i) {
        QVERIFY(left.IsChecked(i) && left.IsEnabled(i));
    }
}

void ListHandlersTest::droppedFilesJoinTheirList() {
    QTemporaryDir dir;
    TFormMain form;
    form.RightList().Append("/kept/x.jpg");
    const QString a = WritePicture(dir, "a.png", 4, 4);
    auto* box = form.findChild<nocturo::CheckListBox*>("ListBox2");
    emit box->filesDropped({a});
    QCOMPARE(Texts(form.RightList()), QStringList({"/kept/x.jpg", a}));
    QVERIFY(form.RightList().IsChecked(1) && form.RightList().IsEnabled(1));
    QCOMPARE(Script().Count("message"), 0);  // dropping never asks
}

void ListHandlersTest::sortedFlagsFollowTheOptionsMenu() {
    TFormMain form;
    FileList& left = form.LeftList();
    left.Append("/s/b.jpg");
    left.Append("/s/A.jpg");
    form.Action("SortList1")->trigger();
    QVERIFY(left.IsSorted());
    QCOMPARE(Texts(left), QStringList({"/s/A.jpg", "/s/b.jpg"}));
    form.Action("SortList2")->trigger();
    QVERIFY(form.RightList().IsSorted());
    form.Action("SortList2")->trigger();
    QVERIFY(!form.RightList().IsSorted());

    // Inverting the selection keeps the current entry.
    left.SetCurrent(1);
    form.InvertSelectAllClick();
    QCOMPARE(left.SelectedCount(), 2);
    QCOMPARE(left.Current(), 1);
}

QTEST_MAIN(ListHandlersTest)
#include "list_handlers_test.moc"
