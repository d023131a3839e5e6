#include "lists/list_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/lists/list_test_util.h"

namespace nocturo {
namespace {

namespace fs = std::filesystem;
using test::Numbered;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

class ListFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "nocturo-listfile-XXXXXX").string();
        dir_ = ::mkdtemp(tmpl.data());
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string File(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(ListFileTest, SectionNames) {
    EXPECT_EQ(ListEntrySection(0), "L0000");
    EXPECT_EQ(ListEntrySection(42), "L0042");
    EXPECT_EQ(ListEntrySection(9999), "L9999");
    EXPECT_EQ(ListEntrySection(10000), "L10000");
    EXPECT_EQ(ListEntrySection(123456), "L123456");
}

TEST_F(ListFileTest, TheTwoEntryListAsWritten) {
    FileList list;
    list.Append(ListEntry{"D:\\Sky\\IMG_0001.JPG", true, true, true});
    list.Append(ListEntry{"D:\\Sky\\IMG_0002.JPG", false, true, false});
    const std::string file = File("processlist.txt");
    std::string error;
    ASSERT_TRUE(SaveListFile(list, file, &error)) << error;
    EXPECT_EQ(ReadAll(file),
              "[Application]\r\nname=Nocturo\r\nVersion=2-5-15\r\n\r\n"
              "[List]\r\ncount=2\r\n\r\n"
              "[L0000]\r\nname=D:\\Sky\\IMG_0001.JPG\r\nslct=1\r\nchck=1\r\n\r\n"
              "[L0001]\r\nname=D:\\Sky\\IMG_0002.JPG\r\nslct=0\r\nchck=0\r\n\r\n");
}

TEST_F(ListFileTest, SaveAndLoadKeepNamesSelectionsAndChecks) {
    FileList list;
    const std::vector<ListEntry> saved = {
        {"/nuit/Été 2015/IMG 0001.JPG", true, true, false},
        {"/nuit/Été 2015/IMG_0002.jpg", false, true, true},
        {"/nuit/\xE9t\xE9-latin1.jpg", true, false, true},  // disabled, 8-bit name
        {"  /leading blanks.jpg", false, false, false},     // disabled
        {"/a=b;c [d].png", true, true, true},
    };
    for (const ListEntry& e : saved) {
        list.Append(e);
    }
    // Entry 10000 is written and read as L10000.
    for (int i = static_cast<int>(saved.size()); i <= 10001; ++i) {
        list.Append(ListEntry{Numbered("/n/f", i), i % 2 == 0, true, i % 3 == 0});
    }
    const std::string file = File("night.txt");
    std::string error;
    int ticks = 0;
    ASSERT_TRUE(SaveListFile(list, file, &error, [&] { ++ticks; })) << error;
    EXPECT_EQ(ticks, list.Count());
    EXPECT_NE(ReadAll(file).find("[L10000]\r\nname=/n/f10000\r\n"), std::string::npos);

    std::vector<ListEntry> loaded;
    ASSERT_TRUE(ReadListFile(file, loaded, &error)) << error;
    ASSERT_EQ(loaded.size(), static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) {
        SCOPED_TRACE(i);
        ListEntry expected = list.Entries()[i];
        expected.enabled = true;  // disabled entries come back enabled
        if (i == 3) {
            expected.text = "/leading blanks.jpg";  // blanks at the ends are trimmed
        }
        EXPECT_EQ(loaded[i], expected);
    }
}

TEST_F(ListFileTest, HandEditedFilesAndDefaults) {
    const std::string file = File("edited.txt");
    WriteAll(file,
             "; written by hand\n"
             "[LIST]\n"
             "COUNT = 5\n"
             "[l0000]\n"
             "NAME = /sky/one.jpg\n"
             "SLCT = 2\n"
             "CHCK = yes\n"
             "[L0001]\n"
             "name=/sky/two.jpg\n"
             "chck=0x0\n"
             "[L0003]\n"
             "slct=1\n");
    std::vector<ListEntry> loaded;
    std::string error;
    ASSERT_TRUE(ReadListFile(file, loaded, &error)) << error;
    const std::vector<ListEntry> expected = {
        {"/sky/one.jpg", true, true, true},  // yes -> default checked; 2 -> selected
        {"/sky/two.jpg", false, true, false},
        {"", true, true, false},  // missing section: empty, checked, unselected
        {"", true, true, true},
        {"", true, true, false},  // count beyond the sections
    };
    EXPECT_EQ(loaded, expected);
}

TEST_F(ListFileTest, CountsThatGiveNoEntriesOrAreAbsurd) {
    struct Case {
        std::string text;
        bool ok;
        const char* said;  // part of the message when !ok
    };
    using namespace std::string_literals;
    const std::string nulName = "[List]\ncount=1\n[L0000]\nname=b.png\0junk\n"s;
    const Case cases[] = {
        {"[List]\n", true, ""},
        {"[List]\ncount=\n", true, ""},
        {"[List]\ncount=many\n", true, ""},
        {"[List]\ncount=0x0\n", true, ""},
        {"[List]\ncount=-3\n[L0000]\nname=x\n", false, "\"-3\""},
        {"[List]\ncount=9223372036854775808\n", false, "9223372036854775808"},
        {"[List]\ncount=0xFFFFFFFF\n[L0000]\nname=x\n", false, "0xFFFFFFFF"},
        {"[List]\ncount=0x1FFFFFFFF\n", false, "0x1FFFFFFFF"},
        {"[List]\ncount=2000000000\n", false, "2000000000"},
        {nulName, false, "\"b.png\\0junk\" of L0000"},
        {"[List]\ncount=1\n[L0000]\nname=/" + std::string(5000, 'a') + "\n", false, "L0000"},
        // No List section: a picture, a UTF-16 text, an empty file.
        {"\xFF\xD8\xFF\xE0\x00\x10JFIF\x00[List]", false, "not a list file"},
        {"\xFF\xFE[\0L\0i\0s\0t\0]\0\n\0"s, false, "not a list file"},
        {"", false, "not a list file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        const std::string file = File("count.txt");
        WriteAll(file, c.text);
        std::vector<ListEntry> loaded = {ListEntry{"stale"}};
        std::string error;
        EXPECT_EQ(ReadListFile(file, loaded, &error), c.ok);
        EXPECT_TRUE(loaded.empty());
        EXPECT_EQ(error.empty(), c.ok) << error;
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
    }
    // A missing file and a folder are no list files.
    for (const std::string& name : {File("absent.txt"), dir_.string()}) {
        std::vector<ListEntry> loaded;
        std::string error;
        EXPECT_FALSE(ReadListFile(name, loaded, &error));
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
}

TEST_F(ListFileTest, SavingOverALongerListKeepsItsSurplusSections) {
    const std::string file = File("over.txt");
    FileList five;
    for (int i = 0; i < 5; ++i) {
        five.Append(ListEntry{Numbered("/old/", i), true, true, false});
    }
    ASSERT_TRUE(SaveListFile(five, file));
    // Sections of other names, and comments, in the old file.
    WriteAll(file, "; note\r\n[Mine]\r\nkeep=1\r\n" + ReadAll(file));

    FileList three;
    for (int i = 0; i < 3; ++i) {
        three.Append(ListEntry{Numbered("/new/", i), false, true, true});
    }
    std::string error;
    ASSERT_TRUE(SaveListFile(three, file, &error)) << error;
    const IniDocument doc = IniDocument::FromBytes(ReadAll(file));
    EXPECT_EQ(doc.Sections(), (std::vector<std::string>{"Mine", "Application", "List", "L0000",
                                                        "L0001", "L0002", "L0003", "L0004"}));
    EXPECT_EQ(doc.ReadString("L0004", "name"), "/old/4");
    EXPECT_EQ(ReadAll(file).find("; note"), std::string::npos);

    std::vector<ListEntry> loaded;
    ASSERT_TRUE(ReadListFile(file, loaded));
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[2], (ListEntry{"/new/2", false, true, true}));
}

TEST_F(ListFileTest, ExcludedAreasRoundTripAsTheExclKey) {
    FileList list;
    list.Append(ListEntry{"/n/a.jpg", true, true, false, {{1, 2, 30, 40}, {0, 0, 5, 5}}});
    list.Append(ListEntry{"/n/b.jpg", false, true, true});
    const std::string file = File("excl.txt");
    ASSERT_TRUE(SaveListFile(list, file));
    EXPECT_NE(ReadAll(file).find("[L0000]\r\nname=/n/a.jpg\r\nslct=0\r\nchck=1\r\n"
                                 "excl=1,2,30,40;0,0,5,5\r\n\r\n[L0001]\r\nname=/n/b.jpg\r\n"
                                 "slct=1\r\nchck=0\r\n\r\n"),
              std::string::npos);
    std::vector<ListEntry> loaded;
    ASSERT_TRUE(ReadListFile(file, loaded));
    EXPECT_EQ(loaded, list.Entries());

    // Cleared, and saved over the same file: the key goes.
    list.SetExcluded(0, {});
    ASSERT_TRUE(SaveListFile(list, file));
    EXPECT_EQ(ReadAll(file).find("excl"), std::string::npos);

    // A damaged key is named, not taken for no areas.
    WriteAll(file, "[List]\ncount=1\n[L0000]\nname=/n/a.jpg\nexcl=1,2,3\n");
    std::string error;
    EXPECT_FALSE(ReadListFile(file, loaded, &error));
    EXPECT_TRUE(loaded.empty());
    EXPECT_NE(error.find("\"1,2,3\" of L0000"), std::string::npos) << error;
}

TEST_F(ListFileTest, AWindows1252FileLoads) {
    const std::string file = File("ansi.txt");
    WriteAll(file,
             "[List]\r\ncount=1\r\n[L0000]\r\nname=C:\\Ciel\\\xE9t\xE9\\nuit\x96"
             "1.jpg\r\n");
    std::vector<ListEntry> loaded;
    ASSERT_TRUE(ReadListFile(file, loaded));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].text,
              "C:\\Ciel\\\xC3\xA9t\xC3\xA9\\nuit\xE2\x80\x93"
              "1.jpg");
}

TEST_F(ListFileTest, AFailedSaveLeavesTheOldFileAndSaysWhy) {
    const std::string file = File("kept.txt");
    WriteAll(file, "[List]\r\ncount=0\r\n\r\n");
    FileList list;
    for (int i = 0; i < 3000; ++i) {
        list.Append(ListEntry{Numbered("/a/long/folder/name/frame_", i), true, true, false});
    }
    // A file size limit fails the writes the way a full disk does.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 8192;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = SaveListFile(list, file, &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("kept.txt"), std::string::npos) << error;
    EXPECT_EQ(ReadAll(file), "[List]\r\ncount=0\r\n\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

    // Into a folder that does not exist.
    error.clear();
    EXPECT_FALSE(SaveListFile(list, File("no/such/folder.txt"), &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace nocturo

namespace nocturo {
namespace {

TEST(ExcludedAreasText, FormatAndParse) {
    struct Case {
        const char* text;
        bool ok;
        ExcludedAreas areas;
    };
    const Case cases[] = {
        {"", true, {}},
        {"1,2,3,4", true, {{1, 2, 3, 4}}},
        {" 0 ,0, 5,6 ;10,20,30,40", true, {{0, 0, 5, 6}, {10, 20, 30, 40}}},
        {"1,2,3", false, {}},
        {"1,2,3,4,5", false, {}},
        {"1,2,0,4", false, {}},
        {"-1,2,3,4", false, {}},
        {"1,2,3,x", false, {}},
        {"1,2,3,4;", false, {}},
        {"2147483000,0,1000,1", false, {}},
    };
    for (const Case& c : cases) {
        ExcludedAreas areas{{9, 9, 9, 9}};
        EXPECT_EQ(ParseExcludedAreas(c.text, areas), c.ok) << c.text;
        EXPECT_EQ(areas, c.areas) << c.text;
    }
    EXPECT_EQ(FormatExcludedAreas({{0, 0, 5, 6}, {10, 20, 30, 40}}), "0,0,5,6;10,20,30,40");
    // Grown by 3 and clipped to a 100 x 50 picture; corners in any order.
    EXPECT_EQ(AreaFromCorners(10, 8, 2, 1, 3, 100, 50), (ExcludedArea{0, 0, 14, 12}));
    EXPECT_EQ(AreaFromCorners(98, 45, 99, 49, 3, 100, 50), (ExcludedArea{95, 42, 5, 8}));
    EXPECT_EQ(AreaFromCorners(200, 200, 300, 300, 3, 100, 50).w, 0);
}

}  // namespace
}  // namespace nocturo
