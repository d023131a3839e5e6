// Gap filling and the fades in the real main window, offscreen, with
// scripted dialogs: the items set the run's options, refuse bad numbers,
// and a filled run reports the sky's rotation in its final message.

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include "app/form_main.h"
#include "core/fades.h"
#include "core/image_file.h"
#include "tests/support/dotted_night.h"
#include "tests/ui/scripted_dialogs.h"

using nocturo::DialogButton;
using nocturo::TFormMain;
using nocturo::test::DialogScript;

class TrailsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void ItemsSetTheOptionsAndRefuseBadNumbers();
    void FilledRunReportsTheRotation();
};

void TrailsWindowTest::ItemsSetTheOptionsAndRefuseBadNumbers() {
    DialogScript script;
    TFormMain form;
    const nocturo::TrailOptions& trails = form.Run().Trails;

    form.Action("FillGaps1")->trigger();
    QVERIFY(trails.fillGaps);
    script->inputs = {QString("0,25"), QString("0.95")};
    script->messages = {DialogButton::Ok};
    form.Action("GapFraction1")->trigger();
    QCOMPARE(trails.gapFraction, 0.25);
    form.Action("GapFraction1")->trigger();  // beyond 0.9: refused, kept
    QCOMPARE(trails.gapFraction, 0.25);
    QCOMPARE(script->Last("message").text, QString("'0.95' is not a number from 0 to 0.9"));

    script->openFiles = {QStringList{"/night/mask.png"}};
    form.Action("SkyMask1")->trigger();
    QCOMPARE(trails.skyMask, std::string("/night/mask.png"));
    QVERIFY(form.Action("SkyMask1")->isChecked());
    form.Action("SkyMask1")->trigger();  // checked: dropped
    QVERIFY(trails.skyMask.empty());
    QVERIFY(!form.Action("SkyMask1")->isChecked());

    script->inputs = {QString("12"), QString("-3"), QString("4"), QString("0.5")};
    script->messages = {DialogButton::Ok};
    form.Action("FadeIn1")->trigger();
    QCOMPARE(trails.fades.fadeIn, 12);
    QVERIFY(form.Action("FadeIn1")->isChecked());
    form.Action("FadeIn1")->trigger();
    QCOMPARE(trails.fades.fadeIn, 12);
    form.Action("FadeOut1")->trigger();
    QCOMPARE(trails.fades.fadeOut, 4);
    form.Action("FadeMinimum1")->trigger();
    QCOMPARE(trails.fades.minimum, nocturo::kFullWeight / 2);
    form.Action("Comet1")->trigger();
    QVERIFY(trails.fades.comet);
}

void TrailsWindowTest::FilledRunReportsTheRotation() {
    QTemporaryDir dir;
    nocturo::test::DottedNight night;
    QStringList files;
    for (int k = 0; k < 4; ++k) {
        std::string name = dir.filePath(QString("f%1.png").arg(k)).toStdString();
        QVERIFY(nocturo::SaveImageFile(night.Frame(k), name));
        files << QString::fromStdString(name);
    }
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    form.Action("FillGaps1")->trigger();
    script->saveNames = {QString()};
    script->messages = {DialogButton::Ok};
    form.Action("GetMAX1")->trigger();
    const QString text = script->Last("message").text;
    QVERIFY2(text.startsWith("0 File(s) in Error\nSky rotation: centre at x 299.9, y 60.0 pixels, "
                             "1.99"),
             qPrintable(text));
    QVERIFY(text.endsWith("Gaps filled: gap fraction 0.100, as set"));
}

QTEST_MAIN(TrailsWindowTest)
#include "trails_window_test.moc"
