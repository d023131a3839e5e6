// The Batch Operations window and the fly-over preview, driven through the
// real main window offscreen with scripted dialogs.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/form_main.h"
#include "app/status_bar.h"
#include "core/batch.h"
#include "core/image_file.h"
#include "engine/ui/form_factor.h"
#include "tests/ui/scripted_dialogs.h"
#include "viewer/fly_image.h"

using nocturo::BatchParams;
using nocturo::DialogButton;
using nocturo::RgbImage;
using nocturo::TFormFactor;
using nocturo::TFormMain;
using nocturo::test::DialogScript;

namespace {

constexpr int kWidth = 6;
constexpr int kHeight = 4;

// Every byte below 255, so that a reference at factor 1 subtracts nothing.
RgbImage MakePicture(int seed, int width = kWidth, int height = kHeight) {
    RgbImage image;
    image.Resize(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * 3; ++x) {
            image.Row(y)[x] = static_cast<uint8_t>((seed * 71 + x * 37 + y * 19) % 250);
        }
    }
    return image;
}

QString Write(const QTemporaryDir& dir, const QString& name, const RgbImage& image) {
    std::string file = dir.filePath(name).toStdString();
    if (!nocturo::SaveImageFile(image, file)) {
        return {};
    }
    return QString::fromStdString(file);
}

RgbImage Load(const QString& file) {
    RgbImage image;
    nocturo::LoadImageFile(image, file.toStdString());
    return image;
}

bool Same(const RgbImage& a, const RgbImage& b) {
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

RgbImage Processed(int index, const QString& frame, const QString& reference, int factor,
                   int offset) {
    BatchParams params;
    params.reference = Load(reference);
    params.factor = factor;
    params.offset = offset;
    RgbImage source = Load(frame);
    RgbImage result = source;
    nocturo::BatchFunction(index)(source, result, &params);
    return result;
}

void Click(TFormFactor* window, const char* button) {
    auto* b = window->findChild<QPushButton*>(button);
    QVERIFY2(b != nullptr, button);
    b->click();
}

nocturo::tFlyImage* Picture(TFormMain& form) {
    return form.findChild<nocturo::tFlyImage*>("Image1");
}

void Enter(TFormMain& form) {
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(Picture(form), &event);
}

void Leave(TFormMain& form) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(Picture(form), &event);
}

}  // namespace

class BatchWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void windowOpensWithTheCurrentEntryAsReference();
    void factorAndOffsetControls();
    void typedKeysInTheNumberFields();
    void previewOnAnUncheckedEntryChecksIt();
    void applyToAllWithoutANameDoesNothingForEveryFunction();
    void typedFunctionTextSelectsNothing();
    void missingReferenceIsReportedAndNothingWritten();
    void aBadReferenceIsReportedOncePerNameAndFile();
    void applyToAllWritesNumberedFilesIntoTheRightList();
    void applyToAllReportsFilesThatCannotBeWritten();
    void browseAndMaskButtons();
    void flyOverSwitchLinksMenuAndButton();
    void flyOverEnterAndLeave();
};

