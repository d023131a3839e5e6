#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "core/image_file.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

namespace fs = std::filesystem;
using test::RandomImage;
using test::ReadBytes;
using test::TempDir;

bool StartsWith(const std::vector<uint8_t>& bytes, std::string_view magic) {
    return bytes.size() >= magic.size() &&
           std::equal(magic.begin(), magic.end(), bytes.begin(),
                      [](char m, uint8_t b) { return static_cast<uint8_t>(m) == b; });
}

TEST(ImageFile, ExtensionTestIsASubstringSearch) {
    for (const char* name :
         {"a.jpg", "/x/y/B.JPEG", "c.Tiff", "d.ico", "e.emf", "f.jps", "g.ti", "h.JP",
          "night.v2/frame.png", "weird.P", "a." /* "." occurs in the list too */}) {
        EXPECT_TRUE(IsLoadableName(name)) << name;
    }
    for (const char* name : {"", "a.txt", "noext", "/dir.jpg/noext", "a.jpgx", "trail.bmpx"}) {
        EXPECT_FALSE(IsLoadableName(name)) << name;
    }
    EXPECT_EQ(FileExtension("/a.b/c"), "");
    EXPECT_EQ(FileExtension("/a.b/c.Png"), ".Png");
    EXPECT_EQ(FileExtension("x.tar.gz"), ".gz");
}

TEST(ImageFile, MissingOrUnsupportedFilesFailAsTheEmptyImage) {
    TempDir dir;
    int format = -1;
    RgbImage image = RandomImage(5, 5, 1);
    // A missing picture is a failure, whatever its extension.
    EXPECT_FALSE(LoadImageFile(image, dir.File("missing.jpg"), &format));
    EXPECT_TRUE(image.IsEmptyImage());
    EXPECT_EQ(format, kPixelFormat24);

    image = RandomImage(5, 5, 2);
    EXPECT_FALSE(LoadImageFile(image, dir.File("missing.txt")));
    EXPECT_TRUE(image.IsEmptyImage());

    // A folder is no file.
    fs::create_directory(dir.File("folder.bmp"));
    image = RandomImage(5, 5, 4);
    EXPECT_FALSE(LoadImageFile(image, dir.File("folder.bmp")));
    EXPECT_TRUE(image.IsEmptyImage());

    // An existing file with an unsupported name is not even read.
    test::WriteBytes(dir.File("notes.txt"), {'h', 'i'});
    image = RandomImage(5, 5, 3);
    EXPECT_FALSE(LoadImageFile(image, dir.File("notes.txt")));
    EXPECT_TRUE(image.IsEmptyImage());
}

TEST(ImageFile, UndecodableFilesFailAndKeepTheDestination) {
    TempDir dir;
    test::WriteBytes(dir.File("empty.png"), {});
    test::WriteBytes(dir.File("text.png"), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '\n'});
    std::vector<uint8_t> noise(4096);
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<uint8_t>((i * 7919u) >> 3);
    }
    test::WriteBytes(dir.File("noise.jpg"), noise);
    for (const char* name : {"empty.png", "text.png", "noise.jpg", "picture.wmf"}) {
        if (std::string(name) == "picture.wmf") {
            test::WriteBytes(dir.File(name), {0xD7, 0xCD, 0xC6, 0x9A, 0, 0});
        }
        RgbImage image = RandomImage(6, 4, 9);
        const RgbImage before = image;
        int format = -1;
        EXPECT_FALSE(LoadImageFile(image, dir.File(name), &format)) << name;
        EXPECT_TRUE(test::SamePixels(image, before)) << name;
        EXPECT_EQ(format, kPixelFormat24);
    }
}

