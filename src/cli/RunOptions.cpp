#include "cli/RunOptions.h"

#include <CLI/App.hpp>
#include <CLI/Formatter.hpp>
#include <CLI/Validators.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "cli/PhysicsFile.h"

namespace qm {

std::string SeedError(std::string_view text) {
    return "--seed takes a whole number from 0 to 4294967295, not '" + std::string(text) + "'";
}

std::optional<Vector3> ParseGoal(std::string_view text) {
    float v[3];
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = text.find(',', at);
        if ((i < 2) == (comma == std::string_view::npos)) return std::nullopt;
        const std::string part(text.substr(at, i < 2 ? comma - at : std::string_view::npos));
        char* end = nullptr;
        errno = 0;
        v[i] = std::strtof(part.c_str(), &end);
        if (part.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v[i])) return std::nullopt;
        at = comma + 1;
    }
    return Vector3{v[0], v[1], v[2]};
}

std::string GoalError(std::string_view text) {
    return "--goal takes three numbers X,Y,Z, not '" + std::string(text) + "'";
}

void AddGoalOption(CLI::App& app, std::optional<Vector3>& goal) {
    app.add_option_function<std::string>(
           "--goal",
           [&goal](const std::string& text) {
               goal = ParseGoal(text);
               if (!goal) throw CLI::ValidationError(GoalError(text));
           },
           "put the goal there instead of 0,-25,250")
        ->type_name("X,Y,Z");
}

void AddRunOptions(CLI::App& app, RunOptions& options) {
    app.add_option_function<std::string>(
           "--seed",
           [&options](const std::string& text) {
               options.seed = ParseSeed(text);
               if (!options.seed) throw CLI::ValidationError(SeedError(text));
           },
           "seed of the random generator (default: the current time in seconds)")
        ->type_name("N");
    app.add_option("--max-nodes", options.maxNodes,
                   "the most nodes the creature may have; a division beyond it ends the run with an error "
                   "(default: a quarter of this machine's memory, " +
                       std::to_string(options.maxNodes) + " nodes)")
        ->type_name("N")
        ->check(CLI::Range(1, std::numeric_limits<int>::max()).description(""));
    AddPhysicsOptions(app, options.physics);
}

void AddPhysicsOptions(CLI::App& app, PhysicsOptions& options) {
    app.add_option("--physics", options.file, "the world's constants from a TOML file (docs/physics.md)")
        ->type_name("FILE");
    app.add_option("--set", options.settings, "one constant, over --physics; repeatable (e.g. gravity=0.005)")
        ->type_name("KEY=VALUE")
        ->allow_extra_args(false);  // one KEY=VALUE per --set: the gene file may follow
    app.parse_complete_callback([&options] {
        try {
            options.physics = ResolvePhysics(options.file, options.settings);
        } catch (const SettingError& e) {
            throw CLI::ValidationError(e.message);
        }
    });
}

std::string OptionHelp(const CLI::App& app) {
    CLI::Formatter format;
    format.column_width(18);
    std::string text;
    for (const CLI::Option* option : app.get_options()) {
        if (option->nonpositional()) text += format.make_option(option, false);
    }
    return text;
}

}  // namespace qm
