#pragma once
// The command-line options both programs give a run, defined once on a CLI11
// app (declared here only by name: the engine does not need CLI11's headers).

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "node/Physics.h"

#include "math/D3dxTypes.h"

namespace CLI {
class App;
}

namespace qm {

// "--seed" values: a whole number from 0 to 4294967295. Nothing when the
// text is not one; SeedError says so for a command line.
std::optional<std::uint32_t> ParseSeed(std::string_view text);
std::string SeedError(std::string_view text);

// "--goal" values: three finite numbers "X,Y,Z". Nothing when the text is
// not that; GoalError says so for a command line.
std::optional<Vector3> ParseGoal(std::string_view text);
std::string GoalError(std::string_view text);

// Peak memory of a headless run per node (bytes): quillmoth-sim runs of the
// crowd gene measured 972 bytes a node at 16,384 nodes and 889 at 1,048,576
// (peak RSS less that of a one-node run), rounded up; the default node limit
// is made from it.
inline constexpr long long kBytesPerNode = 1024;
// The same for the window, which also holds what it draws of every node and
// link: quillmoth --bench-frames of the crowd gene under Xvfb grew its peak
// RSS by 2,516 bytes a node from 32,768 to 131,072 nodes and by 2,351 from
// there to 262,144, rounded up (below 32,768 nodes the drawing's fixed
// costs still grow: about 5 KB a node).
inline constexpr long long kWindowBytesPerNode = 2560;

// A quarter of the machine's memory in nodes of `bytesPerNode`, at most 2^31 - 1.
int DefaultMaxNodes(long long bytesPerNode = kBytesPerNode);

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