void BatchWindowTest::windowOpensWithTheCurrentEntryAsReference() {
    DialogScript script;
    TFormMain form;
    TFormFactor* window = form.FormFactor();
    QVERIFY(window != nullptr);
    QCOMPARE(window->objectName(), QString("FormFactor"));
    QCOMPARE(window->windowTitle(), QString("Batch Operations:"));
    QVERIFY(!window->isVisible());
    QVERIFY(!window->isModal());

    form.Action("NewBatchOperations1")->trigger();
    QVERIFY(window->isVisible());
    QCOMPARE(window->EditFileNameText(), QString());  // an empty left list

    QTemporaryDir dir;
    const QString a = Write(dir, "a.bmp", MakePicture(1));
    const QString b = Write(dir, "b.bmp", MakePicture(2));
    form.OpenFiles({a, b});
    form.LeftList().SetCurrent(1);
    window->SelectFunction(4);
    window->findChild<QLineEdit*>("EditFactor")->setText("77");
    Click(window, "BitBtnClose");
    QVERIFY(!window->isVisible());
    form.Action("NewBatchOperations1")->trigger();
    QCOMPARE(window->EditFileNameText(), b);
    // The settings survive closing.
    QCOMPARE(window->FunctionIndex(), 4);
    QCOMPARE(window->EditFactor()->text(), QString("77"));

    const QStringList items = {
        "Subtract an Image (Dark)", "Add an Image",    "Divide   by an Image (Flat)",
        "Mutiply  by an Image",     "Square of Image", "Cube of Image"};
    QCOMPARE(window->ComboBoxFunction()->count(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(window->ComboBoxFunction()->itemText(i), items[i]);
    }
    for (const char* name :
         {"Label4", "Label1", "Label2", "Label3", "EditFileName", "SpeedButtonBrowse",
          "SpeedButton1", "EditFactor", "ScrollBarFactor", "SpeedButtonFactor", "EditOffset",
          "ScrollBarOffset", "SpeedButtonOffset", "BitBtnUndo", "BitBtnTestOne", "BitBtnOk",
          "BitBtnClose"}) {
        QVERIFY2(window->findChild<QWidget*>(name) != nullptr, name);
    }
    QVERIFY(window->findChild<QPushButton*>("BitBtnTestOne")->isDefault());
}

void BatchWindowTest::factorAndOffsetControls() {
    DialogScript script;
    QTemporaryDir dir;
    const QString frame = Write(dir, "frame.bmp", MakePicture(3));
    const QString dark = Write(dir, "dark.bmp", MakePicture(4));
    TFormMain form;
    form.OpenFiles({frame});
    form.LeftList().SetCurrent(0);
    form.NewBatchOperations1Click();
    TFormFactor* window = form.FormFactor();
    window->SetReferenceFileName(dark);

    // Start-up: factor 1 of 1..255, which subtracts nothing.
    QCOMPARE(window->ScrollBarFactor()->minimum(), 1);
    QCOMPARE(window->ScrollBarFactor()->maximum(), 255);
    QCOMPARE(window->ScrollBarFactor()->value(), 1);
    QCOMPARE(window->EditFactor()->text(), QString("1"));
    QCOMPARE(window->SpeedButtonFactor()->text(), QString("Default = 255"));
    QCOMPARE(window->ScrollBarOffset()->minimum(), -255);
    QCOMPARE(window->ScrollBarOffset()->maximum(), 255);
    QCOMPARE(window->ScrollBarOffset()->value(), 0);
    QCOMPARE(window->EditOffset()->text(), QString("0"));
    Click(window, "BitBtnTestOne");
    QVERIFY(Same(form.Result(), Load(frame)));
    QVERIFY(Same(form.ViewPicture(), Load(frame)));
    QVERIFY(QApplication::overrideCursor() == nullptr);  // the busy cursor is gone

    // "Default = 255" applies the full reference and previews.
    Click(window, "SpeedButtonFactor");
    QCOMPARE(window->ScrollBarFactor()->value(), 255);
    QCOMPARE(window->EditFactor()->text(), QString("255"));
    QVERIFY(Same(form.Result(), Processed(0, frame, dark, 255, 0)));

    // Cube: 0..65025 at 65025; the reference controls go, the field's text stays.
    window->SelectFunction(5);
    QCOMPARE(window->ScrollBarFactor()->minimum(), 0);
    QCOMPARE(window->ScrollBarFactor()->maximum(), 65025);
    QCOMPARE(window->ScrollBarFactor()->value(), 65025);
    QCOMPARE(window->EditFactor()->text(), QString("65025"));
    QCOMPARE(window->SpeedButtonFactor()->text(), QString("Default = 65025"));
    QVERIFY(window->SpeedButtonBrowse()->isHidden());
    QVERIFY(window->Label1()->isHidden());
    QVERIFY(window->SpeedButton1()->isHidden());
    QVERIFY(!window->EditFileName()->isEnabled());
    QCOMPARE(window->EditFileNameText(), dark);
    window->SelectFunction(2);
    QCOMPARE(window->ScrollBarFactor()->maximum(), 255);
    QCOMPARE(window->ScrollBarFactor()->value(), 255);
    QVERIFY(!window->SpeedButtonBrowse()->isHidden());
    QVERIFY(!window->Label1()->isHidden());
    QVERIFY(!window->SpeedButton1()->isHidden());
    QVERIFY(window->EditFileName()->isEnabled());

    // Steps by arrow and page only update the field; a factor of 0 shows 1.
    const int position = form.ResultPosition();
    form.SetResultPosition(7);
    window->ScrollBarFactor()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(window->EditFactor()->text(), QString("254"));
    window->ScrollBarFactor()->triggerAction(QAbstractSlider::SliderToMinimum);
    QCOMPARE(window->ScrollBarFactor()->value(), 0);
    QCOMPARE(window->EditFactor()->text(), QString("1"));
    QCOMPARE(window->Request().factor, 0);
    window->ScrollBarOffset()->triggerAction(QAbstractSlider::SliderPageStepSub);
    QCOMPARE(window->EditOffset()->text(), QString::number(window->ScrollBarOffset()->value()));
    QVERIFY(window->ScrollBarOffset()->value() < 0);
    QCOMPARE(form.ResultPosition(), 7);  // no preview ran
    Q_UNUSED(position);

    // Releasing a dragged thumb previews with the new position.
    QScrollBar* offset = window->ScrollBarOffset();
    offset->setSliderDown(true);
    offset->setSliderPosition(-40);
    QCOMPARE(window->EditOffset()->text(), QString("-40"));
    QCOMPARE(form.ResultPosition(), 7);
    offset->setSliderDown(false);
    QCOMPARE(form.ResultPosition(), 1);
    QVERIFY(Same(form.Result(), Processed(2, frame, dark, 0, -40)));

    // "Default = 0" puts the offset back and previews.
    Click(window, "SpeedButtonOffset");
    QCOMPARE(offset->value(), 0);
    QCOMPARE(window->EditOffset()->text(), QString("0"));
    QVERIFY(Same(form.Result(), Processed(2, frame, dark, 0, 0)));
}

void BatchWindowTest::typedKeysInTheNumberFields() {
    DialogScript script;
    TFormMain form;
    TFormFactor* window = form.FormFactor();
    int beeps = 0;
    window->SetBeep([&beeps] { ++beeps; });
    window->SelectFunction(0);
    QLineEdit* factor = window->EditFactor();
    QLineEdit* offset = window->EditOffset();

    struct Case {
        QLineEdit* field;
        QScrollBar* slider;
        QString typed;
        QString shown;
        int position;
    };
    const Case cases[] = {
        {factor, window->ScrollBarFactor(), "300", "255", 255},
        {factor, window->ScrollBarFactor(), "42", "42", 42},
        {factor, window->ScrollBarFactor(), "-5", "0", 0},
        {offset, window->ScrollBarOffset(), "-300", "-255", -255},
        {offset, window->ScrollBarOffset(), "300", "255", 255},
        {offset, window->ScrollBarOffset(), "-17", "-17", -17},
        {offset, window->ScrollBarOffset(), "+8", "+8", 8},
    };
    for (const Case& c : cases) {
        c.field->clear();
        QTest::keyClicks(c.field, c.typed);
        QCOMPARE(c.field->text(), c.shown);
        QCOMPARE(c.slider->value(), c.position);
    }
    QCOMPARE(beeps, 0);

    // 12a: the A beeps and the slider stays where "12" put it.
    factor->clear();
    QTest::keyClicks(factor, "12a");
    QCOMPARE(beeps, 1);
    QCOMPARE(factor->text(), QString("12a"));
    QCOMPARE(window->ScrollBarFactor()->value(), 12);
    // A digit after it: no beep, but the text still does not read as a number.
    QTest::keyClick(factor, Qt::Key_3);
    QCOMPARE(beeps, 1);
    QCOMPARE(window->ScrollBarFactor()->value(), 12);
    // Keypad digits pass; a blank and an arrow beep; backspace passes.
    factor->clear();
    QTest::keyClick(factor, Qt::Key_9, Qt::KeypadModifier);
    QCOMPARE(window->ScrollBarFactor()->value(), 9);
    QTest::keyClick(factor, Qt::Key_Space);
    QTest::keyClick(factor, Qt::Key_Left);
    QCOMPARE(beeps, 3);
    QTest::keyClick(factor, Qt::Key_Backspace);
    QCOMPARE(beeps, 3);
}

void BatchWindowTest::previewOnAnUncheckedEntryChecksIt() {
    DialogScript script;
    QTemporaryDir dir;
    const QString a = Write(dir, "a.bmp", MakePicture(5));
    const QString b = Write(dir, "b.bmp", MakePicture(6));
    const QString small = Write(dir, "small.bmp", MakePicture(7, 2, 2));
    TFormMain form;
    form.OpenFiles({a, b});
    form.LeftList().SetChecked(1, false);
    form.LeftList().SetCurrent(1);
    form.NewBatchOperations1Click();
    TFormFactor* window = form.FormFactor();
    window->SelectFunction(1);
    window->SetReferenceFileName(a);
    Click(window, "BitBtnTestOne");
    QVERIFY(form.LeftList().IsChecked(1));
    QVERIFY(form.LeftList().IsEnabled(1));
    QCOMPARE(form.ResultPosition(), 1);
    QVERIFY(Same(form.Result(), Processed(1, b, a, 255, 0)));
    QVERIFY(Same(form.ViewPicture(), form.Result()));
    QCOMPARE(form.StatusBar1()->PanelText(2), b);
    QCOMPARE(script->Count("message"), 0);

    // "Original Image" shows the file again; the result keeps the preview.
    Click(window, "BitBtnUndo");
    QVERIFY(Same(form.ViewPicture(), Load(b)));
    QVERIFY(Same(form.Result(), Processed(1, b, a, 255, 0)));

    // A reference of another size: the entry is disabled, without a message.
    window->SetReferenceFileName(small);
    Click(window, "BitBtnTestOne");
    QVERIFY(!form.LeftList().IsChecked(1));
    QVERIFY(!form.LeftList().IsEnabled(1));
    QVERIFY(form.Result().IsEmptyImage());
    QVERIFY(form.StatusBar1()->IsErrorStyle());
    QCOMPARE(script->Count("message"), 0);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void BatchWindowTest::applyToAllWithoutANameDoesNothingForEveryFunction() {
    DialogScript script;
    QTemporaryDir dir;
    const QString a = Write(dir, "a.bmp", MakePicture(8));
    TFormMain form;
    form.OpenFiles({a});
    form.NewBatchOperations1Click();
    TFormFactor* window = form.FormFactor();
    window->SetReferenceFileName(QString());
    for (int index = 0; index < nocturo::kBatchFunctionCount; ++index) {
        window->SelectFunction(index);
        Click(window, "BitBtnOk");
        Click(window, "BitBtnTestOne");
        QVERIFY(script->asked.empty());
        QCOMPARE(form.RightList().Count(), 0);
        QCOMPARE(form.ResultPosition(), 0);
        QVERIFY(form.Result().IsEmptyImage());
    }
}

void BatchWindowTest::typedFunctionTextSelectsNothing() {
    DialogScript script;
    QTemporaryDir dir;
    const QString a = Write(dir, "a.bmp", MakePicture(9));
    TFormMain form;
    form.OpenFiles({a});
    form.NewBatchOperations1Click();
    TFormFactor* window = form.FormFactor();
    window->SetReferenceFileName(a);
    window->SelectFunction(5);
    QLineEdit* box = window->ComboBoxFunction()->lineEdit();
    box->selectAll();
    QTest::keyClicks(box, "Dark");
    QCOMPARE(window->FunctionIndex(), -1);
    // Every change of the text starts the factor controls again at 255.
    QCOMPARE(window->ScrollBarFactor()->maximum(), 255);
    QCOMPARE(window->ScrollBarFactor()->value(), 255);
    QCOMPARE(window->SpeedButtonFactor()->text(), QString("Default = 255"));
    window->ScrollBarFactor()->setValue(30);
    QTest::keyClicks(box, "x");
    QCOMPARE(window->ScrollBarFactor()->value(), 255);

    Click(window, "BitBtnTestOne");
    Click(window, "BitBtnOk");
    QVERIFY(script->asked.empty());
    QCOMPARE(form.ResultPosition(), 0);
    QVERIFY(form.Result().IsEmptyImage());

    // Choosing an item from the list selects it again.
    QTest::keyClick(window->ComboBoxFunction(), Qt::Key_Up);
    QVERIFY(window->FunctionIndex() >= 0);
}

void BatchWindowTest::missingReferenceIsReportedAndNothingWritten() {
    DialogScript script;
    script->messages = {DialogButton::Ok, DialogButton::Ok};
    QTemporaryDir dir;
    const QString a = Write(dir, "a.bmp", MakePicture(10));
    const QString missing = dir.filePath("dark.bmp");
    TFormMain form;
    form.OpenFiles({a});
    form.NewBatchOperations1Click();
    TFormFactor* window = form.FormFactor();
    window->SelectFunction(2);
    window->SetReferenceFileName(missing);
    Click(window, "BitBtnOk");
    Click(window, "BitBtnOk");
    QCOMPARE(script->asked.size(), size_t(2));
    for (const auto& asked : script->asked) {
        QCOMPARE(asked.kind, QString("message"));
        QCOMPARE(asked.text, "Cannot load the reference image " + missing);
    }
    QCOMPARE(window->ReferenceFileName(), missing);
    QCOMPARE(form.RightList().Count(), 0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.bmp"});
    QVERIFY(form.Result().IsEmptyImage());
    QVERIFY(form.LeftList().IsEnabled(0));
}

void BatchWindowTest::aBadReferenceIsReportedOncePerNameAndFile() {
    DialogScript script;
    QTemporaryDir dir;
    const QString frame = Write(dir, "frame.bmp", MakePicture(40));
    const QString dark = dir.filePath("dark.bmp");
    TFormMain form;
    form.show();
    form.OpenFiles({frame});
    form.Action("EnableFlyOverMouse1")->setChecked(true);
    form.NewBatchOperations1Click();
    TFormFactor* window = form.FormFactor();
    window->SelectFunction(0);
    auto write = [&](const QString& file, const QByteArray& bytes) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    };
    // Each step, then the messages about the reference so far.
    struct Step {
        std::function<void()> act;
        int messages;
    };
    const Step steps[] = {
        {[&] { window->SetReferenceFileName(dark); }, 0},
        {[&] { Enter(form); }, 1},  // missing: reported
        {[&] { Enter(form); }, 1},  // every later preview keeps quiet
        {[&] { window->ScrollBarFactorScroll(TFormFactor::ScrollCode::EndTrack, 9); }, 1},
        {[&] { Click(window, "BitBtnTestOne"); }, 1},
        {[&] { Click(window, "BitBtnOk"); }, 2},  // "Apply to All" always says why
        {[&] { write(dark, "not a picture"); }, 2},
        {[&] { Enter(form); }, 3},  // the file changed
        {[&] { Enter(form); }, 3},
        {[&] { window->SetReferenceFileName(dark + "x"); }, 3},
        {[&] { Enter(form); }, 4},  // another name
        {[&] { window->SetReferenceFileName(Write(dir, "dark.bmp", MakePicture(41))); }, 4},
        {[&] { Enter(form); }, 4},  // loads
        {[&] { QFile::remove(dark); }, 4},
        {[&] { Enter(form); }, 5},  // failing again after a success is news
    };
    int step = 0;
    for (const Step& s : steps) {
        script->messages = {DialogButton::Ok};
        s.act();
        QVERIFY2(script->Count("message") == s.messages, qPrintable(QString::number(step)));
        ++step;
    }
    QVERIFY(script->Last("message").text.startsWith("Cannot load the reference image"));
}

void BatchWindowTest::applyToAllWritesNumberedFilesIntoTheRightList() {
    DialogScript script;
    QTemporaryDir dir;
    const QString dark = Write(dir, "dark.png", MakePicture(11));
    QStringList frames;
    for (int k = 0; k < 3; ++k) {
        frames << Write(dir, QStringLiteral("f%1.png").arg(k), MakePicture(20 + k));
    }
    TFormMain form;
    form.OpenFiles(frames);
    form.LeftList().SetChecked(1, false);
    form.NewBatchOperations1Click();
    TFormFactor* window = form.FormFactor();
    window->SelectFunction(0);
    window->SetReferenceFileName(dark);
    script->saveNames.push_back(dir.filePath("cal0005.png"));
    script->messages.push_back(DialogButton::Ok);
    Click(window, "BitBtnOk");
    QCOMPARE(form.RightList().Count(), 2);
    QCOMPARE(QString::fromStdString(form.RightList().Text(0)), dir.filePath("cal0005.png"));
    QCOMPARE(QString::fromStdString(form.RightList().Text(1)), dir.filePath("cal0006.png"));
    QVERIFY(Same(Load(dir.filePath("cal0005.png")), Processed(0, frames[0], dark, 255, 0)));
    QVERIFY(Same(Load(dir.filePath("cal0006.png")), Processed(0, frames[2], dark, 255, 0)));
    QCOMPARE(script->Last("message").text, QString("0 File(s) in Error"));
    QCOMPARE(script->Count("save"), 1);  // the first file's name only
    QCOMPARE(form.ResultPosition(), 2);
    QVERIFY(!form.Busy());
}

void BatchWindowTest::applyToAllReportsFilesThatCannotBeWritten() {
    DialogScript script;
    QTemporaryDir dir;
    const QString dark = Write(dir, "dark.png", MakePicture(11));
    const QStringList frames = {Write(dir, "f0.png", MakePicture(20)),
                                Write(dir, "f1.png", MakePicture(21))};
    TFormMain form;
    form.OpenFiles(frames);
    form.NewBatchOperations1Click();
    TFormFactor* window = form.FormFactor();
    window->SelectFunction(0);
    window->SetReferenceFileName(dark);
    script->saveNames.push_back(dir.filePath("gone/cal0001.png"));
    script->messages.push_back(DialogButton::Ok);
    Click(window, "BitBtnOk");
    // Every failed write is counted, named with why, and listed disabled.
    const QString why = " (No such file or directory)";
    QCOMPARE(script->Last("message").text,
             "0 File(s) in Error\n2 File(s) could not be written\nNot written: " +
                 dir.filePath("gone/cal0001.png") + why +
                 "\nNot written: " + dir.filePath("gone/cal0002.png") + why);
    QCOMPARE(form.RightList().Count(), 2);
    QVERIFY(!form.RightList().IsEnabled(0) && !form.RightList().IsEnabled(1));
}

void BatchWindowTest::browseAndMaskButtons() {
    DialogScript script;
    TFormMain form;
    TFormFactor* window = form.FormFactor();
    window->SetReferenceFileName("/old/name.bmp");
    script->openFiles.push_back(QStringList{"/new/flat.tif"});
    window->SpeedButtonBrowse()->click();
    QCOMPARE(window->EditFileNameText(), QString("/new/flat.tif"));
    window->SpeedButtonBrowse()->click();  // cancelled: the name stays
    QCOMPARE(window->EditFileNameText(), QString("/new/flat.tif"));
    QCOMPARE(script->Count("open"), 2);

    window->SpeedButton1()->click();  // nothing set up: nothing happens
    int masks = 0;
    window->SetCreateMaskAction([&] {
        ++masks;
        window->SetReferenceFileName("/masks/new.bmp");
    });
    window->SpeedButton1()->click();
    QCOMPARE(masks, 1);
    QCOMPARE(window->EditFileNameText(), QString("/masks/new.bmp"));
}

void BatchWindowTest::flyOverSwitchLinksMenuAndButton() {
    DialogScript script;
    TFormMain form;
    QAction* item = form.Action("EnableFlyOverMouse1");
    auto* button = form.findChild<QToolButton*>("EnableFlyOverMouse2");
    QVERIFY(item != nullptr && button != nullptr);
    QVERIFY(item->isEnabled());
    QVERIFY(item->isCheckable() && button->isCheckable());
    QVERIFY(!item->isChecked() && !button->isChecked());
    button->click();
    QVERIFY(item->isChecked() && button->isChecked());
    button->click();
    QVERIFY(!item->isChecked() && !button->isChecked());
    item->trigger();
    QVERIFY(item->isChecked() && button->isChecked());
    item->trigger();
    QVERIFY(!item->isChecked() && !button->isChecked());
}

void BatchWindowTest::flyOverEnterAndLeave() {
    QTemporaryDir dir;
    const QString frame = Write(dir, "frame.bmp", MakePicture(30));
    const QString dark = Write(dir, "dark.bmp", MakePicture(31));
    const QString written = Write(dir, "written.bmp", MakePicture(32));
    const RgbImage processed = Processed(0, frame, dark, 255, 0);
    const RgbImage blank = MakePicture(99);

    struct Case {
        bool on;
        bool window;
        bool rightEntries;
        bool enterShowsProcessed;
        bool leaveShowsFrame;
    };
    // Switch x window x right list; entering needs the switch and the
    // window, leaving the switch and either of the others.
    const Case cases[] = {
        {false, false, false, false, false}, {false, false, true, false, false},
        {false, true, false, false, false},  {false, true, true, false, false},
        {true, false, false, false, false},  {true, false, true, false, true},
        {true, true, false, true, true},     {true, true, true, true, true},
    };
    for (const Case& c : cases) {
        const QString tag =
            QStringLiteral("on=%1 window=%2 right=%3").arg(c.on).arg(c.window).arg(c.rightEntries);
        DialogScript script;
        TFormMain form;
        form.show();
        form.OpenFiles({frame});
        form.LeftList().SetCurrent(0);
        if (c.rightEntries) {
            form.AppendToRightList(written);
        }
        form.Action("EnableFlyOverMouse1")->setChecked(c.on);
        TFormFactor* window = form.FormFactor();
        window->SelectFunction(0);
        window->SetReferenceFileName(dark);
        if (c.window) {
            window->show();
        }
        form.ShowImage(&blank, true);

        Enter(form);
        QVERIFY2(Same(form.ViewPicture(), c.enterShowsProcessed ? processed : blank),
                 qPrintable(tag));
        QCOMPARE(form.ResultPosition(), c.enterShowsProcessed ? 1 : 0);
        form.ShowImage(&blank, true);
        Leave(form);
        QVERIFY2(Same(form.ViewPicture(), c.leaveShowsFrame ? Load(frame) : blank),
                 qPrintable(tag));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(script->asked.empty());
    }

    // A disabled current entry: entering shows the right list's entry at
    // the same place, or nothing without one.
    for (bool rightEntries : {false, true}) {
        DialogScript script;
        TFormMain form;
        form.OpenFiles({frame});
        form.LeftList().SetCurrent(0);
        form.LeftList().SetEnabled(0, false);
        if (rightEntries) {
            form.AppendToRightList(written);
        }
        form.Action("EnableFlyOverMouse1")->setChecked(true);
        form.FormFactor()->SetReferenceFileName(dark);
        form.FormFactor()->show();
        form.ShowImage(&blank, true);
        Enter(form);
        QVERIFY(Same(form.ViewPicture(), rightEntries ? Load(written) : blank));
        QCOMPARE(form.ResultPosition(), 0);
    }

    // An empty left list: entering does nothing, leaving says "Empty List".
    {
        DialogScript script;
        TFormMain form;
        form.Action("EnableFlyOverMouse1")->setChecked(true);
        form.FormFactor()->show();
        form.StatusBar1()->SetPanelText(2, "before");
        Enter(form);
        QCOMPARE(form.StatusBar1()->PanelText(2), QString("before"));
        Leave(form);
        QCOMPARE(form.StatusBar1()->PanelText(2), QString("Empty List"));
    }
}

QTEST_MAIN(BatchWindowTest)
#include "batch_window_test.moc"
