// The "Processing..." commands and the numbering windows, driven through the
// real main window offscreen with scripted dialogs.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstring>
#include <functional>

#include "app/form_main.h"
#include "app/status_bar.h"
#include "core/combine.h"
#include "core/image_file.h"
#include "engine/ui/form_num_format.h"
#include "engine/ui/form_process.h"
#include "lists/list_commands.h"
#include "tests/ui/scripted_dialogs.h"

using nocturo::DialogButton;
using nocturo::FileList;
using nocturo::MessageKind;
using nocturo::RgbImage;
using nocturo::TFormMain;
using nocturo::test::ScriptedDialogs;

namespace {

// Scripted dialogs that also remember the kind of each message and let a
// test act while a message is open, as a user could.
class HookedDialogs : public ScriptedDialogs {
  public:
    std::vector<MessageKind> kinds;
    std::function<void(const QString& text)> onMessage;

    DialogButton Message(QWidget* parent, const QString& text, const QString& caption,
                         std::vector<DialogButton> buttons, MessageKind kind) override {
        kinds.push_back(kind);
        if (onMessage) {
            onMessage(text);
        }
        return ScriptedDialogs::Message(parent, text, caption, std::move(buttons), kind);
    }
};

class HookedScript {
  public:
    HookedScript() {
        auto dialogs = std::make_unique<HookedDialogs>();
        dialogs_ = dialogs.get();
        previous_ = nocturo::Dialogs::Install(std::move(dialogs));
    }
    ~HookedScript() { nocturo::Dialogs::Install(std::move(previous_)); }
    HookedDialogs* operator->() { return dialogs_; }

  private:
    HookedDialogs* dialogs_ = nullptr;
    std::unique_ptr<nocturo::Dialogs> previous_;
};

constexpr int kWidth = 5;
constexpr int kHeight = 4;

// Frame k: every byte differs from pixel to pixel and from frame to frame, so
// that the seven operations give seven different results and Add saturates
// somewhere.
RgbImage MakeFrame(int k) {
    RgbImage image;
    image.Resize(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = 0; x < kWidth * 3; ++x) {
            row[x] = static_cast<uint8_t>((k * 97 + x * 41 + y * 23 + (x % 3) * k * 53) % 256);
        }
    }
    return image;
}

QStringList WriteFrames(const QTemporaryDir& dir, int count) {
    QStringList files;
    for (int k = 0; k < count; ++k) {
        RgbImage image = MakeFrame(k);
        std::string name = dir.filePath(QStringLiteral("frame%1.png").arg(k)).toStdString();
        if (!nocturo::SaveImageFile(image, name)) {
            return {};
        }
        files << QString::fromStdString(name);
    }
    return files;
}

bool SameImage(const RgbImage& a, const RgbImage& b) {
    if (!a.SameSize(b)) {
        return false;
    }
    for (int y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.Row(y), b.Row(y), a.Stride()) != 0) {
            return false;
        }
    }
    return true;
}

// What a run of `operation` over the files leaves, computed from the files.
RgbImage Merged(const QStringList& files, nocturo::ImageOperation operation) {
    RgbImage result;
    nocturo::LoadImageFile(result, files[0].toStdString());
    for (int i = 1; i < files.size(); ++i) {
        RgbImage frame;
        nocturo::LoadImageFile(frame, files[i].toStdString());
        operation(frame, result, nullptr);
    }
    return result;
}

QStringList RightTexts(TFormMain& form) {
    QStringList texts;
    for (int i = 0; i < form.RightList().Count(); ++i) {
        texts << QString::fromStdString(form.RightList().Text(i));
    }
    return texts;
}

const char* const kStackCommands[] = {"GetMAX1",
                                      "GetMaxandSave1",
                                      "GetMAxThreshold1",
                                      "GetMaxTrhesholdandSave1",
                                      "Getmin1",
                                      "GetMinAndSave1",
                                      "GetMaxGray1",
                                      "GetMaxGrayandSavesteps1",
                                      "GetMinGray1",
                                      "GetMinGrayandSavesteps1",
                                      "Add1",
                                      "Sub1"};

