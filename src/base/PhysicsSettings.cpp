#include "base/PhysicsSettings.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/Diagnostics.h"

namespace qm {
namespace {

[[noreturn]] void Refuse(const std::string& message) { throw SettingError{message}; }

std::string KeyList() {
    std::string list;
    for (const std::string& key : PhysicsKeys()) list += (list.empty() ? "" : ", ") + key;
    return list;
}

// Calls `use(lowest, highest, member-setter)` for `key`; false when the key is unknown.
template <class Use>
bool WithKey(std::string_view key, Use&& use) {
    bool found = false;
    ForEachPhysicsKey([&](const char* name, auto member, double lowest, double highest) {
        if (!found && key == name) {
            found = true;
            use(member, lowest, highest);
        }
    });
    return found;
}

}  // namespace

void CheckPhysicsKey(std::string_view key, const std::string& where) {
    if (!WithKey(key, [](auto, double, double) {})) {
        Refuse(where + "unknown physics key '" + Printable(key, 80) + "'; the keys are " + KeyList());
    }
}

void CheckPhysicsValue(const std::string& key, double value, const std::string& where) {
    WithKey(key, [&](auto member, double lowest, double highest) {
        if (!(value >= lowest && value <= highest)) {
            Refuse(where + key + " = " + PhysicsValueText(value) + " is outside its range, " +
                   PhysicsValueText(lowest) + " to " + PhysicsValueText(highest));
        }
        // A value so near 0 that the key's type keeps it as 0 or with lost
        // digits (a subnormal) is refused the same from --set, a file or Python.
        using T = std::remove_reference_t<decltype(Physics{}.*member)>;
        if (value != 0.0 && std::fabs(value) < static_cast<double>(std::numeric_limits<T>::min())) {
            Refuse(where + key + " = " + Printable(FormatString("%g", value), 40) +
                   " is too near 0 to hold: give 0 or at least " +
                   FormatString("%g", static_cast<double>(std::numeric_limits<T>::min())));
        }
    });
}

std::string PhysicsKeyRange(const std::string& key) {
    std::string range;
    WithKey(key, [&](auto, double lowest, double highest) {
        range = PhysicsValueText(lowest) + " to " + PhysicsValueText(highest);
    });
    return range;
}

std::vector<std::string> PhysicsKeys() {
    std::vector<std::string> keys;
    ForEachPhysicsKey([&](const char* name, auto, double, double) { keys.emplace_back(name); });
    return keys;
}

void SetPhysicsKey(Physics& physics, const std::string& key, double value) {
    WithKey(key, [&](auto member, double, double) {
        using T = std::remove_reference_t<decltype(physics.*member)>;
        physics.*member = static_cast<T>(value);
    });
}

void SetPhysicsKeyChecked(Physics& physics, const std::string& key, double value) {
    CheckPhysicsKey(key);
    CheckPhysicsValue(key, value);
    SetPhysicsKey(physics, key, value);
}

double GetPhysicsKey(const Physics& physics, const std::string& key) {
    double value = 0;
    WithKey(key, [&](auto member, double, double) {
        value = std::strtod(PhysicsValueText(physics.*member).c_str(), nullptr);
    });
    return value;
}

std::string PhysicsArguments(const Physics& physics) {
    std::string arguments;
    ForEachPhysicsKey([&](const char* key, auto member, double, double) {
        if (physics.*member != DefaultPhysics().*member)
            arguments += std::string(" --set ") + key + "=" + PhysicsValueText(physics.*member);
    });
    return arguments;
}

}  // namespace qm
