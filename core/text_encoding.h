#pragma once
// The text encodings of the files users may edit by hand (list files,
// language files, lists of names): strings in the program are byte
// strings, normally UTF-8 (file names as the file system holds them).
//
// Reading: a line that is valid UTF-8 stays UTF-8, any other line is taken
// as Windows-1252 and converted, so files written on Windows still load and
// one such line spoils no other. Writing: bytes that are not valid UTF-8 (a
// file name in an older 8-bit encoding) are written as the escapes
// U+DC80..U+DCFF and turned back into those bytes on reading, so every file
// name survives a save and a load byte for byte.

#include <cstddef>
#include <string>
#include <string_view>

namespace nocturo {

/// Length of the valid UTF-8 sequence at bytes[at] (1 for ASCII), 0 when
/// there is none there (or `at` is past the end).
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t at);

/// True when `bytes` is valid UTF-8 (the escapes U+DC80..U+DCFF that
/// AppendEscaped writes for stray bytes count as valid).
bool IsUtf8(std::string_view bytes);

/// Converts Windows-1252 text to UTF-8 (the five unassigned bytes map to
/// the control characters of the same value, as Windows does).
std::string Windows1252ToUtf8(std::string_view bytes);

/// One line of text as UTF-8: valid UTF-8 with its escapes turned back into
/// the bytes they stand for, or else Windows-1252 converted to UTF-8.
std::string DecodeLine(std::string_view line);
/// As DecodeLine without a copy for plain ASCII: the result is `line`
/// itself, or the converted text held in `scratch`.
std::string_view DecodeLineInto(std::string_view line, std::string& scratch);

/// Appends `text` as it is written to a file: valid UTF-8 as it is, every
/// other byte as its escape.
void AppendEscaped(std::string& out, std::string_view text);

}  // namespace nocturo
