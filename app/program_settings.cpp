#include "app/program_settings.h"

#include <QString>
#include <filesystem>

#include "core/ini_document.h"
#include "lang/language_files.h"
#include "widgets/file_places.h"

namespace nocturo {

namespace {

constexpr const char* kRecentSection = "RecentLists";
constexpr const char* kPlacesSection = "Places";
constexpr FileKind kKinds[] = {FileKind::Lists, FileKind::Results, FileKind::Masks,
                               FileKind::Languages, FileKind::Frames};

}  // namespace

std::string ProgramSettingsFile() {
    return GetLanguageFolders().user + "settings.ini";
}

void WritePlaces(const FilePlaces& places, IniDocument& settings) {
    for (FileKind kind : kKinds) {
        const FilePlace& place = places.Last(kind);
        if (place.folder.isEmpty()) {
            continue;
        }
        const std::string key = FilePlaces::Key(kind).toStdString();
        settings.WriteString(kPlacesSection, key + "Folder", place.folder.toStdString());
        settings.WriteString(kPlacesSection, key + "Name", place.name.toStdString());
        settings.WriteInteger(kPlacesSection, key + "Filter", place.filterIndex);
    }
}

void ReadPlaces(const IniDocument& settings, FilePlaces& places) {
    for (FileKind kind : kKinds) {
        const std::string key = FilePlaces::Key(kind).toStdString();
        const std::string folder = settings.ReadString(kPlacesSection, key + "Folder", "");
        if (folder.empty()) {
            continue;
        }
        FilePlace place;
        place.folder = QString::fromStdString(folder);
        place.name = QString::fromStdString(settings.ReadString(kPlacesSection, key + "Name", ""));
        place.filterIndex = std::max(0, settings.ReadInteger(kPlacesSection, key + "Filter", 0));
        places.Set(kind, place);
    }
}

void LoadProgramSettings(const std::string& path, RecentFiles& recentLists, FilePlaces& places) {
    IniDocument settings;
    if (path.empty() || !settings.LoadFile(path)) {
        return;
    }
    recentLists.Read(settings, kRecentSection);
    ReadPlaces(settings, places);
}

bool SaveProgramSettings(const std::string& path, const RecentFiles& recentLists,
                         const FilePlaces& places) {
    if (path.empty()) {
        return false;
    }
    IniDocument settings;
    if (!settings.LoadFile(path)) {
        return false;  // never replace a file that could not be read
    }
    recentLists.Write(settings, kRecentSection);
    WritePlaces(places, settings);
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ignored);
    }
    return settings.SaveFile(path);
}

}  // namespace nocturo
