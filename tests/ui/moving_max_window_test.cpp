// The moving maximum in the main window: the sample window's controls and
// how they follow each other, and the command from its menu item.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "app/form_main.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "engine/ui/form_sample.h"
#include "lang/language_strings.h"
#include "lists/ui/check_list_box.h"
#include "tests/ui/scripted_dialogs.h"

using nocturo::TFormMain;
using nocturo::TFormSample;
using nocturo::test::DialogScript;

namespace {

QStringList WriteFrames(const QTemporaryDir& dir, int count) {
    QStringList files;
    for (int k = 0; k < count; ++k) {
        nocturo::RgbImage image;
        image.Resize(6, 3);
        nocturo::FillImage(image, static_cast<uint8_t>(40 * k), 7, 200);
        std::string name = dir.filePath(QStringLiteral("frame%1.png").arg(k)).toStdString();
        if (!nocturo::SaveImageFile(image, name)) {
            return {};
        }
        files << QString::fromStdString(name);
    }
    return files;
}

void WhenModalOpens(std::function<void(QWidget*)> body) {
    QTimer::singleShot(0, [body = std::move(body)] { body(QApplication::activeModalWidget()); });
}

}  // namespace

class MovingMaxWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void sampleWindowControls();
    void numberControlsFollowEachOther();
    void runFromTheMenu();
    void oneEntryIsExplained();
    void existingOutputsAreAskedForAndFailedOnesReported();
    void stepFilesSwappedInAreNeverReplaced();
};

void MovingMaxWindowTest::sampleWindowControls() {
    TFormSample window;
    QCOMPARE(window.objectName(), QString("FormSample"));
    QCOMPARE(window.windowTitle(), QString("MovingMax - Sample"));
    QVERIFY(window.isModal());
    struct Named {
        const char* name;
        const char* text;
    };
    const Named named[] = {{"Label1", " Samples:"},
                           {"Label2", "Count: "},
                           {"CheckBoxDarkening1", "Darkening"},
                           {"CheckBoxShowProcess1", "ShowProcess (Slower !)"},
                           {"BitBtn1", "OK"},
                           {"BitBtn2", "Cancel"}};
    for (const Named& n : named) {
        QObject* control = window.findChild<QObject*>(n.name);
        QVERIFY2(control != nullptr, n.name);
        QCOMPARE(control->property("text").toString(), QString(n.text));
    }
    for (const char* name : {"Edit1", "UpDown1", "TrackBar1", "RadioGroupStart"}) {
        QVERIFY2(window.findChild<QObject*>(name) != nullptr, name);
    }
    QCOMPARE(window.findChild<QGroupBox*>("RadioGroupStart")->title(), QString("Start/Stop"));
    QCOMPARE(window.Progressive()->text(), QString("Progressive"));
    QCOMPARE(window.RangeOnly()->text(), QString("Range only"));

    // At creation.
    QCOMPARE(window.Edit1()->text(), QString("50"));
    QCOMPARE(window.UpDown1()->Position(), 50);
    QCOMPARE(window.UpDown1()->Min(), 2);
    QCOMPARE(window.UpDown1()->Max(), 32767);
    QCOMPARE(window.TrackBar1()->value(), 100);
    QCOMPARE(window.TrackBar1()->minimum(), 2);
    QCOMPARE(window.TrackBar1()->maximum(), 1000000);
    QVERIFY(window.RangeOnly()->isChecked());
    QVERIFY(window.CheckBoxDarkening1()->isChecked());
    QVERIFY(!window.CheckBoxShowProcess1()->isChecked());
    const nocturo::MovingMaxSettings settings = window.Settings();
    QCOMPARE(settings.windowSize, 50);
    QVERIFY(!settings.progressive && settings.darkening && !settings.showProcess);
}

