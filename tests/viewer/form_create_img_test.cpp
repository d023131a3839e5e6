// The Info Image window on its own, offscreen, with scripted dialogs.

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cstdlib>

#include "core/image_file.h"
#include "core/rgb_image.h"
#include "tests/ui/scripted_dialogs.h"
#include "viewer/form_create_img.h"

using nocturo::RgbImage;
using nocturo::TFormCreateImg;
using nocturo::test::DialogScript;

namespace {

void Click(TFormCreateImg& form, const char* button) {
    auto* widget = form.findChild<QAbstractButton*>(button);
    QVERIFY2(widget != nullptr, button);
    widget->click();
}

// Sets an edit's text as typing would.
void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QCOMPARE(edit->text(), text);
}

}  // namespace

class FormCreateImgTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DialogScript> script_;

  private slots:
    void init() { script_ = std::make_unique<DialogScript>(); }
    void cleanup() { script_.reset(); }
    void startsHiddenWithItsControlsAndInitialValues();
    void settersShowTheirValues();
    void applyReadsThePointAndRunsTheCallBack();
    void aCallBackMayReplaceItself();
    void createWithTheDialogCancelledStillClosesAndCallsBack();
    void createWritesAMaskInEveryFormat();
    void aColourThatIsNoNumberGivesABlackMask();
    void aFailedCreateKeepsThePreviousNameAndSaysSo();
    void createAsksBeforeReplacingAPicture();
    void colourButtonSetsTheFillColour();
    void closeOnlyHidesAndValuesSurvive();
};