TEST(ImageFile, LoadingIntoABufferGivesTheSameResults) {
    TempDir dir;
    const RgbImage picture = RandomImage(9, 7, 12);
    std::string good = dir.File("good.png");
    ASSERT_TRUE(SaveImageFile(picture, good));
    test::WriteBytes(dir.File("bad.png"), {'n', 'o', 'p', 'e'});

    RgbImage buffer = RandomImage(300, 200, 13);  // a larger frame to reuse
    ASSERT_TRUE(LoadImageFileInto(buffer, good));
    EXPECT_TRUE(test::SamePixels(buffer, picture));
    EXPECT_FALSE(LoadImageFileInto(buffer, dir.File("bad.png")));
    EXPECT_FALSE(LoadImageFileInto(buffer, dir.File("missing.jpg")));
    EXPECT_TRUE(buffer.IsEmptyImage());
    EXPECT_FALSE(LoadImageFileInto(buffer, dir.File("notes.txt")));
    EXPECT_TRUE(buffer.IsEmptyImage());
}

TEST(ImageFile, SaveFormatFollowsTheFirstFourCharactersOfTheExtension) {
    EXPECT_EQ(SaveFormatForName("a.bmp"), SaveFormat::Bmp);
    EXPECT_EQ(SaveFormatForName("a.png"), SaveFormat::Png);
    EXPECT_EQ(SaveFormatForName("a.GIF"), SaveFormat::Gif);
    EXPECT_EQ(SaveFormatForName("a.tif"), SaveFormat::Tiff);
    EXPECT_EQ(SaveFormatForName("a.tiff"), SaveFormat::Tiff);
    EXPECT_EQ(SaveFormatForName("a.jpg"), SaveFormat::Jpeg);
    EXPECT_EQ(SaveFormatForName("a.jpeg"), SaveFormat::Jpeg);
    EXPECT_EQ(SaveFormatForName("a.JPE"), SaveFormat::Jpeg);
    EXPECT_EQ(SaveFormatForName("a.jps"), SaveFormat::Jpeg);
    EXPECT_EQ(SaveFormatForName("a.pngx"), SaveFormat::Png);
    for (const char* name : {"a.xyz", "a", "a.ico", "a.emf", "dir.png/a", "a."}) {
        EXPECT_EQ(SaveFormatForName(name), SaveFormat::Bmp) << name;
    }
}

TEST(ImageFile, SavedBytesCarryTheMagicOfTheirExtension) {
    TempDir dir;
    const RgbImage image = RandomImage(11, 7, 5);
    const struct {
        const char* name;
        std::string_view magic;
    } cases[] = {
        {"a.jpeg", "\xFF\xD8\xFF"},
        {"a.JPG", "\xFF\xD8\xFF"},
        {"a.tiff", "II*\0"},
        {"a.gif", "GIF8"},
        {"a.png", "\x89PNG\r\n\x1A\n"},
        {"a.xyz", "BM"},
        {"noextension", "BM"},
        {"a.ico", "BM"},
    };
    for (const auto& c : cases) {
        std::string name = dir.File(c.name);
        ASSERT_TRUE(SaveImageFile(image, name)) << c.name;
        EXPECT_EQ(name, dir.File(c.name));  // the name is kept as given
        const auto bytes = ReadBytes(name);
        if (std::string_view(c.name) == "a.tiff") {
            EXPECT_TRUE(StartsWith(bytes, "II*") || StartsWith(bytes, "MM\0*")) << c.name;
        } else {
            EXPECT_TRUE(StartsWith(bytes, c.magic)) << c.name;
        }
    }
    // Nothing but the pictures is left in the folder: no temporary files.
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) {
        ++count;
    }
    EXPECT_EQ(count, 8);
}

