#pragma once
// The program-wide message texts. Each starts as its built-in English
// default; a language file may replace any of them.
//
// The sections "Strings", "Messages" and "Lng" are the ones every language
// file has always had: their keys never change. "Texts" holds every other
// message the program writes in code (questions, reports, status bar texts,
// the names of what went wrong); a file without it, or with some of its keys
// missing, reads as English there.

#include <concepts>
#include <string>
#include <string_view>
#include <vector>

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
    std::string lngquit = "Quit";
    std::string lnginpause = "Program in pause... Do you want to Stop process";
    std::string lngstopuser = "STOP by User";
    std::string lngsaveprocimage = "Save Processed Image?";
    std::string lngfilesinerror = "%d File(s) in Error";
    std::string lngtestpictures = "Test Pictures";
    std::string lngprocpictures = "Processed Pictures";
    std::string lngimgmax = "Image with Maximum";
    // Section "Lng"
    std::string lngListFilter = "List Files *.lst|*.lst|All Files (*.*)|*.*";
    std::string lngFilter = "Language Files (*.lng)|*.lng|All Files (*.*)|*.*";
    std::string lngSaveLng = "Save a Language File";
    std::string lngOpenLng = "Open a Language File";
    std::string lngEdit = "Edit";
    std::string lngSaveEdit = "Do you want to save the changes?";

    // Section "Texts". Captions of questions and messages.
    std::string txtWarning = "Warning";
    std::string txtError = "Error";
    std::string txtTagline = "star trails from a night of frames";
    // Runs and their reports.
    std::string txtInError = "In error: %s";
    std::string txtMoreInError = "... and %d more in error";
    std::string txtNotWrittenCount = "%d File(s) could not be written";
    std::string txtNotWritten = "Not written: %s";
    std::string txtMoreNotWritten = "... and %d more not written";
    std::string txtSkyRotation =
        "Sky rotation: centre at x %s, y %s pixels, %s degrees per frame (from %d pairs of frames)";
    std::string txtGapFromFrames = "Gaps filled: gap fraction %s, from the frames' shooting times";
    std::string txtGapFromUser = "Gaps filled: gap fraction %s, as set";
    std::string txtNoSkyRotation =
        "Gaps not filled: no rotation of the sky was found in the first frames";
    std::string txtGapFractionPrompt =
        "Share of each interval between frames that the shutter was closed (0 to 0.9), when the "
        "frames' EXIF data does not tell it:";
    std::string txtFadeFramesPrompt = "Number of frames (0 for none):";
    std::string txtFadeMinimumPrompt = "Least weight of a faded frame (0 to 1):";
    std::string txtNumberOutOfRange = "'%s' is not a number from %s to %s";
    std::string txtSkyMaskFilter = "All Images|*.BMP;*.JPG;*.JPE;*.JPEG;*.PNG;*.TIF;*.TIFF;*.GIF";
    std::string txtSkyMaskFailed = "Gaps not filled: the sky mask cannot be loaded";
    std::string txtFramesFound = "%d Frame(s) found";
    std::string txtOwnInput =
        "%s is one of the pictures of the list: a run never writes over the pictures it reads. "
        "Choose another name or folder.";
    std::string txtEightBits =
        "%s is of a format that holds 8 bits per channel only. Write it at 8 bits, each value "
        "rounded to the nearest? No chooses another name; PNG and TIFF keep 16 bits.";
    std::string txtEightBitsCaption = "16 bits per channel";
    std::string txtNotAnInteger = "'%s' is not a valid integer value";
    std::string txtReferenceNotLoaded = "Cannot load the reference image %s";
    std::string txtBatchCaption = "Batch Operations:";
    std::string txtMovingMaxCaption = "MovingMax";
    std::string txtMovingMaxOneEntry =
        "The moving maximum needs at least two pictures in the left list.";
    std::string txtMovingMaxProgress = "Progress : %s   To do %d";
    std::string txtDarkening = "Darkening : %d / %d";
    std::string txtVideoProgress = "Video: %d of %d frames";
    std::string txtVideoCompleting = "Video: %d frames; completing the file...";
    std::string txtVideoFrames = "Video: %d frames";
    std::string txtVideoFileType = "Video (MP4)...";
    std::string txtOutOfMemory = "out of memory";
    // The frame map and the night graph.
    std::string txtNoFrameMap = "there is no frame map";
    std::string txtFrameMapFull = "a frame beyond the 65,535th entry cannot be stored in 16 bits";
    std::string txtNotEnoughMemory = "not enough memory";
    std::string txtPictureNotEncoded = "the picture could not be encoded";
    std::string txtFrameMapCsvName = "the picture's name must not end in .csv";
    std::string txtCannotWriteName = "cannot write %s";
    std::string txtCannotSaveFrameMap = "Cannot save the frame map: %s";
    std::string txtCannotWriteFile = "Cannot write %s";
    std::string txtFramesUnchecked = "%d frame(s) above the line unchecked";
    std::string txtBrightFramesUnchecked = "%d bright frame(s) unchecked and selected";
    std::string txtFramesBehindArea =
        "%d frame(s) made a pixel of this area at least %d levels brighter than its median";
    std::string txtBehindMarginPrompt = "Levels above the area's median brightness (0 to 255):";
    std::string txtBehindMarginRange = "\"%s\" is no whole number from 0 to 255.";
    std::string txtAreaExcluded =
        "%d frame(s) leave out the area %s (the one drawn, grown by %d pixels) in the next runs";
    std::string txtNoFramesToExclude =
        "Select the frames to leave out first, then draw the area (\"Select the frames behind this "
        "area\" does both).";
    std::string txtExcludedCleared = "Excluded areas cleared on %d frame(s)";
    std::string txtClearAllExcluded = "Clear the excluded areas of every frame?";
    // The main window.
    std::string txtCannotSave = "Cannot save %s: %s";
    std::string txtFolderMissingCreate = "The folder %s does not exist. Create it?";
    std::string txtCannotCreateFolder = "Cannot create the folder %s.";
    std::string txtThresholdCaption = "AddMAx";
    std::string txtThresholdPrompt = "Threshold";
    std::string txtNoMemoryForCommand = "Not enough memory to finish the command.";
    std::string txtUnexpectedError = "The command stopped on an unexpected error.";
    std::string txtNoPrinter = "No printer is installed.";
    std::string txtPrintNotStarted = "The print job could not be started on %s.";
    std::string txtPrintEnded = "The print job has ended.";
    std::string txtPrinterNoPage = "The printer refused a new page.";
    // Option windows.
    std::string txtDefaultValue = "Default = %d";
    std::string txtSampleCount = "Count: %d";
    std::string txtMaskNotWritten = "The mask of %d x %d pixels could not be written to %s.";
    // The folder browser.
    std::string txtFolderMissing = "The folder \"%s\" does not exist.";
    std::string txtFolderUnreadable = "The folder \"%s\" cannot be read.";
    std::string txtSelectDirectory = "Select Directory";
    std::string txtFailToOpen = "Fail to Open";
    std::string txtColumnName = "Name";
    std::string txtColumnSize = "Size";
    std::string txtColumnType = "Type";
    std::string txtColumnModified = "Modified";
    std::string txtColumnAttributes = "Attributes";
    std::string txtSizeKilobytes = "%dKB";
    std::string txtCannotReadFolder = "Cannot read the folder \"%s\": %s";
    // List files.
    std::string txtNamedError = "%s: %s";
    std::string txtNotAListFile = "it is not a list file (it has no [List] section)";
    std::string txtListBadCount =
        "The count \"%s\" is no number of entries: the list file is damaged.";
    std::string txtListMissingEntries =
        "The list file announces %d entries but holds far fewer: it is damaged.";
    std::string txtListNulInName =
        "The name \"%s\" of %s holds a NUL byte: the list file is damaged.";
    std::string txtListNameTooLong =
        "The name of %s is too long for a file name: the list file is damaged.";
    std::string txtListBadExcluded =
        "The excluded areas \"%s\" of %s are not x,y,w,h;x,y,w,h: the list file is damaged.";
    // Language files, the editor and its find and replace dialogs.
    std::string txtLanguageFileMissing = "The language file \"%s\" is not there any more.";
    std::string txtNotFound = "Not find!";
    std::string txtFind = "Find";
    std::string txtReplace = "Replace";
    std::string txtFindWhat = "Find what:";
    std::string txtReplaceWith = "Replace with:";
    std::string txtMatchCase = "Match case";
    std::string txtWholeWord = "Whole word only";
    std::string txtFindNext = "Find Next";
    std::string txtReplaceAll = "Replace All";
    std::string txtCancel = "Cancel";
    // File dialogs' filters: "All Images|*.BMP;...|BMP Files|*.BMP|...".
    std::string txtAllImages = "All Images";
    std::string txtAllFiles = "All Files";
    std::string txtFilesOfType = "%s Files";
    // Why a file could not be read or written, as the lower layers and the
    // system say it in English (see LocalizedError).
    std::string txtCannotReadFile = "Cannot read \"%s\": %s";
    std::string txtCannotWriteFileBecause = "Cannot write \"%s\": %s";
    std::string txtNotRegularFile = "not a regular file";
    std::string txtFileTooLarge = "the file is too large";
    std::string txtNoFileName = "no file name";
    std::string txtNameWithoutFile = "the name has no file name";
    std::string txtPictureEmpty = "the picture is empty";
    std::string txtCannotEncode = "the picture cannot be encoded in this format";
    std::string txtErrNoEntry = "No such file or directory";
    std::string txtErrAccess = "Permission denied";
    std::string txtErrNoSpace = "No space left on device";
    std::string txtErrIsFolder = "Is a directory";
    std::string txtErrNotFolder = "Not a directory";
    std::string txtErrReadOnly = "Read-only file system";
    std::string txtErrQuota = "Disk quota exceeded";
    std::string txtErrInputOutput = "Input/output error";
    std::string txtErrNameTooLong = "File name too long";
    std::string txtErrNoMemory = "Cannot allocate memory";
    std::string txtProgressRate = "%s fps";
    std::string txtProgressLeft = "%s left";
    // Why a video could not be written, as the video writer says it.
    std::string txtVideoNoPicture = "no picture could be read";
    std::string txtVideoExists = "the file exists";
    std::string txtVideoNotRegular = "it exists and is not a regular file";
    std::string txtVideoTooSmall = "the pictures are too small for a video (at least 2 x 2)";
    std::string txtVideoTooLarge = "the video would be larger than 16384 pixels across";
    std::string txtVideoNoEncoder = "this FFmpeg has no H.264 encoder (libx264)";
};

