#include "experiment/PhysicsSettings.h"

#include <sys/stat.h>

#include <toml++/toml.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>

#include "base/Diagnostics.h"
#include "base/RegularFile.h"

namespace qm {
namespace {

// A physics file has a line per key; anything much larger is not one.
constexpr std::size_t kMaxPhysicsFileBytes = 1 << 16;

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

void CheckKnown(std::string_view key, const std::string& where) {
    if (!WithKey(key, [](auto, double, double) {})) {
        Refuse(where + "unknown physics key '" + Printable(key, 80) + "'; the keys are " + KeyList());
    }
}

void CheckRange(const std::string& key, double value, const std::string& where) {
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

}  // namespace

std::string PhysicsKeyRange(const std::string& key) {
    std::string range;
    WithKey(key, [&](auto, double lowest, double highest) {
        range = PhysicsValueText(lowest) + " to " + PhysicsValueText(highest);
    });
    return range;
}

namespace {

std::string ReadSmallFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        Refuse(Printable(path, 400) + ": cannot read it: " + std::strerror(errno));
    if (auto why = NotRegularFile(path)) Refuse(Printable(path, 400) + ": " + *why);
    if (static_cast<std::size_t>(info.st_size) > kMaxPhysicsFileBytes) {
        Refuse(Printable(path, 400) + ": " + std::to_string(info.st_size) +
               " bytes; a physics file has at most " + std::to_string(kMaxPhysicsFileBytes));
    }
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        Refuse(Printable(path, 400) + ": cannot read it");
    }
    return text;
}

std::string KindOf(const toml::node& value) {
    if (value.is_string()) return "a string";
    if (value.is_boolean()) return "true or false";
    if (value.is_table()) return "a table";
    if (value.is_array()) return "an array";
    return "a date or time";
}

void ApplyFile(Physics& physics, const std::string& path) {
    const std::string text = ReadSmallFile(path);
    const std::string name = Printable(path, 400);
    toml::table table;
    try {
        table = toml::parse(std::string_view(text), std::string_view(path));
    } catch (const toml::parse_error& e) {
        Refuse(name + ":" + std::to_string(e.source().begin.line) + ":" +
               std::to_string(e.source().begin.column) + ": " + std::string(e.description()));
    }
    for (auto&& [key, value] : table) {
        const std::string where = name + ":" + std::to_string(value.source().begin.line) + ": ";
        const std::string k(key.str());
        CheckKnown(k, where);
        if (!value.is_number()) Refuse(where + k + " takes a number, not " + KindOf(value));
        const double v = *value.value<double>();
        CheckRange(k, v, where);
        SetPhysicsKey(physics, k, v);
    }
}

}  // namespace

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
    CheckKnown(key, "");
    CheckRange(key, value, "");
    SetPhysicsKey(physics, key, value);
}

double GetPhysicsKey(const Physics& physics, const std::string& key) {
    double value = 0;
    WithKey(key, [&](auto member, double, double) {
        value = std::strtod(PhysicsValueText(physics.*member).c_str(), nullptr);
    });
    return value;
}

PhysicsSetting ParsePhysicsSetting(std::string_view text) {
    const std::string where = "--set " + Printable(text, 200) + ": ";
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) Refuse(where + "takes KEY=VALUE, e.g. gravity=0.005");
    PhysicsSetting setting{std::string(text.substr(0, equals)), {}};
    CheckKnown(setting.key, where);
    std::string_view rest = text.substr(equals + 1);
    for (;;) {
        const std::size_t comma = rest.find(',');
        const std::string part(rest.substr(0, comma));
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(part.c_str(), &end);
        // Out of range (ERANGE) is left to CheckRange: a value too large or too small says so.
        if (part.empty() || *end != '\0') {
            Refuse(where + setting.key + " takes a number, not '" + Printable(part, 80) + "'");
        }
        if (errno == ERANGE && value == 0.0) {
            Refuse(where + setting.key + " = " + Printable(part, 80) + " is too near 0 to hold: give 0");
        }
        CheckRange(setting.key, value, where);
        setting.values.push_back(value);
        if (comma == std::string_view::npos) return setting;
        rest = rest.substr(comma + 1);
    }
}

std::string PhysicsArguments(const Physics& physics) {
    std::string arguments;
    ForEachPhysicsKey([&](const char* key, auto member, double, double) {
        if (physics.*member != DefaultPhysics().*member)
            arguments += std::string(" --set ") + key + "=" + PhysicsValueText(physics.*member);
    });
    return arguments;
}

Physics ResolvePhysics(const std::string& file, const std::vector<std::string>& settings) {
    Physics physics;
    if (!file.empty()) ApplyFile(physics, file);
    for (const std::string& text : settings) {
        const PhysicsSetting setting = ParsePhysicsSetting(text);
        if (setting.values.size() != 1) {
            Refuse("--set " + Printable(text, 200) + ": a run takes one value per key (lists are for sweep)");
        }
        SetPhysicsKey(physics, setting.key, setting.values[0]);
    }
    const std::string fault = PhysicsFault(physics);
    if (!fault.empty()) Refuse("the physics given is unsound: " + fault);
    return physics;
}

}  // namespace qm