TEST(ImageFile, SavesThroughAScratchWriteTheSameFiles) {
    // One scratch for pictures of growing and shrinking sizes and of every
    // format, and a failed save in between: every file is the one a save
    // without the scratch writes. A JPEG from the scratch goes to disk past
    // the page cache in whole blocks, the rest the ordinary way; tmpfs may
    // refuse that, and the file must come out the same.
    auto saveAll = [](const fs::path& folder, bool pastPageCache) {
        SaveScratch scratch;
        scratch.pastPageCache = pastPageCache;
        struct Case {
            const char* name;
            int width, height, threads;
        };
        const Case cases[] = {{"a.jpg", 300, 200, 1},   {"b.jpg", 120, 80, 1},
                              {"c.bmp", 64, 48, 1},     {"d.jpg", 410, 333, 1},
                              {"e.png", 50, 40, 1},     {"f.jpg", 17, 9, 1},
                              {"g.tif", 30, 20, 1},     {"h.jpg", 1100, 1000, 2},
                              {"i.jpg", 1500, 1000, 1}, {"j.jpg", 300, 200, 1}};
        int seed = 1;
        for (const Case& c : cases) {
            const RgbImage image = RandomImage(c.width, c.height, ++seed);
            std::string plain = (folder / (std::string("plain_") + c.name)).string();
            std::string reused = (folder / c.name).string();
            ASSERT_TRUE(SaveImageFile(image, plain, kDefaultOutputName, nullptr, c.threads))
                << c.name;
            ASSERT_TRUE(
                SaveImageFile(image, reused, kDefaultOutputName, nullptr, c.threads, &scratch))
                << c.name;
            EXPECT_EQ(ReadBytes(reused), ReadBytes(plain)) << c.name;

            std::string nowhere = (folder / "missing/x.jpg").string();
            std::string reason;
            EXPECT_FALSE(SaveImageFile(image, nowhere, kDefaultOutputName, &reason, 1, &scratch));
            EXPECT_FALSE(reason.empty());
            EXPECT_FALSE(fs::exists(folder / "missing"));
        }
    };
    for (bool pastPageCache : {false, true}) {
        SCOPED_TRACE(pastPageCache ? "past the page cache" : "through the page cache");
        TempDir dir;
        saveAll(dir.Path(), pastPageCache);
    }
    std::string shm = "/dev/shm/nocturo-test-XXXXXX";
    if (::mkdtemp(shm.data()) != nullptr) {
        SCOPED_TRACE("tmpfs");
        saveAll(shm, true);
        std::error_code ec;
        fs::remove_all(shm, ec);
    }
}

TEST(ImageFile, AnEmptyNameSavesTheDefaultName) {
    TempDir dir;
    const fs::path old = fs::current_path();
    fs::current_path(dir.Path());
    std::string name;
    const bool ok = SaveImageFile(RandomImage(4, 4, 6), name);
    fs::current_path(old);
    EXPECT_TRUE(ok);
    EXPECT_EQ(name, "proc.jpg");
    EXPECT_TRUE(StartsWith(ReadBytes(dir.File("proc.jpg")), "\xFF\xD8\xFF"));
}

TEST(ImageFile, FailedSavesLeaveNoHalfWrittenFile) {
    TempDir dir;
    // A folder that does not exist.
    std::string name = dir.File("nowhere/out.png");
    EXPECT_FALSE(SaveImageFile(RandomImage(4, 4, 7), name));
    EXPECT_FALSE(fs::exists(name));

    // A picture with no pixels cannot be saved; an existing file stays as it was.
    std::string kept = dir.File("kept.bmp");
    test::WriteBytes(kept, {'o', 'l', 'd'});
    RgbImage nothing;
    EXPECT_FALSE(SaveImageFile(nothing, kept));
    EXPECT_EQ(ReadBytes(kept), (std::vector<uint8_t>{'o', 'l', 'd'}));

    // A folder that cannot be written (not as root, who may write anyway).
    if (::geteuid() != 0) {
        fs::create_directory(dir.File("locked"));
        fs::permissions(dir.File("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        std::string locked = dir.File("locked/out.bmp");
        EXPECT_FALSE(SaveImageFile(RandomImage(4, 4, 8), locked));
        EXPECT_FALSE(fs::exists(locked));
    }
}

// Nothing of a failed save is left in the folder: neither under the name
// nor as a temporary file beside it.
TEST(ImageFile, AFailedRenameLeavesNoTemporaryFile) {
    TempDir dir;
    fs::create_directory(dir.File("taken.png"));
    test::WriteBytes(dir.File("taken.png/inside"), {'x'});
    std::string name = dir.File("taken.png");
    std::string reason;
    EXPECT_FALSE(SaveImageFile(RandomImage(4, 4, 9), name, kDefaultOutputName, &reason));
    EXPECT_TRUE(fs::is_directory(name));
    EXPECT_FALSE(reason.empty());
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"taken.png"});
}

