#include "core/ini_document.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace nocturo {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

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

// Built by append: GCC 12 warns falsely on "literal" + std::string temporaries.
std::string Name(const char* prefix, int i) {
    std::string s = prefix;
    s += std::to_string(i);
    return s;
}

class TempDir {
  public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "nocturo-ini-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    Strings Names() const {
        Strings names;
        for (const auto& e : fs::directory_iterator(path_)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path path_;
};

// A file as a user might edit it by hand: capitals, blanks, comments,
// duplicates, stray lines.
const char* const kHandEdited =
    "stray line before any section\r\n"
    "key=ignored\r\n"
    "  [ Application ]  \r\n"
    "NAME = Nocturo\r\n"
    "; a comment = not a key\r\n"
    "\t\r\n"
    "[LIST]\n"
    "   Count   =   3   \n"
    "count=99\n"
    "a line without equals\n"
    "[L0000]\r"
    "NAME=/sky/a b.jpg\r"
    "SLCT = 2\r"
    "Chck=yes\r"
    "[l0001]\n"
    "name==/sky/eq=sign.jpg\n"
    "chck=0x0\n"
    "[list]\n"
    "count=7\n"
    "extra=only here\n"
    "[]\n"
    "empty=section name\n"
    "[\n"
    "after=bracket\n";

TEST(IniDocumentTest, ReadsAHandEditedFileByTheReadingRules) {
    const IniDocument doc = IniDocument::FromBytes(kHandEdited);

    // Lines before the first section belong nowhere.
    EXPECT_FALSE(doc.HasKey("", "key"));
    // Names and keys match without regard to case; blanks around '=' go.
    EXPECT_EQ(doc.ReadString("application", "Name", "?"), "Nocturo");
    EXPECT_EQ(doc.ReadString("APPLICATION", "name", "?"), "Nocturo");
    // First duplicate key wins; first duplicate section wins.
    EXPECT_EQ(doc.ReadInteger("List", "count", -1), 3);
    EXPECT_FALSE(doc.HasKey("List", "extra"));
    // Comments are no keys; a line without '=' matches nothing.
    EXPECT_FALSE(doc.HasKey("Application", "; a comment"));
    EXPECT_FALSE(doc.HasKey("List", "a line without equals"));
    // Lone CR line ends, blanks inside values kept.
    EXPECT_EQ(doc.ReadString("L0000", "name"), "/sky/a b.jpg");
    EXPECT_TRUE(doc.ReadBool("L0000", "slct", false));   // "2"
    EXPECT_TRUE(doc.ReadBool("L0000", "chck", true));    // "yes" gives the default
    EXPECT_FALSE(doc.ReadBool("L0000", "chck", false));  // ... whichever it is
    // The first '=' splits.
    EXPECT_EQ(doc.ReadString("L0001", "name"), "=/sky/eq=sign.jpg");
    EXPECT_FALSE(doc.ReadBool("L0001", "chck", true));  // "0x0"
    // "[]" is a section with an empty name; "[" alone is a stray line.
    EXPECT_EQ(doc.ReadString("", "empty"), "section name");
    EXPECT_FALSE(doc.HasSection("["));
    // Missing sections and keys give the caller's default.
    EXPECT_EQ(doc.ReadString("nowhere", "name", "dflt"), "dflt");
    EXPECT_EQ(doc.ReadInteger("L0000", "missing", 42), 42);

    EXPECT_EQ(doc.Sections(), (Strings{"Application", "LIST", "L0000", "l0001", ""}));
    EXPECT_EQ(doc.SectionCount(), 6u);
    EXPECT_EQ(doc.Keys("list"), (Strings{"Count"}));
    EXPECT_EQ(doc.Keys("L0000"), (Strings{"NAME", "SLCT", "Chck"}));
    EXPECT_TRUE(doc.Keys("nowhere").empty());
}

TEST(IniDocumentTest, LookupsInAnyOrderFindTheFirstSection) {
    // Sections are found through the index and, for walks section by
    // section, through the last one found: both give the first of a name.
    IniDocument doc = IniDocument::FromBytes("[a]\nk=1\n[b]\nk=2\n[A]\nk=3\n[c]\nk=4\n");
    const std::pair<const char*, const char*> walk[] = {
        {"a", "1"}, {"b", "2"}, {"A", "1"}, {"c", "4"}, {"b", "2"}, {"a", "1"},
        {"a", "1"}, {"c", "4"}, {"B", "2"}, {"x", "-"}, {"a", "1"}};
    for (const auto& [section, value] : walk) {
        EXPECT_EQ(doc.ReadString(section, "k", "-"), value) << section;
    }
    doc.WriteString("b", "k", "20");
    doc.WriteString("A", "k", "10");
    doc.WriteString("d", "k", "5");
    doc.WriteString("a", "j", "6");
    EXPECT_EQ(doc.ToBytes(),
              "[a]\r\nk=10\r\nj=6\r\n\r\n[b]\r\nk=20\r\n\r\n[A]\r\nk=3\r\n\r\n"
              "[c]\r\nk=4\r\n\r\n[d]\r\nk=5\r\n\r\n");
    EXPECT_TRUE(doc.EraseSection("b"));
    EXPECT_EQ(doc.ReadString("a", "k"), "10");
    EXPECT_EQ(doc.ReadString("c", "k"), "4");
    EXPECT_EQ(doc.ReadString("d", "k"), "5");
}

TEST(IniDocumentTest, IntegersAndBooleans) {
    struct Case {
        const char* value;
        int integer;  // with default -99
        int boolean;  // 0, 1, or -1 for "the default"
    };
    const Case cases[] = {
        {"0", 0, 0},
        {"1", 1, 1},
        {"2", 2, 1},
        {"-1", -1, 1},
        {"+17", 17, 1},
        {"007", 7, 1},
        {"0x0", 0, 0},
        {"0x1F", 31, 1},
        {"0X10", 16, 1},
        {"0xffffffff", -1, 1},
        {"0x7FFFFFFF", 2147483647, 1},
        {"2147483647", 2147483647, 1},
        {"-2147483648", -2147483647 - 1, 1},
        {"2147483648", -99, -1},
        {"0x100000000", -99, -1},
        {"0x", -99, -1},
        {"0xG1", -99, -1},
        {"-0x10", -99, -1},
        {"yes", -99, -1},
        {"true", -99, -1},
        {"", -99, -1},
        {"12abc", -99, -1},
        {"1.5", -99, -1},
        {"-", -99, -1},
        {"+", -99, -1},
        {"1 2", -99, -1},
        {"$10", -99, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        IniDocument doc;
        doc.WriteString("s", "k", c.value);
        EXPECT_EQ(doc.ReadInteger("s", "k", -99), c.integer);
        if (c.boolean < 0) {
            EXPECT_TRUE(doc.ReadBool("s", "k", true));
            EXPECT_FALSE(doc.ReadBool("s", "k", false));
        } else {
            EXPECT_EQ(doc.ReadBool("s", "k", c.boolean == 0), c.boolean == 1);
        }
    }
}

TEST(IniDocumentTest, WritesTheListLayoutByteForByte) {
    IniDocument doc;
    doc.WriteString("Application", "name", "Nocturo");
    doc.WriteString("Application", "Version", "2-5-15");
    doc.WriteInteger("List", "count", 2);
    doc.WriteString("L0000", "name", "D:\\Sky\\IMG_0001.JPG");
    doc.WriteBool("L0000", "slct", true);
    doc.WriteBool("L0000", "chck", true);
    doc.WriteString("L0001", "name", "D:\\Sky\\IMG_0002.JPG");
    doc.WriteBool("L0001", "slct", false);
    doc.WriteBool("L0001", "chck", false);
    EXPECT_EQ(doc.ToBytes(),
              "[Application]\r\nname=Nocturo\r\nVersion=2-5-15\r\n\r\n"
              "[List]\r\ncount=2\r\n\r\n"
              "[L0000]\r\nname=D:\\Sky\\IMG_0001.JPG\r\nslct=1\r\nchck=1\r\n\r\n"
              "[L0001]\r\nname=D:\\Sky\\IMG_0002.JPG\r\nslct=0\r\nchck=0\r\n\r\n");
    EXPECT_EQ(IniDocument().ToBytes(), "");
}

TEST(IniDocumentTest, WritingOverAReadDocument) {
    IniDocument doc = IniDocument::FromBytes(
        "; header comment\n"
        "[Other]\n"
        "keep=me\n"
        "\n"
        "[List]\n"
        "COUNT=5\n"
        "count=6\n"
        "note without equals\n"
        "[list]\n"
        "count=8\n");
    doc.WriteInteger("list", "count", 3);   // replaces the first line, takes this key
    doc.WriteString("List", "added", "x");  // appended at the end of the first List
    doc.WriteString("New", "a", "b");       // new section at the end
    EXPECT_EQ(doc.ToBytes(),
              "[Other]\r\nkeep=me\r\n\r\n"
              "[List]\r\ncount=3\r\ncount=6\r\nnote without equals\r\nadded=x\r\n\r\n"
              "[list]\r\ncount=8\r\n\r\n"
              "[New]\r\na=b\r\n\r\n");

    // Erasing a key removes all its lines; erasing a section all its copies.
    EXPECT_TRUE(doc.EraseKey("LIST", "count"));
    EXPECT_FALSE(doc.HasKey("List", "count"));
    EXPECT_FALSE(doc.EraseKey("List", "count"));
    EXPECT_TRUE(doc.EraseSection("list"));
    EXPECT_FALSE(doc.HasSection("List"));
    EXPECT_FALSE(doc.EraseSection("list"));
    EXPECT_EQ(doc.Sections(), (Strings{"Other", "New"}));
    // A section written after erasure comes at the end.
    doc.WriteString("List", "count", "1");
    EXPECT_EQ(doc.Sections(), (Strings{"Other", "New", "List"}));
    doc.Clear();
    EXPECT_EQ(doc.SectionCount(), 0u);
    EXPECT_FALSE(doc.HasSection("Other"));
}

TEST(IniDocumentTest, LargeSectionsKeepTheFirstDuplicateAndOrder) {
    // Past a few lines a section is searched through its key index: the same
    // answers as the line-by-line search.
    std::string text = "[Strings]\n";
    for (int i = 0; i < 100; ++i) {
        text += Name("Key", i) + Name("=v", i) + "\n";
    }
    text += "KEY5=duplicate\n";
    IniDocument doc = IniDocument::FromBytes(text);
    EXPECT_EQ(doc.ReadString("strings", "key5"), "v5");
    EXPECT_EQ(doc.ReadString("strings", "KEY99"), "v99");
    EXPECT_EQ(doc.Keys("Strings").size(), 100u);
    const auto values = doc.Values("Strings");
    ASSERT_EQ(values.size(), 100u);
    EXPECT_EQ(values[5], (std::pair<std::string, std::string>{"Key5", "v5"}));

    doc.WriteString("Strings", "key5", "new");
    EXPECT_EQ(doc.ReadString("Strings", "Key5"), "new");
    doc.WriteString("Strings", "Key100", "v100");
    EXPECT_EQ(doc.ReadString("Strings", "key100"), "v100");
    EXPECT_TRUE(doc.EraseKey("Strings", "key5"));
    EXPECT_EQ(doc.ReadString("Strings", "key5", "gone"), "gone");
    EXPECT_EQ(doc.ReadString("Strings", "key6"), "v6");
    EXPECT_EQ(doc.Keys("Strings").size(), 100u);
}

TEST(IniDocumentTest, TextEncodings) {
    // Windows-1252: accents and the 0x80..0x9F block become UTF-8.
    const IniDocument ansi =
        IniDocument::FromBytes("[L0000]\r\nname=C:\\Ciel\\\xE9t\xE9 \x80 \x9C\x81.jpg\r\n");
    EXPECT_EQ(ansi.ReadString("L0000", "name"),
              "C:\\Ciel\\\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xC5\x93\xC2\x81.jpg");

    // UTF-8 with or without a byte-order mark is taken as it is.
    const std::string utf8 = "[L0000]\nname=/ciel/\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.jpg\n";
    EXPECT_EQ(IniDocument::FromBytes(utf8).ReadString("L0000", "name"),
              "/ciel/\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.jpg");
    EXPECT_EQ(IniDocument::FromBytes("\xEF\xBB\xBF" + utf8).ReadString("L0000", "name"),
              "/ciel/\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.jpg");
    EXPECT_EQ(IniDocument::FromBytes("\xEF\xBB\xBF" + utf8).Sections(), (Strings{"L0000"}));

    // No byte-order mark is written; UTF-8 goes out unchanged.
    IniDocument doc;
    doc.WriteString("L0000", "name", "/ciel/\xC3\xA9t\xC3\xA9.jpg");
    EXPECT_EQ(doc.ToBytes(), "[L0000]\r\nname=/ciel/\xC3\xA9t\xC3\xA9.jpg\r\n\r\n");

    // Any byte string survives a write and a read, also names in an 8-bit
    // encoding (here Latin-1) next to UTF-8 ones.
    const std::vector<std::string> names = {
        "/ciel/\xE9t\xE9.jpg",                   // Latin-1
        "/ciel/\xC3\xA9t\xC3\xA9.jpg",           // UTF-8
        "/ciel/\xED\xB2\x80 looks escaped.jpg",  // bytes of an escape, as a name
        "/ciel/\xC3 cut \xE2\x82.jpg",           // truncated sequences
        "/ciel/\xFF\xFE\x80.jpg",
    };
    IniDocument mixed;
    for (std::size_t i = 0; i < names.size(); ++i) {
        mixed.WriteString(Name("S", static_cast<int>(i)), "name", names[i]);
    }
    const std::string bytes = mixed.ToBytes();
    EXPECT_TRUE(IsUtf8(bytes));
    const IniDocument back = IniDocument::FromBytes(bytes);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(back.ReadString(Name("S", static_cast<int>(i)), "name"), names[i]) << i;
    }

    // Line breaks cannot hide a line inside a value; '=' cannot split a key.
    IniDocument hostile;
    hostile.WriteString("L0000", "name", "a\r\n[List]\ncount=999999999");
    hostile.WriteString("L0000", "k=ey", "v");
    const IniDocument read = IniDocument::FromBytes(hostile.ToBytes());
    EXPECT_EQ(read.Sections(), (Strings{"L0000"}));
    EXPECT_EQ(read.ReadString("L0000", "name"), "a??[List]?count=999999999");
    EXPECT_EQ(read.ReadString("L0000", "k?ey"), "v");
}

TEST(IniDocumentTest, EachLineIsDecodedOnItsOwn) {
    // A Windows-1252 line leaves the UTF-8 lines of the same text alone, and
    // a byte-order mark goes whatever follows it.
    const std::string utf8Line = "[a]\r\nname=\xC3\x89t\xC3\xA9\r\n";
    const std::string ansiLine = "[b]\r\nname=\xC9t\xE9\r\n";
    for (const std::string& text :
         {utf8Line + ansiLine, ansiLine + utf8Line, "\xEF\xBB\xBF" + utf8Line + ansiLine,
          "\xEF\xBB\xBF" + ansiLine + utf8Line}) {
        const IniDocument doc = IniDocument::FromBytes(text);
        EXPECT_EQ(doc.ReadString("a", "name"), "\xC3\x89t\xC3\xA9") << text;
        EXPECT_EQ(doc.ReadString("b", "name"), "\xC3\x89t\xC3\xA9") << text;
        EXPECT_EQ(doc.Sections().front(), text.find("[a]") < text.find("[b]") ? "a" : "b");
    }
    EXPECT_EQ(DecodeLine("\xC9t\xE9"), "\xC3\x89t\xC3\xA9");
    EXPECT_EQ(DecodeLine("/\xED\xB2\x80.jpg"), "/\x80.jpg");
}

TEST(IniDocumentTest, CapValuesKeepsWholeCharacters) {
    IniDocument doc = IniDocument::FromBytes("[s]\nshort=abc\nlong=ab\xC3\xA9\xC3\xA9\n");
    doc.CapValues(3);
    EXPECT_EQ(doc.ReadString("s", "short"), "abc");
    EXPECT_EQ(doc.ReadString("s", "long"), "ab");
}

TEST(IniDocumentTest, Utf8Validation) {
    struct Case {
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"plain", true},
        {"\xC3\xA9", true},
        {"\xF0\x9F\x8C\x8C", true},   // U+1F30C
        {"\xC0\xAF", false},          // overlong
        {"\xE0\x80\xAF", false},      // overlong
        {"\xED\xA0\x80", false},      // high surrogate
        {"\xED\xB2\x80", true},       // the escape of byte 0x80
        {"\xED\xB3\xBF", true},       // the escape of byte 0xFF
        {"\xF4\x90\x80\x80", false},  // beyond U+10FFFF
        {"\xE9t\xE9", false},         // Latin-1
        {"\xC3", false},              // truncated
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsUtf8(c.bytes), c.valid) << c.bytes;
    }
}

