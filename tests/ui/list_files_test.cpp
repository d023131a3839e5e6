// "Load Current List..." and "Save Current List..." of the main window,
// driven offscreen with scripted dialogs.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/form_main.h"
#include "lists/list_file.h"
#include "tests/ui/scripted_dialogs.h"
#include "viewer/form_create_img.h"

using nocturo::DialogButton;
using nocturo::FileList;
using nocturo::ListEntry;
using nocturo::TFormMain;
using nocturo::test::DialogScript;

namespace {

std::vector<ListEntry> Entries(const FileList& list) {
    return list.Entries();
}

}  // namespace

class ListFilesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DialogScript> script_;
    nocturo::test::ScriptedDialogs& Script() { return **script_; }

  private slots:
    void init() { script_ = std::make_unique<DialogScript>(); }
    void cleanup() { script_.reset(); }

    void saveAndLoadThroughTheMenus();
    void eachKindOfFileHasItsOwnDialogPlace();
    void loadingAsksBeforeClearingAndCancelAppends();
    void aListSavedFromTheRightListFillsTheLeftList();
    void failuresLeaveListAndFileAsTheyWere();
};

void ListFilesTest::saveAndLoadThroughTheMenus() {
    QTemporaryDir dir;
    const QString file = dir.filePath("night list é.txt");
    TFormMain form;
    FileList& left = form.LeftList();
    left.Append(ListEntry{"/nuit/Été 2015/IMG 0001.JPG", true, true, true});
    left.Append(ListEntry{"/nuit/Été 2015/IMG_0002.JPG", false, true, false});
    left.Append(ListEntry{"/nuit/Été 2015/IMG_0003.JPG", true, false, false});
    const std::vector<ListEntry> saved = Entries(left);

    QVERIFY(form.Action("SaveList1")->isEnabled());
    QVERIFY(form.Action("LoadList1")->isEnabled());
    Script().saveNames = {file};
    form.Action("SaveList1")->trigger();
    const auto asked = Script().Last("save");
    QCOMPARE(asked.options.filter, QString("*.txt|*.txt|*.*|*.*"));
    QCOMPARE(asked.text, QString("processlist.txt"));
    QVERIFY(QFile::exists(file));
    QCOMPARE(Script().Count("message"), 0);

    // Loading over the entries asks first; OK replaces them.
    left.Clear();
    left.Append("/other.jpg");
    Script().openFiles = {{file}};
    Script().messages = {DialogButton::Ok};
    form.Action("LoadList1")->trigger();
    QCOMPARE(Script().Last("message").text, QString("Clear List?"));
    QCOMPARE(Script().Last("open").options.filter, QString("*.txt|*.txt|*.*|*.*"));
    std::vector<ListEntry> expected = saved;
    expected[2].enabled = true;  // disabled entries come back enabled
    // The first entry was shown: its file is missing, so the view disables it.
    QCOMPARE(left.Count(), 3);
    for (int i = 1; i < 3; ++i) {
        QCOMPARE(left.Entries()[i], expected[i]);
    }
    QCOMPARE(left.Text(0), QString("/nuit/Été 2015/IMG 0001.JPG").toStdString());
    QVERIFY(left.IsSelected(0));

    // Saving over an existing file asks; No keeps the file.
    const QByteArray before = [&] {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    left.Append("/new.jpg");
    Script().saveNames = {file};
    Script().messages = {DialogButton::No};
    form.SaveList1Click();
    QCOMPARE(Script().Last("message").text, "OverWrite? " + file);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void ListFilesTest::eachKindOfFileHasItsOwnDialogPlace() {
    QTemporaryDir dir;
    for (const char* folder : {"frames", "out", "lists"}) {
        QVERIFY(QDir(dir.path()).mkdir(folder));
    }
    const QString frame = dir.filePath("frames/a.jpg");
    const QString result = dir.filePath("out/trails_440.jpg");
    const QString list = dir.filePath("lists/night.txt");
    TFormMain form;
    auto proposed = [&](const QString& kind) { return Script().Last(kind).options.fileName; };

    // Frames opened, then a result saved: the list dialogs propose neither.
    Script().openFiles = {{frame}};
    form.NewList1Click();
    Script().saveNames = {result};
    form.SaveResult1Click();
    form.LoadList1Click();
    QCOMPARE(proposed("open"), QString("processlist.txt"));
    form.SaveList1Click();
    QCOMPARE(proposed("save"), QString("processlist.txt"));
    // Nor does the mask dialog.
    form.FormCreateImg()->BitBtnCreateClick();
    QCOMPARE(proposed("save"), QString("new.bmp"));

    // A list saved: each dialog proposes its own kind's last file.
    Script().saveNames = {list};
    form.SaveList1Click();
    form.SaveResult1Click();
    QCOMPARE(proposed("save"), result);
    form.SaveList1Click();
    QCOMPARE(proposed("save"), list);
    form.LoadList1Click();
    QCOMPARE(proposed("open"), list);
    form.NewList1Click();
    QCOMPARE(proposed("open"), frame);

    // A list saved under a picture's name is never proposed again (one
    // "Yes" would replace a picture with a list), nor a result saved under
    // a list's name: the folder stays, the name is the default.
    Script().saveNames = {dir.filePath("lists/oops.jpg")};
    form.SaveList1Click();
    Script().saveNames = {dir.filePath("out/oops.txt")};
    form.SaveResult1Click();
    form.SaveList1Click();
    QCOMPARE(Script().Last("save").options.folder, dir.filePath("lists"));
    QCOMPARE(proposed("save"), QString("processlist.txt"));
    form.SaveResult1Click();
    QCOMPARE(Script().Last("save").options.folder, dir.filePath("out"));
    QCOMPARE(proposed("save"), QString("proc.jpg"));
}

void ListFilesTest::loadingAsksBeforeClearingAndCancelAppends() {
    QTemporaryDir dir;
    const QString file = dir.filePath("list.txt");
    FileList source;
    source.Append(ListEntry{"/x/one.jpg", true, true, false});
    source.Append(ListEntry{"/x/two.jpg", false, true, false});
    QVERIFY(nocturo::SaveListFile(source, file.toStdString()));

    TFormMain form;
    FileList& left = form.LeftList();
    left.Append("/x/old.jpg", true, true);
    Script().messages = {DialogButton::Cancel};
    QVERIFY(form.LoadListFile(file));
    QCOMPARE(left.Count(), 3);
    QCOMPARE(left.Text(0), std::string("/x/old.jpg"));
    QCOMPARE(left.Text(2), std::string("/x/two.jpg"));
    QVERIFY(!left.IsChecked(2));

    // An empty list is filled without a question.
    left.Clear();
    const int asked = Script().Count("message");
    QVERIFY(form.LoadListFile(file));
    QCOMPARE(Script().Count("message"), asked);
    QCOMPARE(left.Count(), 2);
}

void ListFilesTest::aListSavedFromTheRightListFillsTheLeftList() {
    QTemporaryDir dir;
    const QString file = dir.filePath("right.txt");
    TFormMain form;
    form.RightList().Append(ListEntry{"/r/a.jpg", true, true, true});
    form.RightList().Append(ListEntry{"/r/b.jpg", false, true, false});
    form.ToolBar2Click();
    QCOMPARE(form.Action("SaveList1")->text(), QString("Save RIGHT current list"));
    QVERIFY(form.SaveListFile(file));
    form.ToolBar1Click();
    QCOMPARE(form.Action("LoadList1")->text(), QString("Load LEFT current list"));
    QVERIFY(form.LoadListFile(file));
    QCOMPARE(form.LeftList().Entries(), form.RightList().Entries());
}

void ListFilesTest::failuresLeaveListAndFileAsTheyWere() {
    QTemporaryDir dir;
    TFormMain form;
    FileList& left = form.LeftList();
    left.Append("/keep/me.jpg", true, true);

    // A folder cannot be read as a list file.
    QVERIFY(!form.LoadListFile(dir.path()));
    QCOMPARE(Script().Last("message").text.contains(dir.path()), true);
    QCOMPARE(left.Count(), 1);

    // A damaged count.
    const QString damaged = dir.filePath("damaged.txt");
    {
        QFile f(damaged);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[List]\r\ncount=2000000000\r\n");
    }
    QVERIFY(!form.LoadListFile(damaged));
    QCOMPARE(left.Count(), 1);
    QCOMPARE(left.Text(0), std::string("/keep/me.jpg"));

    // A picture or a UTF-16 text is no list file: said so, and no "Clear
    // List?" is asked, even with OK waiting for it.
    const QByteArray notLists[] = {QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11),
                                   QByteArray("\xFF\xFE[\0L\0i\0s\0t\0]\0", 14)};
    for (const QByteArray& bytes : notLists) {
        const QString other = dir.filePath("other.txt");
        QFile f(other);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        Script().messages = {DialogButton::Ok, DialogButton::Ok};
        QVERIFY(!form.LoadListFile(other));
        QCOMPARE(left.Count(), 1);
        QVERIFY(Script().Last("message").text.contains("not a list file"));
        QCOMPARE(Script().messages.size(), size_t(1));
    }

    // Saving into a folder that does not exist.
    const int messages = Script().Count("message");
    QVERIFY(!form.SaveListFile(dir.filePath("missing/list.txt")));
    QCOMPARE(Script().Count("message"), messages + 1);
    QVERIFY(Script().Last("message").text.contains("missing"));
}

QTEST_MAIN(ListFilesTest)
#include "list_files_test.moc"
