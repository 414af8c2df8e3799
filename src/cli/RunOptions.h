#pragma once
// The command-line options both programs give a run, defined once on a CLI11
// app (declared here only by name: their users need not include CLI11).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Physics.h"
#include "base/RunLimits.h"
#include "math/D3dxTypes.h"

namespace CLI {
class App;
}

namespace qm {

// Why a "--seed" value is not one (ParseSeed says whether it is).
std::string SeedError(std::string_view text);

// "--goal" values: three finite numbers "X,Y,Z". Nothing when the text is
// not that; GoalError says so for a command line.
std::optional<Vector3> ParseGoal(std::string_view text);
std::string GoalError(std::string_view text);

// --physics FILE and --set KEY=VALUE: the physics they give, once the command line is parsed.
struct PhysicsOptions {
    std::string file;
    std::vector<std::string> settings;
    Physics physics;
    bool Given() const { return !file.empty() || !settings.empty(); }
};

struct RunOptions {
    std::optional<std::uint32_t> seed;  // the clock's when not given
    int maxNodes = DefaultMaxNodes();   // the window's is DefaultMaxNodes(kWindowBytesPerNode)
    PhysicsOptions physics;
};

// Adds --physics FILE and --set KEY=VALUE (repeatable) to `app`; when `app`
// is parsed, options.physics holds the physics they give (a bad one is a
// validation error naming the key, the value and its range).
void AddPhysicsOptions(CLI::App& app, PhysicsOptions& options);

// Adds --seed N, --max-nodes N and the physics options to `app`, stored in
// `options`; the help text names the default `options` holds.
void AddRunOptions(CLI::App& app, RunOptions& options);

// Adds --goal X,Y,Z to `app`, stored in `goal`; both programs place a run's goal with it.
void AddGoalOption(CLI::App& app, std::optional<Vector3>& goal);

// One line per option of `app` (positionals aside) with its description, for a help text.
std::string OptionHelp(const CLI::App& app);

}  // namespace qm
