#include "lang/language_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/ini_document.h"
#include "lang/language_strings.h"

namespace nocturo {

namespace fs = std::filesystem;

namespace {

LanguageFolders& Folders() {
    static LanguageFolders folders;
    return folders;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

bool IsLanguageFileName(const fs::path& name) {
    return Lower(name.extension().string()) == ".lng";
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

}  // namespace

std::vector<std::string> ShippedLanguageFolders(const std::string& programFolder,
                                                const std::string& installedFolder) {
    const fs::path program = fs::path(programFolder);
    return {WithSeparator((program / "lng").lexically_normal().string()),
            WithSeparator((program / installedFolder).lexically_normal().string())};
}

void SetLanguageFolders(LanguageFolders folders) {
    folders.user = WithSeparator(std::move(folders.user));
    for (std::string& folder : folders.program) {
        folder = WithSeparator(std::move(folder));
    }
    Folders() = std::move(folders);
}

const LanguageFolders& GetLanguageFolders() {
    return Folders();
}

std::string UserLanguageFolder() {
    return Folders().user;
}

std::string CurrentLanguageFile() {
    return UserLanguageFolder() + "current.lng";
}

std::string LanguageFilePath(std::string_view name) {
    if (name.empty()) {
        return CurrentLanguageFile();
    }
    const fs::path file = fs::path(std::string(name)).filename();
    // "FR.LNG" is a language file as it is: another extension would name a
    // file that is not there.
    if (IsLanguageFileName(file)) {
        return UserLanguageFolder() + file.string();
    }
    return UserLanguageFolder() + file.stem().string() + ".lng";
}

std::string NewLanguageFile() {
    return UserLanguageFolder() + "NEW.lng";
}

bool ListLanguageFiles(const std::string& folder, std::vector<std::string>& list) {
    list.clear();
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        return false;
    }
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) {
            break;
        }
        const fs::path name = it->path().filename();
        std::error_code typeError;
        if (IsLanguageFileName(name) && !it->is_directory(typeError)) {
            list.push_back(name.string());
        }
    }
    std::sort(list.begin(), list.end(),
              [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    list.erase(std::unique(
                   list.begin(), list.end(),
                   [](const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }),
               list.end());
    return !list.empty();
}

int CopyLanguageFiles(const std::vector<std::string>& from, const std::string& to) {
    std::error_code error;
    fs::create_directories(to, error);
    int copied = 0;
    for (const std::string& folder : from) {
        std::vector<std::string> names;
        if (folder.empty() || !ListLanguageFiles(folder, names)) {
            continue;
        }
        for (const std::string& name : names) {
            // skip_existing: a file the user already has is never replaced,
            // whatever the shipped one holds.
            std::error_code copyError;
            if (fs::copy_file(fs::path(folder) / name, fs::path(to) / name,
                              fs::copy_options::skip_existing, copyError)) {
                ++copied;
            }
        }
    }
    return copied;
}

std::string LanguageFileName(std::string_view path) {
    if (path.empty()) {
        return "\\lng\\current.lng";
    }
    return "\\lng\\" + fs::path(std::string(path)).filename().stem().string() + ".lng";
}

void WriteLanguageHeader(IniDocument& file, std::string_view path) {
    file.WriteString("File", "Name", LanguageFileName(path));
    file.WriteString("File", "App", "Nocturo");
    file.WriteString("File", "Version", "2-5-15");
    file.WriteString("File", "Language", LanguageCode());
    WriteLanguageStrings(file);
}

void ReadLanguageHeader(const IniDocument& file) {
    LanguageCode() = file.ReadString("File", "Language", "??");
    ApplyLanguageStrings(file);
}

bool ReadLanguageFile(const std::string& path, IniDocument& file, std::string* error) {
    if (!file.LoadFile(path, error, kMaxLanguageFileSize)) {
        file.Clear();
        return false;
    }
    file.CapValues(kMaxLanguageTextBytes);
    return true;
}

void StartLanguage() {
    if (UserLanguageFolder().empty()) {
        return;
    }
    std::error_code error;
    if (!fs::exists(CurrentLanguageFile(), error)) {
        CopyLanguageFiles(Folders().program, UserLanguageFolder());
    }
    IniDocument file;
    if (ReadLanguageFile(CurrentLanguageFile(), file)) {
        ReadLanguageStrings(file);
    }
}

}  // namespace nocturo
