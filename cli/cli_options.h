#pragma once

// What the nocturo-stack commands share on their command lines: the usage
// error, whole numbers, "--opt=value" / "--opt value" and plain name lists.

#include <cstdint>
#include <string>
#include <vector>

namespace nocturo::cli {

/// Prints "nocturo-stack: MESSAGE" and the --help hint to stderr; returns
/// the usage error status, 2.
int UsageError(const std::string& message);

/// A whole decimal number from low to high, the whole text and nothing else.
/// value is left alone when the text is not one.
bool ParseInt(const std::string& text, long low, long high, int32_t& value);

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

/// Appends the names of a plain list file, one a line ("-" reads standard
/// input): blank lines are skipped and a trailing CR is dropped. False when
/// the file is missing, a folder or unreadable.
bool ReadNameLines(const std::string& listName, std::vector<std::string>& files);

/// The folder a file would be written into must exist and be writable:
/// checked before a run, so that a typing error does not cost a night's run.
/// Otherwise false, with the reason in `problem`.
bool FolderWritable(const std::string& fileName, std::string& problem);

}  // namespace nocturo::cli
