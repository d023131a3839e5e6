// Language strings read from and written to language files, the language
// folders, and the start-up copy of the shipped files.

#include "lang/language_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/ini_document.h"
#include "lang/language_strings.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// Every test starts from the built-in strings and leaves them so.
class LanguageTest : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        Lng() = LanguageStrings();
        LanguageCode() = "??";
        SetLanguageFolders({});
    }
    void UseFolders(const fs::path& user, std::vector<std::string> program = {}) {
        SetLanguageFolders({user.string(), std::move(program)});
    }
    TempDir dir_;
};

TEST_F(LanguageTest, StringsWrittenInTableOrderAndReadBackWithoutRegardToCase) {
    IniDocument file;
    WriteLanguageStrings(file);
    EXPECT_EQ(file.Sections(), (std::vector<std::string>{"Strings", "Messages", "Lng", "Texts"}));
    EXPECT_EQ(file.Keys("Strings").size(), 16u);
    EXPECT_EQ(file.Keys("Messages").size(), 8u);
    EXPECT_EQ(file.Keys("Lng").size(), 6u);
    EXPECT_EQ(file.Keys("Strings").front(), "kstclearlist");
    EXPECT_EQ(file.ReadString("Lng", "lngSaveEdit"), "Do you want to save the changes?");

    const IniDocument other = IniDocument::FromBytes(
        "[STRINGS]\r\nKSTCAPTION1=Liste de gauche\r\nkstemptylist=\r\n"
        "[messages]\r\nLngQuit=Quitter ?\r\n[Lng]\r\nlngedit=  Editer  \r\n");
    ReadLanguageStrings(other);
    EXPECT_EQ(Lng().kstcaption1, "Liste de gauche");
    EXPECT_EQ(Lng().lngquit, "Quitter ?");
    EXPECT_EQ(Lng().lngEdit, "Editer");  // outer blanks are lost on reading
    // An empty or missing value keeps the text in force.
    EXPECT_EQ(Lng().kstemptylist, "Empty List");
    EXPECT_EQ(Lng().kstcaption2, "Right List");

    // A language applied as a whole leaves nothing of the one before.
    ApplyLanguageStrings(IniDocument::FromBytes("[Strings]\r\nkstcaption2=Rechte Liste\r\n"));
    EXPECT_EQ(Lng().kstcaption1, "Left List");
    EXPECT_EQ(Lng().lngquit, "Quit");
    EXPECT_EQ(Lng().kstcaption2, "Rechte Liste");
}

TEST_F(LanguageTest, HeaderNamesTheFileAndCarriesTheLanguageCode) {
    IniDocument file;
    LanguageCode() = "Fr";
    WriteLanguageHeader(file, "/somewhere/fr.txt");
    EXPECT_EQ(file.ReadString("File", "Name"), "\\lng\\fr.lng");
    EXPECT_EQ(file.ReadString("File", "App"), "Nocturo");
    EXPECT_EQ(file.ReadString("File", "Version"), "2-5-15");
    EXPECT_EQ(file.ReadString("File", "Language"), "Fr");
    EXPECT_EQ(file.Sections().front(), "File");
    EXPECT_EQ(LanguageFileName(""), "\\lng\\current.lng");

    // A file without a language code sets "??".
    ReadLanguageHeader(IniDocument::FromBytes("[Strings]\r\nkstleft=GAUCHE\r\n"));
    EXPECT_EQ(LanguageCode(), "??");
    EXPECT_EQ(Lng().kstleft, "GAUCHE");
    ReadLanguageHeader(IniDocument::FromBytes("[file]\r\nlanguage=De\r\n"));
    EXPECT_EQ(LanguageCode(), "De");
}

TEST_F(LanguageTest, PathsLiveInTheUserFolder) {
    UseFolders(dir_.Path() / "user");
    const std::string user = (dir_.Path() / "user").string() + "/";
    EXPECT_EQ(UserLanguageFolder(), user);
    EXPECT_EQ(CurrentLanguageFile(), user + "current.lng");
    EXPECT_EQ(NewLanguageFile(), user + "NEW.lng");
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"fr.lng", user + "fr.lng"},
        {"FR.LNG", user + "FR.LNG"},
        {"de.Lng", user + "de.Lng"},
        {"fr", user + "fr.lng"},
        {"/elsewhere/de.txt", user + "de.lng"},
        {"current.lng", user + "current.lng"},
        {"", user + "current.lng"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LanguageFilePath(c.name), c.path) << c.name;
    }
}