TEST(ImageFile, SavingKeepsLinksAndPermissions) {
    TempDir dir;
    const RgbImage picture = RandomImage(5, 3, 21);
    {
        SCOPED_TRACE("a link to an existing file");
        std::string real = dir.File("real.bmp");
        test::WriteBytes(real, {'o', 'l', 'd'});
        fs::create_directory(dir.File("links"));
        fs::create_symlink("../real.bmp", dir.File("links/link.bmp"));
        std::string link = dir.File("links/link.bmp");
        ASSERT_TRUE(SaveImageFile(picture, link));
        EXPECT_TRUE(fs::is_symlink(link));
        RgbImage loaded;
        ASSERT_TRUE(LoadImageFile(loaded, real));
        EXPECT_TRUE(test::SamePixels(loaded, picture));
    }
    {
        SCOPED_TRACE("a link to a file not written yet");
        fs::create_symlink(dir.File("later.png"), dir.File("dangling.png"));
        std::string link = dir.File("dangling.png");
        ASSERT_TRUE(SaveImageFile(picture, link));
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_TRUE(fs::is_regular_file(dir.File("later.png")));
    }
    {
        SCOPED_TRACE("an existing file keeps its permission bits");
        for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0604}}) {
            std::string name = dir.File("perm.png");
            test::WriteBytes(name, {'o', 'l', 'd'});
            ASSERT_EQ(::chmod(name.c_str(), mode), 0);
            ASSERT_TRUE(SaveImageFile(picture, name));
            struct stat st {};
            ASSERT_EQ(::stat(name.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, mode);
        }
    }
}

TEST(ImageFile, NamesUpToTheFileSystemsLimitSave) {
    TempDir dir;
    const long limit = ::pathconf(dir.Path().c_str(), _PC_NAME_MAX);
    ASSERT_GT(limit, 20);
    const RgbImage picture = RandomImage(3, 3, 22);
    for (const long length : {limit, limit - 1, limit - 7, 16L, 15L, 5L}) {
        SCOPED_TRACE(length);
        std::string name = dir.File(std::string(static_cast<size_t>(length) - 4, 'n') + ".bmp");
        std::string reason;
        ASSERT_TRUE(SaveImageFile(picture, name, kDefaultOutputName, &reason)) << reason;
        RgbImage loaded;
        ASSERT_TRUE(LoadImageFile(loaded, name));
        EXPECT_TRUE(test::SamePixels(loaded, picture));
    }
}

TEST(ImageFile, LosslessRoundTripsThroughFiles) {
    TempDir dir;
    for (const char* ext : {".bmp", ".png", ".tif", ".gif", ".BMP", ".tiff"}) {
        for (const auto& size : {std::pair{1, 1}, std::pair{3, 5}, std::pair{257, 3}}) {
            // GIF keeps exact colours only up to 256 of them.
            RgbImage image = std::string_view(ext) == ".gif"
                                 ? test::SolidImage(size.first, size.second, 1, 2, 3)
                                 : RandomImage(size.first, size.second, 40);
            std::string name = dir.File(std::string("round") + ext);
            ASSERT_TRUE(SaveImageFile(image, name)) << ext;
            RgbImage loaded;
            ASSERT_TRUE(LoadImageFile(loaded, name)) << ext;
            EXPECT_TRUE(test::SamePixels(loaded, image)) << ext << " " << size.first;
        }
    }
}

TEST(ImageFile, JpegRoundTripStaysClose) {
    TempDir dir;
    const RgbImage image = test::GradientImage(64, 48);
    std::string name = dir.File("smooth.jpg");
    ASSERT_TRUE(SaveImageFile(image, name));
    RgbImage loaded;
    ASSERT_TRUE(LoadImageFile(loaded, name));
    const int diff = test::MaxChannelDifference(loaded, image);
    EXPECT_GE(diff, 0);
    EXPECT_LE(diff, 4);
}

}  // namespace
}  // namespace nocturo
