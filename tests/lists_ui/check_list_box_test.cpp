// Offscreen tests of the check list over a FileList: what the rows look
// like, how clicks, keys, focus and drops act on the model, and that drawing
// stays proportional to the rows on screen.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "lists/file_list.h"
#include "lists/list_commands.h"
#include "lists/ui/check_list_box.h"

using nocturo::CheckListBox;
using nocturo::FileList;
using nocturo::ListEntry;

namespace {

/// `count` entries "/frames/IMG_<i>.JPG", unchecked and enabled.
std::vector<ListEntry> Frames(int count) {
    std::vector<ListEntry> entries;
    entries.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        entries.push_back(ListEntry{"/frames/IMG_" + std::to_string(i) + ".JPG"});
    }
    return entries;
}

std::set<int> Selected(const FileList& list) {
    std::set<int> rows;
    for (int i = 0; i < list.Count(); ++i) {
        if (list.IsSelected(i)) {
            rows.insert(i);
        }
    }
    return rows;
}

QImage Snapshot(CheckListBox& box) {
    return box.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

/// Pixels of a text area sorted by hue: text drawn on white blends towards
/// white, so black text leaves greys, blue text (k, k, 255) and red text
/// (255, k, k).
struct TextInk {
    int grey = 0;
    int blue = 0;
    int red = 0;
};

TextInk InkIn(const QImage& image, const QRect& area) {
    TextInk ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int r = c.red(), g = c.green(), b = c.blue();
            if (std::abs(r - g) <= 8 && std::abs(g - b) <= 8 && r < 200) {
                ++ink.grey;
            } else if (b > r + 40 && std::abs(r - g) <= 8) {
                ++ink.blue;
            } else if (r > b + 40 && std::abs(g - b) <= 8) {
                ++ink.red;
            }
        }
    }
    return ink;
}

/// Which pixels of `area` differ from `background`, as a picture of its own,
/// so that the shapes of two rows can be compared whatever their colour.
QImage InkMask(const QImage& image, const QRect& area, QColor background) {
    QImage mask(area.size(), QImage::Format_Mono);
    mask.fill(0);
    for (int y = 0; y < area.height(); ++y) {
        for (int x = 0; x < area.width(); ++x) {
            if (image.pixelColor(area.left() + x, area.top() + y) != background) {
                mask.setPixel(x, y, 1);
            }
        }
    }
    return mask;
}

bool SendKey(CheckListBox& box, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, mods);
    QCoreApplication::sendEvent(&box, &event);
    return event.isAccepted();
}

}  // namespace

class CheckListBoxTest : public QObject {
    Q_OBJECT

  private:
    /// A shown box over `list`, `height` pixels high.
    std::unique_ptr<CheckListBox> ShownBox(FileList& list, int height = 120) {
        auto box = std::make_unique<CheckListBox>();
        box->resize(240, height);
        box->SetList(&list);
        box->show();
        return box;
    }

  private slots:
    void backgroundFollowsCurrentList() {
        FileList list;
        list.Append("/a/one.jpg");
        auto box = ShownBox(list);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const QPoint belowRows(box->viewport()->width() / 2, 3 * CheckListBox::kRowHeight);
        const QPoint rowEnd(box->TextRect(0).right() - 1, box->TextRect(0).center().y());

        QVERIFY(box->IsCurrentList());
        QImage image = Snapshot(*box);
        QCOMPARE(image.pixelColor(belowRows), QColor(255, 255, 255));
        QCOMPARE(image.pixelColor(rowEnd), QColor(255, 255, 255));

        box->SetIsCurrentList(false);
        image = Snapshot(*box);
        QCOMPARE(image.pixelColor(belowRows), QColor(207, 207, 207));
        QCOMPARE(image.pixelColor(rowEnd), QColor(207, 207, 207));
        QCOMPARE(box->BackgroundColor(), QColor(207, 207, 207));
    }