// Runs `body` once the next modal window is open (a window opened with
// exec() cannot be reached from the code that opened it).
void WhenModalOpens(std::function<void(QWidget*)> body) {
    QTimer::singleShot(0, [body = std::move(body)] { body(QApplication::activeModalWidget()); });
}

}  // namespace

class ProcessTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { nocturo::MaxThreshold = 0; }
    void cleanup() { nocturo::MaxThreshold = 0; }
    void everyProcessingCommandRunsItsOperation();
    void thresholdIsAskedBeforeTheRun();
    void stepFilesLandInTheRightListAndNumberingGoesOn();
    void refusedOverwriteEndsTheRun();
    void failedFramesAreCountedAndDisabled();
    void aRunThatMergedNothingOffersNoSave();
    void numberFormatWindowAppliesOnEveryClose();
    void startingNumberWindowRules();
    void forcedStartNumberSkipsTheSavedNumber();
    void sortByNumberUsesTheForcedStartNumber();
    void abortButtonIsAnsweredWithinOneFrame();
    void commandsThatFightARunAreDisabledMeanwhile();
    void closingDuringARunWaitsForTheRunToEnd();
};

void ProcessTest::everyProcessingCommandRunsItsOperation() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 3);
    QCOMPARE(files.size(), 3);

    struct Case {
        const char* name;
        nocturo::ImageOperation operation;
        bool steps;
        bool threshold;
    };
    const Case cases[] = {
        {"GetMAX1", nocturo::AddMax, false, false},
        {"GetMaxandSave1", nocturo::AddMax, true, false},
        {"GetMAxThreshold1", nocturo::AddMaxThreshold, false, true},
        {"GetMaxTrhesholdandSave1", nocturo::AddMaxThreshold, true, true},
        {"Getmin1", nocturo::AddMin, false, false},
        {"GetMinAndSave1", nocturo::AddMin, true, false},
        {"GetMaxGray1", nocturo::AddMaxLum, false, false},
        {"GetMaxGrayandSavesteps1", nocturo::AddMaxLum, true, false},
        {"GetMinGray1", nocturo::SubMinLum, false, false},
        {"GetMinGrayandSavesteps1", nocturo::SubMinLum, true, false},
        {"Add1", nocturo::Add, false, false},
        {"Sub1", nocturo::Sub, false, false},
    };
    // The threshold chosen makes AddMaxThreshold differ from AddMax.
    nocturo::MaxThreshold = 120;
    const RgbImage thresholdResult = Merged(files, nocturo::AddMaxThreshold);
    nocturo::MaxThreshold = 0;
    QVERIFY(!SameImage(thresholdResult, Merged(files, nocturo::AddMax)));

    for (const Case& c : cases) {
        HookedScript script;
        TFormMain form;
        form.OpenFiles(files);
        QAction* action = form.Action(c.name);
        QVERIFY2(action->isEnabled(), c.name);

        const QString stepFolder = dir.filePath(c.name);
        if (c.threshold) {
            script->inputs = {QString("120")};
        }
        if (c.steps) {
            QVERIFY(QDir().mkpath(stepFolder));
            script->saveNames = {stepFolder + "/trail.png"};
        }
        script->messages = {DialogButton::Ok};
        action->trigger();

        const RgbImage expected = c.threshold ? thresholdResult : Merged(files, c.operation);
        QVERIFY2(SameImage(form.Result(), expected), c.name);
        QCOMPARE(form.ResultPosition(), 3);
        // The view and the status bar followed the run to its last frame.
        QVERIFY2(SameImage(form.ViewPicture(), expected), c.name);
        QCOMPARE(form.StatusBar1()->PanelText(2), files[2]);

        QCOMPARE(script->Count("message"), 1);
        QCOMPARE(script->Last("message").text, QString("0 File(s) in Error"));
        QCOMPARE(script->Last("message").caption, QString("Processed Pictures"));
        QCOMPARE(script->Last("message").buttons, std::vector<DialogButton>{DialogButton::Ok});
        QCOMPARE(script->Count("save"), 1);
        if (c.steps) {
            // Only the step dialog; every step is in the right list.
            QCOMPARE(script->Last("save").options.fileName, QString("proc0001.jpg"));
            QCOMPARE(script->Last("save").options.defaultExtension, QString("bmp"));
            const QStringList steps = {stepFolder + "/trail0001.png", stepFolder + "/trail0002.png",
                                       stepFolder + "/trail0003.png"};
            QCOMPARE(RightTexts(form), steps);
            RgbImage last;
            QVERIFY(nocturo::LoadImageFile(last, steps[2].toStdString()));
            QVERIFY2(SameImage(last, expected), c.name);
            QVERIFY(!form.Run().ResultUnsaved);
        } else {
            // The final "Save Result as..." dialog, cancelled here.
            QCOMPARE(script->Last("save").options.fileName, QString("proc.jpg"));
            QVERIFY(form.RightList().IsEmpty());
            QVERIFY(form.Run().ResultUnsaved);
        }
        // Only the threshold commands ask, and the answer stays in force.
        QCOMPARE(script->Count("input"), c.threshold ? 1 : 0);
        QCOMPARE(nocturo::MaxThreshold, c.threshold ? 120 : 0);
        nocturo::MaxThreshold = 0;
        QVERIFY(!form.Busy());
        for (const char* name : kStackCommands) {
            QVERIFY2(form.Action(name)->isEnabled(), name);
        }
    }
}

