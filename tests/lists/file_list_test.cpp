#include "lists/file_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "tests/lists/list_test_util.h"

namespace nocturo {
namespace {

using test::Fill;
using test::RecordingObserver;
using test::Texts;
using Names = std::vector<std::string>;

TEST(FileListTest, NewEntriesAndOutOfRangeAccess) {
    FileList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Current(), -1);
    EXPECT_FALSE(list.IsSorted());

    EXPECT_EQ(list.Append("/night/a.jpg"), 0);
    EXPECT_FALSE(list.IsChecked(0));
    EXPECT_TRUE(list.IsEnabled(0));
    EXPECT_FALSE(list.IsSelected(0));

    EXPECT_EQ(list.Append("/night/b.jpg", true, false), 1);
    EXPECT_TRUE(list.IsChecked(1));
    EXPECT_FALSE(list.IsEnabled(1));
    EXPECT_FALSE(list.IsSelected(1));
    EXPECT_EQ(list.Count(), 2);
    // Adding an entry does not make it current.
    EXPECT_EQ(list.Current(), -1);

    for (int bad : {-1, 2, 1000}) {
        EXPECT_EQ(list.Text(bad), "");
        EXPECT_FALSE(list.IsChecked(bad));
        EXPECT_FALSE(list.IsEnabled(bad));
        EXPECT_FALSE(list.IsSelected(bad));
        EXPECT_FALSE(list.SetChecked(bad, true));
        EXPECT_FALSE(list.SetEnabled(bad, false));
        EXPECT_FALSE(list.SetSelected(bad, true));
        EXPECT_FALSE(list.SetText(bad, "x"));
        EXPECT_FALSE(list.ToggleCheck(bad));
        EXPECT_FALSE(list.Delete(bad));
        EXPECT_FALSE(list.Move(bad, 0));
        EXPECT_FALSE(list.Move(0, bad));
        EXPECT_FALSE(list.Exchange(bad, 0));
    }
    EXPECT_EQ(Texts(list), (Names{"/night/a.jpg", "/night/b.jpg"}));
}

TEST(FileListTest, CurrentIndexAcceptsOnlyEntriesOrNone) {
    FileList list;
    EXPECT_FALSE(list.SetCurrent(0));  // empty list
    EXPECT_TRUE(list.SetCurrent(-1));
    Fill(list, {"a", "b", "c"});
    EXPECT_TRUE(list.SetCurrent(2));
    EXPECT_EQ(list.Current(), 2);
    EXPECT_FALSE(list.SetCurrent(3));
    EXPECT_FALSE(list.SetCurrent(-2));
    EXPECT_EQ(list.Current(), 2);
    EXPECT_TRUE(list.SetCurrent(-1));
    EXPECT_EQ(list.Current(), -1);
}

TEST(FileListTest, ToggleCheckActsOnlyOnEnabledEntries) {
    FileList list;
    list.Append("a");
    list.Append("b", true, false);
    EXPECT_TRUE(list.ToggleCheck(0));
    EXPECT_TRUE(list.IsChecked(0));
    EXPECT_TRUE(list.ToggleCheck(0));
    EXPECT_FALSE(list.IsChecked(0));
    // A disabled entry keeps its mark: the user cannot toggle it.
    EXPECT_FALSE(list.ToggleCheck(1));
    EXPECT_TRUE(list.IsChecked(1));
}

TEST(FileListTest, CompareNamesIgnoresAsciiCaseOnly) {
    EXPECT_EQ(CompareNames("abc", "ABC"), 0);
    EXPECT_LT(CompareNames("a", "B"), 0);
    EXPECT_GT(CompareNames("b", "A"), 0);
    EXPECT_LT(CompareNames("IMG_1", "img_2"), 0);
    // A prefix comes first.
    EXPECT_LT(CompareNames("img", "IMG_0001"), 0);
    EXPECT_GT(CompareNames("IMG_0001", "img"), 0);
    EXPECT_EQ(CompareNames("", ""), 0);
    EXPECT_LT(CompareNames("", "a"), 0);
    // Letters compare as lower case, so '_' (0x5F) sorts before them.
    EXPECT_LT(CompareNames("_", "A"), 0);
    // UTF-8 bytes compare by value, above every ASCII byte, and are not
    // folded: "É" (C3 89) and "é" (C3 A9) differ.
    EXPECT_GT(CompareNames("\xC3\xA9t\xC3\xA9", "zzz"), 0);
    EXPECT_NE(CompareNames("\xC3\x89", "\xC3\xA9"), 0);
}

TEST(FileListTest, SortedListInsertsInNameOrder) {
    FileList list;
    list.SetSorted(true);
    EXPECT_EQ(list.Append("c.jpg"), 0);
    EXPECT_EQ(list.Append("B.jpg"), 0);
    EXPECT_EQ(list.Append("a.jpg", true, false), 0);
    EXPECT_EQ(list.Append("d.jpg"), 3);
    // Equal names without regard to case go after those already there.
    EXPECT_EQ(list.Append("A.JPG"), 1);
    EXPECT_EQ(Texts(list), (Names{"a.jpg", "A.JPG", "B.jpg", "c.jpg", "d.jpg"}));
    // The state came in with its entry.
    EXPECT_TRUE(list.IsChecked(0));
    EXPECT_FALSE(list.IsEnabled(0));
    EXPECT_TRUE(list.IsEnabled(1));
}

TEST(FileListTest, InsertingBeforeTheCurrentEntryKeepsItCurrent) {
    FileList list;
    list.SetSorted(true);
    Fill(list, {"b", "d"});
    list.SetCurrent(1);  // "d"
    list.Append("a");
    EXPECT_EQ(list.Current(), 2);
    EXPECT_EQ(list.Text(list.Current()), "d");
    list.Append("e");
    EXPECT_EQ(list.Text(list.Current()), "d");
}

TEST(FileListTest, SwitchingSortedOnCarriesStatesAndCurrent) {
    FileList list;
    list.Append("c", true, true);
    list.Append("a", false, false);
    list.Append("B", true, false);
    list.SetSelected(0, true);
    list.SetCurrent(0);  // "c"

    list.SetSorted(true);
    ASSERT_EQ(Texts(list), (Names{"a", "B", "c"}));
    EXPECT_EQ(list.Entries()[0], (ListEntry{"a", false, false, false}));
    EXPECT_EQ(list.Entries()[1], (ListEntry{"B", true, false, false}));
    EXPECT_EQ(list.Entries()[2], (ListEntry{"c", true, true, true}));
    EXPECT_EQ(list.Current(), 2);

    // Switching off keeps the order; later entries go to the end.
    list.SetSorted(false);
    list.Append("0");
    EXPECT_EQ(Texts(list), (Names{"a", "B", "c", "0"}));
}

TEST(FileListTest, BulkAppendIntoSortedListMergesInOrder) {
    FileList list;
    list.SetSorted(true);
    Fill(list, {"m", "b"});
    list.SetCurrent(1);  // "m"

    std::vector<ListEntry> more;
    for (int i = 9999; i >= 0; --i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%05d", i);
        more.push_back(ListEntry{name, i % 2 == 0, i % 3 != 0, false});
    }
    more.push_back(ListEntry{"B", true, true, false});
    list.AppendEntries(std::move(more));

    ASSERT_EQ(list.Count(), 10003);
    EXPECT_TRUE(std::is_sorted(
        list.Entries().begin(), list.Entries().end(),
        [](const ListEntry& a, const ListEntry& b) { return CompareNames(a.text, b.text) < 0; }));
    // An equal name arriving later goes after the one already there.
    EXPECT_EQ(list.Text(0), "b");
    EXPECT_EQ(list.Text(1), "B");
    EXPECT_TRUE(list.IsChecked(1));
    // States travelled with their entries.
    EXPECT_EQ(list.Text(2), "f00000");
    EXPECT_EQ(list.Entries()[2 + 1234], (ListEntry{"f01234", true, true, false}));
    EXPECT_EQ(list.Entries()[2 + 1233], (ListEntry{"f01233", false, false, false}));
    EXPECT_EQ(list.Text(list.Current()), "m");
}

// Names built from a few awkward bytes: both cases, '_' between the upper
// and lower case letters, a UTF-8 lead byte, and lengths around the shared
// prefix, including a name that is exactly the prefix and the empty name.
TEST(FileListTest, SortingMatchesCompareNamesOnAwkwardNames) {
    const std::string alphabet = "aAbB_.\xC3/0";
    std::mt19937 random(7);
    for (const std::string prefix : {"", "/night/IMG_", "x"}) {
        SCOPED_TRACE(prefix);
        std::vector<std::string> names = {prefix, prefix, ""};
        for (int i = 0; i < 3000; ++i) {
            std::string name = prefix;
            const int length = static_cast<int>(random() % 14);
            for (int k = 0; k < length; ++k) {
                name += alphabet[random() % alphabet.size()];
            }
            names.push_back(name);
        }
        if (prefix.empty()) {
            names.erase(names.begin(), names.begin() + 2);
        }
        FileList list;
        for (size_t i = 0; i < names.size(); ++i) {
            list.Append(names[i], i % 2 == 0, true);  // the check mark tells equal names apart
        }
        list.SetSorted(true);

        std::vector<size_t> expected(names.size());
        std::iota(expected.begin(), expected.end(), size_t{0});
        std::stable_sort(expected.begin(), expected.end(),
                         [&](size_t a, size_t b) { return CompareNames(names[a], names[b]) < 0; });
        ASSERT_EQ(list.Count(), static_cast<int>(names.size()));
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(list.Text(static_cast<int>(i)), names[expected[i]]) << i;
            ASSERT_EQ(list.IsChecked(static_cast<int>(i)), expected[i] % 2 == 0) << i;
        }
    }
}

