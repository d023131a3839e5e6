#include "lang/language_strings.h"

#include "core/ini_document.h"

namespace nocturo {

const LanguageStringKey kLanguageStringKeys[kLanguageStringCount] = {
    {"Strings", "kstclearlist", &LanguageStrings::kstclearlist},
    {"Strings", "kstclearselection", &LanguageStrings::kstclearselection},
    {"Strings", "kstcaption1", &LanguageStrings::kstcaption1},
    {"Strings", "kstcaption2", &LanguageStrings::kstcaption2},
    {"Strings", "kstproc", &LanguageStrings::kstproc},
    {"Strings", "kstnopicture", &LanguageStrings::kstnopicture},
    {"Strings", "kstemptylist", &LanguageStrings::kstemptylist},
    {"Strings", "kstunknownformat", &LanguageStrings::kstunknownformat},
    {"Strings", "kstoverwrite", &LanguageStrings::kstoverwrite},
    {"Strings", "kstfileexists", &LanguageStrings::kstfileexists},
    {"Strings", "kstopendark", &LanguageStrings::kstopendark},
    {"Strings", "kstopenflat", &LanguageStrings::kstopenflat},
    {"Strings", "kstloadcaption", &LanguageStrings::kstloadcaption},
    {"Strings", "kstsavecaption", &LanguageStrings::kstsavecaption},
    {"Strings", "kstleft", &LanguageStrings::kstleft},
    {"Strings", "kstright", &LanguageStrings::kstright},
    {"Messages", "lngquit", &LanguageStrings::lngquit},
    {"Messages", "lnginpause", &LanguageStrings::lnginpause},
    {"Messages", "lngstopuser", &LanguageStrings::lngstopuser},
    {"Messages", "lngsaveprocimage", &LanguageStrings::lngsaveprocimage},
    {"Messages", "lngfilesinerror", &LanguageStrings::lngfilesinerror},
    {"Messages", "lngtestpictures", &LanguageStrings::lngtestpictures},
    {"Messages", "lngprocpictures", &LanguageStrings::lngprocpictures},
    {"Messages", "lngimgmax", &LanguageStrings::lngimgmax},
    {"Lng", "lngListFilter", &LanguageStrings::lngListFilter},
    {"Lng", "lngFilter", &LanguageStrings::lngFilter},
    {"Lng", "lngSaveLng", &LanguageStrings::lngSaveLng},
    {"Lng", "lngOpenLng", &LanguageStrings::lngOpenLng},
    {"Lng", "lngEdit", &LanguageStrings::lngEdit},
    {"Lng", "lngSaveEdit", &LanguageStrings::lngSaveEdit},
};

LanguageStrings& Lng() {
    static LanguageStrings strings;
    return strings;
}

std::string& LanguageCode() {
    static std::string code = "??";
    return code;
}

void ReadLanguageStrings(const IniDocument& file) {
    LanguageStrings& strings = Lng();
    for (const LanguageStringKey& entry : kLanguageStringKeys) {
        const std::string* value = file.Find(entry.section, entry.key);
        if (value != nullptr && !value->empty()) {
            strings.*entry.member = *value;
        }
    }
}

void WriteLanguageStrings(IniDocument& file) {
    const LanguageStrings& strings = Lng();
    for (const LanguageStringKey& entry : kLanguageStringKeys) {
        file.WriteString(entry.section, entry.key, strings.*entry.member);
    }
}

namespace {

// Replaces the first directive of the given kind ('s' or 'd'); "%%" gives a
// percent sign; any other directive is left as written.
std::string Substitute(std::string_view format, char kind, std::string_view value) {
    std::string out;
    out.reserve(format.size() + value.size());
    bool used = false;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        const char next = format[i + 1];
        if (next == '%') {
            out += '%';
            ++i;
        } else if (next == kind && !used) {
            out += value;
            used = true;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string FormatText(std::string_view format, std::string_view argument) {
    return Substitute(format, 's', argument);
}

std::string FormatText(std::string_view format, long long argument) {
    return Substitute(format, 'd', std::to_string(argument));
}

}  // namespace nocturo
