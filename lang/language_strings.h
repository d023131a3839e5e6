#pragma once
// The program-wide message texts. Each starts as its built-in English (or,
// for the language file texts, French) default; a language file may replace
// any of them.

#include <string>
#include <string_view>

namespace nocturo {

class IniDocument;

struct LanguageStrings {
    // Section "Strings"
    std::string kstclearlist = "Clear List?";
    std::string kstclearselection = "Clear Selection";
    std::string kstcaption1 = "Left List";
    std::string kstcaption2 = "Right List";
    std::string kstproc = "Processed images";
    std::string kstnopicture = "No selected picture";
    std::string kstemptylist = "Empty List";
    std::string kstunknownformat = "Loading Error: %s";
    std::string kstoverwrite = "OverWrite? %s";
    std::string kstfileexists = "File exists";
    std::string kstopendark = "Open Dark File";
    std::string kstopenflat = "Open Flat Field File";
    std::string kstloadcaption = "Load %s current list";
    std::string kstsavecaption = "Save %s current list";
    std::string kstleft = "LEFT";
    std::string kstright = "RIGHT";
    // Section "Messages"
    std::string lngquit = "Quitter?";
    std::string lnginpause = "Program in pause... Do you want to Stop process";
    std::string lngstopuser = "STOP by User";
    std::string lngsaveprocimage = "Save Processed Image?";
    std::string lngfilesinerror = "%d File(s) in Error";
    std::string lngtestpictures = "Test Pictures";
    std::string lngprocpictures = "Processed Pictures";
    std::string lngimgmax = "Image with Maximum";
    // Section "Lng"
    std::string lngListFilter = "Fichiers Liste *.lst|*.lst|Tous les Fichiers (*.*)|*.*";
    std::string lngFilter = "Fichiers Langue (*.lng)|*.lng|Tous les Fichiers (*.*)|*.*";
    std::string lngSaveLng = "Enregistrer un Fichier Langue";
    std::string lngOpenLng = "Lire un Fichier Langue";
    std::string lngEdit = "Editer";
    std::string lngSaveEdit = "Voulez-vous enregistrer les  modifications ?";
};

/// One language string's place in a language file.
struct LanguageStringKey {
    std::string_view section;
    std::string_view key;
    std::string LanguageStrings::*member;
};

/// The 30 strings in the order a language file lists them.
inline constexpr int kLanguageStringCount = 30;
extern const LanguageStringKey kLanguageStringKeys[kLanguageStringCount];

/// The strings in force, program-wide (read and changed on the GUI thread).
LanguageStrings& Lng();

/// The language code of the file applied last ("??" until one names it, or
/// when the file applied had none).
std::string& LanguageCode();

/// Replaces each string that the document gives a non-empty value; keys and
/// sections match without regard to case.
void ReadLanguageStrings(const IniDocument& file);
/// Writes the three sections with all 30 strings, in table order.
void WriteLanguageStrings(IniDocument& file);

/// Formats a language string that holds one "%s" or "%d", as the program's
/// texts do, without trusting the text: a translated text with a missing,
/// doubled or foreign directive never reads arguments that are not there.
std::string FormatText(std::string_view format, std::string_view argument);
std::string FormatText(std::string_view format, long long argument);

}  // namespace nocturo
