#pragma once
// The physics keys by name, as users give them (a file, --set, Python):
// an unknown key and a value outside its key's range are refused with a
// message naming the key, the value and the range.

#include <string>
#include <string_view>
#include <vector>

#include "base/Physics.h"

namespace qm {

struct SettingError {
    std::string message;
};

// The keys, in the order of ForEachPhysicsKey.
std::vector<std::string> PhysicsKeys();

// Each throws SettingError, its message led by `where`: for an unknown key, for
// a value outside its key's range (or too near 0 for the key's type to hold).
void CheckPhysicsKey(std::string_view key, const std::string& where = "");
void CheckPhysicsValue(const std::string& key, double value, const std::string& where = "");

// `physics` with `key` set to `value` (a known key, a value in its range).
void SetPhysicsKey(Physics& physics, const std::string& key, double value);
// The same for a key and value from a user: throws SettingError for an
// unknown key or a value outside its range.
void SetPhysicsKeyChecked(Physics& physics, const std::string& key, double value);
// The range of a known key as refusals give it: "LOWEST to HIGHEST".
std::string PhysicsKeyRange(const std::string& key);
// The value of `key` as its shortest text reads (0.01, not the double of 0.01f).
double GetPhysicsKey(const Physics& physics, const std::string& key);

// " --set KEY=VALUE" for every key whose value is not the default: what a
// command line needs to run under `physics`.
std::string PhysicsArguments(const Physics& physics);

}  // namespace qm
