// The night graph panel and the frame map in the real main window,
// offscreen, with scripted dialogs.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/form_main.h"
#include "app/night_graph.h"
#include "app/status_bar.h"
#include "core/image_file.h"
#include "engine/frame_map.h"
#include "tests/ui/scripted_dialogs.h"

using nocturo::DialogButton;
using nocturo::FileList;
using nocturo::NightPoint;
using nocturo::RgbImage;
using nocturo::TFormMain;
using nocturo::TNightGraph;
using nocturo::TPanelGraph;
using nocturo::test::DialogScript;

namespace {

constexpr int kWidth = 40;
constexpr int kHeight = 30;

// Frame k: a grey sky of level `level`; frames 3 and 4 carry a plane's
// trail on row 15 (x 5..19 and 20..34).
RgbImage Frame(int k, int level) {
    RgbImage image;
    image.Resize(kWidth, kHeight);
    nocturo::FillImage(image, static_cast<uint8_t>(level), static_cast<uint8_t>(level),
                       static_cast<uint8_t>(level));
    if (k == 3 || k == 4) {
        uint8_t* row = image.Row(15);
        for (int x = 5 + (k - 3) * 15; x < 20 + (k - 3) * 15; ++x) {
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = 250;
        }
    }
    return image;
}

// Sky levels of the six frames: the fourth is a cloud lit by a town.
constexpr int kLevels[] = {10, 12, 11, 60, 13, 12};

// The mean luminosity of frame k: its sky, and 15 trail pixels in frames 3
// and 4.
double Mean(int k) {
    const int trail = k == 3 || k == 4 ? 15 : 0;
    return (kLevels[k] * (kWidth * kHeight - trail) + 250.0 * trail) / (kWidth * kHeight);
}

QStringList WriteNight(const QTemporaryDir& dir) {
    QStringList files;
    for (int k = 0; k < 6; ++k) {
        std::string name = dir.filePath(QString("night%1.png").arg(k + 1)).toStdString();
        if (!nocturo::SaveImageFile(Frame(k, kLevels[k]), name)) {
            return {};
        }
        files << QString::fromStdString(name);
    }
    return files;
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Drag(QWidget* widget, QPoint from, QPoint to) {
    SendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    const QPoint middle = (from + to) / 2;
    SendMouse(widget, QEvent::MouseMove, middle, Qt::NoButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// Shows the graph and waits for its values.
TPanelGraph* ShowGraph(TFormMain& form) {
    form.show();
    form.Action("NightGraph1")->trigger();
    TPanelGraph* panel = form.PanelGraph();
    panel->WaitForMeasuring();
    return panel;
}

}  // namespace

class NightGraphTest : public QObject {
    Q_OBJECT

  private slots:
    void graphIsOffAtStartAndPlotsEveryEntry();
    void clickShowsAnEntryAndDragSelects();
    void limitLineUnchecksTheFramesAboveIt();
    void valuesAreSavedAsCsv();
    void frameMapReadoutAreaSelectionAndClearResult();
};

void NightGraphTest::graphIsOffAtStartAndPlotsEveryEntry() {
    QTemporaryDir dir;
    QStringList files = WriteNight(dir);
    QCOMPARE(files.size(), 6);
    const QString broken = dir.filePath("broken.png");
    {
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG not really");
    }
    files.insert(2, broken);
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    QVERIFY(!form.Action("NightGraph1")->isChecked());
    QVERIFY(!form.Action("RememberFrames1")->isChecked());
    QVERIFY(form.Action("RememberFrames1")->statusTip().contains("2 bytes per pixel"));
    QVERIFY(form.PanelGraph()->isHidden());

    TPanelGraph* panel = ShowGraph(form);
    QVERIFY(panel->isVisible());
    const std::vector<NightPoint>& points = panel->Graph()->Points();
    QCOMPARE(points.size(), size_t{7});
    QCOMPARE(points[2].state, NightPoint::State::Failed);
    QVERIFY2(form.LeftList().IsEnabled(2) && form.LeftList().IsChecked(2),
             "measuring does not disable a file");
    QCOMPARE(points[0].state, NightPoint::State::Measured);
    QCOMPARE(points[0].mean, 10.0);
    QCOMPARE(points[4].mean, Mean(3));  // 62.375
    QCOMPARE(panel->findChild<QProgressBar*>("ProgressBarGraph")->value(),
             panel->findChild<QProgressBar*>("ProgressBarGraph")->maximum());
    auto* cancel = panel->findChild<QPushButton*>("ButtonGraphCancel");
    auto* cancelItem = panel->findChild<QAction*>("CancelMeasure1");
    QVERIFY(!cancel->isEnabled() && !cancelItem->isEnabled());
    cancelItem->setText("Annuler la mesure");  // as a language file sets it
    QCOMPARE(cancel->text(), QString("Annuler la mesure"));

    // A swap and a swap back, or a sort, keep the values without measuring.
    const int64_t decodes = panel->Cache().Decodes();
    form.ToolButtonSwapClick();
    form.ToolButtonSwapClick();
    form.LeftList().SetSorted(true);
    QTest::qWait(400);  // the list's changes settle
    panel->WaitForMeasuring();
    QCOMPARE(panel->Cache().Decodes(), decodes);
    QCOMPARE(panel->Graph()->Points().size(), size_t{7});

    // A new entry is measured on its own.
    std::string extra = dir.filePath("extra.png").toStdString();
    QVERIFY(nocturo::SaveImageFile(Frame(0, 40), extra));
    form.LeftList().Append(extra, true, true);
    QTRY_COMPARE_WITH_TIMEOUT(panel->Cache().Decodes(), decodes + 1, 5000);
    panel->WaitForMeasuring();

    form.Action("NightGraph1")->trigger();
    QVERIFY(panel->isHidden());
}

void NightGraphTest::clickShowsAnEntryAndDragSelects() {
    QTemporaryDir dir;
    const QStringList files = WriteNight(dir);
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    TPanelGraph* panel = ShowGraph(form);
    TNightGraph* graph = panel->Graph();
    const int y = graph->PlotRect().center().y();

    QTest::mouseClick(graph, Qt::LeftButton, Qt::NoModifier,
                      QPoint(static_cast<int>(graph->EntryX(4)), y));
    QCOMPARE(form.LeftList().Current(), 4);
    QCOMPARE(form.ViewPicture().Row(0)[0], uint8_t{13});
    QCOMPARE(form.StatusBar1()->PanelText(2), files[4]);

    Drag(graph, QPoint(static_cast<int>(graph->EntryX(1)), y),
         QPoint(static_cast<int>(graph->EntryX(3)), y));
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(form.LeftList().IsSelected(i), i >= 1 && i <= 3);
    }
    // The list commands act on the selection.
    QCOMPARE(&form.CurrentList(), &form.LeftList());
    form.UncheckSelectionClick();
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(form.LeftList().IsChecked(i), i < 1 || i > 3);
    }
}

void NightGraphTest::limitLineUnchecksTheFramesAboveIt() {
    QTemporaryDir dir;
    const QStringList files = WriteNight(dir);
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    TPanelGraph* panel = ShowGraph(form);
    TNightGraph* graph = panel->Graph();
    QVERIFY(graph->Limit().has_value());
    QVERIFY2(*graph->Limit() > 60, "the line starts above every frame");

    // Drag the line down to about 12.5.
    const int x = graph->PlotRect().center().x();
    const int from = static_cast<int>(std::lround(graph->ValueY(*graph->Limit())));
    const int to = static_cast<int>(std::lround(graph->ValueY(12.5)));
    Drag(graph, QPoint(x, from), QPoint(x, to));
    const double limit = *graph->Limit();
    QVERIFY2(std::abs(limit - 12.5) < graph->ScaleTop() / graph->PlotRect().height() + 0.01,
             qPrintable(QString::number(limit)));

    panel->findChild<QPushButton*>("ButtonUncheckAbove")->click();
    int above = 0;
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(form.LeftList().IsChecked(i), Mean(i) <= limit);
        above += Mean(i) > limit;
    }
    // The status bar says how many.
    QCOMPARE(form.StatusBar1()->PanelText(2),
             QString("%1 frame(s) above the line unchecked").arg(above));
    QVERIFY(!form.LeftList().IsChecked(3));
    // Undone by "Check All".
    form.ToolBar1Click();
    form.CheckAllClick();
    for (int i = 0; i < 6; ++i) {
        QVERIFY(form.LeftList().IsChecked(i));
    }
    // The same command from the context menu, with the line set directly.
    graph->SetLimit(11.5);
    panel->findChild<QAction*>("UncheckAbove1")->trigger();
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(form.LeftList().IsChecked(i), Mean(i) <= 11.5);
    }
}