void ProcessTest::thresholdIsAskedBeforeTheRun() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 2);
    HookedScript script;
    TFormMain form;
    form.OpenFiles(files);

    // Cancel keeps the threshold and runs nothing, with or without steps.
    nocturo::MaxThreshold = 17;
    form.Action("GetMAxThreshold1")->trigger();
    QCOMPARE(script->Last("input").caption, QString("AddMAx"));
    QCOMPARE(script->Last("input").text, QString("Threshold|17"));
    form.Action("GetMaxTrhesholdandSave1")->trigger();
    QCOMPARE(script->Count("input"), 2);
    QCOMPARE(nocturo::MaxThreshold, 17);
    QCOMPARE(script->Count("message"), 0);
    QCOMPARE(script->Count("save"), 0);
    QCOMPARE(form.ResultPosition(), 0);

    // Typed text converts as an integer; anything that does not sets 0, and
    // the run starts either way.
    const std::pair<const char*, int> typed[] = {
        {"250", 250},
        {"-3", -3},
        {" 42", 42},
        {"+7", 7},
        {"abc", 0},
        {"12abc", 0},
        {"", 0},
        {"4 2", 0},
        {"1.5", 0},
        {"99999999999", 0},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
    };
    int runs = 0;
    for (const auto& [text, value] : typed) {
        nocturo::MaxThreshold = 17;
        script->inputs = {QString(text)};
        form.Action("GetMAxThreshold1")->trigger();
        ++runs;
        QVERIFY2(nocturo::MaxThreshold == value, text);
        QCOMPARE(script->Count("message"), runs);  // the run's final message
        QCOMPARE(form.ResultPosition(), 2);
    }
    // The question shows the threshold in force.
    QCOMPARE(script->Last("input").text, QString("Threshold|17"));
}

void ProcessTest::stepFilesLandInTheRightListAndNumberingGoesOn() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 3);
    HookedScript script;
    TFormMain form;
    form.OpenFiles(files);

    // The number typed in the dialog starts the sequence; the extension
    // chooses the format.
    script->saveNames = {dir.filePath("sky0042.tif")};
    script->messages = {DialogButton::Ok};
    form.Action("GetMaxandSave1")->trigger();
    const QStringList first = {dir.filePath("sky0042.tif"), dir.filePath("sky0043.tif"),
                               dir.filePath("sky0044.tif")};
    QCOMPARE(RightTexts(form), first);
    for (const QString& name : first) {
        QVERIFY2(QFileInfo::exists(name), qPrintable(name));
    }
    QCOMPARE(form.Run().Steps.StepNumber, 45);
    QCOMPARE(script->Count("save"), 1);

    // The next command proposes the following number in the same place.
    script->saveNames = {};
    form.Action("GetMinAndSave1")->trigger();
    QCOMPARE(script->Last("save").options.fileName, dir.filePath("sky0045.tif"));
    QCOMPARE(script->Count("message"), 1);  // cancelled: no run, no message
    QCOMPARE(form.RightList().Count(), 3);
}

