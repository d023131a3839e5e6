#pragma once
// The list files loaded or saved lately, most recent first, each once, at
// most eight; kept in the program's settings between sessions. No Qt.

#include <string>
#include <vector>

namespace nocturo {

class IniDocument;

class RecentFiles {
  public:
    static constexpr int kMaxCount = 8;

    /// `path` was just loaded or saved: it moves to the front.
    void Add(const std::string& path);
    void Clear() { paths_.clear(); }
    const std::vector<std::string>& Paths() const { return paths_; }

    /// Reads the files from `section` ("File1" ... "File8"); unreadable or
    /// empty lines are skipped, duplicates and lines beyond eight dropped.
    void Read(const IniDocument& settings, const std::string& section);
    /// Writes the files into `section`, replacing what it held.
    void Write(IniDocument& settings, const std::string& section) const;

  private:
    std::vector<std::string> paths_;
};

}  // namespace nocturo
