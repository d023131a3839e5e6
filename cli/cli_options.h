#pragma once

// What the nocturo-stack commands share on their command lines: the usage
// error, whole numbers, "--opt=value" / "--opt value" and plain name lists.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/excluded_areas.h"

namespace nocturo {
class FileList;
class ListPair;
}  // namespace nocturo

namespace nocturo::cli {

/// The most threads --jobs and --write-jobs take: more only cost memory,
/// as each holds a frame.
constexpr int kMaxJobs = 256;

/// Prints "nocturo-stack: MESSAGE" and the --help hint to stderr; returns
/// the usage error status, 2.
int UsageError(const std::string& message);

/// A whole decimal number from low to high, the whole text and nothing else.
/// value is left alone when the text is not one.
bool ParseInt(const std::string& text, long low, long high, int32_t& value);

/// A whole decimal number that fits 64 bits, the whole text and nothing else.
bool ParseInt64(const std::string& text, int64_t& value);

/// --depth's value: "8" or "16".
bool ParseDepth(const std::string& text, int& depth);

/// The usage error for an output or step name whose format holds 8 bits per
/// channel only, given with --depth 16.
std::string EightBitNameProblem(const std::string& name);

/// One command-line argument. A long option may carry its value inline
/// ("--jobs=4"): `name` is then the part before the first '='.
struct OptionArg {
    explicit OptionArg(const char* text);

    /// The option's value: the inline one, or else the next argument, which
    /// `index` then moves past. False when there is none.
    bool Value(int argc, char** argv, int& index, std::string& out) const;

    std::string name;
    std::string inlineValue;
    bool hasInlineValue = false;
};

/// A --files-from LIST larger than this is refused: far beyond any night's
/// list, and an endless input stops here.
constexpr std::size_t kMaxListBytes = std::size_t{512} << 20;
/// A longer line of a LIST is refused with its number: a file name is at
/// most 4096 bytes, which a list file may write as up to three times as many
/// (bytes that are not UTF-8 are escaped).
constexpr std::size_t kMaxListLineBytes = 3 * 4096 + 64;

/// Appends the FILEs that a --files-from LIST names, for every command ("-"
/// reads standard input). A list file saved by the program (it has a [List]
/// section) gives its checked entries that have a name, in order; any other
/// text holds one name per line: blank lines are skipped, a trailing CR is
/// dropped and each line is decoded as the lines of list files are (valid
/// UTF-8 as it is, any other line as Windows-1252), a leading byte-order
/// mark dropped. Only a regular file or a pipe (or a terminal for "-") is
/// read. False, with the reason in `problem` (naming the line at fault where
/// there is one), when the LIST is missing, a folder, a device, larger than
/// kMaxListBytes, holds a line longer than kMaxListLineBytes, a name longer
/// than a file name can be or holding a NUL byte, or is a damaged list file.
/// The excl keys of a list file's entries go, by FILE, into `excluded`
/// when it is given.
bool ReadFilesFrom(const std::string& listName, std::vector<std::string>& files,
                   std::string& problem,
                   std::vector<std::pair<std::string, ExcludedAreas>>* excluded = nullptr);

/// What every command reads alike from its command line: the FILEs, the
/// --files-from LISTs (read after the command line, their FILEs after the
/// others) and --jobs N; after "--" every argument is a FILE.
struct InputOptions {
    std::vector<std::string> files;
    std::vector<std::string> lists;
    /// -1 when not given.
    int jobs = -1;
    /// --exclude FILE@X,Y,W,H, in order, and the excl keys of the LISTs.
    std::vector<std::pair<std::string, ExcludedAreas>> excluded;

    /// Whether `option`, argument `index`, is --files-from, --jobs,
    /// --exclude, "--" or
    /// a FILE (anything not starting with '-', and "-" itself). It is then
    /// taken (`index` moved past what it took) and, when its value is
    /// wrong, `status` receives the usage error's status after its message.
    bool Take(const OptionArg& option, int argc, char** argv, int& index, int& status);
    /// Appends the FILEs of every LIST in turn (ReadFilesFrom). -1 when all
    /// were read; else, after its message, the usage error's status.
    int ReadLists();
    /// Gives the entries of `list` (the FILEs) their excluded areas: each
    /// name of `excluded` goes to the entries with that text, or else to
    /// those that are the same file. -1 when every name found its FILE;
    /// else, after its message, the usage error's status.
    int ApplyExcluded(FileList& list) const;
};

/// The FILEs as the entries of the left list, checked and enabled, in order.
void FillLeftList(ListPair& lists, std::vector<std::string> files);

/// The folder a file would be written into must exist and be writable:
/// checked before a run, so that a typing error does not cost a night's run.
/// Otherwise false, with the reason in `problem`.
bool FolderWritable(const std::string& fileName, std::string& problem);

}  // namespace nocturo::cli
