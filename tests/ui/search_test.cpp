// The "Search / Crop" commands with their parameters window, and the meteor
// search, driven through the real main window offscreen.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "app/form_main.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "engine/ui/form_search.h"
#include "tests/ui/scripted_dialogs.h"

using nocturo::DialogButton;
using nocturo::RgbImage;
using nocturo::TFormMain;
using nocturo::TFormSearch;
using nocturo::test::ScriptedDialogs;

namespace {

class Script {
  public:
    Script() {
        auto dialogs = std::make_unique<ScriptedDialogs>();
        dialogs_ = dialogs.get();
        previous_ = nocturo::Dialogs::Install(std::move(dialogs));
    }
    ~Script() { nocturo::Dialogs::Install(std::move(previous_)); }
    ScriptedDialogs* operator->() { return dialogs_; }

  private:
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<nocturo::Dialogs> previous_;
};

// Runs body once the parameters window is open (the run lets events
// through before it opens it), then closes the window if body did not, so
// that a failed check cannot leave the test waiting.
void WhenModalOpens(std::function<void(QWidget*)> body, int tries = 200) {
    QTimer::singleShot(tries == 200 ? 0 : 5, [body = std::move(body), tries]() mutable {
        auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (window == nullptr && tries > 0) {
            WhenModalOpens(std::move(body), tries - 1);
            return;
        }
        body(window);
        if (window != nullptr && window->isVisible()) {
            window->reject();
        }
    });
}

// 20 x 10 frames; `bright` of them have 12 white pixels in row 5.
QStringList WriteFrames(const QTemporaryDir& dir, const std::vector<bool>& bright) {
    QStringList files;
    for (size_t k = 0; k < bright.size(); ++k) {
        RgbImage image;
        image.Resize(20, 10);
        nocturo::FillImage(image, 0, 0, static_cast<uint8_t>(k));
        if (bright[k]) {
            for (int x = 3; x < 15; ++x) {
                std::fill_n(image.Row(5) + 3 * x, 3, 255);
            }
        }
        std::string name = dir.filePath(QStringLiteral("f%1.bmp").arg(k)).toStdString();
        nocturo::SaveImageFile(image, name);
        files << QString::fromStdString(name);
    }
    return files;
}

QStringList Texts(const nocturo::FileList& list) {
    QStringList out;
    for (int i = 0; i < list.Count(); ++i) {
        out << QString::fromStdString(list.Text(i));
    }
    return out;
}

}  // namespace

class SearchTest : public QObject {
    Q_OBJECT

  private slots:
    void parametersWindowHasItsControls();
    void searchAndSaveWritesCopiesAndKeepsTheValues();
    void clearRightListAsksFirst();
    void searchAndSaveLeavesAnUnsavedResultUnsaved();
    void searchEndsWithItsCountAndListsEachFrameOnce();
    void maximumSearchNamesTheFrame();
};

void SearchTest::parametersWindowHasItsControls() {
    TFormMain form;
    TFormSearch* window = form.FormSearch();
    QVERIFY(window != nullptr);
    QCOMPARE(window->objectName(), QString("FormSearch"));
    QCOMPARE(window->windowTitle(), QString("Search Parameters:"));
    struct Case {
        const char* upDown;
        const char* edit;
        int low, high, initial;
    };
    const Case cases[] = {
        {"UpDownMinLevel", "EditMinLevel", 0, 255, 10},
        {"UpDownMinPixels", "EditMinPixels", 0, 1000, 10},
        {"UpDownLeft", "EditLeft", 0, 1000, 1},
        {"UpDownRight", "EditRight", 0, 1000, 1},
        {"UpDownTop", "EditTop", 0, 1000, 1},
        {"UpDownBottom", "EditBottom", 0, 100, 1},
        {"UpDownCropW", "EditCropW", 1, 1000, 100},
        {"UpDownCropH", "EditCropH", 1, 1000, 100},
    };
    for (const Case& c : cases) {
        QSpinBox* upDown = window->findChild<QSpinBox*>(c.upDown);
        QVERIFY2(upDown != nullptr, c.upDown);
        QCOMPARE(upDown->minimum(), c.low);
        QCOMPARE(upDown->maximum(), c.high);
        QCOMPARE(upDown->value(), c.initial);
        QVERIFY2(window->findChild<QLineEdit*>(c.edit) != nullptr, c.edit);
    }
    QCOMPARE(window->CheckBoxSave()->text(), QString(" Save ? "));
    QCOMPARE(window->SpeedButton2()->text(), QString("Clear Right List"));
    QCOMPARE(window->EditName()->objectName(), QString("EditName"));
    QCOMPARE(window->SpeedButton1()->objectName(), QString("SpeedButton1"));
}

