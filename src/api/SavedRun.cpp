#include "api/SavedRun.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "base/Diagnostics.h"
#include "record/RecordError.h"
#include "record/RunCheckpoint.h"
#include "record/RunState.h"

namespace qm {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> CheckpointsIn(const std::string& dir) {
    std::vector<std::pair<long long, std::string>> found;
    if (DIR* folder = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name.size() < 13 || name.rfind("step-", 0) != 0 ||
                name.compare(name.size() - 3, 3, ".h5") != 0)
                continue;
            const std::string digits = name.substr(5, name.size() - 8);
            if (digits.empty() || digits.size() > 18 ||
                !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                continue;
            }
            found.emplace_back(std::stoll(digits), record::CheckpointName(dir, std::stoll(digits)));
        }
        closedir(folder);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& [step, name] : found) names.push_back(std::move(name));
    return names;
}

std::optional<SavedRun> NewestCheckpoint(const std::string& dir, std::vector<std::string>* skipped) {
    for (const std::string& path : CheckpointsIn(dir)) {
        try {
            return SavedRun{path, std::make_unique<record::RunState>(record::ReadCheckpoint(path))};
        } catch (const record::RecordError& e) {
            if (skipped) skipped->push_back(e.message);
        }
    }
    return std::nullopt;
}

SavedRun ReadSavedRun(const std::string& path, std::vector<std::string>* skipped) {
    if (!IsFolder(path)) return {path, std::make_unique<record::RunState>(record::ReadCheckpoint(path))};
    if (std::optional<SavedRun> newest = NewestCheckpoint(path, skipped)) return std::move(*newest);
    throw record::RecordError{"no checkpoint in '" + Printable(path, 400) + "' reads whole"};
}

}  // namespace qm
