#include "lang/language_strings.h"

#include <cstddef>

#include "core/ini_document.h"

namespace nocturo {

#define STRING(section, name)                  \
    LanguageStringKey {                        \
        section, #name, &LanguageStrings::name \
    }
#define TEXT(name) STRING("Texts", name)

const std::vector<LanguageStringKey>& LanguageStringKeys() {
    static const std::vector<LanguageStringKey> keys = {
        STRING("Strings", kstclearlist),
        STRING("Strings", kstclearselection),
        STRING("Strings", kstcaption1),
        STRING("Strings", kstcaption2),
        STRING("Strings", kstproc),
        STRING("Strings", kstnopicture),
        STRING("Strings", kstemptylist),
        STRING("Strings", kstunknownformat),
        STRING("Strings", kstoverwrite),
        STRING("Strings", kstfileexists),
        STRING("Strings", kstopendark),
        STRING("Strings", kstopenflat),
        STRING("Strings", kstloadcaption),
        STRING("Strings", kstsavecaption),
        STRING("Strings", kstleft),
        STRING("Strings", kstright),
        STRING("Messages", lngquit),
        STRING("Messages", lnginpause),
        STRING("Messages", lngstopuser),
        STRING("Messages", lngsaveprocimage),
        STRING("Messages", lngfilesinerror),
        STRING("Messages", lngtestpictures),
        STRING("Messages", lngprocpictures),
        STRING("Messages", lngimgmax),
        STRING("Lng", lngListFilter),
        STRING("Lng", lngFilter),
        STRING("Lng", lngSaveLng),
        STRING("Lng", lngOpenLng),
        STRING("Lng", lngEdit),
        STRING("Lng", lngSaveEdit),
        TEXT(txtWarning),
        TEXT(txtError),
        TEXT(txtTagline),
        TEXT(txtInError),
        TEXT(txtMoreInError),
        TEXT(txtNotWrittenCount),
        TEXT(txtNotWritten),
        TEXT(txtMoreNotWritten),
        TEXT(txtSkyRotation),
        TEXT(txtGapFromFrames),
        TEXT(txtGapFromUser),
        TEXT(txtNoSkyRotation),
        TEXT(txtSkyMaskFailed),
        TEXT(txtGapFractionPrompt),
        TEXT(txtFadeFramesPrompt),
        TEXT(txtFadeMinimumPrompt),
        TEXT(txtNumberOutOfRange),
        TEXT(txtSkyMaskFilter),
        TEXT(txtFramesFound),
        TEXT(txtOwnInput),
        TEXT(txtEightBits),
        TEXT(txtEightBitsCaption),
        TEXT(txtNotAnInteger),
        TEXT(txtReferenceNotLoaded),
        TEXT(txtBatchCaption),
        TEXT(txtMovingMaxCaption),
        TEXT(txtMovingMaxOneEntry),
        TEXT(txtMovingMaxProgress),
        TEXT(txtDarkening),
        TEXT(txtVideoProgress),
        TEXT(txtVideoCompleting),
        TEXT(txtVideoFrames),
        TEXT(txtVideoFileType),
        TEXT(txtOutOfMemory),
        TEXT(txtNoFrameMap),
        TEXT(txtFrameMapFull),
        TEXT(txtNotEnoughMemory),
        TEXT(txtPictureNotEncoded),
        TEXT(txtFrameMapCsvName),
        TEXT(txtCannotWriteName),
        TEXT(txtCannotSaveFrameMap),
        TEXT(txtCannotWriteFile),
        TEXT(txtFramesUnchecked),
        TEXT(txtBrightFramesUnchecked),
        TEXT(txtFramesBehindArea),
        TEXT(txtBehindMarginPrompt),
        TEXT(txtBehindMarginRange),
        TEXT(txtAreaExcluded),
        TEXT(txtNoFramesToExclude),
        TEXT(txtExcludedCleared),
        TEXT(txtClearAllExcluded),
        TEXT(txtCannotSave),
        TEXT(txtFolderMissingCreate),
        TEXT(txtCannotCreateFolder),
        TEXT(txtThresholdCaption),
        TEXT(txtThresholdPrompt),
        TEXT(txtNoMemoryForCommand),
        TEXT(txtUnexpectedError),
        TEXT(txtNoPrinter),
        TEXT(txtPrintNotStarted),
        TEXT(txtPrintEnded),
        TEXT(txtPrinterNoPage),
        TEXT(txtDefaultValue),
        TEXT(txtSampleCount),
        TEXT(txtMaskNotWritten),
        TEXT(txtFolderMissing),
        TEXT(txtFolderUnreadable),
        TEXT(txtSelectDirectory),
        TEXT(txtFailToOpen),
        TEXT(txtColumnName),
        TEXT(txtColumnSize),
        TEXT(txtColumnType),
        TEXT(txtColumnModified),
        TEXT(txtColumnAttributes),
        TEXT(txtSizeKilobytes),
        TEXT(txtCannotReadFolder),
        TEXT(txtNamedError),
        TEXT(txtNotAListFile),
        TEXT(txtListBadCount),
        TEXT(txtListMissingEntries),
        TEXT(txtListNulInName),
        TEXT(txtListNameTooLong),
        TEXT(txtListBadExcluded),
        TEXT(txtLanguageFileMissing),
        TEXT(txtNotFound),
        TEXT(txtFind),
        TEXT(txtReplace),
        TEXT(txtFindWhat),
        TEXT(txtReplaceWith),
        TEXT(txtMatchCase),
        TEXT(txtWholeWord),
        TEXT(txtFindNext),
        TEXT(txtReplaceAll),
        TEXT(txtCancel),
        TEXT(txtAllImages),
        TEXT(txtAllFiles),
        TEXT(txtFilesOfType),
        TEXT(txtCannotReadFile),
        TEXT(txtCannotWriteFileBecause),
        TEXT(txtNotRegularFile),
        TEXT(txtFileTooLarge),
        TEXT(txtNoFileName),
        TEXT(txtNameWithoutFile),
        TEXT(txtPictureEmpty),
        TEXT(txtCannotEncode),
        TEXT(txtErrNoEntry),
        TEXT(txtErrAccess),
        TEXT(txtErrNoSpace),
        TEXT(txtErrIsFolder),
        TEXT(txtErrNotFolder),
        TEXT(txtErrReadOnly),
        TEXT(txtErrQuota),
        TEXT(txtErrInputOutput),
        TEXT(txtErrNameTooLong),
        TEXT(txtErrNoMemory),
        TEXT(txtProgressRate),
        TEXT(txtProgressLeft),
        TEXT(txtVideoNoPicture),
        TEXT(txtVideoExists),
        TEXT(txtVideoNotRegular),
        TEXT(txtVideoTooSmall),
        TEXT(txtVideoTooLarge),
        TEXT(txtVideoNoEncoder),
    };
    return keys;
}

#undef TEXT
#undef STRING

LanguageStrings& Lng() {
    static LanguageStrings strings;
    return strings;
}

std::string& LanguageCode() {
    static std::string code = "En";
    return code;
}

void ReadLanguageStrings(const IniDocument& file) {
    LanguageStrings& strings = Lng();
    for (const LanguageStringKey& entry : LanguageStringKeys()) {
        const std::string* value = file.Find(entry.section, entry.key);
        if (value != nullptr && !value->empty()) {
            strings.*entry.member = *value;
        }
    }
}

void ApplyLanguageStrings(const IniDocument& file) {
    Lng() = LanguageStrings();
    ReadLanguageStrings(file);
}

void WriteLanguageStrings(IniDocument& file) {
    const LanguageStrings& strings = Lng();
    for (const LanguageStringKey& entry : LanguageStringKeys()) {
        file.WriteString(entry.section, entry.key, strings.*entry.member);
    }
}

std::string FormatTextArguments(std::string_view format,
                                const std::vector<TextArgument>& arguments) {
    std::string out;
    out.reserve(format.size() + 32);
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        const char kind = format[i + 1];
        if (kind == '%') {
            out += '%';
            ++i;
        } else if ((kind == 's' || kind == 'd') && next < arguments.size() &&
                   arguments[next].kind == kind) {
            out += arguments[next++].value;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// The English originals LocalizedError recognises, most specific first.
constexpr std::string LanguageStrings::*kErrorTexts[] = {
    &LanguageStrings::txtCannotReadFile,   &LanguageStrings::txtCannotWriteFileBecause,
    &LanguageStrings::txtCannotReadFolder, &LanguageStrings::txtCannotWriteName,
    &LanguageStrings::txtNotRegularFile,   &LanguageStrings::txtFileTooLarge,
    &LanguageStrings::txtNoFileName,       &LanguageStrings::txtNameWithoutFile,
    &LanguageStrings::txtPictureEmpty,     &LanguageStrings::txtCannotEncode,
    &LanguageStrings::txtOutOfMemory,      &LanguageStrings::txtNotEnoughMemory,
    &LanguageStrings::txtErrNoEntry,       &LanguageStrings::txtErrAccess,
    &LanguageStrings::txtErrNoSpace,       &LanguageStrings::txtErrIsFolder,
    &LanguageStrings::txtErrNotFolder,     &LanguageStrings::txtErrReadOnly,
    &LanguageStrings::txtErrQuota,         &LanguageStrings::txtErrInputOutput,
    &LanguageStrings::txtErrNameTooLong,   &LanguageStrings::txtErrNoMemory,
};

const LanguageStrings& English() {
    static const LanguageStrings english;
    return english;
}

// Matches `text` against `pattern`, whose "%s" and "%d" stand for any text
// (the last one for the rest); fills `parts` with what they stood for.
bool Match(std::string_view pattern, std::string_view text, std::vector<TextArgument>& parts) {
    parts.clear();
    // The pattern's literal pieces between its directives.
    std::vector<std::string_view> pieces;
    std::vector<char> kinds;
    size_t start = 0;
    for (size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] == '%' && (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
            pieces.push_back(pattern.substr(start, i - start));
            kinds.push_back(pattern[i + 1]);
            start = i + 2;
            ++i;
        }
    }
    pieces.push_back(pattern.substr(start));
    if (kinds.empty()) {
        return pattern == text;
    }
    if (!text.starts_with(pieces.front()) || !text.ends_with(pieces.back()) ||
        text.size() < pieces.front().size() + pieces.back().size()) {
        return false;
    }
    size_t at = pieces.front().size();
    const size_t end = text.size() - pieces.back().size();
    for (size_t k = 0; k < kinds.size(); ++k) {
        size_t stop = end;
        if (k + 1 < kinds.size()) {
            stop = text.find(pieces[k + 1], at);
            if (stop == std::string_view::npos || stop > end) {
                return false;
            }
        }
        if (stop < at) {
            return false;
        }
        parts.emplace_back(kinds[k], std::string(text.substr(at, stop - at)));
        at = stop + (k + 1 < kinds.size() ? pieces[k + 1].size() : 0);
    }
    return true;
}

std::string Localize(const std::string& message, int depth) {
    if (message.empty() || depth > 3) {
        return message;
    }
    std::vector<TextArgument> parts;
    for (std::string LanguageStrings::*text : kErrorTexts) {
        if (!Match(English().*text, message, parts)) {
            continue;
        }
        for (TextArgument& part : parts) {
            if (part.kind == 's') {
                part.value = Localize(part.value, depth + 1);
            }
        }
        return FormatTextArguments(Lng().*text, parts);
    }
    return message;
}

// "XYZ Files" with XYZ one word: the files of one format.
bool IsFormatFiles(std::string_view description, std::string_view& format) {
    constexpr std::string_view kFiles = " Files";
    if (!description.ends_with(kFiles)) {
        return false;
    }
    format = description.substr(0, description.size() - kFiles.size());
    return !format.empty() && format.find(' ') == std::string_view::npos;
}

}  // namespace

std::string LocalizedError(const std::string& message) {
    return Localize(message, 0);
}

std::string LocalizedFilter(const std::string& filter) {
    std::string out;
    size_t start = 0;
    for (size_t part = 0; start <= filter.size(); ++part) {
        size_t bar = filter.find('|', start);
        if (bar == std::string::npos) {
            bar = filter.size();
        }
        std::string_view text(filter.data() + start, bar - start);
        if (part % 2 == 0) {
            // A description; its patterns in parentheses stay as they are.
            std::string_view patterns;
            if (const size_t open = text.find(" ("); open != std::string_view::npos) {
                patterns = text.substr(open);
                text = text.substr(0, open);
            }
            std::string_view format;
            if (text == English().txtAllImages) {
                out += Lng().txtAllImages;
            } else if (text == English().txtAllFiles) {
                out += Lng().txtAllFiles;
            } else if (IsFormatFiles(text, format)) {
                out += FormatText(Lng().txtFilesOfType, format);
            } else {
                out += text;
            }
            out += patterns;
        } else {
            out += text;
        }
        if (bar == filter.size()) {
            break;
        }
        out += '|';
        start = bar + 1;
    }
    return out;
}

}  // namespace nocturo