void MovingMaxWindowTest::numberControlsFollowEachOther() {
    TFormSample window;
    window.PrepareFor(40);
    QCOMPARE(window.Label2()->text(), QString("Count: 40"));
    QCOMPARE(window.TrackBar1()->maximum(), 40);
    QCOMPARE(window.UpDown1()->Max(), 40);
    QCOMPARE(window.UpDown1()->Position(), 40);  // kept inside the range

    window.TrackBar1()->setValue(7);
    QCOMPARE(window.UpDown1()->Position(), 7);
    QCOMPARE(window.Edit1()->text(), QString("7"));
    window.UpDown1()->Step(1);
    QCOMPARE(window.TrackBar1()->value(), 8);
    QCOMPARE(window.Edit1()->text(), QString("8"));
    window.Edit1()->setText("12");
    QCOMPARE(window.UpDown1()->Position(), 12);
    QCOMPARE(window.TrackBar1()->value(), 12);
    window.Edit1()->setText("1x");  // no number: nothing follows
    QCOMPARE(window.UpDown1()->Position(), 12);
    window.Edit1()->setText("99");  // above the range: the up-down stops at its end
    QCOMPARE(window.UpDown1()->Position(), 40);
    QCOMPARE(window.TrackBar1()->value(), 40);
    QCOMPARE(window.Settings().windowSize, 40);

    // More entries than the up-down holds: the track bar goes on alone.
    window.PrepareFor(40000);
    QCOMPARE(window.UpDown1()->Max(), 32767);
    QCOMPARE(window.TrackBar1()->maximum(), 40000);
    window.TrackBar1()->setValue(39000);
    QCOMPARE(window.UpDown1()->Position(), 32767);
    QCOMPARE(window.TrackBar1()->value(), 39000);
}

void MovingMaxWindowTest::runFromTheMenu() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 5);
    QCOMPARE(files.size(), 5);
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    form.LeftList().SetChecked(1, false);
    const std::vector<nocturo::ListEntry> before = form.LeftList().Entries();
    script->saveNames = {dir.filePath("mm0120.png")};

    QAction* action = form.Action("MovingMax1");
    QVERIFY(action != nullptr && action->isEnabled());
    bool sampleShown = false;
    WhenModalOpens([&](QWidget* modal) {
        auto* window = qobject_cast<TFormSample*>(modal);
        QVERIFY(window != nullptr);
        sampleShown = true;
        QCOMPARE(window->Label2()->text(), QString("Count: 5"));
        window->Edit1()->setText("3");
        window->findChild<QPushButton*>("BitBtn1")->click();
    });
    // While it runs, the left list is the window and the whole list is shown
    // in the right list's place.
    int windowSizeSeen = 0;
    bool copyShownSeen = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        for (const nocturo::CheckListBox* box : form.findChildren<nocturo::CheckListBox*>()) {
            if (box->objectName().isEmpty() && box->isVisibleTo(&form)) {
                copyShownSeen =
                    !form.findChild<nocturo::CheckListBox*>("ListBox2")->isVisibleTo(&form);
                windowSizeSeen = std::max(windowSizeSeen, form.LeftList().Count());
            }
        }
    });
    watch.start(0);
    action->trigger();
    watch.stop();
    QVERIFY(sampleShown);
    QCOMPARE(windowSizeSeen, 3);
    QVERIFY(copyShownSeen);

    // The step dialog's proposal, three outputs from 0001, none listed.
    QCOMPARE(script->Count("save"), 1);
    QCOMPARE(script->Last("save").text, QString("proc0001.jpg"));
    for (int k = 1; k <= 3; ++k) {
        QVERIFY(
            QFileInfo::exists(dir.filePath(QStringLiteral("mm%1.png").arg(k, 4, 10, QChar('0')))));
    }
    QVERIFY(!QFileInfo::exists(dir.filePath("mm0004.png")));
    QCOMPARE(form.RightList().Count(), 0);
    QVERIFY(form.LeftList().Entries() == before);
    QVERIFY(form.LiveDisplay());
    QVERIFY(form.findChild<nocturo::CheckListBox*>("ListBox2")->isVisibleTo(&form));
    QCOMPARE(form.StatusBar1()->PanelText(3), QString("Progress : frame4.png   To do 0"));
    // The run ends with its report, as the other runs do.
    QCOMPARE(script->Count("message"), 1);
    QCOMPARE(script->Last("message").text, QString("0 File(s) in Error"));
    QCOMPARE(script->Last("message").caption, QString("Processed Pictures"));
    // At the window's first size the progress is in view, in full.
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const nocturo::StatusPanels* bar = form.StatusBar1();
    const QRect progress = bar->PanelRect(3);
    QVERIFY2(progress.right() < bar->width(), qPrintable(QString::number(progress.right())));
    QVERIFY(progress.width() > bar->fontMetrics().horizontalAdvance(bar->PanelText(3)));
}