void ProcessTest::refusedOverwriteEndsTheRun() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 4);
    HookedScript script;
    TFormMain form;
    form.OpenFiles(files);

    const QString existing = dir.filePath("trail0002.png");
    QFile blocker(existing);  // in the way of the second step
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    script->saveNames = {dir.filePath("trail.png")};
    script->messages = {DialogButton::No, DialogButton::Ok};
    form.Action("GetMaxandSave1")->trigger();

    QCOMPARE(script->Count("message"), 2);
    const auto question = script->asked[script->asked.size() - 2];
    QCOMPARE(question.text, "OverWrite? " + existing);
    for (DialogButton b : {DialogButton::Yes, DialogButton::No, DialogButton::Cancel,
                           DialogButton::NoToAll, DialogButton::YesToAll}) {
        QVERIFY(std::find(question.buttons.begin(), question.buttons.end(), b) !=
                question.buttons.end());
    }
    QCOMPARE(question.buttons.size(), size_t(5));
    QCOMPARE(script->kinds[0], MessageKind::Warning);
    // The run ended after the picture whose step was refused.
    QCOMPARE(form.ResultPosition(), 2);
    QCOMPARE(RightTexts(form), QStringList{dir.filePath("trail0001.png")});
    QCOMPARE(QFileInfo(existing).size(), 0);
    QVERIFY(!QFileInfo::exists(dir.filePath("trail0003.png")));
    QCOMPARE(script->Last("message").text, QString("0 File(s) in Error"));
    QCOMPARE(script->Count("save"), 1);  // the step dialog only
}

void ProcessTest::failedFramesAreCountedAndDisabled() {
    QTemporaryDir dir;
    QStringList files = WriteFrames(dir, 3);
    HookedScript script;
    TFormMain form;
    form.OpenFiles(files);
    // A frame that went missing after the list was made, in the middle.
    QVERIFY(QFile::remove(files[1]));
    script->messages = {DialogButton::Ok};
    form.Action("GetMAX1")->trigger();

    // The end names the frame in error.
    QCOMPARE(script->Last("message").text, "1 File(s) in Error\nIn error: " + files[1]);
    // The missing frame is skipped: the result holds the two others, and
    // the save dialog is offered for it.
    QCOMPARE(form.ResultPosition(), 2);
    QVERIFY(!form.Result().IsEmptyImage());
    QCOMPARE(script->Count("save"), 1);
    FileList& left = form.LeftList();
    for (int i : {0, 2}) {
        QVERIFY(left.IsChecked(i) && left.IsEnabled(i));
    }
    QVERIFY(!left.IsChecked(1));
    QVERIFY(!left.IsEnabled(1));
    QVERIFY(!form.StatusBar1()->IsErrorStyle());
}

void ProcessTest::aRunThatMergedNothingOffersNoSave() {
    QTemporaryDir dir;
    QStringList files = WriteFrames(dir, 2);
    HookedScript script;
    TFormMain form;
    form.OpenFiles(files);
    for (const QString& file : files) {
        QVERIFY(QFile::remove(file));
    }
    script->messages = {DialogButton::Ok};
    form.Action("GetMAX1")->trigger();
    QCOMPARE(script->Last("message").text,
             "2 File(s) in Error\nIn error: " + files[0] + "\nIn error: " + files[1]);
    QCOMPARE(script->Count("save"), 0);
    QVERIFY(form.Result().IsEmptyImage());
    // Nor is the empty result offered at closing time.
    QVERIFY(!form.Run().ResultUnsaved);
}