void SearchTest::searchAndSaveWritesCopiesAndKeepsTheValues() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("out"));
    const QStringList files = WriteFrames(dir, {true, false, true});
    Script script;
    TFormMain form;
    form.OpenFiles(files);
    const QString chosen = dir.filePath("out/(CurrentFileName).png");
    script->saveNames = {chosen};
    bool nameShown = false;
    WhenModalOpens([&](QWidget* modal) {
        auto* window = qobject_cast<TFormSearch*>(modal);
        QVERIFY(window != nullptr);
        nameShown = window->EditName()->isVisible() && window->CheckBoxSave()->isChecked();
        QCOMPARE(window->EditName()->text(), chosen);
        window->UpDown("UpDownMinPixels")->setValue(11);
        window->accept();
    });
    form.Action("SearchSave1")->trigger();
    QVERIFY(nameShown);
    QCOMPARE(Texts(form.RightList()),
             (QStringList{dir.filePath("out/f0.png"), dir.filePath("out/f2.png")}));
    QVERIFY(QFileInfo::exists(dir.filePath("out/f0.png")));
    QVERIFY(!QFileInfo::exists(dir.filePath("out/f1.png")));
    QCOMPARE(script->Count("message"), 0);  // no load errors, no message

    // "Search": " Save ? " preset off, the values of last time kept; 12
    // pixels are not more than 12.
    bool kept = false;
    WhenModalOpens([&](QWidget* modal) {
        auto* window = qobject_cast<TFormSearch*>(modal);
        QVERIFY(window != nullptr);
        kept = window->UpDown("UpDownMinPixels")->value() == 11 &&
               !window->CheckBoxSave()->isChecked() && !window->EditName()->isVisible() &&
               window->EditName()->text() == chosen;
        window->UpDown("UpDownMinPixels")->setValue(12);
        window->accept();
    });
    form.Action("Search2")->trigger();
    QVERIFY(kept);
    QCOMPARE(form.RightList().Count(), 2);
    QVERIFY(!form.Busy());
}

void SearchTest::searchEndsWithItsCountAndListsEachFrameOnce() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, {true, true, false});
    Script script;
    TFormMain form;
    form.OpenFiles(files);
    WhenModalOpens([](QWidget* modal) { qobject_cast<QDialog*>(modal)->accept(); });
    form.Action("Search2")->trigger();
    // The last frame holds nothing, which is no error: the end reads as the
    // success it is, with what was found.
    QVERIFY(!form.StatusBar1()->IsErrorStyle());
    QCOMPARE(form.StatusBar1()->PanelText(2), QString("2 Frame(s) found"));
    // "Show && Save" with " Save ? " unchecked finds the same frames: they
    // are listed once.
    script->saveNames = {dir.filePath("(CurrentFileName).png")};
    WhenModalOpens([](QWidget* modal) {
        auto* window = qobject_cast<TFormSearch*>(modal);
        QVERIFY(window != nullptr);
        window->CheckBoxSave()->setChecked(false);
        window->accept();
    });
    form.Action("Crop1")->trigger();
    QCOMPARE(Texts(form.RightList()), (QStringList{files[0], files[1]}));
}

void SearchTest::clearRightListAsksFirst() {
    Script script;
    TFormMain form;
    form.RightList().Append("/x/a.bmp");
    for (DialogButton answer : {DialogButton::Cancel, DialogButton::Ok}) {
        script->messages = {answer};
        form.FormSearch()->SpeedButton2()->click();
        QCOMPARE(script->Last("message").text, QString("Clear List?"));
        QCOMPARE(script->Last("message").caption, QString("Right List"));
        QCOMPARE(form.RightList().Count(), answer == DialogButton::Ok ? 0 : 1);
    }
}

void SearchTest::searchAndSaveLeavesAnUnsavedResultUnsaved() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, {true, false});
    Script script;
    TFormMain form;
    form.OpenFiles(files);
    // A stack whose "Save Result as..." was cancelled.
    form.Action("GetMAX1")->trigger();
    QVERIFY(form.Run().ResultUnsaved);
    // The search's copies are written, but they are not the result.
    script->saveNames = {dir.filePath("(CurrentFileName).png")};
    WhenModalOpens([](QWidget* modal) { qobject_cast<QDialog*>(modal)->accept(); });
    form.Action("SearchSave1")->trigger();
    QVERIFY(QFileInfo::exists(dir.filePath("f0.png")));
    QVERIFY(form.Run().ResultUnsaved);
    // Quitting still offers to save the result.
    script->messages = {DialogButton::Cancel};
    QVERIFY(!form.close());
    QCOMPARE(script->Last("message").text, QString("Save Processed Image?"));
}

void SearchTest::maximumSearchNamesTheFrame() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, {false, true, false});
    Script script;
    TFormMain form;
    form.OpenFiles(files);
    script->messages = {DialogButton::Ok};
    // No point marked: every frame reads 765 and the first one stays.
    form.Action("MaximumSearch1")->trigger();
    QCOMPARE(script->Last("message").text, files[0]);
    QCOMPARE(script->Last("message").caption, QString("Image with Maximum"));
    QCOMPARE(form.StatusBar1()->PanelText(2), files[0]);
    QVERIFY(form.LeftList().IsChecked(0));
    QVERIFY(!form.LeftList().IsChecked(1));
    QVERIFY(form.LeftList().IsEnabled(1));
    QVERIFY(form.Action("MaximumSearch1")->isEnabled());
    QVERIFY(form.Action("GaussianSubtraction1") != nullptr);
}

QTEST_MAIN(SearchTest)
#include "search_test.moc"
