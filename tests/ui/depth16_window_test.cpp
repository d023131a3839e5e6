// "16 bits per channel" in the main window, and camera RAW entries in the
// view: the quick picture at once, the frame when it is developed.

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <string>
#include <vector>

#include "app/form_main.h"
#include "core/combine.h"
#include "core/image_file.h"
#include "engine/step_saving.h"
#include "lang/language_strings.h"
#include "tests/support/dng_writer.h"
#include "tests/ui/scripted_dialogs.h"
#include "viewer/form_create_img.h"

using nocturo::DialogButton;
using nocturo::LoadOptions;
using nocturo::RgbImage;
using nocturo::TFormMain;
using nocturo::test::DialogScript;

namespace {

bool Same(const RgbImage& a, const RgbImage& b) {
    if (!a.SameSize(b) || a.Depth() != b.Depth()) {
        return false;
    }
    for (int y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.Row(y), b.Row(y), a.Stride()) != 0) {
            return false;
        }
    }
    return true;
}

RgbImage Load(const QString& name, int depth) {
    RgbImage image;
    nocturo::LoadImageFile(image, name.toStdString(), LoadOptions{depth});
    return image;
}

// 16-bit PNG frames whose samples differ below what 8 bits show.
QStringList WriteFrames(const QTemporaryDir& dir) {
    QStringList files;
    for (int k = 0; k < 3; ++k) {
        RgbImage image;
        image.Resize(7, 5, 16);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 21; ++x) {
                image.Row16(y)[x] = static_cast<uint16_t>((k * 7919 + x * 2657 + y * 131) % 65536);
            }
        }
        std::string name = dir.filePath(QStringLiteral("f%1.png").arg(k)).toStdString();
        nocturo::SaveImageFile(image, name);
        files << QString::fromStdString(name);
    }
    return files;
}

}  // namespace

class Depth16WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DialogScript> script_;

  private slots:
    void init() { script_ = std::make_unique<DialogScript>(); }
    void cleanup() { script_.reset(); }
    void optionKeepsSixteenBitsAndAsksAboutEightBitNames();
    void rawEntryShowsItsQuickPictureThenTheFrame();
};

void Depth16WindowTest::optionKeepsSixteenBitsAndAsksAboutEightBitNames() {
    QTemporaryDir dir;
    const QStringList files = WriteFrames(dir);
    TFormMain form;
    form.OpenFiles(files);
    QAction* option = form.Action("SixteenBits1");
    QVERIFY(option != nullptr && option->isCheckable() && !option->isChecked());
    QCOMPARE(form.ViewPicture().Depth(), 8);

    option->trigger();
    QCOMPARE(form.Run().Depth, 16);
    // The entry in view is shown as a run reads it; the Info Image window
    // says 48 bits per pixel.
    QCOMPARE(form.ViewPicture().Depth(), 16);
    form.Image1Click();
    QCOMPARE(form.FormCreateImg()->BitsPerPixel(), 48);

    // AddMax: the run's "Save Result as..." names a JPEG first; No goes back
    // to the dialog, which then gets a PNG.
    RgbImage expected = Load(files[0], 16);
    for (int k = 1; k < 3; ++k) {
        RgbImage frame = Load(files[k], 16);
        nocturo::AddMax(frame, expected, nullptr);
    }
    const QString jpeg = dir.filePath("trail.jpg");
    const QString png = dir.filePath("trail.png");
    (*script_)->saveNames = {jpeg, png};
    (*script_)->messages = {DialogButton::No};
    form.Action("GetMAX1")->trigger();
    QCOMPARE((*script_)->Count("save"), 2);
    QCOMPARE((*script_)->asked[1].caption,
             QString::fromStdString(nocturo::Lng().txtEightBitsCaption));
    QCOMPARE((*script_)->Last("save").options.fileName, jpeg);
    QVERIFY(Same(form.Result(), expected));
    QVERIFY(Same(Load(png, 16), expected));
    QVERIFY(!QFile::exists(jpeg));

    // Yes writes the 8-bit format, each value rounded; Cancel writes nothing.
    for (const DialogButton answer : {DialogButton::Yes, DialogButton::Cancel}) {
        const QString bmp = dir.filePath(answer == DialogButton::Yes ? "yes.bmp" : "no.bmp");
        (*script_)->saveNames = {bmp};
        (*script_)->messages = {answer};
        form.SaveResult1Click();
        QCOMPARE(QFile::exists(bmp), answer == DialogButton::Yes);
    }
    RgbImage narrowed;
    nocturo::NarrowTo8(expected, narrowed);
    QVERIFY(Same(Load(dir.filePath("yes.bmp"), 8), narrowed));

    // The threshold is typed on the 0..255 scale and compared widened.
    (*script_)->inputs = {QString("100")};
    (*script_)->saveNames.clear();
    form.Action("GetMAxThreshold1")->trigger();
    QCOMPARE(nocturo::MaxThreshold, 100 * 257 + 256);
    QCOMPARE((*script_)->Last("input").text, QString("Threshold|0"));
    (*script_)->inputs = {QString("3")};
    form.Action("GetMAxThreshold1")->trigger();
    QCOMPARE((*script_)->Last("input").text, QString("Threshold|100"));
    nocturo::MaxThreshold = 0;
}

void Depth16WindowTest::rawEntryShowsItsQuickPictureThenTheFrame() {
    QTemporaryDir dir;
    nocturo::test::DngFrame withPreview = nocturo::test::NightSkyFrame(64, 48, 3, 0);
    withPreview.previewWidth = 32;
    withPreview.previewHeight = 24;
    withPreview.previewRgb.assign(32 * 24 * 3, 0);
    for (size_t i = 0; i < withPreview.previewRgb.size(); i += 3) {
        withPreview.previewRgb[i] = 200;  // red, as the camera drew it
    }
    QStringList files;
    for (const auto& [name, frame] :
         {std::pair{"a.dng", withPreview},
          std::pair{"b.dng", nocturo::test::NightSkyFrame(64, 48, 4, 9)}}) {
        const std::vector<uint8_t> bytes = nocturo::test::WriteDng(frame);
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        files << dir.filePath(name);
    }
    TFormMain form;
    form.OpenFiles(files);

    // The preview, brought to the frame's size, before any event runs.
    QVERIFY(form.ViewDecodePending());
    QCOMPARE(form.ViewPicture().Width(), 64);
    QCOMPARE(form.ViewPicture().Height(), 48);
    QCOMPARE(int(form.ViewPicture().Row(47)[63 * 3 + 2]), 200);
    QTRY_VERIFY(!form.ViewDecodePending());
    QVERIFY(Same(form.ViewPicture(), Load(files[0], 8)));

    // A click on the next entry before the first is developed: only the
    // frame asked for last arrives, at the run's depth.
    form.Action("SixteenBits1")->trigger();
    form.ShowListEntry(0, form.LeftList());
    form.ShowListEntry(1, form.LeftList());
    QTRY_VERIFY(!form.ViewDecodePending());
    QVERIFY(Same(form.ViewPicture(), Load(files[1], 16)));
    QTest::qWait(50);
    QVERIFY(Same(form.ViewPicture(), Load(files[1], 16)));
    QVERIFY(form.LeftList().IsEnabled(0) && form.LeftList().IsEnabled(1));
}

QTEST_MAIN(Depth16WindowTest)
#include "depth16_window_test.moc"