TEST_F(LanguageTest, TextsAndFilesAreCapped) {
    const fs::path file = dir_.Path() / "big.lng";
    WriteText(file, "[File]\nLanguage=xx\n[Strings]\nkstleft=" + std::string(50000, 'L') +
                        "\nkstright=R\n");
    IniDocument doc;
    std::string error;
    ASSERT_TRUE(ReadLanguageFile(file.string(), doc, &error)) << error;
    EXPECT_EQ(doc.ReadString("Strings", "kstleft"), std::string(kMaxLanguageTextBytes, 'L'));
    EXPECT_EQ(doc.ReadString("Strings", "kstright"), "R");

    WriteText(file, "[File]\nLanguage=xx\n;" + std::string(kMaxLanguageFileSize, ' ') + "\n");
    EXPECT_FALSE(ReadLanguageFile(file.string(), doc, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_FALSE(doc.HasSection("File"));
}

TEST_F(LanguageTest, ShippedFilesAreFoundBesideTheProgramAndFromItsInstalledPlace) {
    const struct {
        const char* program;
        const char* installed;
        std::vector<std::string> folders;
    } cases[] = {
        {"/usr/bin", "../share/nocturo/lng", {"/usr/bin/lng/", "/usr/share/nocturo/lng/"}},
        {"/opt/n/bin/", "../share/nocturo/lng", {"/opt/n/bin/lng/", "/opt/n/share/nocturo/lng/"}},
        {"/tmp/root/usr/bin",
         "../share/nocturo/lng",
         {"/tmp/root/usr/bin/lng/", "/tmp/root/usr/share/nocturo/lng/"}},
        {"/usr/local/bin",
         "../../share/nocturo/lng",
         {"/usr/local/bin/lng/", "/usr/share/nocturo/lng/"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShippedLanguageFolders(c.program, c.installed), c.folders) << c.program;
    }
}

TEST_F(LanguageTest, ListsLanguageFilesSortedWithoutCaseAndDuplicates) {
    std::vector<std::string> names{"stale"};
    EXPECT_FALSE(ListLanguageFiles((dir_.Path() / "missing").string(), names));
    EXPECT_TRUE(names.empty());

    WriteText(dir_.Path() / "notes.txt", "x");
    EXPECT_FALSE(ListLanguageFiles(dir_.Path().string(), names));

    for (const char* name : {"fr.lng", "En.lng", "de.LNG", "EN.lng", "zz.lng.bak"}) {
        WriteText(dir_.Path() / name, "x");
    }
    fs::create_directories(dir_.Path() / "folder.lng");
    ASSERT_TRUE(ListLanguageFiles(dir_.Path().string(), names));
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "de.LNG");
    EXPECT_TRUE(names[1] == "En.lng" || names[1] == "EN.lng");
    EXPECT_EQ(names[2], "fr.lng");
}

TEST_F(LanguageTest, StartUpCopiesShippedFilesOnceAndNeverOverwrites) {
    const fs::path user = dir_.Path() / "home" / "zelk" / "Nocturo" / "2-5-15";
    const fs::path shipped = dir_.Path() / "lng";
    const fs::path installed = dir_.Path() / "share";
    WriteText(shipped / "fr.lng", "[Strings]\r\nkstemptylist=Liste vide\r\n");
    WriteText(shipped / "current.lng", "[Strings]\r\nkstemptylist=Liste vide\r\n");
    WriteText(installed / "fr.lng", "installed");
    WriteText(installed / "de.lng", "[Strings]\r\nkstemptylist=Leere Liste\r\n");
    WriteText(user / "en.lng", "the user's own");
    UseFolders(user, {shipped.string(), installed.string()});

    // First start: the folder is made, every file is copied but the user's
    // own en.lng, a file met twice comes from the first folder, and the
    // messages come from the copied current.lng.
    StartLanguage();
    EXPECT_EQ(ReadText(user / "en.lng"), "the user's own");
    EXPECT_EQ(ReadText(user / "fr.lng"), ReadText(shipped / "fr.lng"));
    EXPECT_EQ(ReadText(user / "de.lng"), ReadText(installed / "de.lng"));
    EXPECT_TRUE(fs::exists(user / "current.lng"));
    EXPECT_EQ(Lng().kstemptylist, "Liste vide");

    // Second start: current.lng is there, so nothing is copied even when
    // the shipped files changed.
    Reset();
    UseFolders(user, {shipped.string(), installed.string()});
    WriteText(shipped / "fr.lng", "newer");
    WriteText(shipped / "it.lng", "new");
    fs::remove(user / "de.lng");
    StartLanguage();
    EXPECT_NE(ReadText(user / "fr.lng"), "newer");
    EXPECT_FALSE(fs::exists(user / "it.lng"));
    EXPECT_FALSE(fs::exists(user / "de.lng"));
    EXPECT_EQ(Lng().kstemptylist, "Liste vide");
}

TEST_F(LanguageTest, StartUpWithoutShippedFilesOrFoldersKeepsBuiltInTexts) {
    // No folders set (tests, --write-language): nothing is touched.
    StartLanguage();
    EXPECT_EQ(Lng().kstemptylist, "Empty List");

    // A missing "lng" folder: the user folder is made, nothing else.
    const fs::path user = dir_.Path() / "user";
    UseFolders(user, {(dir_.Path() / "nowhere").string()});
    StartLanguage();
    EXPECT_TRUE(fs::is_directory(user));
    EXPECT_TRUE(fs::is_empty(user));
    EXPECT_EQ(Lng().kstemptylist, "Empty List");
}

TEST_F(LanguageTest, StartUpWithAnUnwritableUserFolderGoesOnInEnglish) {
    // The user folder cannot be made: its parent is a file.
    WriteText(dir_.Path() / "blocker", "x");
    WriteText(dir_.Path() / "lng" / "current.lng", "[Strings]\r\nkstemptylist=Liste vide\r\n");
    UseFolders(dir_.Path() / "blocker" / "user", {(dir_.Path() / "lng").string()});
    StartLanguage();
    EXPECT_EQ(Lng().kstemptylist, "Empty List");
    EXPECT_EQ(CopyLanguageFiles({(dir_.Path() / "lng").string()},
                                (dir_.Path() / "blocker" / "user").string()),
              0);
}

TEST_F(LanguageTest, TranslatedPlaceholdersCannotReadPastTheirArguments) {
    // Texts a file may carry in place of "Loading Error: %s" and
    // "%d File(s) in Error": wrong, doubled, foreign or cut directives.
    const IniDocument file = IniDocument::FromBytes(
        "[Strings]\r\nkstunknownformat=Erreur %d %s %s %n %x %\r\n"
        "[Messages]\r\nlngfilesinerror=%s %d %d %*d %-10s fichiers\r\n");
    ReadLanguageStrings(file);
    EXPECT_EQ(FormatText(Lng().kstunknownformat, std::string_view("a.jpg")),
              "Erreur %d a.jpg %s %n %x %");
    EXPECT_EQ(FormatText(Lng().lngfilesinerror, 3LL), "%s 3 %d %*d %-10s fichiers");
    EXPECT_EQ(FormatText("100%% %s", std::string_view("done")), "100% done");

    // Several values go in order, each only into a directive of its kind.
    const struct {
        const char* format;
        const char* expected;
    } cases[] = {
        {"Cannot save %s: %s", "Cannot save a.jpg: full"},
        {"%s : %s", "a.jpg : full"},
        {"%d x %d in %s", "%d x %d in a.jpg"},
        {"%s", "a.jpg"},
        {"%s %s %s", "a.jpg full %s"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatText(c.format, "a.jpg", std::string("full")), c.expected) << c.format;
    }
    EXPECT_EQ(FormatText("%d x %d: %s", 3, 4LL, "a.bmp"), "3 x 4: a.bmp");
    EXPECT_EQ(FormatText("%s: %d x %d", 3, 4LL, "a.bmp"), "%s: 3 x 4");
}

TEST_F(LanguageTest, ErrorsOfTheLowerLayersComeInTheLanguageInForce) {
    ApplyLanguageStrings(IniDocument::FromBytes(
        "[Texts]\r\ntxtCannotReadFile=Lecture de « %s » impossible : %s\r\n"
        "txtErrIsFolder=C'est un dossier\r\ntxtFileTooLarge=fichier trop grand\r\n"
        "txtAllImages=Toutes les images\r\ntxtFilesOfType=Fichiers %s\r\n"));
    // The system's texts the table names are its own, word for word.
    const std::pair<std::string LanguageStrings::*, int> system[] = {
        {&LanguageStrings::txtErrNoEntry, ENOENT},
        {&LanguageStrings::txtErrAccess, EACCES},
        {&LanguageStrings::txtErrNoSpace, ENOSPC},
        {&LanguageStrings::txtErrIsFolder, EISDIR},
        {&LanguageStrings::txtErrNotFolder, ENOTDIR},
        {&LanguageStrings::txtErrReadOnly, EROFS},
        {&LanguageStrings::txtErrQuota, EDQUOT},
        {&LanguageStrings::txtErrInputOutput, EIO},
        {&LanguageStrings::txtErrNameTooLong, ENAMETOOLONG},
        {&LanguageStrings::txtErrNoMemory, ENOMEM},
    };
    for (const auto& [text, code] : system) {
        EXPECT_EQ(LanguageStrings().*text, std::strerror(code));
    }

    IniDocument doc;
    std::string error;
    const std::string folder = dir_.Path().string();
    ASSERT_FALSE(doc.LoadFile(folder, &error));
    EXPECT_EQ(LocalizedError(error), "Lecture de « " + folder + " » impossible : C'est un dossier");
    EXPECT_EQ(LocalizedError("Cannot read \"a\": the file is too large"),
              "Lecture de « a » impossible : fichier trop grand");
    EXPECT_EQ(LocalizedError("something else"), "something else");
    EXPECT_EQ(LocalizedError(""), "");

    EXPECT_EQ(LocalizedFilter("All Images|*.BMP;*.JPG|PNG Files|*.PNG|All Files (*.*)|*.*"),
              "Toutes les images|*.BMP;*.JPG|Fichiers PNG|*.PNG|All Files (*.*)|*.*");
    EXPECT_EQ(LocalizedFilter("*.txt|*.txt|*.*|*.*"), "*.txt|*.txt|*.*|*.*");
}

}  // namespace
}  // namespace nocturo