void FormCreateImgTest::startsHiddenWithItsControlsAndInitialValues() {
    TFormCreateImg form;
    QCOMPARE(form.objectName(), QString("FormCreateImg"));
    QCOMPARE(form.windowTitle(), QString("Info Image"));
    QVERIFY(!form.isVisible());
    QVERIFY(!form.isModal());
    // A tool window of its parent, never above the questions.
    QCOMPARE(form.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(!form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    struct Named {
        const char* name;
        const char* text;
    };
    for (const Named& label :
         {Named{"Label1", "Width:"}, Named{"Label2", "Height:"}, Named{"Label3", "Pixel Size:"},
          Named{"Label5", "Mouse X / Y/L: "}, Named{"Label4", "Color"}}) {
        auto* widget = form.findChild<QLabel*>(label.name);
        QVERIFY2(widget != nullptr, label.name);
        QCOMPARE(widget->text(), QString(label.text));
    }
    for (const Named& button : {Named{"BitBtnCreate", "Create.."}, Named{"Button1", "Apply"},
                                Named{"BitBtnClose", "Close"}}) {
        auto* widget = form.findChild<QPushButton*>(button.name);
        QVERIFY2(widget != nullptr, button.name);
        QCOMPARE(widget->text(), QString(button.text));
    }
    auto* group = form.findChild<QGroupBox*>("GroupBox1");
    QVERIFY(group != nullptr);
    QCOMPARE(group->title(), QString("Mask:"));
    // The mask's controls sit in the group box.
    QCOMPARE(form.findChild<QPushButton*>("BitBtnCreate")->parent(), group);
    QCOMPARE(form.EditC()->parent(), group);
    auto* colour = form.findChild<QToolButton*>("SpeedButtonColor");
    QVERIFY(colour != nullptr);
    QVERIFY(colour->text().isEmpty());
    QCOMPARE(colour->parent(), group);

    // Every value is shown from the start.
    const Named edits[] = {{"EditW", "1"},       {"EditH", "1"},     {"EditPF", "24"},
                           {"EditPosX", "-1"},   {"EditPosY", "-1"}, {"EditVal", "-1"},
                           {"EditC", "00000000"}};
    for (const Named& edit : edits) {
        auto* widget = form.findChild<QLineEdit*>(edit.name);
        QVERIFY2(widget != nullptr, edit.name);
        QCOMPARE(widget->text(), QString(edit.text));
    }
    QVERIFY(!form.EditPF()->isEnabled());  // the bits per pixel come from the opener
    QCOMPARE(form.ImageWidth(), 1);
    QCOMPARE(form.ImageHeight(), 1);
    QCOMPARE(form.BitsPerPixel(), 24);
    QCOMPARE(form.PointX(), -1);
    QCOMPARE(form.PointValue(), -1);
    QCOMPARE(form.FillColor(), 0u);
    QVERIFY(form.CreatedMaskName().isEmpty());
    QVERIFY(!form.HasInfoCallBack());
}

void FormCreateImgTest::settersShowTheirValues() {
    TFormCreateImg form;
    struct Format {
        int code;
        int bits;
    };
    // Unknown codes, the display's own (0) among them, give -1.
    for (const Format f :
         {Format{1, 1}, Format{2, 4}, Format{3, 8}, Format{4, 15}, Format{5, 16}, Format{6, 24},
          Format{7, 32}, Format{0, -1}, Format{8, -1}, Format{-3, -1}, Format{99, -1}}) {
        form.SetPixelFormat(f.code);
        QCOMPARE(form.BitsPerPixel(), f.bits);
        QCOMPARE(form.EditPF()->text(), QString::number(f.bits));
    }
    struct Colour {
        uint32_t value;
        const char* shown;
    };
    for (const Colour c : {Colour{16711680u, "00FF0000"}, Colour{255u, "000000FF"},
                           Colour{0xFFFFFFFFu, "FFFFFFFF"}, Colour{0xABCDEFu, "00ABCDEF"}}) {
        form.SetFillColor(c.value);
        QCOMPARE(form.FillColor(), c.value);
        QCOMPARE(form.EditC()->text(), QString(c.shown));
    }
    form.SetImageWidth(4000);
    form.SetImageHeight(0);
    form.SetPointX(-5);
    form.SetPointY(12);
    form.SetPointValue(255);
    QCOMPARE(form.EditW()->text(), QString("4000"));
    QCOMPARE(form.EditH()->text(), QString("0"));
    QCOMPARE(form.EditPosX()->text(), QString("-5"));
    QCOMPARE(form.EditPosY()->text(), QString("12"));
    QCOMPARE(form.EditVal()->text(), QString("255"));
    QCOMPARE(form.PointY(), 12);
}

void FormCreateImgTest::applyReadsThePointAndRunsTheCallBack() {
    TFormCreateImg form;
    form.show();
    // Without a call-back Apply only reads the point.
    Type(form.EditPosX(), "3");
    Click(form, "Button1");
    QCOMPARE(form.PointX(), 3);

    int calls = 0;
    int seenX = 0;
    form.SetInfoCallBack([&] {
        ++calls;
        seenX = form.PointX();
    });
    struct Case {
        const char* x;
        const char* y;
        const char* value;
        int wantX;
        int wantY;
        int wantValue;
    };
    const Case cases[] = {
        {"12", "34", "56", 12, 34, 56},
        {" 7 ", "-8", "+9", 7, -8, 9},
        {"abc", "", "1.5", 0, 0, 0},  // not a decimal integer: 0
        {"0x10", "99999999999", "12a", 0, 0, 0},
    };
    for (const Case& c : cases) {
        form.EditPosX()->setText(c.x);
        form.EditPosY()->setText(c.y);
        form.EditVal()->setText(c.value);
        const int before = calls;
        Click(form, "Button1");
        QCOMPARE(calls, before + 1);
        QCOMPARE(seenX, c.wantX);  // the call-back sees the values read
        QCOMPARE(form.PointX(), c.wantX);
        QCOMPARE(form.PointY(), c.wantY);
        QCOMPARE(form.PointValue(), c.wantValue);
        // The values read are shown back.
        QCOMPARE(form.EditPosX()->text(), QString::number(c.wantX));
        QCOMPARE(form.EditVal()->text(), QString::number(c.wantValue));
        QVERIFY(form.isVisible());  // Apply keeps the window open
    }
    QVERIFY((*script_)->asked.empty());
}

void FormCreateImgTest::aCallBackMayReplaceItself() {
    // The main window's call-back refreshes the window, which registers the
    // call-back anew while it runs.
    TFormCreateImg form;
    QStringList order;
    std::function<void()> second = [&] { order << "second"; };
    form.SetInfoCallBack([&] {
        order << "first";
        form.SetInfoCallBack(second);
        order << "first still running";
    });
    form.Button1Click();
    form.Button1Click();
    QCOMPARE(order, QStringList({"first", "first still running", "second"}));
    form.SetInfoCallBack(nullptr);
    QVERIFY(!form.HasInfoCallBack());
    form.Button1Click();
    QCOMPARE(order.size(), 3);
}

void FormCreateImgTest::createWithTheDialogCancelledStillClosesAndCallsBack() {
    TFormCreateImg form;
    form.show();
    int calls = 0;
    form.SetInfoCallBack([&] { ++calls; });
    Click(form, "BitBtnCreate");  // the script has no name: Cancel
    QCOMPARE((*script_)->Count("save"), 1);
    QCOMPARE((*script_)->Last("save").options.fileName, QString("new.bmp"));
    QCOMPARE(calls, 1);
    QVERIFY(!form.isVisible());
    QVERIFY(form.CreatedMaskName().isEmpty());
    QCOMPARE((*script_)->Count("message"), 0);
}

void FormCreateImgTest::createWritesAMaskInEveryFormat() {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        int tolerance;  // JPEG may round a flat colour a little
        const char* magic;
    };
    // An extension the program cannot write is written as BMP under the
    // name as given.
    const Case cases[] = {{"m.bmp", 0, "BM"},
                          {"m.png", 0, "\x89PNG"},
                          {"m.gif", 0, "GIF8"},
                          {"m.tif", 0, "II*"},
                          {"m.tiff", 0, "II*"},
                          {"m.jpg", 3, "\xFF\xD8\xFF"},
                          {"m.jpeg", 3, "\xFF\xD8\xFF"},
                          {"m.xyz", 0, "BM"}};
    TFormCreateImg form;
    QString seenName;
    form.SetInfoCallBack([&] { seenName = form.CreatedMaskName(); });
    for (const Case& c : cases) {
        const QString path = dir.filePath(c.name);
        form.show();
        form.SetPixelFormat(nocturo::kPixelFormat24);
        Type(form.EditW(), "37");
        Type(form.EditH(), "21");
        Type(form.EditC(), "00ff8040");  // blue FF, green 80, red 40
        (*script_)->saveNames = {path};
        Click(form, "BitBtnCreate");
        QVERIFY2(!form.isVisible(), c.name);
        QCOMPARE(form.CreatedMaskName(), path);
        QCOMPARE(seenName, path);  // the call-back runs after the name is set
        QCOMPARE(form.EditC()->text(), QString("00FF8040"));

        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), c.name);
        const QByteArray magic(c.magic);
        QCOMPARE(file.read(magic.size()), magic);

        RgbImage mask;
        QVERIFY2(nocturo::LoadImageFile(mask, path.toStdString()) || QString(c.name) == "m.xyz",
                 c.name);
        if (QString(c.name) == "m.xyz") {
            continue;  // not a loadable name; the bytes above are the check
        }
        QCOMPARE(mask.Width(), 37);
        QCOMPARE(mask.Height(), 21);
        int worst = 0;
        for (int y = 0; y < mask.Height(); ++y) {
            const uint8_t* p = mask.Row(y);
            for (int x = 0; x < mask.Width(); ++x, p += 3) {
                worst = std::max(
                    {worst, std::abs(p[0] - 0xFF), std::abs(p[1] - 0x80), std::abs(p[2] - 0x40)});
            }
        }
        QVERIFY2(worst <= c.tolerance, qPrintable(QString("%1: off by %2").arg(c.name).arg(worst)));
    }
    QCOMPARE((*script_)->Count("message"), 0);
    // The dialog proposes the last name chosen next time.
    QCOMPARE(form.SavePictureDialog1().fileName, dir.filePath("m.xyz"));

    // A depth other than 24 bits still gives a mask the program reads back.
    form.SetPixelFormat(nocturo::kPixelFormat8);
    (*script_)->saveNames = {dir.filePath("eight.png")};
    form.BitBtnCreateClick();
    RgbImage eight;
    QVERIFY(nocturo::LoadImageFile(eight, dir.filePath("eight.png").toStdString()));
    QCOMPARE(eight.Width(), 37);
    QCOMPARE(eight.Row(0)[0], uint8_t{0xFF});
}