void NightGraphTest::valuesAreSavedAsCsv() {
    QTemporaryDir dir;
    const QStringList files = WriteNight(dir);
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    TPanelGraph* panel = ShowGraph(form);
    form.LeftList().SetChecked(1, false);
    const QString csv = dir.filePath("night.csv");
    script->saveNames = {csv};
    panel->findChild<QAction*>("SaveGraphCsv1")->trigger();
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString expected = "file,mean_luminosity,checked\n";
    for (int i = 0; i < 6; ++i) {
        expected += QString("%1,%2,%3\n").arg(files[i]).arg(Mean(i), 0, 'f', 2).arg(i == 1 ? 0 : 1);
    }
    QCOMPARE(QString::fromUtf8(file.readAll()), expected);
    // Cancelled: nothing written, nothing asked.
    script->saveNames = {};
    panel->findChild<QAction*>("SaveGraphCsv1")->trigger();
    QCOMPARE(script->Count("message"), 0);
}

void NightGraphTest::frameMapReadoutAreaSelectionAndClearResult() {
    QTemporaryDir dir;
    const QStringList files = WriteNight(dir);
    DialogScript script;
    TFormMain form;
    form.OpenFiles(files);
    form.show();
    form.Action("RememberFrames1")->trigger();
    QVERIFY(form.Run().RecordFrameMap);
    script->messages = {DialogButton::Ok};
    form.Action("GetMAX1")->trigger();
    const nocturo::FrameMap* map = form.Run().CurrentFrameMap();
    QVERIFY(map != nullptr);
    // The cloud frame (index 3, level 60) made the sky; the trail's second
    // half is frame 4's.
    QCOMPARE(map->IndexAt(0, 0), 3);
    QCOMPARE(map->IndexAt(25, 15), 4);
    QCOMPARE(map->IndexAt(10, 15), 3);

    // The readout names the frame behind the pixel under the pointer.
    QWidget* view = form.findChild<QWidget*>("Image1");
    QVERIFY(view != nullptr);
    form.Action("ViewResult1")->trigger();
    const double zoom = form.ZoomFactor();
    const QPoint onTrail(static_cast<int>(25 * zoom), static_cast<int>(15 * zoom));
    SendMouse(view, QEvent::MouseMove, onTrail, Qt::NoButton, Qt::NoButton);
    QVERIFY2(form.StatusBar1()->PanelText(1).endsWith(" - #5 night5.png"),
             qPrintable(form.StatusBar1()->PanelText(1)));
    // Not over a frame of the list, though it has the result's size; over
    // the result again once it is shown again.
    for (bool result : {false, true}) {
        if (result) {
            form.Action("ViewResult1")->setChecked(false);
            form.Action("ViewResult1")->trigger();  // checked: "Show Result..."
        } else {
            form.ShowListEntry(4, form.LeftList());
        }
        SendMouse(view, QEvent::MouseMove, onTrail, Qt::NoButton, Qt::NoButton);
        QCOMPARE(form.StatusBar1()->PanelText(1).contains('#'), result);
    }

    // "Select the frames behind this area", then a rectangle around the
    // trail's second half.
    form.Action("SelectFramesBehind1")->trigger();
    QVERIFY(form.PickingArea());
    Drag(view, QPoint(static_cast<int>(21 * zoom), static_cast<int>(15 * zoom)),
         QPoint(static_cast<int>(33 * zoom), static_cast<int>(15 * zoom)));
    QVERIFY(!form.PickingArea());
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(form.LeftList().IsSelected(i), i == 4);
    }
    QCOMPARE(form.SelectFramesBehindArea(5, 15, 34, 15), 2);
    QVERIFY(form.LeftList().IsSelected(3) && form.LeftList().IsSelected(4));

    // "Save frame map as..." writes the picture and its CSV.
    const QString saved = dir.filePath("map.png");
    script->saveNames = {saved};
    form.Action("SaveFrameMap1")->trigger();
    QVERIFY(QFile::exists(saved));
    QFile csv(dir.filePath("map.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(csv.readAll()).startsWith("index,file\n0," + files[0] + "\n"));

    // "Clear Result" drops the map with the result.
    form.Action("ClearResult1")->trigger();
    QVERIFY(form.Run().CurrentFrameMap() == nullptr);
    SendMouse(view, QEvent::MouseMove, QPoint(0, 0), Qt::NoButton, Qt::NoButton);
    QVERIFY(!form.StatusBar1()->PanelText(1).contains('#'));
    QCOMPARE(form.SelectFramesBehindArea(0, 0, 39, 29), 0);
}

QTEST_MAIN(NightGraphTest)
#include "night_graph_test.moc"