void ProcessTest::numberFormatWindowAppliesOnEveryClose() {
    HookedScript script;
    TFormMain form;
    nocturo::TFormNumFormat* window = form.FormNumFormat();
    QVERIFY(window != nullptr);
    QCOMPARE(window->objectName(), QString("FormNumFormat"));
    QCOMPARE(window->windowTitle(), QString("FileName Num Format"));
    QVERIFY(!window->isVisible());
    QCOMPARE(window->findChild<QLabel*>("Label1")->text(), QString("Count of Digits Number:"));
    QCOMPARE(window->CheckBox1()->text(), QString("AutoAdapt  Number Format to File Count"));
    QCOMPARE(window->CheckBox1()->objectName(), QString("CheckBox1"));
    QCOMPARE(window->SpinEdit1()->objectName(), QString("SpinEdit1"));
    QCOMPARE(window->SpinEdit1()->minimum(), 1);
    QCOMPARE(window->SpinEdit1()->maximum(), 10);
    auto* ok = window->findChild<QPushButton*>("BitBtnOk");
    auto* cancel = window->findChild<QPushButton*>("BitBtnCancel");
    auto* byDefault = window->findChild<QPushButton*>("BitBtnDefault");
    QVERIFY(ok && cancel && byDefault);
    QCOMPARE(byDefault->text(), QString("Default"));
    QVERIFY(form.Action("numformat1")->isEnabled());

    // Opening shows the settings; Default gives 6 digits and auto-adapt;
    // Cancel still applies what the window shows.
    form.Run().Steps.AutoAdaptDigits = false;
    int shownDigits = -1;
    bool shownAdapt = true;
    int defaultDigits = -1;
    bool defaultAdapt = false;
    bool wasModal = false;
    WhenModalOpens([&](QWidget* modal) {
        wasModal = modal == window;
        shownDigits = window->SpinEdit1()->value();
        shownAdapt = window->CheckBox1()->isChecked();
        byDefault->click();
        defaultDigits = window->SpinEdit1()->value();
        defaultAdapt = window->CheckBox1()->isChecked();
        window->SpinEdit1()->setValue(3);
        window->CheckBox1()->setChecked(false);
        cancel->click();
    });
    form.Action("numformat1")->trigger();
    QVERIFY(wasModal);
    QCOMPARE(shownDigits, 4);  // from "%s%4.4d%s"
    QVERIFY(!shownAdapt);
    QCOMPARE(defaultDigits, 6);
    QVERIFY(defaultAdapt);
    const nocturo::StepSettings& steps = form.Run().Steps;
    QVERIFY(!window->isVisible());
    QCOMPARE(steps.NumberFormat, std::string("%s%3.3d%s"));
    QCOMPARE(steps.digitCount, 3);
    QVERIFY(!steps.AutoAdaptDigits);
    QVERIFY(steps.FormatNumbers);
    QVERIFY(form.Action("numformat1")->isChecked());
    QCOMPARE(steps.WrapLimit(), 999);

    // The close box applies too.
    WhenModalOpens([&](QWidget*) {
        shownDigits = window->SpinEdit1()->value();
        window->SpinEdit1()->setValue(10);
        window->close();
    });
    form.Action("numformat1")->trigger();
    QCOMPARE(shownDigits, 3);
    QCOMPARE(steps.NumberFormat, std::string("%s%10.10d%s"));

    // A format without a width, set in code, clears the check mark when the
    // Options menu opens; the window then shows the least count it allows.
    form.Run().Steps.NumberFormat = "%s%d%s";
    form.Options1Click();
    QVERIFY(!steps.FormatNumbers);
    QVERIFY(!form.Action("numformat1")->isChecked());
    form.Run().Steps.NumberFormat = "%s%4.4d%s";
    form.Options1Click();
    QVERIFY(steps.FormatNumbers);
    QVERIFY(form.Action("numformat1")->isChecked());
    form.Run().Steps.NumberFormat = "%s%d%s";
    form.Options1Click();
    WhenModalOpens([&](QWidget*) {
        shownDigits = window->SpinEdit1()->value();
        ok->click();
    });
    form.Action("numformat1")->trigger();
    QCOMPARE(shownDigits, 1);
    QCOMPARE(steps.NumberFormat, std::string("%s%1.1d%s"));
    QVERIFY(steps.FormatNumbers);
    QVERIFY(form.Action("numformat1")->isChecked());
}