TEST(FileListTest, SetTextRepositionsInSortedList) {
    FileList list;
    Fill(list, {"a", "b", "c"});
    EXPECT_TRUE(list.SetText(0, "z"));
    EXPECT_EQ(Texts(list), (Names{"z", "b", "c"}));  // unsorted: stays in place

    list.SetSorted(true);
    list.SetChecked(0, true);  // "b"
    list.SetCurrent(0);
    EXPECT_TRUE(list.SetText(0, "y"));
    EXPECT_EQ(Texts(list), (Names{"c", "y", "z"}));
    EXPECT_EQ(list.Current(), 1);
    EXPECT_TRUE(list.IsChecked(1));
}

TEST(FileListTest, DeletingMovesCurrentToTheNeighbour) {
    FileList list;
    Fill(list, {"a", "b", "c", "d"});

    list.SetCurrent(2);  // "c"
    list.Delete(0);      // before the current entry: it follows
    EXPECT_EQ(list.Text(list.Current()), "c");
    list.Delete(2);  // after it: unchanged
    EXPECT_EQ(Texts(list), (Names{"b", "c"}));
    EXPECT_EQ(list.Current(), 1);

    list.Append("e");
    list.SetCurrent(1);  // "c", followed by "e"
    list.Delete(1);
    EXPECT_EQ(list.Text(list.Current()), "e");

    list.Delete(1);  // the current entry was the last: the new last is current
    EXPECT_EQ(list.Current(), 0);
    list.Delete(0);
    EXPECT_EQ(list.Current(), -1);
    EXPECT_TRUE(list.IsEmpty());

    Fill(list, {"a", "b"});
    list.Delete(0);  // no current entry stays none
    EXPECT_EQ(list.Current(), -1);
}