void FormCreateImgTest::aColourThatIsNoNumberGivesABlackMask() {
    QTemporaryDir dir;
    TFormCreateImg form;
    for (const char* typo : {"12Z4", "G", "", "  "}) {
        form.SetFillColor(0xFFFFFF);
        form.SetImageWidth(4);
        form.SetImageHeight(3);
        form.EditC()->setText(typo);
        const QString path = dir.filePath(QString("black%1.bmp").arg(qHash(QString(typo))));
        (*script_)->saveNames = {path};
        form.BitBtnCreateClick();
        QCOMPARE(form.FillColor(), 0u);
        QCOMPARE(form.EditC()->text(), QString("00000000"));
        RgbImage mask;
        QVERIFY(nocturo::LoadImageFile(mask, path.toStdString()));
        QCOMPARE(mask.Width(), 4);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(mask.Row(2)[9 + i], uint8_t{0});
        }
    }
}

void FormCreateImgTest::aFailedCreateKeepsThePreviousNameAndSaysSo() {
    QTemporaryDir dir;
    TFormCreateImg form;
    int calls = 0;
    form.SetInfoCallBack([&] { ++calls; });
    const QString first = dir.filePath("first.png");
    (*script_)->saveNames = {first};
    form.BitBtnCreateClick();  // 1 x 1 black from the initial values
    QCOMPARE(form.CreatedMaskName(), first);
    QCOMPARE(calls, 1);

    struct Case {
        const char* width;
        const char* height;
        QString name;
    };
    const Case cases[] = {
        {"0", "10", dir.filePath("zero.png")},           // an empty image is not written
        {"10", "-4", dir.filePath("neg.png")},           // no negative sizes
        {"abc", "10", dir.filePath("nan.png")},          // not a number: 0
        {"100000", "100000", dir.filePath("huge.png")},  // beyond the picture limit
        {"5", "5", dir.filePath("no/such/folder/m.png")},
    };
    for (const Case& c : cases) {
        form.show();
        form.EditW()->setText(c.width);
        form.EditH()->setText(c.height);
        const int messages = (*script_)->Count("message");
        (*script_)->saveNames = {c.name};
        form.BitBtnCreateClick();
        QCOMPARE(form.CreatedMaskName(), first);
        QVERIFY2(!QFile::exists(c.name), qPrintable(c.name));
        QCOMPARE((*script_)->Count("message"), messages + 1);
        QVERIFY((*script_)->Last("message").text.contains(c.name));
        QVERIFY(!form.isVisible());
    }
    QCOMPARE(calls, 1 + static_cast<int>(std::size(cases)));
    QCOMPARE(form.EditW()->text(), QString("5"));
}

