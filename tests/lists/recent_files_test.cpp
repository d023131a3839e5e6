// The recent list files: order, cap, duplicates and the settings round trip.

#include <gtest/gtest.h>

#include "core/ini_document.h"
#include "lists/recent_files.h"

namespace nocturo {
namespace {

using Paths = std::vector<std::string>;

TEST(RecentFiles, MostRecentFirstEachOnceAtMostEight) {
    struct Case {
        Paths added;
        Paths expected;
    };
    const Case cases[] = {
        {{"a", "b", "c"}, {"c", "b", "a"}},
        {{"a", "b", "a"}, {"a", "b"}},
        {{"a", "", "b"}, {"b", "a"}},
        {{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"},
         {"10", "9", "8", "7", "6", "5", "4", "3"}},
        {{"1", "2", "3", "4", "5", "6", "7", "8", "1"}, {"1", "8", "7", "6", "5", "4", "3", "2"}},
    };
    for (const Case& c : cases) {
        RecentFiles recent;
        for (const std::string& path : c.added) {
            recent.Add(path);
        }
        EXPECT_EQ(recent.Paths(), c.expected);
    }
}

TEST(RecentFiles, SettingsRoundTrip) {
    RecentFiles recent;
    for (const char* path : {"/n/one.txt", "/n/deux é.txt", "/n/three.txt"}) {
        recent.Add(path);
    }
    IniDocument settings;
    settings.WriteString("RecentLists", "File7", "/stale.txt");  // replaced, not kept
    settings.WriteString("Other", "Key", "kept");
    recent.Write(settings, "RecentLists");

    RecentFiles read;
    read.Read(IniDocument::FromBytes(settings.ToBytes()), "RecentLists");
    EXPECT_EQ(read.Paths(), recent.Paths());
    EXPECT_EQ(settings.ReadString("Other", "Key", ""), "kept");

    recent.Clear();
    recent.Write(settings, "RecentLists");
    read.Read(settings, "RecentLists");
    EXPECT_TRUE(read.Paths().empty());
}

TEST(RecentFiles, HandEditedSettingsAreTidied) {
    const IniDocument settings = IniDocument::FromBytes(
        "[RecentLists]\nFile1=/a\nFile2=\nFile3=/a\nFile4=/b\nFile9=/beyond\n");
    RecentFiles read;
    read.Read(settings, "RecentLists");
    EXPECT_EQ(read.Paths(), (Paths{"/a", "/b"}));
}

}  // namespace
}  // namespace nocturo
