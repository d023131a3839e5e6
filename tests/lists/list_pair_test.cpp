#include "lists/list_pair.h"

#include <gtest/gtest.h>

#include "lists/list_commands.h"
#include "tests/lists/list_test_util.h"

namespace nocturo {
namespace {

using test::Fill;
using test::Texts;
using Names = std::vector<std::string>;

TEST(ListPairTest, StartsWithTwoEmptyListsAndTheLeftCurrent) {
    ListPair pair;
    EXPECT_EQ(pair.CurrentSide(), ListSide::Left);
    EXPECT_EQ(&pair.CurrentList(), &pair.Left());
    EXPECT_TRUE(pair.Left().IsEmpty());
    EXPECT_TRUE(pair.Right().IsEmpty());
    EXPECT_FALSE(pair.Left().IsSorted());
    EXPECT_FALSE(pair.Right().IsSorted());
    EXPECT_EQ(&pair.List(ListSide::Right), &pair.Right());
}

TEST(ListPairTest, CurrentListChangesOnlyWhileTheMainWindowIsActive) {
    ListPair pair;
    bool active = true;
    pair.SetMainWindowActiveQuery([&] { return active; });

    EXPECT_TRUE(pair.SetCurrentList(ListSide::Right));
    EXPECT_EQ(&pair.CurrentList(), &pair.Right());

    active = false;
    EXPECT_FALSE(pair.SetCurrentList(ListSide::Left));
    EXPECT_EQ(pair.CurrentSide(), ListSide::Right);
    EXPECT_TRUE(pair.SetCurrentList(ListSide::Right));  // already current

    active = true;
    EXPECT_TRUE(pair.SetCurrentList(ListSide::Left));
    EXPECT_EQ(pair.CurrentSide(), ListSide::Left);
}

TEST(ListPairTest, OverrideTakesPrecedenceWhileSet) {
    ListPair pair;
    FileList browserList;
    pair.SetCurrentListOverride(&browserList);
    EXPECT_EQ(&pair.CurrentList(), &browserList);
    // The side still changes underneath, for when the override ends.
    pair.SetCurrentList(ListSide::Right);
    EXPECT_EQ(&pair.CurrentList(), &browserList);
    pair.SetCurrentListOverride(nullptr);
    EXPECT_EQ(&pair.CurrentList(), &pair.Right());
}

TEST(ListPairTest, SwapMovesTheNamesAndTheCurrentSide) {
    ListPair pair;
    pair.Left().Append("a", true, true);
    pair.Left().Append("b", false, false);
    SelectAll(pair.Left());

    pair.Swap();
    EXPECT_EQ(pair.CurrentSide(), ListSide::Right);
    EXPECT_TRUE(pair.Left().IsEmpty());
    EXPECT_EQ(pair.CurrentList().Entries(),
              (std::vector<ListEntry>{{"a", true, true, false}, {"b", false, false, false}}));

    pair.Swap();
    EXPECT_EQ(pair.CurrentSide(), ListSide::Left);
    EXPECT_EQ(Texts(pair.CurrentList()), (Names{"a", "b"}));
}

TEST(ListPairTest, ClearRightListAsksOnlyWhenThereIsSomethingToClear) {
    ListPair pair;
    int asked = 0;
    EXPECT_TRUE(pair.ClearRightList([&] {
        ++asked;
        return false;
    }));
    EXPECT_EQ(asked, 0);

    Fill(pair.Right(), {"x", "y"});
    pair.Right().SetCurrent(1);
    EXPECT_FALSE(pair.ClearRightList([&] {
        ++asked;
        return false;
    }));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(pair.Right().Count(), 2);
    EXPECT_FALSE(pair.ClearRightList(nullptr));  // nobody to say yes
    EXPECT_EQ(pair.Right().Count(), 2);

    EXPECT_TRUE(pair.ClearRightList([&] {
        ++asked;
        return true;
    }));
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(pair.Right().IsEmpty());
    EXPECT_EQ(pair.Right().Current(), -1);
}

}  // namespace
}  // namespace nocturo
