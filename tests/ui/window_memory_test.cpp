// The window's run progress and its memory between sessions, offscreen.

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/form_main.h"
#include "app/night_graph.h"
#include "app/program_settings.h"
#include "app/run_progress_bar.h"
#include "core/image_file.h"
#include "tests/support/video_decode.h"
#include "tests/ui/scripted_dialogs.h"
#include "widgets/file_places.h"

using nocturo::DialogButton;
using nocturo::FileKind;
using nocturo::FilePlaces;
using nocturo::TFormMain;

namespace {

class RecordingTaskbar : public nocturo::TaskbarProgress {
  public:
    explicit RecordingTaskbar(std::vector<std::pair<bool, double>>& sent) : sent_(sent) {}
    void Update(bool visible, double fraction) override { sent_.push_back({visible, fraction}); }

  private:
    std::vector<std::pair<bool, double>>& sent_;
};

class Script {
  public:
    Script() : previous_(nocturo::Dialogs::Install(std::make_unique<Hooked>())) {}
    ~Script() { nocturo::Dialogs::Install(std::move(previous_)); }
    struct Hooked : nocturo::test::ScriptedDialogs {
        std::function<void()> onMessage;
        DialogButton Message(QWidget* parent, const QString& text, const QString& caption,
                             std::vector<DialogButton> buttons,
                             nocturo::MessageKind kind) override {
            if (onMessage) {
                onMessage();
            }
            return ScriptedDialogs::Message(parent, text, caption, std::move(buttons), kind);
        }
    };
    Hooked* operator->() { return static_cast<Hooked*>(&nocturo::Dialogs::Get()); }

  private:
    std::unique_ptr<nocturo::Dialogs> previous_;
};

}  // namespace

class WindowMemoryTest : public QObject {
    Q_OBJECT
  private slots:
    void everyRunShowsTheBarAndHidesItAtItsEnd();
    void recentListsAndPlacesOutliveTheWindow();
};

void WindowMemoryTest::everyRunShowsTheBarAndHidesItAtItsEnd() {
    QTemporaryDir dir;
    QStringList files;
    for (int k = 0; k < 4; ++k) {
        files << dir.filePath(QStringLiteral("f%1.png").arg(k));
        std::string name = files.back().toStdString();
        QVERIFY(nocturo::SaveImageFile(nocturo::test::NightFrame(32, 24, k), name));
    }
    Script script;
    TFormMain form;
    std::vector<std::pair<bool, double>> sent;
    form.ProgressBar()->SetTaskbar(std::make_unique<RecordingTaskbar>(sent));
    form.show();
    form.OpenFiles(files);
    // The bar counts the entries a run takes: not the unchecked one.
    form.LeftList().SetChecked(1, false);
    QVERIFY(!form.ProgressBar()->isVisible());

    // The run's closing message is asked while the run is still going.
    bool shownDuringRun = false;
    QString textDuringRun;
    script->onMessage = [&] {
        shownDuringRun = form.ProgressBar()->isVisible();
        textDuringRun = form.ProgressBar()->Text();
    };
    const struct {
        const char* action;
        const char* saveName;  // asked by the run, empty for none
    } runs[] = {{"GetMAX1", ""}, {"MakeVideo1", "night.mp4"}, {"GetMaxandSave1", "steps.mp4"}};
    for (const auto& run : runs) {
        sent.clear();
        shownDuringRun = false;
        script->messages = {DialogButton::Ok};
        script->saveNames = {dir.filePath(run.saveName)};
        if (*run.saveName != '\0') {
            // The video's settings, asked in a window of their own.
            QTimer::singleShot(0, [] {
                QWidget* window = QApplication::activeModalWidget();
                QVERIFY(window != nullptr);
                window->findChild<QPushButton*>("BitBtn1")->click();
            });
        }
        form.Action(run.action)->trigger();

        QVERIFY2(shownDuringRun, run.action);
        QCOMPARE(textDuringRun, QString("3 / 3"));
        QVERIFY(!form.ProgressBar()->isVisible());
        QVERIFY(sent.size() >= 2);
        QCOMPARE(sent.front(), std::make_pair(true, 1.0 / 3));
        QCOMPARE(sent.back(), std::make_pair(false, 0.0));
    }
    QVERIFY(QFileInfo(dir.filePath("steps.mp4")).size() > 0);

    // The night graph measures every entry of the list: the bar counts them
    // and goes when the measuring ends.
    sent.clear();
    form.Action("NightGraph1")->trigger();
    QVERIFY(form.ProgressBar()->isVisible());
    QCOMPARE(form.ProgressBar()->Progress().Total(), 4);
    form.PanelGraph()->WaitForMeasuring();
    QVERIFY(!form.ProgressBar()->isVisible());
    QCOMPARE(sent.front(), std::make_pair(true, 0.0));
    QCOMPARE(sent.back(), std::make_pair(false, 0.0));
}

void WindowMemoryTest::recentListsAndPlacesOutliveTheWindow() {
    QTemporaryDir dir;
    const QString settings = dir.filePath("user/settings.ini");
    const QString list = dir.filePath("night.txt");
    {
        Script script;
        TFormMain form;
        form.SetSettingsFile(settings.toStdString());
        script->saveNames = {list};
        form.Action("SaveList1")->trigger();
        FilePlaces::Session().Remember(FileKind::Frames, dir.filePath("frames/a.jpg"), 2);
        QVERIFY(form.close());
    }
    FilePlaces::Session().Clear();
    Script script;
    TFormMain form;
    form.SetSettingsFile(settings.toStdString());
    QCOMPARE(form.RecentLists().Paths(), std::vector<std::string>{list.toStdString()});
    QCOMPARE(FilePlaces::Session().Last(FileKind::Frames).folder, dir.filePath("frames"));
    QCOMPARE(FilePlaces::Session().Last(FileKind::Frames).filterIndex, 2);
    QCOMPARE(FilePlaces::Session().Last(FileKind::Lists).folder, dir.path());

    // The menu lists it; a vanished file is greyed; "Clear" empties it.
    QMenu* menu = form.findChild<QMenu*>("RecentLists1");
    QVERIFY(menu != nullptr);
    emit menu->aboutToShow();
    QVERIFY(menu->actions().first()->text().endsWith(list));
    QVERIFY(menu->actions().first()->isEnabled());
    QFile::remove(list);
    emit menu->aboutToShow();
    QVERIFY(!menu->actions().first()->isEnabled());
    form.Action("ClearRecentLists1")->trigger();
    QVERIFY(form.RecentLists().Paths().empty());
    FilePlaces::Session().Clear();
}

QTEST_MAIN(WindowMemoryTest)
#include "window_memory_test.moc"