TEST(FileListTest, DeleteSelectedKeepsOrderAndFollowsCurrent) {
    FileList list;
    Fill(list, {"a", "b", "c", "d", "e"});
    for (int i : {0, 2, 3}) {
        list.SetSelected(i, true);
    }
    list.SetCurrent(2);  // "c", deleted: "e" takes its place
    EXPECT_EQ(list.DeleteSelected(), 3);
    EXPECT_EQ(Texts(list), (Names{"b", "e"}));
    EXPECT_EQ(list.Text(list.Current()), "e");
    EXPECT_EQ(list.SelectedCount(), 0);
    EXPECT_EQ(list.DeleteSelected(), 0);

    list.SetSelected(1, true);
    list.SetCurrent(1);  // the last entry, deleted
    list.DeleteSelected();
    EXPECT_EQ(list.Current(), 0);
    list.SetSelected(0, true);
    list.DeleteSelected();
    EXPECT_EQ(list.Current(), -1);
}

TEST(FileListTest, ClearEmptiesButKeepsSortedFlag) {
    FileList list;
    list.SetSorted(true);
    Fill(list, {"a", "b"});
    list.SetCurrent(1);
    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Current(), -1);
    EXPECT_TRUE(list.IsSorted());
}

TEST(FileListTest, MoveAndExchangeCarryStatesAndEndNameOrder) {
    FileList list;
    list.SetSorted(true);
    Fill(list, {"a", "b", "c", "d"});
    list.SetChecked(0, true);
    list.SetCurrent(0);

    EXPECT_TRUE(list.Move(0, 3));
    EXPECT_FALSE(list.IsSorted());
    EXPECT_EQ(Texts(list), (Names{"b", "c", "d", "a"}));
    EXPECT_TRUE(list.IsChecked(3));
    EXPECT_EQ(list.Current(), 3);

    list.SetCurrent(1);  // "c": shifted by a move from before to after it
    EXPECT_TRUE(list.Move(0, 2));
    EXPECT_EQ(Texts(list), (Names{"c", "d", "b", "a"}));
    EXPECT_EQ(list.Current(), 0);

    EXPECT_TRUE(list.Move(3, 0));  // backwards, shifting the current entry up
    EXPECT_EQ(Texts(list), (Names{"a", "c", "d", "b"}));
    EXPECT_EQ(list.Current(), 1);

    list.SetSorted(true);  // back to a, b, c, d
    EXPECT_TRUE(list.Exchange(0, 2));
    EXPECT_FALSE(list.IsSorted());
    EXPECT_EQ(Texts(list), (Names{"c", "b", "a", "d"}));
    EXPECT_TRUE(list.IsChecked(2));
    EXPECT_EQ(list.Current(), 0);
}