/// One language string's place in a language file.
struct LanguageStringKey {
    std::string_view section;
    std::string_view key;
    std::string LanguageStrings::*member;
};

/// The strings in the order a language file lists them: the 30 of the
/// three original sections, then "Texts".
extern const std::vector<LanguageStringKey>& LanguageStringKeys();

/// The strings in force, program-wide (read and changed on the GUI thread).
LanguageStrings& Lng();

/// The language code of the file applied last: "En" for the built-in
/// texts, "??" when the file applied named none.
std::string& LanguageCode();

/// Replaces each string that the document gives a non-empty value; keys and
/// sections match without regard to case.
void ReadLanguageStrings(const IniDocument& file);
/// The strings of a language taken as a whole: each string the document
/// gives no non-empty value is the built-in English one again, so nothing
/// of the language in force before stays behind.
void ApplyLanguageStrings(const IniDocument& file);
/// Writes the four sections with all strings, in table order.
void WriteLanguageStrings(IniDocument& file);

/// One value for a "%s" or "%d" of a text.
struct TextArgument {
    char kind;  // 's' or 'd'
    std::string value;
    TextArgument(char k, std::string v) : kind(k), value(std::move(v)) {}
    TextArgument(std::string_view text) : kind('s'), value(text) {}
    TextArgument(const std::string& text) : kind('s'), value(text) {}
    TextArgument(const char* text) : kind('s'), value(text) {}
    template <std::integral T>
    TextArgument(T number) : kind('d'), value(std::to_string(number)) {}
};

/// Formats a language string holding "%s" and "%d" directives, as the
/// program's texts do, without trusting the text: each directive takes the
/// next argument when that argument is of its kind and is left as written
/// otherwise, "%%" gives "%", and no other directive reads anything. So a
/// translated text with a missing, doubled, swapped or foreign directive
/// never reads arguments that are not there.
std::string FormatTextArguments(std::string_view format,
                                const std::vector<TextArgument>& arguments);

template <typename... Arguments>
std::string FormatText(std::string_view format, const Arguments&... arguments) {
    return FormatTextArguments(format, {TextArgument(arguments)...});
}

/// A message of the layers below the language strings (the picture and
/// file code, the system's error texts), which speak English: a message
/// that is one of the "Texts" English originals, or is made from one with
/// its "%s" and "%d" filled in, comes back in the language in force, its
/// filled-in parts translated the same way. Any other text comes back as
/// it is.
std::string LocalizedError(const std::string& message);

/// A file dialog filter "Description|*.A;*.B|...": the descriptions "All
/// Images", "All Files" and "XYZ Files" in the language in force.
std::string LocalizedFilter(const std::string& filter);

}  // namespace nocturo