    void selectedRowUsesHighlight() {
        FileList list;
        list.AppendEntries(Frames(3));
        list.SetSelected(1, true);
        auto box = ShownBox(list);
        box->SetIsCurrentList(false);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const QImage image = Snapshot(*box);
        const QColor highlight = box->palette().color(QPalette::Active, QPalette::Highlight);
        QVERIFY(highlight != QColor(207, 207, 207));
        const int x = box->TextRect(1).right() - 1;
        QCOMPARE(image.pixelColor(x, box->TextRect(1).center().y()), highlight);
        QCOMPARE(image.pixelColor(x, box->TextRect(0).center().y()), QColor(207, 207, 207));
        QCOMPARE(image.pixelColor(x, box->TextRect(2).center().y()), QColor(207, 207, 207));
    }

    void textColourAndStyleFollowEntryState() {
        FileList list;
        list.Append("/night/frame.jpg", true, true);    // black regular
        list.Append("/night/frame.jpg", false, true);   // blue italic
        list.Append("/night/frame.jpg", false, false);  // red italic
        list.Append("/night/frame.jpg", true, false);   // red italic: disabled wins
        auto box = ShownBox(list);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const QImage image = Snapshot(*box);

        const TextInk black = InkIn(image, box->TextRect(0));
        QVERIFY2(black.grey > 20, qPrintable(QString::number(black.grey)));
        QCOMPARE(black.blue, 0);
        QCOMPARE(black.red, 0);

        const TextInk blue = InkIn(image, box->TextRect(1));
        QVERIFY2(blue.blue > 20, qPrintable(QString::number(blue.blue)));
        QCOMPARE(blue.grey, 0);
        QCOMPARE(blue.red, 0);

        for (int row : {2, 3}) {
            const TextInk red = InkIn(image, box->TextRect(row));
            QVERIFY2(red.red > 20, qPrintable(QString::number(red.red)));
            QCOMPARE(red.grey, 0);
            QCOMPARE(red.blue, 0);
        }

        // The same name in italic has another shape than in regular; the
        // italic rows differ only in colour.
        const QColor white(255, 255, 255);
        const QImage regular = InkMask(image, box->TextRect(0), white);
        const QImage italicBlue = InkMask(image, box->TextRect(1), white);
        const QImage italicRed = InkMask(image, box->TextRect(2), white);
        QVERIFY(regular != italicBlue);
        QCOMPARE(italicBlue, italicRed);
    }

