#pragma once
// Physics from the user: a TOML file of keys (docs/physics.md) and
// "--set KEY=VALUE" settings over it. Everything given is checked: an
// unknown key, a value that is not a number, and one outside its key's
// range are refused with a message naming the key, the value and the range.

#include <string>
#include <string_view>
#include <vector>

#include "base/PhysicsSettings.h"

namespace qm {

// One "KEY=VALUE[,VALUE...]": a known key and its values, each in the key's range.
struct PhysicsSetting {
    std::string key;
    std::vector<double> values;
};
// Throws SettingError.
PhysicsSetting ParsePhysicsSetting(std::string_view text);

// The defaults, then the keys of the TOML file `file` (when not empty),
// then each setting in order (one value each); checked as a whole
// (PhysicsFault). Throws SettingError.
Physics ResolvePhysics(const std::string& file, const std::vector<std::string>& settings);

}  // namespace qm
