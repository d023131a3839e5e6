// The mask directory browser with the main window, driven offscreen with
// scripted dialogs over a folder the tests make.

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include <sys/stat.h>

#include <filesystem>

#include "app/form_main.h"
#include "core/image_file.h"
#include "lists/list_file.h"
#include "lists/ui/check_list_box.h"
#include "lists/ui/folder_model.h"
#include "lists/ui/form_sel_dir.h"
#include "lists/ui/local_path.h"
#include "tests/ui/scripted_dialogs.h"

using nocturo::DialogButton;
using nocturo::FileList;
using nocturo::TFormMain;
using nocturo::TFormSelDir;
using nocturo::test::DialogScript;

namespace {

QStringList Names(const FileList& list) {
    QStringList out;
    for (const auto& entry : list.Entries()) {
        out << QFileInfo(QString::fromStdString(entry.text)).fileName();
    }
    return out;
}

// A night folder: pictures, other files, a hidden file and subfolders.
struct Night {
    QTemporaryDir dir;
    Night() {
        for (const char* name : {"IMG_0001.JPG", "IMG_0002.jpg", "notes.txt", "x.jpeg", "README",
                                 "shot.raw", "été.png", ".hidden.jpg"}) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write("x");
        }
        QDir(dir.path()).mkdir("darks");
        QDir(dir.path()).mkdir("flats");
        QDir(dir.path()).mkdir(".cache");
        QFile f(dir.filePath("darks/d1.jpg"));
        f.open(QIODevice::WriteOnly);
    }
    QString Path() const { return QDir::cleanPath(dir.path()); }
};

template <typename T>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    if (child == nullptr) {
        qWarning("no child %s", name);
    }
    return child;
}

}  // namespace

class BrowserTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DialogScript> script_;
    nocturo::test::ScriptedDialogs& Script() { return **script_; }

  private slots:
    void init() { script_ = std::make_unique<DialogScript>(); }
    void cleanup() {
        script_.reset();
        // The browser makes each folder it opens the current one.
        QDir::setCurrent(QDir::tempPath());
    }

    void layoutAndNames();
    void openingFillsTheListAndTheHistory();
    void maskAndFilterRefilterInMemory();
    void navigation();
    void checkCommandsAndTestValidPictures();
    void okTwiceWithClearListCancelled();
    void closeBoxEmptiesTheListCloseButtonKeepsIt();
    void doubleClickOpensTheFile();
    void mainShortcutsActOnTheBrowserListWhileItIsActive();
    void namesThatAreNotUtf8OpenAndLoad();
    void fileDialogsOpenAboveTheBrowser();
    void folderPaneShowsWholeNamesWidensAndRefreshes();
};