TEST(IniDocumentTest, FilesLoadAndSave) {
    TempDir dir;
    const fs::path file = dir.path() / "list.txt";

    // A missing file reads as an empty document.
    IniDocument doc = IniDocument::FromBytes("[Keep]\na=1\n");
    std::string error;
    EXPECT_TRUE(doc.LoadFile(file.string(), &error));
    EXPECT_EQ(doc.SectionCount(), 0u);

    doc.WriteString("List", "count", "1");
    doc.WriteString("L0000", "name", "/x/\xC3\xA9 y.jpg");
    ASSERT_TRUE(doc.SaveFile(file.string(), &error)) << error;
    EXPECT_EQ(ReadAll(file), doc.ToBytes());
    EXPECT_EQ(dir.Names(), (Strings{"list.txt"}));  // no temporary left behind

    IniDocument loaded;
    ASSERT_TRUE(loaded.LoadFile(file.string(), &error)) << error;
    EXPECT_EQ(loaded.ReadString("L0000", "name"), "/x/\xC3\xA9 y.jpg");

    // A folder cannot be read: false, a message, the document unchanged.
    error.clear();
    EXPECT_FALSE(loaded.LoadFile(dir.path().string(), &error));
    EXPECT_NE(error.find(dir.path().string()), std::string::npos) << error;
    EXPECT_EQ(loaded.ReadString("L0000", "name"), "/x/\xC3\xA9 y.jpg");

    // Pipes and devices are no files: refused without waiting for a writer
    // that never comes, and never replaced.
    const fs::path pipe = dir.path() / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    error.clear();
    EXPECT_FALSE(loaded.LoadFile(pipe.string(), &error));
    EXPECT_NE(error.find("regular"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(doc.SaveFile(pipe.string(), &error));
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_FALSE(loaded.LoadFile("/dev/zero", &error));
    EXPECT_EQ(loaded.ReadString("L0000", "name"), "/x/\xC3\xA9 y.jpg");
    fs::remove(pipe);

    // Saving onto a folder, or into a missing one, fails with a message.
    error.clear();
    EXPECT_FALSE(doc.SaveFile(dir.path().string(), &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(doc.SaveFile((dir.path() / "missing" / "x.txt").string(), &error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

TEST(IniDocumentTest, SavingKeepsPermissionsAndFollowsLinks) {
    TempDir dir;
    const fs::path file = dir.path() / "list.txt";
    const fs::path link = dir.path() / "link.txt";
    WriteAll(file, "[Old]\r\n");
    ::chmod(file.c_str(), 0640);
    fs::create_symlink(file, link);

    IniDocument doc;
    doc.WriteString("New", "a", "b");
    std::string error;
    ASSERT_TRUE(doc.SaveFile(link.string(), &error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(file), "[New]\r\na=b\r\n\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(IniDocumentTest, AFullDiskLeavesTheOldFileIntact) {
    TempDir dir;
    const fs::path file = dir.path() / "list.txt";
    const std::string old = "[List]\r\ncount=5\r\n\r\n";
    WriteAll(file, old);

    IniDocument doc;
    for (int i = 0; i < 2000; ++i) {
        doc.WriteString(Name("L", i), "name", std::string(100, 'x'));
    }
    // A file size limit makes writes fail as a full disk does.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool saved_ok = doc.SaveFile(file.string(), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved_ok);
    EXPECT_NE(error.find("list.txt"), std::string::npos) << error;
    EXPECT_EQ(ReadAll(file), old);
    EXPECT_EQ(dir.Names(), (Strings{"list.txt"}));
}

TEST(IniDocumentTest, AReadOnlyFolderLeavesTheOldFileIntact) {
    TempDir dir;
    const fs::path file = dir.path() / "list.txt";
    WriteAll(file, "[List]\r\ncount=5\r\n\r\n");
    ::chmod(dir.path().c_str(), 0555);
    if (::access(dir.path().c_str(), W_OK) == 0) {
        GTEST_SKIP() << "permissions do not bind this user";
    }
    IniDocument doc;
    doc.WriteString("List", "count", "3");
    std::string error;
    EXPECT_FALSE(doc.SaveFile(file.string(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadAll(file), "[List]\r\ncount=5\r\n\r\n");
}

}  // namespace
}  // namespace nocturo
