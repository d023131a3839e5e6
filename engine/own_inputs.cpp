#include "engine/own_inputs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "core/atomic_file.h"
#include "lang/language_strings.h"

namespace nocturo {

namespace {

struct FileId {
    dev_t device;
    ino_t inode;
    friend bool operator==(const FileId&, const FileId&) = default;
};

struct FileIdHash {
    size_t operator()(const FileId& id) const {
        return std::hash<uint64_t>()(static_cast<uint64_t>(id.inode) * 0x9E3779B97F4A7C15ull ^
                                     static_cast<uint64_t>(id.device));
    }
};

std::optional<FileId> Identity(const std::string& name) {
    struct stat st {};
    if (name.empty() || ::stat(name.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileId{st.st_dev, st.st_ino};
}

// Where a name that does not exist would be created: absolute, with "."
// and ".." gone and the links among its existing folders followed.
std::string Place(const std::string& name) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(WrittenName(name), error);
    if (error) {
        return name;
    }
    const std::filesystem::path place = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal().string() : place.string();
}

}  // namespace

std::optional<std::string> FirstOwnInput(const std::vector<std::string>& outputs,
                                         const std::vector<std::string>& inputs) {
    std::unordered_set<FileId, FileIdHash> existing;
    std::unordered_set<std::string> missing;
    existing.reserve(inputs.size());
    for (const std::string& input : inputs) {
        if (input.empty()) {
            continue;
        }
        if (const std::optional<FileId> id = Identity(input)) {
            existing.insert(*id);
        } else {
            missing.insert(Place(input));
        }
    }
    for (const std::string& output : outputs) {
        if (output.empty()) {
            continue;
        }
        if (const std::optional<FileId> id = Identity(output)) {
            if (existing.count(*id) != 0) {
                return output;
            }
        } else if (!missing.empty() && missing.count(Place(output)) != 0) {
            return output;
        }
    }
    return std::nullopt;
}

std::optional<std::string> RefuseOwnInputs(RunContext& context,
                                           const std::vector<std::string>& outputs) {
    const FileList& left = context.lists.Left();
    std::vector<std::string> inputs;
    inputs.reserve(static_cast<size_t>(left.Count()));
    for (const ListEntry& entry : left.Entries()) {
        inputs.push_back(entry.text);
    }
    std::optional<std::string> own = FirstOwnInput(outputs, inputs);
    if (own) {
        context.host.ShowMessage(FormatText(Lng().txtOwnInput, *own), Lng().txtWarning);
    }
    return own;
}

}  // namespace nocturo
