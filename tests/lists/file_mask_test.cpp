#include "lists/file_mask.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/lists/list_test_util.h"

namespace nocturo {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const char* const kAllPictures = kBrowserFilters[0];

// A folder of files named to exercise the masks, with a subfolder and links
// that must not be listed as files.
class FileMaskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "nocturo-mask-XXXXXX").string();
        dir_ = ::mkdtemp(tmpl.data());
        for (const char* name :
             {"IMG_0001.JPG", "img_0002.png", "notes.txt", "x.jpeg", "README", "1_2015.jpg",
              "2015_1.jpg", "A.B.JPG", ".hidden.jpg", "photo.GIF", "pic.tif", "raw.raw", "x.jp"}) {
            std::ofstream(dir_ / name) << "not read";
        }
        fs::create_directory(dir_ / "sub.jpg");
        fs::create_directory_symlink(dir_ / "sub.jpg", dir_ / "linked-folder.jpg");
        fs::create_symlink(dir_ / "pic.tif", dir_ / "linked.bmp");
        std::string error;
        ASSERT_TRUE(files_.Open(dir_.string(), &error)) << error;
    }
    void TearDown() override { fs::remove_all(dir_); }

    Names Listed(const char* mask, const char* filter = kAllPictures) {
        FileList list;
        files_.Fill(list, mask, filter);
        Names names;
        const std::string prefix = dir_.string() + "/";
        for (const ListEntry& e : list.Entries()) {
            EXPECT_EQ(e.text.compare(0, prefix.size(), prefix), 0) << e.text;
            EXPECT_TRUE(e.checked && e.enabled && !e.selected) << e.text;
            names.push_back(e.text.substr(prefix.size()));
        }
        return names;
    }

    fs::path dir_;
    FolderFiles files_;
};

TEST_F(FileMaskTest, FolderNamesInCaseInsensitiveOrderWithoutFolders) {
    EXPECT_EQ(files_.Names(),
              (Names{".hidden.jpg", "1_2015.jpg", "2015_1.jpg", "A.B.JPG", "IMG_0001.JPG",
                     "img_0002.png", "linked.bmp", "notes.txt", "photo.GIF", "pic.tif", "raw.raw",
                     "README", "x.jp", "x.jpeg"}));
    EXPECT_EQ(files_.Folder(), dir_.string() + "/");
}

TEST_F(FileMaskTest, TheMaskExamples) {
    struct Case {
        const char* mask;
        const char* filter;
        Names expected;
    };
    const Case cases[] = {
        // Every picture of the filter; a partial extension (.jp) passes too.
        {"*",
         kAllPictures,
         {".hidden.jpg", "1_2015.jpg", "2015_1.jpg", "A.B.JPG", "IMG_0001.JPG", "img_0002.png",
          "linked.bmp", "photo.GIF", "pic.tif", "x.jp", "x.jpeg"}},
        {"",
         kAllPictures,
         {".hidden.jpg", "1_2015.jpg", "2015_1.jpg", "A.B.JPG", "IMG_0001.JPG", "img_0002.png",
          "linked.bmp", "photo.GIF", "pic.tif", "x.jp", "x.jpeg"}},
        {"IMG*", kAllPictures, {"IMG_0001.JPG", "img_0002.png"}},
        {"img*", kAllPictures, {"IMG_0001.JPG", "img_0002.png"}},
        {"IMG", kAllPictures, {"IMG_0001.JPG", "img_0002.png"}},
        {"_0", kAllPictures, {"IMG_0001.JPG", "img_0002.png"}},
        {"*2015*", kAllPictures, {"1_2015.jpg"}},
        {"#2015", kAllPictures, {"1_2015.jpg"}},
        {"*2015", kAllPictures, {"1_2015.jpg"}},
        {"2015*", kAllPictures, {"2015_1.jpg"}},
        {"2015", kAllPictures, {"1_2015.jpg", "2015_1.jpg"}},
        {"*2015*junk", kAllPictures, {"1_2015.jpg"}},  // text after a second '*' is ignored
        {"**",
         kAllPictures,
         {".hidden.jpg", "1_2015.jpg", "2015_1.jpg", "A.B.JPG", "IMG_0001.JPG", "img_0002.png",
          "linked.bmp", "photo.GIF", "pic.tif", "x.jp", "x.jpeg"}},
        // The mask's extension part overrides the filter.
        {"*.JP*",
         "*.PNG",
         {".hidden.jpg", "1_2015.jpg", "2015_1.jpg", "A.B.JPG", "IMG_0001.JPG", "x.jp", "x.jpeg"}},
        {"*.*G",
         kAllPictures,
         {".hidden.jpg", "1_2015.jpg", "2015_1.jpg", "A.B.JPG", "IMG_0001.JPG", "img_0002.png",
          "x.jpeg"}},
        {"*.txt", "*.BMP", {"notes.txt"}},
        {"*.txt", kAllPictures, {"notes.txt"}},
        {"IMG.", kAllPictures, {"IMG_0001.JPG", "img_0002.png"}},
        {"IMG.", "*.PNG", {"img_0002.png"}},
        {"IMG. ", "*.GIF", {}},
        {"*.*",
         "*.BMP",
         {".hidden.jpg", "1_2015.jpg", "2015_1.jpg", "A.B.JPG", "IMG_0001.JPG", "img_0002.png",
          "linked.bmp", "notes.txt", "photo.GIF", "pic.tif", "raw.raw", "README", "x.jp",
          "x.jpeg"}},
        // A.B.JPG: base A, extension .JPG.
        {"A", kAllPictures, {"A.B.JPG"}},
        {"B", kAllPictures, {}},
        {"A.JPG", "*.GIF", {"A.B.JPG"}},
        // The filter entries.
        {"*", "*.BMP", {"linked.bmp"}},
        {"*",
         "*.JPG;*.JPS;*.JPEG",
         {".hidden.jpg", "1_2015.jpg", "2015_1.jpg", "A.B.JPG", "IMG_0001.JPG", "x.jp", "x.jpeg"}},
        {"*", "*.PNG", {"img_0002.png"}},
        {"*", " *.tif;*.tiff ", {"pic.tif"}},
        {"*", "*.GIF", {"photo.GIF"}},
        // Every file, also those without an extension.
        {"*",
         "*.*",
         {".hidden.jpg", "1_2015.jpg", "2015_1.jpg", "A.B.JPG", "IMG_0001.JPG", "img_0002.png",
          "linked.bmp", "notes.txt", "photo.GIF", "pic.tif", "raw.raw", "README", "x.jp",
          "x.jpeg"}},
        {"READ*", "*.*", {"README"}},
        {"READ*", kAllPictures, {}},  // no extension passes no filter entry but "*.*"
        // A filter entry typed in the wrong shape filters nothing.
        {"*",
         "JPG*",
         {".hidden.jpg", "1_2015.jpg", "2015_1.jpg", "A.B.JPG", "IMG_0001.JPG", "img_0002.png",
          "linked.bmp", "notes.txt", "photo.GIF", "pic.tif", "raw.raw", "README", "x.jp",
          "x.jpeg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("mask \"") + c.mask + "\", filter \"" + c.filter + "\"");
        EXPECT_EQ(Listed(c.mask, c.filter), c.expected);
    }
}