void BrowserTest::layoutAndNames() {
    TFormMain form;
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(browser != nullptr);
    QVERIFY(browser->isHidden());
    QCOMPARE(browser->objectName(), QString("FormSelDir"));
    QCOMPARE(browser->windowTitle(), QString("Mask Directory"));
    // A tool window of the main window, not one above every window.
    QCOMPARE(browser->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(!(browser->windowFlags() & Qt::WindowStaysOnTopHint));
    for (const char* name :
         {"CoolBar1",        "ToolBar2",      "cbPath",        "ListView",   "Splitter1",
          "CheckListBox1",   "Panel1",        "Label1",        "EditName",   "Label3",
          "FilterComboBox1", "BitBtnOk",      "BitBtnClose",   "PopupMenu1", "btnBrowse",
          "btnBack",         "btnSmallIcons", "btnLargeIcons", "btnList",    "btnReport",
          "ToolButtonCheck"}) {
        QVERIFY2(browser->findChild<QObject*>(name) != nullptr, name);
    }
    for (const char* name :
         {"TestValidPictures1", "CheckSelection", "UncheckSelection", "InvertCheckSelection",
          "CheckAll", "UnCheckAll", "InvertCheckAll", "SelectAll", "UnselectAll"}) {
        QVERIFY2(browser->findChild<QAction*>(name) != nullptr, name);
    }
    QCOMPARE(Child<QPushButton>(browser, "BitBtnClose")->text(), QString("Close"));
    auto* filter = Child<QComboBox>(browser, "FilterComboBox1");
    QCOMPARE(filter->count(), 8);
    // Every picture, camera RAW files included, then each kind alone.
    QCOMPARE(filter->currentText(),
             QString("*.BMP;*.JPG;*.JPS;*.JPEG;*.PNG;*.TIF;*.TIFF;*.GIF;" NOCTURO_RAW_PATTERNS));
    QCOMPARE(filter->itemText(6), QString(NOCTURO_RAW_PATTERNS));
    QCOMPARE(filter->itemText(7), QString("*.*"));
    QCOMPARE(Child<QLineEdit>(browser, "EditName")->text(), QString("*"));
    QCOMPARE(browser->GetViewStyle(), TFormSelDir::SmallIcons);
    QVERIFY(Child<QToolButton>(browser, "btnSmallIcons")->isChecked());
    QCOMPARE(Child<QToolButton>(browser, "btnBrowse")->toolTip(), QString("Slelect Directories"));
    QCOMPARE(browser->findChild<QAction*>("TestValidPictures1")->shortcut(),
             QKeySequence("Ctrl+T"));
    QCOMPARE(form.Action("NewDirectory1")->shortcut(), QKeySequence("Ctrl+F"));
    QVERIFY(form.Action("NewDirectory1")->isEnabled());
    QVERIFY(form.Action("ToolButtonOpen1")->isEnabled());
    // The browser starts in the process's current folder.
    QCOMPARE(browser->CurrentFolder(), QDir::cleanPath(QDir::currentPath()));
}

void BrowserTest::openingFillsTheListAndTheHistory() {
    Night night;
    Night other;
    TFormMain form;
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(browser->OpenFolder(night.Path()));
    QCOMPARE(Names(browser->Files()),
             QStringList({".hidden.jpg", "IMG_0001.JPG", "IMG_0002.jpg", "x.jpeg", "été.png"}));
    for (const auto& entry : browser->Files().Entries()) {
        QVERIFY(entry.checked && entry.enabled);
    }
    QCOMPARE(QDir::cleanPath(QDir::currentPath()), night.Path());

    // The folder view: subfolders only, hidden ones excluded.
    nocturo::FolderModel* model = browser->Folders();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->index(0, 0).data().toString(), QString("darks"));
    QCOMPARE(model->index(1, 0).data().toString(), QString("flats"));
    QCOMPARE(model->FilePath(model->index(1, 0)), night.Path() + "/flats");
    QStringList headers;
    for (int c = 0; c < model->columnCount(); ++c) {
        headers << model->headerData(c, Qt::Horizontal).toString();
    }
    QCOMPARE(headers, QStringList({"Name", "Size", "Type", "Modified", "Attributes"}));
    QCOMPARE(model->index(0, 1).data().toString(), QString());  // folders: no size
    QVERIFY(!model->index(0, 3).data().toString().isEmpty());   // modified
    QCOMPARE(model->index(0, 4).data().toString(), QString());  // writable, not hidden
    QVERIFY(!model->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    // The first folder is selected.
    auto* views = browser->findChild<QWidget*>("ListView");
    for (auto* view : views->findChildren<QAbstractItemView*>()) {
        QCOMPARE(view->currentIndex().row(), 0);
    }

    // History: newest first, each folder once.
    QVERIFY(browser->OpenFolder(other.Path()));
    QVERIFY(browser->OpenFolder(night.Path()));
    QCOMPARE(browser->History().mid(0, 2), QStringList({other.Path(), night.Path()}));
    QCOMPARE(browser->History().count(night.Path()), 1);

    // Enter in cbPath opens a typed path; one that does not exist is an
    // error and the browser keeps its folder.
    auto* path = Child<QComboBox>(browser, "cbPath");
    path->setEditText(other.Path());
    QTest::keyClick(path->lineEdit(), Qt::Key_Return);
    QCOMPARE(browser->CurrentFolder(), other.Path());
    path->setEditText(night.Path());
    QTest::keyClick(path, Qt::Key_Enter);
    QCOMPARE(browser->CurrentFolder(), night.Path());
    path->setEditText(other.Path() + "/nowhere");
    QTest::keyClick(path->lineEdit(), Qt::Key_Return);
    QCOMPARE(browser->CurrentFolder(), night.Path());
    QCOMPARE(path->currentText(), night.Path());
    QVERIFY(Script().Last("message").text.contains("nowhere"));
}

void BrowserTest::maskAndFilterRefilterInMemory() {
    Night night;
    TFormMain form;
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(browser->OpenFolder(night.Path()));
    auto* mask = Child<QLineEdit>(browser, "EditName");
    auto* filter = Child<QComboBox>(browser, "FilterComboBox1");

    // Check marks set by hand are lost when the mask changes.
    browser->Files().SetChecked(0, false);
    mask->setText("IMG*");
    QCOMPARE(Names(browser->Files()), QStringList({"IMG_0001.JPG", "IMG_0002.jpg"}));
    QVERIFY(browser->Files().IsChecked(0));

    // Each keystroke refilters the names read when the folder opened.
    QFile::remove(night.dir.filePath("IMG_0002.jpg"));
    mask->setText("IMG_000*");
    QCOMPARE(Names(browser->Files()), QStringList({"IMG_0001.JPG", "IMG_0002.jpg"}));

    // F5 reads the folder again.
    QTest::keyClick(mask, Qt::Key_F5);
    QCOMPARE(Names(browser->Files()), QStringList({"IMG_0001.JPG"}));
    QDir(night.Path()).mkdir("lights");
    QCOMPARE(browser->Folders()->rowCount(), 2);
    QTest::keyClick(mask, Qt::Key_F5);
    QCOMPARE(browser->Folders()->rowCount(), 3);

    mask->setText("*.txt");
    QCOMPARE(Names(browser->Files()), QStringList({"notes.txt"}));
    mask->setText("*");
    filter->setCurrentIndex(7);
    emit filter->activated(7);
    QCOMPARE(Names(browser->Files()), QStringList({".hidden.jpg", "IMG_0001.JPG", "notes.txt",
                                                   "README", "shot.raw", "x.jpeg", "été.png"}));
    filter->setCurrentIndex(3);
    emit filter->activated(3);
    QCOMPARE(Names(browser->Files()), QStringList({"été.png"}));
    // Camera RAW files: their own entry, and among every picture; a dump
    // named .raw is none.
    for (const char* raw : {"sky.NEF", "sky.cr3", "sky.dng"}) {
        QFile f(night.dir.filePath(raw));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QTest::keyClick(mask, Qt::Key_F5);
    filter->setCurrentIndex(6);
    emit filter->activated(6);
    QCOMPARE(Names(browser->Files()), QStringList({"sky.cr3", "sky.dng", "sky.NEF"}));
    filter->setCurrentIndex(0);
    emit filter->activated(0);
    QCOMPARE(Names(browser->Files()), QStringList({".hidden.jpg", "IMG_0001.JPG", "sky.cr3",
                                                   "sky.dng", "sky.NEF", "x.jpeg", "été.png"}));
    for (const char* raw : {"sky.NEF", "sky.cr3", "sky.dng"}) {
        QFile::remove(night.dir.filePath(raw));
    }
    QTest::keyClick(mask, Qt::Key_F5);

    // Showing reads the folder afresh.
    QFile::remove(night.dir.filePath("x.jpeg"));
    filter->setCurrentIndex(0);
    emit filter->activated(0);
    QCOMPARE(Names(browser->Files()),
             QStringList({".hidden.jpg", "IMG_0001.JPG", "x.jpeg", "été.png"}));
    browser->show();
    QCOMPARE(Names(browser->Files()), QStringList({".hidden.jpg", "IMG_0001.JPG", "été.png"}));
    browser->hide();
}

void BrowserTest::navigation() {
    Night night;
    TFormMain form;
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(browser->OpenFolder(night.Path() + "/darks"));
    QCOMPARE(Names(browser->Files()), QStringList({"d1.jpg"}));
    Child<QToolButton>(browser, "btnBack")->click();
    QCOMPARE(browser->CurrentFolder(), night.Path());

    // A double click on a folder opens it.
    nocturo::FolderModel* model = browser->Folders();
    browser->ListViewDblClick(model->index(0, 0));
    QCOMPARE(browser->CurrentFolder(), night.Path() + "/darks");

    // In the folder view Backspace opens the parent, Enter the selected
    // folder (the first is selected on opening).
    auto* view = qobject_cast<QAbstractItemView*>(
        browser->findChild<QStackedWidget*>("ListView")->currentWidget());
    QVERIFY(view != nullptr);
    QTest::keyClick(view, Qt::Key_Backspace);
    QCOMPARE(browser->CurrentFolder(), night.Path());
    view->setCurrentIndex(model->index(1, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(browser->CurrentFolder(), night.Path() + "/flats");
    QTest::keyClick(view, Qt::Key_Backspace);

    // The folder picker.
    Script().folders = {night.Path()};
    Child<QToolButton>(browser, "btnBrowse")->click();
    QCOMPARE(Script().Last("folder").caption, QString("Select Directory"));
    QCOMPARE(browser->CurrentFolder(), night.Path());

    // Choosing a visited folder from the history opens it.
    auto* path = Child<QComboBox>(browser, "cbPath");
    const int darksEntry = path->findText(night.Path() + "/darks");
    QVERIFY(darksEntry >= 0);
    browser->cbPathClick(darksEntry);
    QCOMPARE(browser->CurrentFolder(), night.Path() + "/darks");

    // At the root the parent button only beeps.
    QVERIFY(browser->OpenFolder("/"));
    browser->btnBackClick();
    QCOMPARE(browser->CurrentFolder(), QString("/"));

    // The view buttons switch the folder view's style.
    browser->btnLargeIconsClick(TFormSelDir::LargeIcons);
    QCOMPARE(browser->GetViewStyle(), TFormSelDir::LargeIcons);
    QVERIFY(Child<QToolButton>(browser, "btnLargeIcons")->isChecked());
    browser->btnLargeIconsClick(TFormSelDir::Report);
    QCOMPARE(browser->GetViewStyle(), TFormSelDir::Report);
}

void BrowserTest::checkCommandsAndTestValidPictures() {
    Night night;
    TFormMain form;
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(browser->OpenFolder(night.Path()));
    Child<QComboBox>(browser, "FilterComboBox1")->setCurrentIndex(7);
    browser->FilterComboBox1Select(7);
    FileList& files = browser->Files();
    QCOMPARE(files.Count(), 8);

    // TestValidPictures: only the extension counts; no file is read (they
    // hold one byte each).
    browser->findChild<QAction*>("TestValidPictures1")->trigger();
    QStringList enabled;
    for (int i = 0; i < files.Count(); ++i) {
        QCOMPARE(files.IsChecked(i), files.IsEnabled(i));
        if (files.IsEnabled(i)) {
            enabled << Names(files)[i];
        }
    }
    QCOMPARE(enabled,
             QStringList({".hidden.jpg", "IMG_0001.JPG", "IMG_0002.jpg", "x.jpeg", "été.png"}));

    // The browser's own commands do not look at the enabled flag.
    browser->CheckAllClick();
    for (int i = 0; i < files.Count(); ++i) {
        QVERIFY(files.IsChecked(i));
    }
    browser->UnCheckAllClick();
    files.SetSelected(1, true);
    files.SetSelected(3, true);  // notes.txt, disabled
    browser->CheckSelectionClick();
    QVERIFY(files.IsChecked(1) && files.IsChecked(3) && !files.IsChecked(0));
    browser->InvertCheckSelectionClick();
    QVERIFY(!files.IsChecked(1) && !files.IsChecked(3));
    browser->InvertCheckAllClick();
    QVERIFY(files.IsChecked(0) && files.IsChecked(1));
    browser->UncheckSelectionClick();
    QVERIFY(files.IsChecked(0) && !files.IsChecked(1) && !files.IsChecked(3));
    // "Check and Select Files..": check mark := selection.
    Child<QToolButton>(browser, "ToolButtonCheck")->click();
    for (int i = 0; i < files.Count(); ++i) {
        QCOMPARE(files.IsChecked(i), i == 1 || i == 3);
    }
    browser->SelectAllClick();
    QCOMPARE(files.SelectedCount(), files.Count());
    browser->UnselectAllClick();
    QCOMPARE(files.SelectedCount(), 0);
}

void BrowserTest::okTwiceWithClearListCancelled() {
    Night night;
    TFormMain form;
    form.NewDirectory1Click();
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(browser->isVisible());
    QVERIFY(browser->OpenFolder(night.Path()));
    browser->Files().SetChecked(0, false);  // .hidden.jpg stays out

    auto* ok = Child<QPushButton>(browser, "BitBtnOk");
    ok->click();
    QStringList once = {"IMG_0001.JPG", "IMG_0002.jpg", "x.jpeg", "été.png"};
    QCOMPARE(Names(form.LeftList()), once);
    QCOMPARE(Script().Count("message"), 0);  // the left list was empty
    QCOMPARE(form.LeftList().Current(), 0);
    QVERIFY(form.LeftList().IsSelected(0));
    QVERIFY(browser->isVisible());  // the browser stays open

    Script().messages = {DialogButton::Cancel};
    ok->click();
    QCOMPARE(Script().Last("message").text, QString("Clear List?"));
    QCOMPARE(Script().Last("message").caption, QString("Left List"));
    QCOMPARE(Names(form.LeftList()), once + once);

    Script().messages = {DialogButton::Ok};
    ok->click();
    QCOMPARE(Names(form.LeftList()), once);
    // All checked and enabled, but the first, which the view showed: its
    // file is no picture.
    for (const auto& entry : form.LeftList().Entries()) {
        QCOMPARE(entry.checked && entry.enabled, &entry != &form.LeftList().Entries()[0]);
    }

    // An empty file list adds nothing and asks nothing.
    Child<QLineEdit>(browser, "EditName")->setText("nothing-matches");
    const int asked = Script().Count("message");
    ok->click();
    QCOMPARE(Script().Count("message"), asked);
    QCOMPARE(form.LeftList().Count(), 4);
    browser->hide();
}

void BrowserTest::closeBoxEmptiesTheListCloseButtonKeepsIt() {
    Night night;
    TFormMain form;
    form.NewDirectory1Click();
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(browser->OpenFolder(night.Path()));
    Child<QPushButton>(browser, "BitBtnClose")->click();
    QVERIFY(!browser->isVisible());
    QCOMPARE(browser->Files().Count(), 5);
    form.NewDirectory1Click();
    QVERIFY(browser->isVisible());
    QCOMPARE(browser->CurrentFolder(), night.Path());
    browser->close();
    QVERIFY(!browser->isVisible());
    QCOMPARE(browser->Files().Count(), 0);
    form.NewDirectory1Click();
    QCOMPARE(browser->Files().Count(), 5);
    browser->hide();
}

void BrowserTest::doubleClickOpensTheFile() {
    Night night;
    TFormMain form;
    TFormSelDir* browser = form.FormSelDir();
    QStringList opened;
    bool succeed = true;
    browser->SetFileOpener([&](const QString& file) {
        opened << file;
        return succeed;
    });
    QVERIFY(browser->OpenFolder(night.Path()));
    browser->resize(573, 348);
    browser->show();
    auto* list = Child<nocturo::CheckListBox>(browser, "CheckListBox1");
    QVERIFY(QTest::qWaitForWindowExposed(browser));
    const QPoint row1 = list->TextRect(1).center();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row1);
    QCOMPARE(opened, QStringList({night.Path() + "/IMG_0001.JPG"}));
    QCOMPARE(Script().Count("message"), 0);

    succeed = false;
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row1);
    QCOMPARE(Script().Last("message").caption, QString("Fail to Open"));
    QCOMPARE(Script().Last("message").text, QString("31"));
    browser->hide();
}

void BrowserTest::mainShortcutsActOnTheBrowserListWhileItIsActive() {
    Night night;
    TFormMain form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.LeftList().Append("/left/a.jpg", true, true);
    form.NewDirectory1Click();
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(browser->OpenFolder(night.Path()));
    // A tool window counts as active beside its parent; the focus window
    // is the one that receives the keys.
    browser->windowHandle()->requestActivate();
    QTRY_VERIFY(QGuiApplication::focusWindow() == browser->windowHandle());
    QCOMPARE(&form.CurrentList(), &browser->Files());

    FileList& files = browser->Files();
    // Ctrl+A of the main menu selects the browser's entries.
    QTest::keyClick(browser->findChild<QLineEdit*>("EditName"), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(files.SelectedCount(), files.Count());
    QVERIFY(!form.LeftList().IsSelected(0));
    // Ctrl+Alt+U of the main menu unchecks them all.
    QTest::keyClick(browser->findChild<QLineEdit*>("EditName"), Qt::Key_U,
                    Qt::ControlModifier | Qt::AltModifier);
    for (int i = 0; i < files.Count(); ++i) {
        QVERIFY(!files.IsChecked(i));
    }
    QVERIFY(form.LeftList().IsChecked(0));
    // Ctrl+K belongs to the browser's own keys: Check Selection.
    QTest::keyClick(browser->findChild<QLineEdit*>("EditName"), Qt::Key_K, Qt::ControlModifier);
    for (int i = 0; i < files.Count(); ++i) {
        QVERIFY(files.IsChecked(i));
    }
    // Ctrl+Alt+T: TestValidPictures (all of these pass).
    files.SetEnabled(0, false);
    QTest::keyClick(browser->findChild<QLineEdit*>("EditName"), Qt::Key_T,
                    Qt::ControlModifier | Qt::AltModifier);
    QVERIFY(files.IsEnabled(0));

    // Saving and loading a list act on the browser's list too.
    QTemporaryDir dir;
    QVERIFY(form.SaveListFile(dir.filePath("browser.txt")));
    std::vector<nocturo::ListEntry> entries;
    QVERIFY(nocturo::ReadListFile(dir.filePath("browser.txt").toStdString(), entries));
    QCOMPARE(static_cast<int>(entries.size()), files.Count());
    QVERIFY(form.LoadListFile(dir.filePath("browser.txt")));
    QCOMPARE(files.Count(), 2 * static_cast<int>(entries.size()));
    QCOMPARE(form.LeftList().Count(), 1);

    // Back in the main window the commands act on its own lists again.
    form.windowHandle()->requestActivate();
    QTRY_VERIFY(QGuiApplication::focusWindow() == form.windowHandle());
    QCOMPARE(&form.CurrentList(), &form.LeftList());
    browser->hide();
}

void BrowserTest::namesThatAreNotUtf8OpenAndLoad() {
    // Every byte string comes back from the text it is held as.
    for (const char* bytes : {"/nuit\xE9", "/a\xC3\xA9-", "/\xED\xB2\x80", "/\xF0\x9F\x8C\x8C",
                              "/cut\xC3", "/\xFF\xFE\x80"}) {
        QCOMPARE(nocturo::PathToBytes(nocturo::PathFromBytes(bytes)), std::string(bytes));
    }

    // A Latin-1 folder with a Latin-1 picture and a subfolder in it.
    Night night;
    const std::string parent = nocturo::PathToBytes(night.Path());
    const std::string folder = parent + "/nuit\xE9";
    QCOMPARE(::mkdir(folder.c_str(), 0755), 0);
    // QTemporaryDir cannot remove what Qt cannot name.
    struct RemoveAtEnd {
        std::string path;
        ~RemoveAtEnd() { std::filesystem::remove_all(path); }
    } removeAtEnd{folder};
    QCOMPARE(::mkdir((folder + "/sub\xE8").c_str(), 0755), 0);
    const std::string picture = folder + "/img\xE9.bmp";
    nocturo::RgbImage image;
    QVERIFY(image.Resize(3, 2));
    std::string written = picture;
    QVERIFY(nocturo::SaveImageFile(image, written));

    TFormMain form;
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(browser->OpenFolder(night.Path()));
    nocturo::FolderModel* model = browser->Folders();
    QModelIndex latin;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (nocturo::PathToBytes(model->FilePath(model->index(row, 0))) == folder) {
            latin = model->index(row, 0);
        }
    }
    QVERIFY(latin.isValid());
    QVERIFY(model->data(latin).toString().contains(QChar::ReplacementCharacter));
    browser->ListViewDblClick(latin);
    QCOMPARE(nocturo::PathToBytes(browser->CurrentFolder()), folder);
    QCOMPARE(browser->Files().Count(), 1);
    QCOMPARE(browser->Files().Text(0), picture);
    nocturo::RgbImage loaded;
    QVERIFY(nocturo::LoadImageFile(loaded, browser->Files().Text(0)));
    QCOMPARE(model->rowCount(), 1);
    browser->ListViewDblClick(model->index(0, 0));
    QCOMPARE(nocturo::PathToBytes(browser->CurrentFolder()), folder + "/sub\xE8");
    browser->btnBackClick();
    QCOMPARE(nocturo::PathToBytes(browser->CurrentFolder()), folder);
}

void BrowserTest::fileDialogsOpenAboveTheBrowser() {
    TFormMain form;
    form.show();
    form.NewDirectory1Click();
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(QTest::qWaitForWindowActive(browser));
    // The main window's "Save Current List..." while the browser is active:
    // the real dialog opens above the browser, active.
    nocturo::test::RealDialogs real;
    QWidget* parent = nullptr;
    bool active = false;
    nocturo::test::OnceModalOpens([&](QDialog* dialog) {
        QVERIFY(qobject_cast<QFileDialog*>(dialog) != nullptr);
        parent = dialog->parentWidget();
        active = QTest::qWaitForWindowActive(dialog);
    });
    form.Action("SaveList1")->trigger();
    QCOMPARE(parent, browser);
    QVERIFY(active);
}

void BrowserTest::folderPaneShowsWholeNamesWidensAndRefreshes() {
    QTemporaryDir dir;
    for (const char* name :
         {"a", "frames", "frames_long", "darks_2016_summer_with_a_very_long_name"}) {
        QVERIFY(QDir(dir.path()).mkdir(name));
    }
    TFormMain form;
    TFormSelDir* browser = form.FormSelDir();
    QVERIFY(browser->OpenFolder(dir.path()));
    browser->show();
    QVERIFY(QTest::qWaitForWindowExposed(browser));
    auto* pane = Child<QWidget>(browser, "ListView");
    auto* view =
        qobject_cast<QListView*>(Child<QStackedWidget>(browser, "ListView")->currentWidget());
    QVERIFY(view != nullptr);
    nocturo::FolderModel* model = browser->Folders();
    const QFontMetrics metrics(view->font());
    // Every name whole where the pane has room; a longer one within the
    // pane, its middle elided.
    auto check = [&] {
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString name = model->index(row, 0).data().toString();
            const QRect cell = view->visualRect(model->index(row, 0));
            const int needed = metrics.horizontalAdvance(name) + 16;
            QVERIFY2(cell.width() >= std::min(needed, view->viewport()->width() - 40),
                     qPrintable(name));
            QVERIFY2(cell.right() <= view->viewport()->width(), qPrintable(name));
        }
    };
    check();
    QCOMPARE(view->textElideMode(), Qt::ElideMiddle);
    // The pane widens with the window.
    const int narrow = pane->width();
    browser->resize(browser->width() + 600, browser->height());
    QTRY_VERIFY(pane->width() > narrow + 100);
    check();

    // F5 shows a folder made meanwhile and keeps the selected one.
    view->setCurrentIndex(model->index(2, 0));
    QCOMPARE(model->index(2, 0).data().toString(), QString("frames"));
    QVERIFY(QDir(dir.path()).mkdir("b_new"));
    QTest::keyClick(view, Qt::Key_F5);
    QCOMPARE(model->rowCount(), 5);
    QCOMPARE(view->currentIndex().data().toString(), QString("frames"));
    browser->hide();
}

QTEST_MAIN(BrowserTest)
#include "browser_test.moc"