void ProcessTest::startingNumberWindowRules() {
    HookedScript script;
    TFormMain form;
    form.show();
    nocturo::TFormProcess* window = form.FormProcess();
    QVERIFY(window != nullptr);
    QCOMPARE(window->objectName(), QString("FormProcess"));
    QCOMPARE(window->windowTitle(), QString("Starting Number"));
    QCOMPARE(window->CheckBox1()->text(), QString("Select first image Number "));
    QCOMPARE(window->SpinEdit1()->minimum(), 0);
    QCOMPARE(window->SpinEdit1()->maximum(), 32767);
    QCOMPARE(window->SpinEdit1()->value(), 0);
    QVERIFY(!window->isVisible());
    auto* ok = window->findChild<QPushButton*>("BitBtnOk");
    auto* cancel = window->findChild<QPushButton*>("BitBtnCancel");
    QVERIFY(ok && cancel);

    // Shown without blocking, above the main window.
    QVERIFY(form.Action("ProcessNumerotation1")->isEnabled());
    form.Action("ProcessNumerotation1")->trigger();
    QVERIFY(window->isVisible());
    QCOMPARE(window->parentWidget(), &form);
    QVERIFY((window->windowFlags() & Qt::WindowType_Mask) == Qt::Tool);
    QVERIFY(!window->isModal());
    QCOMPARE(window->windowModality(), Qt::NonModal);
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    const nocturo::StepSettings& steps = form.Run().Steps;
    // A number above 0 is forced; 0 is not.
    window->SpinEdit1()->setValue(250);
    QCOMPARE(steps.StartNumber, 250);
    QVERIFY(steps.ForceStartNumber);
    QVERIFY(window->CheckBox1()->isChecked());
    window->SpinEdit1()->setValue(0);
    QCOMPARE(steps.StartNumber, 0);
    QVERIFY(!steps.ForceStartNumber);
    QVERIFY(!window->CheckBox1()->isChecked());

    // The box alone decides, also for 0.
    window->CheckBox1()->click();
    QVERIFY(steps.ForceStartNumber);
    QCOMPARE(steps.StartNumber, 0);
    window->CheckBox1()->click();
    QVERIFY(!steps.ForceStartNumber);

    // OK forces the number shown, also 0, and closes.
    ok->click();
    QVERIFY(steps.ForceStartNumber);
    QCOMPARE(steps.StartNumber, 0);
    QVERIFY(window->CheckBox1()->isChecked());
    QVERIFY(!window->isVisible());

    // Cancel drops the forced start and closes; the number stays.
    form.ProcessNumerotation1Click();
    window->SpinEdit1()->setValue(12);
    cancel->click();
    QVERIFY(!steps.ForceStartNumber);
    QCOMPARE(steps.StartNumber, 12);
    QVERIFY(!window->CheckBox1()->isChecked());
    QVERIFY(!window->isVisible());

    // The close box only hides; the window keeps its state between showings.
    form.ProcessNumerotation1Click();
    QCOMPARE(window->SpinEdit1()->value(), 12);
    window->SpinEdit1()->setValue(7);
    window->close();
    QVERIFY(!window->isVisible());
    QVERIFY(steps.ForceStartNumber);
    QCOMPARE(steps.StartNumber, 7);
    form.ProcessNumerotation1Click();
    QCOMPARE(window->SpinEdit1()->value(), 7);
    QVERIFY(window->CheckBox1()->isChecked());
}

void ProcessTest::forcedStartNumberSkipsTheSavedNumber() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 2);
    HookedScript script;
    TFormMain form;
    form.OpenFiles(files);
    nocturo::TFormProcess* window = form.FormProcess();
    form.ProcessNumerotation1Click();
    window->SpinEdit1()->setValue(250);
    window->findChild<QPushButton*>("BitBtnOk")->click();
    QVERIFY(form.Run().Steps.ForceStartNumber);

    // The dialog proposes 250; keeping it switches the forced start off,
    // since 250 differs from the step number before the command (0), and
    // the window's box follows.
    script->saveNames = {dir.filePath("proc0250.png")};
    script->messages = {DialogButton::Ok};
    form.Action("GetMaxandSave1")->trigger();
    QCOMPARE(script->Last("save").options.fileName, QString("proc0250.jpg"));
    QVERIFY(!form.Run().Steps.ForceStartNumber);
    QVERIFY(!window->CheckBox1()->isChecked());
    QCOMPARE(RightTexts(form),
             (QStringList{dir.filePath("proc0250.png"), dir.filePath("proc0251.png")}));
}