    void textStaysReadableOnTheSelectionColour() {
        const QColor black(0, 0, 0), blue(0, 0, 255), red(255, 0, 0);
        // Colours that stand out already are kept.
        for (const QColor& ink : {black, blue, red}) {
            QCOMPARE(nocturo::ReadableInk(ink, QColor(255, 255, 255)), ink);
        }
        // On selection colours from dark to light every state stays
        // readable, and the three states stay apart.
        for (const QColor& fill :
             {QColor(48, 140, 198), QColor(0, 0, 255), QColor(0, 120, 215), QColor(20, 30, 90),
              QColor(173, 214, 255), QColor(61, 174, 233), QColor(128, 128, 128)}) {
            const QColor inks[] = {nocturo::ReadableInk(black, fill),
                                   nocturo::ReadableInk(blue, fill),
                                   nocturo::ReadableInk(red, fill)};
            for (const QColor& ink : inks) {
                QVERIFY2(nocturo::ContrastRatio(ink, fill) >= 3.0,
                         qPrintable(fill.name() + " " + ink.name()));
            }
            QVERIFY2(inks[1] != inks[2], qPrintable(fill.name()));
        }

        // A selected unchecked row is drawn in that colour.
        FileList list;
        list.Append("/night/WWWWWWWW.jpg", false, true);
        list.SetSelected(0, true);
        auto box = ShownBox(list);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const QColor highlight = box->palette().color(QPalette::Active, QPalette::Highlight);
        const QColor expected = nocturo::ReadableInk(blue, highlight);
        const QImage image = Snapshot(*box);
        const QRect area = box->TextRect(0);
        double best = 1.0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                best = std::max(best, nocturo::ContrastRatio(image.pixelColor(x, y), highlight));
            }
        }
        QVERIFY2(best >= 0.9 * nocturo::ContrastRatio(expected, highlight),
                 qPrintable(QString::number(best)));
        QVERIFY(best >= 2.7);
    }

    void onlyTheNamePartIsWritten() {
        FileList list;
        list.Append("/a/very/long/folder/name/that/would/fill/the/row/IMG_0001.JPG");
        list.Append("IMG_0001.JPG");
        list.Append("/other/IMG_0002.JPG");
        auto box = ShownBox(list);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const QImage image = Snapshot(*box);
        const QColor white(255, 255, 255);
        const QImage withFolder = InkMask(image, box->TextRect(0), white);
        QCOMPARE(withFolder, InkMask(image, box->TextRect(1), white));
        QVERIFY(withFolder != InkMask(image, box->TextRect(2), white));
        // The name starts right of the text area's edge, not on it.
        const QRect text = box->TextRect(0);
        const TextInk edge = InkIn(image, QRect(text.left(), text.top(), 2, text.height()));
        QCOMPARE(edge.blue, 0);
    }

    void checkBoxShowsStateAndGreysDisabledEntries() {
        FileList list;
        list.Append("/a/1.jpg", true, true);
        list.Append("/a/2.jpg", true, true);
        list.Append("/a/3.jpg", true, false);
        list.Append("/a/4.jpg", false, true);
        list.Append("/a/5.jpg", false, false);
        auto box = ShownBox(list);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const QImage image = Snapshot(*box);
        auto boxImage = [&](int row) { return image.copy(box->CheckBoxRect(row)); };

        QVERIFY(!box->CheckBoxRect(0).isEmpty());
        QVERIFY(box->CheckBoxRect(0).right() < box->TextRect(0).left());
        QCOMPARE(boxImage(0), boxImage(1));   // same state, same picture
        QVERIFY(boxImage(0) != boxImage(3));  // checked vs unchecked
        QVERIFY(boxImage(0) != boxImage(2));  // greyed when disabled
        QVERIFY(boxImage(3) != boxImage(4));
    }

    void clickOnCheckBoxTogglesEnabledEntriesOnly() {
        FileList list;
        list.AppendEntries(Frames(5));
        list.SetEnabled(3, false);
        auto box = ShownBox(list);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QSignalSpy clicked(box.get(), &CheckListBox::entryClicked);

        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->TextRect(1).center());
        QVERIFY(!list.IsChecked(1));  // a click on the name only selects
        QCOMPARE(Selected(list), std::set<int>{1});
        QCOMPARE(list.Current(), 1);

        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->CheckBoxRect(1).center());
        QVERIFY(list.IsChecked(1));
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->CheckBoxRect(1).center());
        QVERIFY(!list.IsChecked(1));

        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->CheckBoxRect(3).center());
        QVERIFY(!list.IsChecked(3));
        QCOMPARE(Selected(list), std::set<int>{3});  // still selected and current
        QCOMPARE(list.Current(), 3);

        QCOMPARE(clicked.count(), 4);
        QCOMPARE(clicked.at(0).at(0).toInt(), 1);
        QCOMPARE(clicked.at(3).at(0).toInt(), 3);

        // Below the last row nothing happens; neither does a right click.
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {},
                          QPoint(5, 5 * CheckListBox::kRowHeight + 4));
        // The right button is left to the window (QTest reports it unused).
        QTest::ignoreMessage(QtWarningMsg,
                             "Mouse event \"MousePress\" not accepted by receiving widget");
        QTest::ignoreMessage(QtWarningMsg,
                             "Mouse event \"MouseRelease\" not accepted by receiving widget");
        QTest::mouseClick(box->viewport(), Qt::RightButton, {}, box->CheckBoxRect(0).center());
        QCOMPARE(clicked.count(), 4);
        QCOMPARE(Selected(list), std::set<int>{3});
        QCOMPARE(list.Current(), 3);
        QVERIFY(!list.IsChecked(0));
    }

    void clicksFollowExtendedSelectionRules() {
        FileList list;
        list.AppendEntries(Frames(8));
        auto box = ShownBox(list, 200);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        auto click = [&](int row, Qt::KeyboardModifiers mods = {}) {
            QTest::mouseClick(box->viewport(), Qt::LeftButton, mods, box->TextRect(row).center());
        };

        click(1);
        click(3, Qt::ControlModifier);
        QCOMPARE(Selected(list), (std::set<int>{1, 3}));
        QCOMPARE(list.Current(), 3);
        click(1, Qt::ControlModifier);  // Ctrl toggles off again
        QCOMPARE(Selected(list), std::set<int>{3});
        QCOMPARE(list.Current(), 1);

        click(0);
        QCOMPARE(Selected(list), std::set<int>{0});
        click(2, Qt::ShiftModifier);
        QCOMPARE(Selected(list), (std::set<int>{0, 1, 2}));
        click(1, Qt::ShiftModifier);  // the range shrinks around the same anchor
        QCOMPARE(Selected(list), (std::set<int>{0, 1}));
        QCOMPARE(list.Current(), 1);

        click(5, Qt::ControlModifier);  // moves the anchor to 5
        click(6, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(Selected(list), (std::set<int>{0, 1, 5, 6}));
        click(3, Qt::ShiftModifier);
        QCOMPARE(Selected(list), (std::set<int>{3, 4, 5}));

        click(7);
        QCOMPARE(Selected(list), std::set<int>{7});
        QCOMPARE(list.Current(), 7);
        for (int i = 0; i < list.Count(); ++i) {
            QVERIFY(!list.IsChecked(i));  // selecting never touches check marks
        }
    }

    void keysMoveTheCurrentEntry() {
        FileList list;
        list.AppendEntries(Frames(40));
        auto box = ShownBox(list, 100);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QSignalSpy clicked(box.get(), &CheckListBox::entryClicked);
        const int visible = box->VisibleRowCount();
        QVERIFY(visible >= 3 && visible < 40);

        QVERIFY(SendKey(*box, Qt::Key_Down));  // no current entry yet: the first
        QCOMPARE(list.Current(), 0);
        QVERIFY(SendKey(*box, Qt::Key_Down));
        QVERIFY(SendKey(*box, Qt::Key_Down));
        QCOMPARE(list.Current(), 2);
        QCOMPARE(Selected(list), std::set<int>{2});
        QCOMPARE(clicked.count(), 3);
        QCOMPARE(clicked.last().at(0).toInt(), 2);

        SendKey(*box, Qt::Key_Down, Qt::ShiftModifier);
        SendKey(*box, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(list.Current(), 4);
        QCOMPARE(Selected(list), (std::set<int>{2, 3, 4}));
        SendKey(*box, Qt::Key_Up);
        QCOMPARE(Selected(list), std::set<int>{3});

        SendKey(*box, Qt::Key_Home);
        QCOMPARE(list.Current(), 0);
        const int before = clicked.count();
        QVERIFY(SendKey(*box, Qt::Key_Up));  // already at the top: nothing to report
        QCOMPARE(list.Current(), 0);
        QCOMPARE(clicked.count(), before);

        SendKey(*box, Qt::Key_End);
        QCOMPARE(list.Current(), 39);
        QVERIFY(box->viewport()->rect().contains(box->RowRect(39)));
        SendKey(*box, Qt::Key_PageUp);
        QCOMPARE(list.Current(), 39 - (visible - 1));
        QVERIFY(box->viewport()->rect().contains(box->RowRect(list.Current())));
        SendKey(*box, Qt::Key_Home);
        SendKey(*box, Qt::Key_PageDown);
        QCOMPARE(list.Current(), visible - 1);
        SendKey(*box, Qt::Key_PageDown);
        QCOMPARE(list.Current(), 2 * (visible - 1));
        QVERIFY(box->viewport()->rect().contains(box->RowRect(list.Current())));
        QCOMPARE(clicked.last().at(0).toInt(), list.Current());

        // Chords with Ctrl or Alt, and keys the list has no use for, go on to
        // the window.
        const int current = list.Current();
        const int reported = clicked.count();
        QVERIFY(!SendKey(*box, Qt::Key_Down, Qt::ControlModifier));
        QVERIFY(!SendKey(*box, Qt::Key_Home, Qt::AltModifier));
        QVERIFY(!SendKey(*box, Qt::Key_Space, Qt::ControlModifier));
        QVERIFY(!SendKey(*box, Qt::Key_A, Qt::ControlModifier));
        QVERIFY(!SendKey(*box, Qt::Key_F5));
        QCOMPARE(list.Current(), current);
        QVERIFY(!list.IsChecked(current));
        QCOMPARE(clicked.count(), reported);
    }

    void spaceTogglesTheCurrentEnabledEntry() {
        FileList list;
        list.AppendEntries(Frames(3));
        list.SetEnabled(2, false);
        auto box = ShownBox(list);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));

        SendKey(*box, Qt::Key_Space);  // no current entry: nothing to toggle
        QVERIFY(!list.IsChecked(0));

        list.SetCurrent(1);
        QVERIFY(SendKey(*box, Qt::Key_Space));
        QVERIFY(list.IsChecked(1));
        SendKey(*box, Qt::Key_Space);
        QVERIFY(!list.IsChecked(1));

        list.SetCurrent(2);
        SendKey(*box, Qt::Key_Space);
        QVERIFY(!list.IsChecked(2));
        QVERIFY(!list.IsChecked(0));
    }

    void focusReportsEntered() {
        FileList list;
        list.AppendEntries(Frames(2));
        QWidget window;
        auto* first = new CheckListBox(&window);
        auto* second = new CheckListBox(&window);
        first->setGeometry(0, 0, 100, 100);
        second->setGeometry(100, 0, 100, 100);
        first->SetList(&list);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QSignalSpy firstEntered(first, &CheckListBox::entered);
        QSignalSpy secondEntered(second, &CheckListBox::entered);

        list.SetCurrent(0);
        second->setFocus();
        QCOMPARE(secondEntered.count(), 1);
        QCOMPARE(firstEntered.count(), 0);
        const QImage unfocused = Snapshot(*first);
        first->setFocus();
        QCOMPARE(firstEntered.count(), 1);
        QCOMPARE(secondEntered.count(), 1);

        // The current entry wears a focus frame only while its list has focus.
        const QImage focused = Snapshot(*first);
        QVERIFY(focused.copy(first->TextRect(0)) != unfocused.copy(first->TextRect(0)));
        QCOMPARE(focused.copy(first->TextRect(1)), unfocused.copy(first->TextRect(1)));
    }

    void droppedLocalFilesAreReportedInOrder() {
        FileList list;
        auto box = ShownBox(list);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QSignalSpy dropped(box.get(), &CheckListBox::filesDropped);
        const QPoint at(20, 20);
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;

        QMimeData files;
        files.setUrls({QUrl::fromLocalFile("/photos/night two/IMG_0002.JPG"),
                       QUrl("https://example.org/remote.jpg"),
                       QUrl::fromLocalFile("/photos/IMG_0001.JPG")});
        QDragEnterEvent enter(at, actions, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(box->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);  // the files stay where they are

        QDropEvent drop(at, actions, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(box->viewport(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.at(0).at(0).toStringList(),
                 (QStringList{"/photos/night two/IMG_0002.JPG", "/photos/IMG_0001.JPG"}));
        QCOMPARE(list.Count(), 0);  // appending is the window's business

        // Text and remote addresses are not files.
        QMimeData text;
        text.setText("/photos/IMG_0003.JPG");
        QMimeData remote;
        remote.setUrls({QUrl("https://example.org/remote.jpg")});
        for (QMimeData* mime : {&text, &remote}) {
            QDragEnterEvent refused(at, actions, mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(box->viewport(), &refused);
            QVERIFY(!refused.isAccepted());
            QDropEvent ignored(at, actions, mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(box->viewport(), &ignored);
        }
        QCOMPARE(dropped.count(), 1);
    }

    void scrollRangeAndCurrentRowFollowTheModel() {
        FileList list;
        auto box = ShownBox(list, 100);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const int visible = box->VisibleRowCount();
        QCOMPARE(box->verticalScrollBar()->maximum(), 0);

        list.AppendEntries(Frames(100));
        QCOMPARE(box->verticalScrollBar()->maximum(), 100 - visible);
        list.SetCurrent(80);  // e.g. a run showing its entry
        QVERIFY(box->viewport()->rect().contains(box->RowRect(80)));
        list.SetCurrent(3);
        QCOMPARE(box->TopRow(), 3);

        box->ScrollToRow(-1);  // out of range: ignored
        box->ScrollToRow(100);
        QCOMPARE(box->TopRow(), 3);
        QVERIFY(box->RowRect(-1).isNull());
        QVERIFY(box->RowRect(100).isNull());
        QVERIFY(box->CheckBoxRect(100).isNull());
        QCOMPARE(box->RowAt(QPoint(5, -1)), -1);
        QCOMPARE(box->RowAt(QPoint(5, 1)), 3);

        list.Clear();
        QCOMPARE(box->verticalScrollBar()->maximum(), 0);
        QCOMPARE(box->TopRow(), 0);
        QVERIFY(SendKey(*box, Qt::Key_End));  // empty list: nothing moves
        QCOMPARE(list.Current(), -1);
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(list.Count(), 0);
    }

    void attachingDetachingAndDestroying() {
        FileList first;
        FileList second;
        first.AppendEntries(Frames(3));
        second.AppendEntries(Frames(30));
        auto box = ShownBox(first);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QCOMPARE(box->List(), &first);

        box->SetList(&second);
        QCOMPARE(box->List(), &second);
        QVERIFY(box->verticalScrollBar()->maximum() > 0);
        QCoreApplication::processEvents();
        const long long painted = box->PaintedRowCount();
        first.SetChecked(0, true);  // no longer shown: no repaint
        QCoreApplication::processEvents();
        QCOMPARE(box->PaintedRowCount(), painted);
        second.SetChecked(0, true);
        QCoreApplication::processEvents();
        QCOMPARE(box->PaintedRowCount(), painted + 1);

        box->SetList(nullptr);
        QVERIFY(box->List() == nullptr);
        QVERIFY(box->RowRect(0).isNull());
        QCOMPARE(box->RowAt(QPoint(5, 5)), -1);
        QVERIFY(!SendKey(*box, Qt::Key_Down));
        QSignalSpy clicked(box.get(), &CheckListBox::entryClicked);
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicked.count(), 0);
        QVERIFY(!Snapshot(*box).isNull());

        // A destroyed widget no longer hears from its list.
        box->SetList(&first);
        box.reset();
        first.Append("/after/destruction.jpg");
        first.Clear();
        QCOMPARE(first.Count(), 0);
    }

    void oddNamesDrawWithoutHarm() {
        FileList list;
        list.Append(std::string(200000, 'x'));
        list.Append(std::string("/bad/\xff\xfe\xc3.jpg"));
        list.Append("/ends/with/slash/");
        list.Append("");
        list.Append("line\nbreak.jpg");
        auto box = ShownBox(list);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const QImage image = Snapshot(*box);
        QVERIFY(!image.isNull());
        QVERIFY(InkIn(image, box->TextRect(0)).blue > 0);
    }

    void largeListDrawsOnlyVisibleRows() {
        FileList list;
        list.AppendEntries(Frames(50000));
        auto box = ShownBox(list, 300);
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const int visible = box->VisibleRowCount();
        QCOMPARE(box->verticalScrollBar()->maximum(), 50000 - visible);

        box->ScrollToRow(49999);
        QCOMPARE(box->TopRow(), 50000 - visible);
        QVERIFY(box->viewport()->rect().contains(box->RowRect(49999)));
        QCOMPARE(box->RowAt(box->RowRect(49999).center()), 49999);
        long long painted = box->PaintedRowCount();
        const QImage image = Snapshot(*box);
        QVERIFY(InkIn(image, box->TextRect(49999)).blue > 20);
        QVERIFY(box->PaintedRowCount() - painted <= visible + 1);

        // One changed row on screen repaints that row; rows off screen and the
        // current mark moving off screen cost nothing.
        QCoreApplication::processEvents();
        painted = box->PaintedRowCount();
        list.SetChecked(49998, true);
        QCoreApplication::processEvents();
        QCOMPARE(box->PaintedRowCount(), painted + 1);
        list.SetChecked(10, true);
        list.SetSelected(20000, true);
        QCoreApplication::processEvents();
        QCOMPARE(box->PaintedRowCount(), painted + 1);

        // A command over every entry notifies once and repaints the screen once.
        painted = box->PaintedRowCount();
        nocturo::CheckAll(list);
        QCoreApplication::processEvents();
        QVERIFY(box->PaintedRowCount() - painted <= visible + 1);
        QVERIFY(box->PaintedRowCount() - painted >= visible);
    }
};

QTEST_MAIN(CheckListBoxTest)
#include "check_list_box_test.moc"