TEST(FileListTest, RewriteTextsKeepsStatesAndSortsOnce) {
    FileList list;
    Fill(list, {"/x/b", "/y/a"});
    list.SetChecked(0, true);
    list.RewriteTexts([](const std::string& t) { return t.substr(3) + ".jpg"; });
    EXPECT_EQ(Texts(list), (Names{"b.jpg", "a.jpg"}));
    EXPECT_TRUE(list.IsChecked(0));

    list.SetSorted(true);  // now a.jpg, b.jpg
    list.RewriteTexts([](const std::string& t) { return t == "a.jpg" ? "z" : t; });
    EXPECT_EQ(Texts(list), (Names{"b.jpg", "z"}));
    EXPECT_TRUE(list.IsChecked(0));
}

TEST(FileListTest, SwapEntriesExchangesContentsWithStatesAndCurrents) {
    FileList left;
    FileList right;
    left.Append("z", true, false);
    left.Append("y", false, true);
    left.SetSelected(0, true);
    left.SetCurrent(1);
    right.SetSorted(true);

    left.SwapEntries(right);
    EXPECT_TRUE(left.IsEmpty());
    EXPECT_EQ(left.Current(), -1);
    // The sorted list put what it received in order, states along.
    EXPECT_EQ(right.Entries(),
              (std::vector<ListEntry>{{"y", false, true, false}, {"z", true, false, true}}));
    EXPECT_EQ(right.Text(right.Current()), "y");
    EXPECT_TRUE(right.IsSorted());
    EXPECT_FALSE(left.IsSorted());

    right.SwapEntries(right);  // with itself: nothing
    EXPECT_EQ(right.Count(), 2);
}