void ProcessTest::sortByNumberUsesTheForcedStartNumber() {
    HookedScript script;
    TFormMain form;
    const QStringList names = {"IMG_0002.JPG", "IMG_9999.JPG", "dark.jpg", "IMG_0001.JPG",
                               "IMG_0000.JPG"};
    auto fill = [&] {
        FileList& left = form.LeftList();
        nocturo::ResetList(left);
        for (const QString& name : names) {
            left.Append(("/none/" + name).toStdString(), false, true);
        }
    };
    auto order = [&] {
        QStringList sorted;
        for (int i = 0; i < form.LeftList().Count(); ++i) {
            sorted << QFileInfo(QString::fromStdString(form.LeftList().Text(i))).fileName();
            if (!form.LeftList().IsChecked(i) || !form.LeftList().IsEnabled(i)) {
                sorted << "(unchecked)";
            }
        }
        return sorted;
    };

    fill();
    form.Action("SortbyNum1")->trigger();
    QCOMPARE(order(), (QStringList{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_9999.JPG", "dark.jpg",
                                   "IMG_0000.JPG"}));

    // Starting number 9999 forced: the counter restarted after it.
    form.ProcessNumerotation1Click();
    form.FormProcess()->SpinEdit1()->setValue(9999);
    QVERIFY(form.Run().Steps.ForceStartNumber);
    fill();
    form.Action("SortbyNum1")->trigger();
    QCOMPARE(order(), (QStringList{"IMG_9999.JPG", "dark.jpg", "IMG_0000.JPG", "IMG_0001.JPG",
                                   "IMG_0002.JPG"}));

    // The number alone, without its box, does not count.
    form.FormProcess()->CheckBox1()->click();
    QVERIFY(!form.Run().Steps.ForceStartNumber);
    fill();
    form.Action("SortbyNum1")->trigger();
    QCOMPARE(order().first(), QString("IMG_0001.JPG"));
}

void ProcessTest::abortButtonIsAnsweredWithinOneFrame() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 6);
    for (DialogButton answer : {DialogButton::Yes, DialogButton::No}) {
        HookedScript script;
        TFormMain form;
        form.show();
        form.OpenFiles(files);
        auto* abort = form.findChild<QToolButton*>("ToolButtonAbort");
        QVERIFY(abort != nullptr);
        int clickedAt = -1;
        int askedAt = -1;
        script->onMessage = [&](const QString& text) {
            if (text.startsWith("Program in pause")) {
                askedAt = form.ResultPosition();
            }
        };
        // The user presses the button while the run lets events through,
        // once two frames are merged.
        QTimer poll;
        poll.setInterval(0);
        connect(&poll, &QTimer::timeout, [&] {
            if (clickedAt < 0 && form.Busy() && form.ResultPosition() >= 2) {
                clickedAt = form.ResultPosition();
                abort->click();
            }
        });
        script->messages = {answer, DialogButton::Ok};
        poll.start();
        form.Action("GetMAX1")->trigger();
        poll.stop();

        QVERIFY(clickedAt >= 2);
        QVERIFY(askedAt >= clickedAt && askedAt <= clickedAt + 1);
        const auto pause = script->asked[0];
        QCOMPARE(pause.text, QString("Program in pause... Do you want to Stop process"));
        QCOMPARE(pause.caption, QString("STOP by User"));
        QCOMPARE(pause.buttons, (std::vector<DialogButton>{DialogButton::Yes, DialogButton::No}));
        QCOMPARE(script->Last("message").text, QString("0 File(s) in Error"));
        if (answer == DialogButton::Yes) {
            // Stopped: no save dialog, both requests stay set.
            QCOMPARE(form.ResultPosition(), askedAt);
            QVERIFY(form.ResultPosition() < files.size());
            QCOMPARE(script->Count("save"), 0);
            QVERIFY(form.Run().StopRequested && form.Run().PauseRequested);
        } else {
            // Going on: the run reaches the last frame and offers to save.
            QCOMPARE(form.ResultPosition(), int(files.size()));
            QVERIFY(SameImage(form.Result(), Merged(files, nocturo::AddMax)));
            QCOMPARE(script->Count("save"), 1);
            QVERIFY(!form.Run().StopRequested && !form.Run().PauseRequested);
        }
        QVERIFY(form.isVisible());
    }
}

