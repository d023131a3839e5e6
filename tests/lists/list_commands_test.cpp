#include "lists/list_commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/lists/list_test_util.h"

namespace nocturo {
namespace {

using test::Fill;
using test::Numbered;
using test::RecordingObserver;
using test::Texts;
using Names = std::vector<std::string>;

// Eight entries: every combination of enabled, selected and checked.
void FillAllStates(FileList& list) {
    for (int bits = 0; bits < 8; ++bits) {
        const bool enabled = bits & 4;
        const bool selected = bits & 2;
        const bool checked = bits & 1;
        const int i = list.Append(Numbered("e", bits), checked, enabled);
        list.SetSelected(i, selected);
    }
}

TEST(ListCommandsTest, CheckCommandsFollowTheirRulesForDisabledEntries) {
    struct Case {
        const char* name;
        std::function<void(FileList&)> command;
        std::function<bool(bool enabled, bool selected, bool checked)> expected;
    };
    const std::vector<Case> cases = {
        {"CheckAll", CheckAll, [](bool e, bool, bool) { return e; }},
        {"UncheckAll", UncheckAll, [](bool, bool, bool) { return false; }},
        {"InvertCheckAll", InvertCheckAll, [](bool e, bool, bool c) { return e ? !c : c; }},
        {"CheckSelection", CheckSelection, [](bool e, bool s, bool c) { return (e && s) || c; }},
        {"UncheckSelection", UncheckSelection, [](bool, bool s, bool c) { return !s && c; }},
        {"InvertCheckSelection", InvertCheckSelection,
         [](bool e, bool s, bool c) { return (e && s) ? !c : c; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileList list;
        FillAllStates(list);
        list.SetCurrent(5);
        c.command(list);
        ASSERT_EQ(list.Count(), 8);
        for (int bits = 0; bits < 8; ++bits) {
            SCOPED_TRACE(bits);
            const bool enabled = bits & 4;
            const bool selected = bits & 2;
            const bool checked = bits & 1;
            EXPECT_EQ(list.IsChecked(bits), c.expected(enabled, selected, checked));
            EXPECT_EQ(list.IsEnabled(bits), enabled);
            EXPECT_EQ(list.IsSelected(bits), selected);
        }
        EXPECT_EQ(list.Current(), 5);
    }
}

TEST(ListCommandsTest, SelectionCommandsKeepTheCurrentEntry) {
    FileList list;
    Fill(list, {"a", "b", "c"});
    list.SetSelected(1, true);
    list.SetCurrent(1);

    InvertSelectAll(list);
    EXPECT_TRUE(list.IsSelected(0));
    EXPECT_FALSE(list.IsSelected(1));
    EXPECT_TRUE(list.IsSelected(2));
    EXPECT_EQ(list.Current(), 1);

    SelectAll(list);
    EXPECT_EQ(list.SelectedCount(), 3);
    UnselectAll(list);
    EXPECT_EQ(list.SelectedCount(), 0);
    EXPECT_EQ(list.Current(), 1);
    // The check marks are not touched.
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(list.IsChecked(i));
    }
}

TEST(ListCommandsTest, BulkCommandsNotifyOnce) {
    const std::vector<std::pair<const char*, std::function<void(FileList&)>>> commands = {
        {"SelectAll", SelectAll},
        {"InvertSelectAll", InvertSelectAll},
        {"CheckAll", CheckAll},
        {"InvertCheckAll", InvertCheckAll},
        {"UncheckSelection", UncheckSelection},
        {"CheckSelection", CheckSelection},
        {"InvertCheckSelection", InvertCheckSelection},
        {"DeleteSelection", [](FileList& l) { DeleteSelection(l); }},
        {"SortByNumber", [](FileList& l) { SortByNumber(l, 1); }},
        {"Redirect", [](FileList& l) { Redirect(l, "/elsewhere"); }},
        {"SortedOn", [](FileList& l) { l.SetSorted(true); }},
        {"DisableEntry", [](FileList& l) { DisableEntry(3, l); }},
        {"EnableEntry", [](FileList& l) { EnableEntry(5, l); }},
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        FileList list;
        for (int i = 0; i < 1000; ++i) {
            list.Append(Numbered("/night/IMG_", (i * 7919) % 1000) + ".JPG", i % 2 == 0,
                        i % 5 != 0);
            list.SetSelected(i, i % 3 == 0);
        }
        RecordingObserver observer;
        list.AddObserver(&observer);
        command(list);
        EXPECT_EQ(observer.changes.size(), 1u);
    }

    FileList left;
    FileList right;
    Fill(left, {"a", "b", "c"});
    Fill(right, {"x", "y"});
    SelectAll(right);
    RecordingObserver leftObserver;
    RecordingObserver rightObserver;
    left.AddObserver(&leftObserver);
    right.AddObserver(&rightObserver);
    Swap(left, right);
    EXPECT_EQ(leftObserver.changes.size(), 1u);
    EXPECT_EQ(rightObserver.changes.size(), 1u);
    EXPECT_TRUE(leftObserver.changes[0].reset);
    CopySelected(right, left);
    EXPECT_EQ(leftObserver.changes.size(), 1u);  // nothing selected, nothing copied
    SelectAll(right);
    leftObserver.changes.clear();
    CopySelected(right, left);
    EXPECT_EQ(leftObserver.changes.size(), 1u);
}

TEST(ListCommandsTest, DeleteSelectionTurnsSortingOff) {
    FileList list;
    list.SetSorted(true);
    Fill(list, {"c", "a", "b"});
    list.SetSelected(1, true);  // "b"
    EXPECT_EQ(DeleteSelection(list), 1);
    EXPECT_EQ(Texts(list), (Names{"a", "c"}));
    EXPECT_FALSE(list.IsSorted());
}

TEST(ListCommandsTest, UpAndDownExchangeAndWrapAround) {
    FileList list;
    Fill(list, {"a", "b", "c"});
    list.SetChecked(0, true);
    list.SetEnabled(1, false);

    // Up on the first entry: it moves to the end and stays current.
    list.SetCurrent(0);
    EXPECT_TRUE(MoveUp(list));
    EXPECT_EQ(Texts(list), (Names{"b", "c", "a"}));
    EXPECT_EQ(list.Current(), 2);
    EXPECT_TRUE(list.IsChecked(2));
    EXPECT_FALSE(list.IsEnabled(0));

    // Down on the last entry: it moves to the front.
    EXPECT_TRUE(MoveDown(list));
    EXPECT_EQ(Texts(list), (Names{"a", "b", "c"}));
    EXPECT_EQ(list.Current(), 0);

    // Within the list: an exchange with the neighbour, the mark following.
    EXPECT_TRUE(MoveDown(list));
    EXPECT_EQ(Texts(list), (Names{"b", "a", "c"}));
    EXPECT_EQ(list.Current(), 1);
    EXPECT_TRUE(MoveDown(list));
    EXPECT_EQ(Texts(list), (Names{"b", "c", "a"}));
    EXPECT_EQ(list.Current(), 2);
    EXPECT_TRUE(MoveUp(list));
    EXPECT_EQ(Texts(list), (Names{"b", "a", "c"}));
    EXPECT_EQ(list.Current(), 1);
    EXPECT_TRUE(list.IsChecked(1));
    EXPECT_FALSE(list.IsEnabled(0));

    // Repeated Up walks the entry all the way round.
    for (int i = 0; i < 3; ++i) {
        MoveUp(list);
    }
    EXPECT_EQ(Texts(list), (Names{"b", "a", "c"}));
    EXPECT_EQ(list.Text(list.Current()), "a");
}

TEST(ListCommandsTest, UpAndDownWithoutRoomOrCurrentDoNothing) {
    FileList one;
    one.SetSorted(true);
    one.Append("a");
    one.SetCurrent(0);
    EXPECT_FALSE(MoveUp(one));
    EXPECT_FALSE(MoveDown(one));
    EXPECT_EQ(Texts(one), (Names{"a"}));
    EXPECT_EQ(one.Current(), 0);
    EXPECT_FALSE(one.IsSorted());  // both turn sorting off first

    FileList empty;
    EXPECT_FALSE(MoveUp(empty));
    EXPECT_FALSE(MoveDown(empty));

    FileList none;
    none.SetSorted(true);
    Fill(none, {"a", "b", "c"});
    EXPECT_FALSE(MoveUp(none));
    EXPECT_FALSE(MoveDown(none));
    EXPECT_EQ(Texts(none), (Names{"a", "b", "c"}));
    EXPECT_EQ(none.Current(), -1);
    EXPECT_FALSE(none.IsSorted());
}

TEST(ListCommandsTest, SendToEndMovesTheCurrentEntry) {
    FileList list;
    Fill(list, {"a", "b", "c", "d"});
    list.SetChecked(1, true);
    list.SetCurrent(1);
    EXPECT_TRUE(SendToEnd(list));
    EXPECT_EQ(Texts(list), (Names{"a", "c", "d", "b"}));
    EXPECT_EQ(list.Current(), 3);
    EXPECT_TRUE(list.IsChecked(3));

    list.SetCurrent(-1);
    EXPECT_FALSE(SendToEnd(list));
    EXPECT_EQ(Texts(list), (Names{"a", "c", "d", "b"}));

    FileList one;
    one.Append("a");
    one.SetCurrent(0);
    EXPECT_FALSE(SendToEnd(one));

    // In a sorted list a moved entry ends the name order.
    FileList sorted;
    sorted.SetSorted(true);
    Fill(sorted, {"a", "b", "c"});
    sorted.SetCurrent(2);
    EXPECT_TRUE(SendToEnd(sorted));  // already last: nothing moves
    EXPECT_TRUE(sorted.IsSorted());
    sorted.SetCurrent(0);
    EXPECT_TRUE(SendToEnd(sorted));
    EXPECT_EQ(Texts(sorted), (Names{"b", "c", "a"}));
    EXPECT_FALSE(sorted.IsSorted());
    sorted.Append("0");
    EXPECT_EQ(sorted.Text(3), "0");
}

TEST(ListCommandsTest, CopySelectedAppendsCopiesWithTheirStates) {
    FileList source;
    source.Append("s0", true, true);
    source.Append("s1", true, false);
    source.Append("s2", false, true);
    source.Append("s3", false, false);
    source.Append("s4", true, true);
    for (int i : {1, 2, 3}) {
        source.SetSelected(i, true);
    }
    source.SetCurrent(4);
    FileList destination;
    destination.Append("d0", true, false);
    destination.SetSelected(0, true);

    EXPECT_EQ(CopySelected(source, destination), 3);
    EXPECT_EQ(destination.Entries(), (std::vector<ListEntry>{{"d0", true, false, true},
                                                             {"s1", true, false, false},
                                                             {"s2", false, true, false},
                                                             {"s3", false, false, false}}));
    // The source is untouched, selection included.
    EXPECT_EQ(source.SelectedCount(), 3);
    EXPECT_EQ(source.Count(), 5);
    EXPECT_EQ(source.Current(), 4);

    // Into a sorted destination the states stay with their entries.
    FileList sorted;
    sorted.SetSorted(true);
    Fill(sorted, {"s15", "a"});
    CopySelected(source, sorted);
    EXPECT_EQ(sorted.Entries(), (std::vector<ListEntry>{{"a", false, true, false},
                                                        {"s1", true, false, false},
                                                        {"s15", false, true, false},
                                                        {"s2", false, true, false},
                                                        {"s3", false, false, false}}));
}

TEST(ListCommandsTest, CopyEntryStatesWalksTheSourceFromTheEnd) {
    FileList source;
    source.Append("s0", true, false);
    source.Append("s1", false, true);
    source.Append("s2", true, true);
    source.Append("s3", false, false);
    source.SetSelected(0, true);
    source.SetSelected(1, true);
    source.SetSelected(3, true);

    // Plain copies appended by hand after an existing entry.
    FileList destination;
    destination.Append("keep", true, true);
    for (const char* name : {"s0", "s1", "s3"}) {
        destination.Append(name);
    }
    EXPECT_TRUE(CopyEntryStates(source, destination));
    EXPECT_EQ(destination.Entries(), (std::vector<ListEntry>{{"keep", true, true, false},
                                                             {"s0", true, false, false},
                                                             {"s1", false, true, false},
                                                             {"s3", false, false, false}}));

    // Too few destination entries: the last ones get states, then false.
    FileList shortList;
    shortList.Append("x");
    shortList.Append("y");
    EXPECT_FALSE(CopyEntryStates(source, shortList));
    EXPECT_EQ(shortList.Entries(),
              (std::vector<ListEntry>{{"x", false, true, false}, {"y", false, false, false}}));
}

// Swap, step by step from the other commands: select all, copy both ways
// with their states, delete the originals.
void SwapStepByStep(FileList& left, FileList& right) {
    SelectAll(left);
    SelectAll(right);
    const int rightBefore = right.Count();
    for (const ListEntry& e : left.Entries()) {
        right.Append(e.text);
    }
    CopyEntryStates(left, right);
    std::vector<ListEntry> rightOriginals(right.Entries().begin(),
                                          right.Entries().begin() + rightBefore);
    for (const ListEntry& e : rightOriginals) {
        left.Append(e.text);
    }
    CopyEntryStates(right, left);
    left.DeleteSelected();
    right.DeleteSelected();
}

TEST(ListCommandsTest, SwapExchangesContentsAndClearsSelection) {
    FileList left;
    FileList right;
    for (int i = 0; i < 20; ++i) {
        left.Append(Numbered("L", i), i % 3 == 0, i % 4 != 1);
        left.SetSelected(i, i % 5 == 0);
    }
    for (int i = 0; i < 7; ++i) {
        right.Append(Numbered("R", i), i % 2 == 0, i != 3);
    }
    left.SetCurrent(6);

    FileList expectLeft;
    FileList expectRight;
    for (const ListEntry& e : left.Entries()) {
        expectLeft.Append(e);
    }
    for (const ListEntry& e : right.Entries()) {
        expectRight.Append(e);
    }
    SwapStepByStep(expectLeft, expectRight);

    Swap(left, right);
    EXPECT_EQ(left.Entries(), expectLeft.Entries());
    EXPECT_EQ(right.Entries(), expectRight.Entries());
    EXPECT_EQ(left.SelectedCount(), 0);
    EXPECT_EQ(right.SelectedCount(), 0);
    // The current entry went along with its file.
    EXPECT_EQ(right.Text(right.Current()), "L6");
    EXPECT_EQ(left.Current(), -1);
}

TEST(ListCommandsTest, SwapTwiceRestoresAllButTheSelection) {
    FileList left;
    FileList right;
    left.Append("a", true, true);
    left.Append("b", false, false);
    left.Append("c", true, false);
    left.SetSelected(1, true);
    const std::vector<ListEntry> before = left.Entries();

    // With an empty right list everything moves over with its states.
    Swap(left, right);
    EXPECT_TRUE(left.IsEmpty());
    EXPECT_EQ(right.Entries(), (std::vector<ListEntry>{{"a", true, true, false},
                                                       {"b", false, false, false},
                                                       {"c", true, false, false}}));
    Swap(left, right);
    EXPECT_TRUE(right.IsEmpty());
    ASSERT_EQ(left.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(left.Text(i), before[i].text);
        EXPECT_EQ(left.IsChecked(i), before[i].checked);
        EXPECT_EQ(left.IsEnabled(i), before[i].enabled);
        EXPECT_FALSE(left.IsSelected(i));
    }
}

TEST(ListCommandsTest, FileNumberReadsTheDigitsBeforeTheExtension) {
    EXPECT_EQ(FileNumber("/night/IMG_0001.JPG"), 1);
    EXPECT_EQ(FileNumber("/night/IMG_9999.JPG"), 9999);
    EXPECT_EQ(FileNumber("IMG_0000.jpg"), 0);
    EXPECT_EQ(FileNumber("/night/dark.jpg"), -1);
    EXPECT_EQ(FileNumber("frame123"), 123);         // no extension
    EXPECT_EQ(FileNumber("frame123."), 123);        // empty extension
    EXPECT_EQ(FileNumber("frame123.tar.gz"), -1);   // only the last dot counts
    EXPECT_EQ(FileNumber("frame12.3.png"), 3);      // digits after an inner dot
    EXPECT_EQ(FileNumber("/night.2024/IMG_7"), 7);  // a dot in the folder is no extension
    EXPECT_EQ(FileNumber("/night.2024/IMG"), -1);   // nor are the folder's digits a number
    EXPECT_EQ(FileNumber("/2024/IMG.jpg"), -1);
    EXPECT_EQ(FileNumber("/night/2024"), 2024);  // a name of digits only
    EXPECT_EQ(FileNumber("/night/42.jpg"), 42);
    EXPECT_EQ(FileNumber(""), -1);
    EXPECT_EQ(FileNumber(".jpg"), -1);
    EXPECT_EQ(FileNumber("/night/"), -1);
    // The signed 32-bit limit: the largest value still fits, one more does not.
    EXPECT_EQ(FileNumber("IMG_2147483647.JPG"), 2147483647);
    EXPECT_EQ(FileNumber("IMG_2147483648.JPG"), -1);
    EXPECT_EQ(FileNumber("IMG_99999999999999999999999.JPG"), -1);
    // Leading zeros do not count against the limit.
    EXPECT_EQ(FileNumber("IMG_000000000000000000042.JPG"), 42);
}

TEST(ListCommandsTest, SortByNumberWithoutStartNumber) {
    FileList list;
    Fill(list, {"/n/IMG_0002.JPG", "/n/IMG_9999.JPG", "/n/dark.jpg", "/n/IMG_0001.JPG",
                "/n/IMG_0000.JPG"});
    SortByNumber(list, SortThreshold(0, false));
    EXPECT_EQ(Texts(list), (Names{"/n/IMG_0001.JPG", "/n/IMG_0002.JPG", "/n/IMG_9999.JPG",
                                  "/n/dark.jpg", "/n/IMG_0000.JPG"}));
}

TEST(ListCommandsTest, SortByNumberFromTheStartNumber) {
    FileList list;
    Fill(list, {"/n/IMG_0002.JPG", "/n/IMG_9999.JPG", "/n/dark.jpg", "/n/IMG_0001.JPG",
                "/n/IMG_0000.JPG"});
    EXPECT_EQ(SortThreshold(9999, true), 9999);
    SortByNumber(list, SortThreshold(9999, true));
    EXPECT_EQ(Texts(list), (Names{"/n/IMG_9999.JPG", "/n/dark.jpg", "/n/IMG_0000.JPG",
                                  "/n/IMG_0001.JPG", "/n/IMG_0002.JPG"}));

    // A forced start number of 0 puts frame 0 first and nameless files last.
    FileList zero;
    Fill(zero, {"dark.jpg", "IMG_0001.JPG", "IMG_0000.JPG"});
    SortByNumber(zero, SortThreshold(0, true));
    EXPECT_EQ(Texts(zero), (Names{"IMG_0000.JPG", "IMG_0001.JPG", "dark.jpg"}));
}

TEST(ListCommandsTest, SortByNumberTreatsHugeNumbersAsNone) {
    FileList list;
    Fill(list, {"b_99999999999.jpg", "c_5.jpg", "a.jpg", "d_2147483647.jpg"});
    SortByNumber(list, 1);
    // Equal keys keep their order: the too-long number sorts with "a.jpg".
    EXPECT_EQ(Texts(list), (Names{"c_5.jpg", "b_99999999999.jpg", "a.jpg", "d_2147483647.jpg"}));
}

TEST(ListCommandsTest, SortByNumberRebuildsTheEntries) {
    FileList list;
    list.Append("IMG_3.JPG", true, false);
    list.Append("IMG_1.JPG", true, true);
    list.Append("IMG_2.JPG", false, false);
    SelectAll(list);
    list.SetCurrent(1);

    SortByNumber(list, 1);
    EXPECT_EQ(list.Entries(), (std::vector<ListEntry>{{"IMG_1.JPG", false, true, false},
                                                      {"IMG_2.JPG", false, true, false},
                                                      {"IMG_3.JPG", false, true, false}}));
    EXPECT_EQ(list.Current(), -1);
    // The command then checks all: everything checked, nothing disabled.
    CheckAll(list);
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_TRUE(list.IsChecked(i));
    }

    // While the list is sorted by name, the rebuilt entries fall back into
    // name order.
    FileList byName;
    byName.SetSorted(true);
    Fill(byName, {"b_1.jpg", "a_2.jpg", "c_0.jpg"});
    SortByNumber(byName, 1);
    EXPECT_EQ(Texts(byName), (Names{"a_2.jpg", "b_1.jpg", "c_0.jpg"}));

    FileList empty;
    SortByNumber(empty, 1);
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(ListCommandsTest, EnableAndDisableEntry) {
    FileList list;
    Fill(list, {"a", "b"});
    RecordingObserver observer;
    list.AddObserver(&observer);

    EXPECT_TRUE(DisableEntry(1, list));
    EXPECT_FALSE(list.IsChecked(1));
    EXPECT_FALSE(list.IsEnabled(1));
    ASSERT_EQ(observer.changes.size(), 1u);
    EXPECT_EQ(observer.changes[0].first, 1);
    EXPECT_EQ(observer.changes[0].last, 1);

    EXPECT_TRUE(EnableEntry(1, list));
    EXPECT_TRUE(list.IsChecked(1));
    EXPECT_TRUE(list.IsEnabled(1));
    EXPECT_EQ(observer.changes.size(), 2u);

    EXPECT_FALSE(EnableEntry(2, list));
    EXPECT_FALSE(DisableEntry(-1, list));
    EXPECT_EQ(observer.changes.size(), 2u);
}

TEST(ListCommandsTest, RedirectReplacesTheFolderAndKeepsStates) {
    EXPECT_EQ(FileNamePart("/night/a/IMG_1.JPG"), "IMG_1.JPG");
    EXPECT_EQ(FileNamePart("IMG_1.JPG"), "IMG_1.JPG");
    EXPECT_EQ(FileNamePart("/night/"), "");

    FileList list;
    list.Append("/night/one/IMG_1.JPG", true, false);
    list.Append("IMG_2.JPG", false, true);
    EXPECT_TRUE(Redirect(list, "/copy"));
    EXPECT_EQ(list.Entries(), (std::vector<ListEntry>{{"/copy/IMG_1.JPG", true, false, false},
                                                      {"/copy/IMG_2.JPG", false, true, false}}));
    EXPECT_TRUE(Redirect(list, "/other/"));  // no doubled delimiter
    EXPECT_EQ(Texts(list), (Names{"/other/IMG_1.JPG", "/other/IMG_2.JPG"}));

    EXPECT_FALSE(Redirect(list, ""));
    EXPECT_EQ(Texts(list), (Names{"/other/IMG_1.JPG", "/other/IMG_2.JPG"}));

    // A sorted list orders the new names, which may differ from the old order.
    FileList sorted;
    sorted.SetSorted(true);
    sorted.Append("/a/z.jpg", true, true);
    sorted.Append("/b/a.jpg");
    EXPECT_TRUE(Redirect(sorted, "/c"));
    EXPECT_EQ(sorted.Entries(), (std::vector<ListEntry>{{"/c/a.jpg", false, true, false},
                                                        {"/c/z.jpg", true, true, false}}));
}

TEST(ListCommandsTest, ResetListEmptiesTheList) {
    FileList list;
    Fill(list, {"a", "b"});
    list.SetCurrent(0);
    ResetList(list);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Current(), -1);
}

}  // namespace
}  // namespace nocturo