TEST(FileListTest, SingleChangesNotifyAtOnceWithTheirRow) {
    FileList list;
    RecordingObserver observer;
    list.AddObserver(&observer);
    list.AddObserver(&observer);  // twice: still one notification

    list.Append("a");
    list.Append("b");
    ASSERT_EQ(observer.changes.size(), 2u);
    EXPECT_TRUE(observer.changes[1].reset);

    observer.changes.clear();
    list.SetChecked(1, true);
    ASSERT_EQ(observer.changes.size(), 1u);
    EXPECT_FALSE(observer.changes[0].reset);
    EXPECT_EQ(observer.changes[0].first, 1);
    EXPECT_EQ(observer.changes[0].last, 1);
    EXPECT_FALSE(observer.changes[0].currentChanged);

    // Setting what is already there is no change.
    list.SetChecked(1, true);
    list.SetEnabled(0, true);
    list.SetSelected(0, false);
    list.SetCurrent(-1);
    list.SetSorted(false);
    EXPECT_EQ(observer.changes.size(), 1u);

    list.SetCurrent(0);
    ASSERT_EQ(observer.changes.size(), 2u);
    EXPECT_TRUE(observer.changes[1].currentChanged);
    EXPECT_FALSE(observer.changes[1].HasRows());

    list.RemoveObserver(&observer);
    list.SetChecked(0, true);
    EXPECT_EQ(observer.changes.size(), 2u);
}

TEST(FileListTest, UpdatesGatherChangesIntoOneNotification) {
    FileList list;
    Fill(list, {"a", "b", "c", "d", "e"});
    RecordingObserver observer;
    list.AddObserver(&observer);

    {
        FileList::UpdateGuard outer(list);
        list.SetChecked(3, true);
        {
            FileList::UpdateGuard inner(list);
            list.SetSelected(1, true);
            list.SetCurrent(2);
        }
        EXPECT_TRUE(observer.changes.empty());  // the inner end sends nothing
        list.SetEnabled(2, false);
    }
    ASSERT_EQ(observer.changes.size(), 1u);
    const ListChange& change = observer.changes[0];
    EXPECT_FALSE(change.reset);
    EXPECT_EQ(change.first, 1);
    EXPECT_EQ(change.last, 3);
    EXPECT_TRUE(change.currentChanged);

    // A structural change anywhere in the update makes it a reset.
    observer.changes.clear();
    {
        FileList::UpdateGuard update(list);
        list.SetChecked(0, true);
        list.Delete(4);
    }
    ASSERT_EQ(observer.changes.size(), 1u);
    EXPECT_TRUE(observer.changes[0].reset);

    // An update without changes sends nothing; an unmatched end is ignored.
    observer.changes.clear();
    list.BeginUpdate();
    list.EndUpdate();
    list.EndUpdate();
    EXPECT_FALSE(list.IsUpdating());
    EXPECT_TRUE(observer.changes.empty());
    list.SetChecked(0, false);
    EXPECT_EQ(observer.changes.size(), 1u);
}

// An observer that unregisters another one (and itself) while being notified.
class RemovingObserver : public FileListObserver {
  public:
    RemovingObserver(FileList& list, FileListObserver* victim) : list_(list), victim_(victim) {}
    void ListChanged(const FileList&, const ListChange&) override {
        ++calls;
        list_.RemoveObserver(victim_);
        list_.RemoveObserver(this);
    }
    int calls = 0;

  private:
    FileList& list_;
    FileListObserver* victim_;
};

TEST(FileListTest, ObserverMayUnregisterOthersDuringNotification) {
    FileList list;
    list.Append("a");
    RecordingObserver later;
    RemovingObserver remover(list, &later);
    list.AddObserver(&remover);
    list.AddObserver(&later);

    list.SetChecked(0, true);
    EXPECT_EQ(remover.calls, 1);
    EXPECT_TRUE(later.changes.empty());
    list.SetChecked(0, false);
    EXPECT_EQ(remover.calls, 1);
}

}  // namespace
}  // namespace nocturo
