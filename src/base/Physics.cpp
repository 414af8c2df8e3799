#include "base/Physics.h"

#include <charconv>

namespace qm {

const Physics& DefaultPhysics() {
    static const Physics defaults;
    return defaults;
}

template <class T>
std::string PhysicsValueText(T value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}
template std::string PhysicsValueText(float);
template std::string PhysicsValueText(double);

std::string PhysicsFault(const Physics& physics) {
    std::string fault;
    auto add = [&](const std::string& what) { fault += (fault.empty() ? "" : "; ") + what; };
    ForEachPhysicsKey([&](const char* key, auto member, double lowest, double highest) {
        const double value = static_cast<double>(physics.*member);
        // Written so that a NaN fails too.
        if (!(value >= lowest && value <= highest)) {
            add(std::string(key) + " = " + PhysicsValueText(physics.*member) + " is outside " +
                PhysicsValueText(lowest) + " to " + PhysicsValueText(highest));
        }
    });
    auto ordered = [&](const char* low, double a, const char* high, double b) {
        if (a > b) add(std::string(low) + " is more than " + high);
    };
    ordered("link_length_min", physics.linkLengthMin, "link_length_max", physics.linkLengthMax);
    ordered("static_friction_min", physics.staticFrictionMin, "static_friction_max",
            physics.staticFrictionMax);
    ordered("dynamic_friction_min", physics.dynamicFrictionMin, "dynamic_friction_max",
            physics.dynamicFrictionMax);
    ordered("friction_difference_min", physics.frictionDifferenceMin, "friction_difference_max",
            physics.frictionDifferenceMax);
    return fault;
}

}  // namespace qm