TEST_F(FileMaskTest, TheDefaultStateOnTheSmallFolder) {
    // A folder with IMG_0001.JPG, notes.txt, x.jpeg and README.
    const std::vector<std::string> names = {"IMG_0001.JPG", "notes.txt", "README", "x.jpeg"};
    FileList list;
    list.Append("stale");
    FillFileList(list, "/night", names, FileMask("*", kAllPictures));
    EXPECT_EQ(list.Entries(), (std::vector<ListEntry>{{"/night/IMG_0001.JPG", true, true, false},
                                                      {"/night/x.jpeg", true, true, false}}));
}

TEST_F(FileMaskTest, CompiledMasks) {
    using E = FileMask::ExtensionMode;
    using N = FileMask::NameMode;
    struct Case {
        const char* mask;
        const char* filter;
        const char* extension;
        E extensionMode;
        const char* pattern;
        N nameMode;
    };
    const Case cases[] = {
        {"*", "*.BMP", "*.BMP", E::Filter, "", N::Contains},
        {"img*", "*.*", "", E::Filter, "IMG", N::Starts},
        {" *2015* ", "*.gif", "*.GIF", E::Filter, "2015", N::Inside},
        {"#x", "*.gif", "*.GIF", E::Filter, "X", N::Inside},
        {"*#x", "*.gif", "*.GIF", E::Filter, "X", N::Inside},
        {"*.jp*", "*.gif", "JP", E::Starts, "", N::Contains},
        {"*.*g*x", "*.gif", "G", E::Inside, "", N::Contains},
        {"a.txt", "*.gif", "TXT", E::Contains, "A", N::Contains},
        {"a.", "*.gif", "*.GIF", E::Filter, "A", N::Contains},
        {"*.*", "*.gif", "", E::Inside, "", N::Contains},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        const FileMask m(c.mask, c.filter);
        EXPECT_EQ(m.Extension(), c.extension);
        if (!m.Extension().empty()) {
            EXPECT_EQ(m.GetExtensionMode(), c.extensionMode);
        }
        EXPECT_EQ(m.Pattern(), c.pattern);
        if (!m.Pattern().empty()) {
            EXPECT_EQ(m.GetNameMode(), c.nameMode);
        }
    }
}

TEST_F(FileMaskTest, RefillingUsesTheKeptNamesUntilReread) {
    fs::remove(dir_ / "x.jpeg");
    std::ofstream(dir_ / "new.jpg") << "x";
    EXPECT_EQ(Listed("x*"), (Names{"x.jp", "x.jpeg"}));
    ASSERT_TRUE(files_.Reread());
    EXPECT_EQ(Listed("x*"), (Names{"x.jp"}));
    EXPECT_EQ(Listed("new"), (Names{"new.jpg"}));

    // An unreadable folder: a message, no names.
    std::string error;
    FolderFiles missing;
    EXPECT_FALSE(missing.Open((dir_ / "absent").string(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(missing.Names().empty());
    FileList list;
    list.Append("stale");
    missing.Fill(list, "*", kAllPictures);
    EXPECT_TRUE(list.IsEmpty());
}

}  // namespace
}  // namespace nocturo
