#pragma once
// What the window remembers between sessions: the recent list files and the
// folder of each kind of file dialog. Kept in "settings.ini" in the user's
// language folder, beside "current.lng".

#include <string>

#include "lists/recent_files.h"

namespace nocturo {

class FilePlaces;
class IniDocument;

/// The settings file in the user's folder.
std::string ProgramSettingsFile();

/// Writes the places into the settings (section "Places", one key per kind
/// with its folder, name and filter index).
void WritePlaces(const FilePlaces& places, IniDocument& settings);
/// Reads the places back; a kind without a folder keeps what it had.
void ReadPlaces(const IniDocument& settings, FilePlaces& places);

/// Reads the recent lists and the places from `path`; a missing or
/// unreadable file changes nothing.
void LoadProgramSettings(const std::string& path, RecentFiles& recentLists, FilePlaces& places);
/// Writes them into `path`, keeping whatever else the file holds. False when
/// the file cannot be written.
bool SaveProgramSettings(const std::string& path, const RecentFiles& recentLists,
                         const FilePlaces& places);

}  // namespace nocturo