void MovingMaxWindowTest::oneEntryIsExplained() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 1);
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    form.Action("MovingMax1")->trigger();
    QCOMPARE(script->Count("message"), 1);
    QCOMPARE(script->Last("message").text,
             QString::fromStdString(nocturo::Lng().txtMovingMaxOneEntry));
    QCOMPARE(script->Count("save"), 0);
    QCOMPARE(form.LeftList().Count(), 1);
}

void MovingMaxWindowTest::existingOutputsAreAskedForAndFailedOnesReported() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 3);
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    QFile old(dir.filePath("mm0002.png"));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();
    auto acceptTwo = [] {
        WhenModalOpens([](QWidget* modal) {
            auto* window = qobject_cast<TFormSample*>(modal);
            QVERIFY(window != nullptr);
            window->Edit1()->setText("2");
            window->findChild<QPushButton*>("BitBtn1")->click();
        });
    };
    // No at the question: the file stays, the run stops, the report ends it.
    script->saveNames = {dir.filePath("mm.png")};
    script->messages = {nocturo::DialogButton::No, nocturo::DialogButton::Ok};
    acceptTwo();
    form.Action("MovingMax1")->trigger();
    QCOMPARE(script->Count("message"), 2);
    QCOMPARE(script->asked[script->asked.size() - 2].text,
             "OverWrite? " + dir.filePath("mm0002.png"));
    QVERIFY(script->asked[script->asked.size() - 2].buttons.size() == 5);  // with Yes to All
    QCOMPARE(QFileInfo(dir.filePath("mm0002.png")).size(), qint64(3));
    QVERIFY(QFileInfo::exists(dir.filePath("mm0001.png")));

    // Outputs that cannot be saved are named in the report, with why.
    script->saveNames = {dir.filePath("gone/mm.png")};
    script->messages = {nocturo::DialogButton::Ok};
    acceptTwo();
    form.Action("MovingMax1")->trigger();
    QCOMPARE(script->Last("message").text,
             "0 File(s) in Error\n2 File(s) could not be written\nNot written: " +
                 dir.filePath("gone/mm0001.png") + " (No such file or directory)\nNot written: " +
                 dir.filePath("gone/mm0002.png") + " (No such file or directory)");
}

void MovingMaxWindowTest::stepFilesSwappedInAreNeverReplaced() {
    // A steps run, a swap, then the moving maximum over the step files with
    // the proposed name: it would replace the frames it reads.
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 3);
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    script->saveNames = {dir.filePath("proc0001.png")};
    script->messages = {nocturo::DialogButton::Ok};
    form.Action("GetMaxandSave1")->trigger();
    QCOMPARE(form.RightList().Count(), 3);
    form.ToolButtonSwapClick();
    const QByteArray before = [&] {
        QFile step(dir.filePath("proc0001.png"));
        return step.open(QIODevice::ReadOnly) ? step.readAll() : QByteArray();
    }();
    QVERIFY(!before.isEmpty());
    script->saveNames = {dir.filePath("proc0004.png")};
    script->messages = {nocturo::DialogButton::Ok};
    WhenModalOpens([](QWidget* modal) { qobject_cast<QDialog*>(modal)->accept(); });
    form.Action("MovingMax1")->trigger();
    QCOMPARE(script->Last("save").text, dir.filePath("proc0004.png"));  // the proposal
    QVERIFY(script->Last("message").text.startsWith(dir.filePath("proc0001.png") + " is one of"));
    QFile step(dir.filePath("proc0001.png"));
    QVERIFY(step.open(QIODevice::ReadOnly));
    QCOMPARE(step.readAll(), before);
    QCOMPARE(form.LeftList().Count(), 3);
}

QTEST_MAIN(MovingMaxWindowTest)
#include "moving_max_window_test.moc"
