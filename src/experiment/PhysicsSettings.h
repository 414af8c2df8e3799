#pragma once
// Physics from the user: a TOML file of keys (docs/physics.md) and
// "--set KEY=VALUE" settings over it. Everything given is checked: an
// unknown key, a value that is not a number, and one outside its key's
// range are refused with a message naming the key, the value and the range.

#include <string>
#include <string_view>
#include <vector>

#include "node/Physics.h"

namespace qm {

struct SettingError {
    std::string message;
};

// One "KEY=VALUE[,VALUE...]": a known key and its values, each in the key's range.
struct PhysicsSetting {
    std::string key;
    std::vector<double> values;
};
PhysicsSetting ParsePhysicsSetting(std::string_view text);

// The keys, in the order of ForEachPhysicsKey.
std::vector<std::string> PhysicsKeys();

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

// The defaults, then the keys of the TOML file `file` (when not empty),
// then each setting in order (one value each); checked as a whole
// (PhysicsFault). Throws SettingError.
Physics ResolvePhysics(const std::string& file, const std::vector<std::string>& settings);

}  // namespace qm
