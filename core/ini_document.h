#pragma once
// The INI document behind list files and language files: a text of
// sections, each a name in square brackets followed by key=value lines,
// which users may also edit by hand. No Qt.
//
// Reading rules:
//  - every line is trimmed of leading and trailing blanks and control
//    characters (bytes up to 0x20); line ends may be CR LF, LF or CR;
//  - empty lines and lines starting with ';' are skipped;
//  - "[name]" opens a section, the name trimmed; a later section of the same
//    name is kept as well, but lookups find the first one;
//  - lines before the first section are skipped; in a section a line holding
//    '=' is split at its first '=' into key and value, both trimmed; a line
//    without '=' stays in its section (and is written back) but matches no
//    key;
//  - section names and keys match without regard to ASCII letter case; of
//    two lines with the same key in one section, the first counts.
//
// Writing rules: setting a key replaces the first line with that key in the
// section, or appends a line at the section's end, and creates the section
// at the end of the document if it is missing. The text is written section
// by section in the order of first appearance, each section followed by one
// empty line, lines ending in CR LF, without a byte-order mark. Comments and
// empty lines of a text that was read are not kept.
//
// Encoding (text_encoding.h): texts are written as UTF-8, bytes that are
// not valid UTF-8 as their escapes; a text is read line by line, each line
// as UTF-8 or else as Windows-1252, a leading UTF-8 byte-order mark
// dropped. CR and LF cannot be kept inside a line: they are written as '?'
// (as is '=' in a key), so a value can never start a line of its own.
// Blanks and control characters at the ends of a value are lost on
// reading, by the trimming rule.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// The files the document is saved to are written by the one writer, in the
// encoding its users share.
#include "core/atomic_file.h"
#include "core/text_encoding.h"

namespace nocturo {

class IniDocument {
  public:
    IniDocument() = default;
    IniDocument(const IniDocument&) = default;
    IniDocument& operator=(const IniDocument&) = default;
    IniDocument(IniDocument&&) noexcept = default;
    IniDocument& operator=(IniDocument&&) noexcept = default;

    // --- reading and writing whole texts ---

    /// A document read from the bytes of a file by the reading rules.
    static IniDocument FromBytes(std::string_view bytes);
    /// Replaces the content by the document read from `bytes`.
    void Parse(std::string_view bytes);
    /// The document as the bytes of a file, by the writing rules.
    std::string ToBytes() const;

    /// Reads a file into the document, replacing its content. A file that
    /// does not exist reads as an empty document and counts as success. A
    /// file that exists but cannot be read (a folder, a pipe or a device, no
    /// permission, an I/O error, larger than `maxSize`) returns false with a
    /// message in `error` and leaves the document as it was.
    bool LoadFile(const std::string& fileName, std::string* error = nullptr,
                  std::uint64_t maxSize = kMaxFileSize);
    /// Writes the document to a file atomically (see WriteFileAtomically):
    /// on failure the file keeps its old content and `error` receives a
    /// message naming the file and the cause.
    bool SaveFile(const std::string& fileName, std::string* error = nullptr) const;

    /// Larger files are refused by LoadFile: no list or language file comes
    /// near it, and reading a wrongly chosen huge file would exhaust memory.
    static constexpr std::uint64_t kMaxFileSize = 512ull << 20;

    // --- reading values ---

    bool HasSection(std::string_view section) const;
    bool HasKey(std::string_view section, std::string_view key) const;
    /// The value of the first line with `key` in the first section named
    /// `section`, or null when there is none. The pointer lives until the
    /// document changes.
    const std::string* Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue = {}) const;
    /// A decimal integer with optional sign, or hexadecimal after "0x"/"0X"
    /// (up to 32 bits, read as two's complement: 0xFFFFFFFF is -1). A value
    /// that is neither, or that does not fit 32 bits, gives the default.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    /// Read as an integer: 0 is false, any other integer true; a value that
    /// is no integer gives the default.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    /// Section names in the order of first appearance, each name once (a
    /// later duplicate section is not listed).
    std::vector<std::string> Sections() const;
    /// Number of sections held, duplicates included.
    std::size_t SectionCount() const { return sections_.size(); }
    /// Keys of the first section named `section`, in order, each key once
    /// (a later duplicate key is not listed). Empty for a missing section.
    std::vector<std::string> Keys(std::string_view section) const;
    /// Key and value of every key of the first section named `section`, in
    /// order, each key once with the value that lookups give.
    std::vector<std::pair<std::string, std::string>> Values(std::string_view section) const;

    // --- changing ---

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    /// Writes the value in decimal.
    void WriteInteger(std::string_view section, std::string_view key, long long value);
    /// Writes "1" or "0".
    void WriteBool(std::string_view section, std::string_view key, bool value);
    /// Removes every section of that name. Returns whether there was one.
    bool EraseSection(std::string_view section);
    /// Removes every line with `key` in the first section of that name.
    /// Returns whether there was one.
    bool EraseKey(std::string_view section, std::string_view key);
    /// Empties the document.
    void Clear();
    /// Shortens every value longer than `maxBytes` to at most that many
    /// bytes, without splitting a UTF-8 character.
    void CapValues(std::size_t maxBytes);

  private:
    struct Line {
        std::string key;    // empty when !hasKey
        std::string value;  // the whole line when !hasKey
        bool hasKey = false;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
        /// Lower-cased key -> index of its first line; built only once a
        /// section grows beyond a few lines (language file sections), small
        /// ones are searched line by line.
        std::unordered_map<std::string, std::size_t> keyIndex;
        bool indexed = false;
        /// The first section of its name, the one lookups find.
        bool first = false;

        const Line* FindLine(std::string_view lowerKey) const;
        Line* FindLine(std::string_view lowerKey);
        void AddLine(Line line);
        void RebuildIndex();
    };

    /// The last section found or the one after it, if it has this name.
    const Section* FindNearLast(std::string_view section) const;
    const Section* FindSection(std::string_view section) const;
    Section* FindSection(std::string_view section);
    Section& SectionForWriting(std::string_view section);
    void RebuildSectionIndex();

    std::vector<Section> sections_;
    /// Lower-cased name -> index of the first section of that name.
    std::unordered_map<std::string, std::size_t> sectionIndex_;
    /// The section the last lookup found (always the first of its name), so
    /// that the keys of one section, and the section after it, are reached
    /// without hashing: files are read and written section by section. This
    /// makes lookups write to the document: use one document from one
    /// thread at a time.
    static constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);
    mutable std::size_t lastSection_ = kNoSection;
};

/// Reads a whole regular file of at most `maxSize` bytes into `bytes`. A
/// folder, a pipe or a device (which may never end), a larger file, a
/// missing one and read errors give false with a message naming the file in
/// `error`; `missing` tells a file that does not exist from the others.
bool ReadSmallFile(const std::string& fileName, std::uint64_t maxSize, std::string& bytes,
                   std::string* error = nullptr, bool* missing = nullptr);

}  // namespace nocturo