void ProcessTest::commandsThatFightARunAreDisabledMeanwhile() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 4);
    HookedScript script;
    TFormMain form;
    form.OpenFiles(files);

    // Checked while the run lets events through.
    QStringList enabledDuringRun;
    bool sawRun = false;
    int messagesBeforeRestart = -1;
    int messagesAfterRestart = -1;
    QTimer poll;
    poll.setInterval(0);
    connect(&poll, &QTimer::timeout, [&] {
        if (sawRun || !form.Busy()) {
            return;
        }
        sawRun = true;
        for (const char* name :
             {"GetMAX1", "GetMaxandSave1", "GetMAxThreshold1", "Add1", "Sub1", "NewList1",
              "Clearlist1", "ClearSelection1", "SortbyNum1", "Testvalidpictures1", "Redirect1",
              "ClearResult1", "numformat1", "SortList1", "ToolButtonSwap", "ToolButtonUp1",
              "NewDirectory1", "LoadList1"}) {
            if (form.Action(name)->isEnabled()) {
                enabledDuringRun << name;
            }
        }
        // Still usable: the abort button, saving the result, the lists'
        // check marks, the starting number.
        for (const char* name :
             {"ToolButtonAbort", "SaveResult1", "CheckAll", "ProcessNumerotation1", "Quit1"}) {
            if (!form.Action(name)->isEnabled()) {
                enabledDuringRun << QString("missing ") + name;
            }
        }
        // A start from code while the run is active is ignored: no second
        // run, no question.
        messagesBeforeRestart = script->Count("message") + script->Count("input");
        form.GetMAX1Click();
        form.GetMAxThreshold1Click();
        form.Testvalidpictures1Click();
        messagesAfterRestart = script->Count("message") + script->Count("input");
    });
    script->messages = {DialogButton::Ok};
    // A command that was disabled before the run stays so afterwards.
    form.Action("ToolButtonOpen1")->setEnabled(false);
    poll.start();
    form.Action("GetMAX1")->trigger();
    poll.stop();

    QVERIFY(sawRun);
    QCOMPARE(enabledDuringRun, QStringList());
    QCOMPARE(messagesAfterRestart, messagesBeforeRestart);
    QCOMPARE(script->Count("message"), 1);
    QCOMPARE(form.ResultPosition(), 4);
    // Everything is back once the run has ended, and only what was enabled
    // before.
    QVERIFY(form.Action("Clearlist1")->isEnabled());
    QVERIFY(form.Action("ToolButtonSwap")->isEnabled());
    QVERIFY(form.Action("GetMAX1")->isEnabled());
    QVERIFY(!form.Action("ToolButtonOpen1")->isEnabled());
}

void ProcessTest::closingDuringARunWaitsForTheRunToEnd() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir, 6);

    for (DialogButton answer : {DialogButton::Cancel, DialogButton::No}) {
        HookedScript script;
        TFormMain form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.OpenFiles(files);
        bool closeAccepted = true;
        int closedAt = -1;
        QTimer poll;
        poll.setInterval(0);
        connect(&poll, &QTimer::timeout, [&] {
            if (closedAt < 0 && form.Busy() && form.ResultPosition() >= 2) {
                closedAt = form.ResultPosition();
                closeAccepted = form.close();
            }
        });
        script->messages = {answer, DialogButton::Ok};
        poll.start();
        form.Action("GetMAX1")->trigger();
        poll.stop();

        QVERIFY(closedAt >= 2);
        QVERIFY(!closeAccepted);  // never while the run is on the stack
        QCOMPARE(script->asked[0].text, QString("Save Processed Image?"));
        QCOMPARE(script->Last("message").text, QString("0 File(s) in Error"));
        QCOMPARE(script->Count("message"), 2);  // no pause question
        if (answer == DialogButton::Cancel) {
            QCOMPARE(form.ResultPosition(), int(files.size()));
            QCOMPARE(script->Count("save"), 1);
            QVERIFY(form.isVisible());
        } else {
            // The run stopped after the current frame, without the save
            // dialog, and then the window closed without asking again.
            QVERIFY(form.ResultPosition() <= closedAt + 1);
            QCOMPARE(script->Count("save"), 0);
            QVERIFY(!form.isVisible());
            QVERIFY(!form.Busy());
        }
    }
}

QTEST_MAIN(ProcessTest)
#include "process_test.moc"
