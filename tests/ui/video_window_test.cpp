// "Make video from list..." in the main window: its settings window, the
// question before an existing video is replaced, and the run itself.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/form_main.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "engine/ui/form_video.h"
#include "tests/support/test_support.h"
#include "tests/support/video_decode.h"
#include "tests/ui/scripted_dialogs.h"

using nocturo::DialogButton;
using nocturo::TFormMain;
using nocturo::TFormVideo;
using nocturo::test::DialogScript;

class VideoWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void settingsWindow();
    void makeVideoFromTheMenu();
    void stepQuestionWithAVideo();
};

void VideoWindowTest::settingsWindow() {
    TFormVideo window;
    QCOMPARE(window.objectName(), QString("FormVideo"));
    QCOMPARE(window.Settings().fps, 25);
    QCOMPARE(window.Settings().width, 0);
    QCOMPARE(window.Settings().crf, 18);
    // Lossless has no quality to choose; a width too small for a video
    // becomes the smallest one.
    window.CheckBoxLossless()->setChecked(true);
    QVERIFY(!window.SpinEditCrf()->isEnabled());
    window.SpinEditWidth()->setValue(5);
    QCOMPARE(window.Settings().crf, nocturo::kLosslessCrf);
    QCOMPARE(window.Settings().width, nocturo::kMinVideoWidth);
    window.CheckBoxLossless()->setChecked(false);
    QCOMPARE(window.Settings().crf, 18);
}

void VideoWindowTest::makeVideoFromTheMenu() {
    QTemporaryDir dir;
    QStringList files;
    std::vector<nocturo::RgbImage> pictures;
    for (int k = 0; k < 3; ++k) {
        pictures.push_back(nocturo::test::NightFrame(64, 48, k));
        std::string name = dir.filePath(QStringLiteral("f%1.png").arg(k)).toStdString();
        QVERIFY(nocturo::SaveImageFile(pictures.back(), name));
        files << QString::fromStdString(name);
    }
    const QString video = dir.filePath("night.mp4");
    nocturo::test::WriteBytes(video.toStdString(), {'o', 'l', 'd'});
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    form.LeftList().SetChecked(1, false);
    auto chooseTenFramesPerSecond = [] {
        QTimer::singleShot(0, [] {
            auto* window = qobject_cast<TFormVideo*>(QApplication::activeModalWidget());
            QVERIFY(window != nullptr);
            window->SpinEditFps()->setValue(10);
            window->findChild<QPushButton*>("BitBtn1")->click();
        });
    };

    // The existing video is kept when the question is cancelled.
    script->saveNames = {video};
    script->messages = {DialogButton::Cancel};
    chooseTenFramesPerSecond();
    form.Action("MakeVideo1")->trigger();
    QCOMPARE(script->Count("save"), 1);
    QCOMPARE(script->Last("save").options.folder, dir.path());  // the frames' folder
    QCOMPARE(script->Last("save").text, QString("timelapse.mp4"));
    QCOMPARE(script->Last("message").text, QString("OverWrite? %1").arg(video));
    QCOMPARE(nocturo::test::ReadBytes(video.toStdString()), (std::vector<uint8_t>{'o', 'l', 'd'}));

    script->saveNames = {video};
    script->messages = {DialogButton::Yes, DialogButton::Ok};
    chooseTenFramesPerSecond();
    form.Action("MakeVideo1")->trigger();
    QCOMPARE(script->Last("message").text, QString("0 File(s) in Error"));
    QCOMPARE(script->Last("message").caption, QString("Processed Pictures"));
    QCOMPARE(form.StatusBar1()->PanelText(3), QString("Video: 2 of 2 frames"));
    QCOMPARE(nocturo::test::DecodeVideo(video.toStdString()).fps, 10.0);
    QVERIFY(nocturo::test::FrameOrder(video.toStdString(), pictures) == std::vector<int>({0, 2}));
}

// "AddMax and Save steps...": a .mp4 name in the step question, then the
// settings window, makes the run write the video alone, each step a frame.
void VideoWindowTest::stepQuestionWithAVideo() {
    QTemporaryDir dir;
    QStringList files;
    for (int k = 0; k < 3; ++k) {
        std::string name = dir.filePath(QStringLiteral("f%1.png").arg(k)).toStdString();
        QVERIFY(nocturo::SaveImageFile(nocturo::test::NightFrame(64, 48, k), name));
        files << QString::fromStdString(name);
    }
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    const QString video = dir.filePath("steps.mp4");
    script->saveNames = {video};
    script->messages = {DialogButton::Ok};
    bool offered = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<TFormVideo*>(QApplication::activeModalWidget());
        QVERIFY(window != nullptr);
        offered = window->CheckBoxStepFiles()->isVisible();
        window->SpinEditFps()->setValue(12);
        window->findChild<QPushButton*>("BitBtn1")->click();
    });
    form.Action("GetMaxandSave1")->trigger();
    QVERIFY(offered);
    QVERIFY(script->Last("save").options.filter.endsWith("Video (MP4)...|*.MP4"));
    const nocturo::test::DecodedVideo decoded = nocturo::test::DecodeVideo(video.toStdString());
    QCOMPARE(decoded.frames.size(), size_t{3});
    QCOMPARE(decoded.fps, 12.0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 4);  // no step file
    QCOMPARE(form.RightList().Count(), 0);
    QVERIFY(!form.FormVideo()->CheckBoxStepFiles()->isVisible());
}

QTEST_MAIN(VideoWindowTest)
#include "video_window_test.moc"