void FormCreateImgTest::createAsksBeforeReplacingAPicture() {
    QTemporaryDir dir;
    const QString path = dir.filePath("trails.png");
    RgbImage trails;
    trails.Resize(5, 4);
    std::string name = path.toStdString();
    QVERIFY(nocturo::SaveImageFile(trails, name));
    struct Case {
        nocturo::DialogButton answer;
        int dialogs;  // No shows the dialog again (cancelled here)
        bool replaced;
    };
    for (const Case& c :
         {Case{nocturo::DialogButton::No, 2, false}, Case{nocturo::DialogButton::Cancel, 1, false},
          Case{nocturo::DialogButton::Yes, 1, true}}) {
        TFormCreateImg form;
        form.show();
        Type(form.EditW(), "7");
        (*script_)->asked.clear();
        (*script_)->saveNames = {path};
        (*script_)->messages = {c.answer};
        Click(form, "BitBtnCreate");
        QCOMPARE((*script_)->Count("save"), c.dialogs);
        QCOMPARE((*script_)->Last("message").text, "OverWrite? " + path);
        RgbImage now;
        QVERIFY(nocturo::LoadImageFile(now, name));
        QCOMPARE(now.Width(), c.replaced ? 7 : 5);
        QCOMPARE(form.CreatedMaskName(), c.replaced ? path : QString());
    }
}

void FormCreateImgTest::colourButtonSetsTheFillColour() {
    TFormCreateImg form;
    form.SetFillColor(0x0000FF);  // red
    (*script_)->colours = {QColor(0x40, 0x80, 0xFF), std::nullopt};
    Click(form, "SpeedButtonColor");
    QCOMPARE((*script_)->Last("colour").text, QString("#ff0000"));  // starts at the colour
    QCOMPARE(form.FillColor(), 0xFF8040u);
    QCOMPARE(form.EditC()->text(), QString("00FF8040"));
    // Cancelled: nothing changes. A typed colour is where the dialog starts.
    form.EditC()->setText("00ff00");
    Click(form, "SpeedButtonColor");
    QCOMPARE((*script_)->Last("colour").text, QString("#00ff00"));
    QCOMPARE(form.FillColor(), 0xFF8040u);
    QCOMPARE(form.EditC()->text(), QString("00ff00"));
    QCOMPARE((*script_)->Count("colour"), 2);
}

void FormCreateImgTest::closeOnlyHidesAndValuesSurvive() {
    TFormCreateImg form;
    int calls = 0;
    form.SetInfoCallBack([&] { ++calls; });
    form.SetImageWidth(640);
    form.SetPointX(17);
    form.show();
    Click(form, "BitBtnClose");
    QVERIFY(!form.isVisible());
    QCOMPARE(calls, 0);
    form.show();
    QCOMPARE(form.EditW()->text(), QString("640"));
    QCOMPARE(form.EditPosX()->text(), QString("17"));
    QVERIFY(form.HasInfoCallBack());
}

QTEST_MAIN(FormCreateImgTest)
#include "form_create_img_test.moc"
