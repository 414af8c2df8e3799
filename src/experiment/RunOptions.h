#pragma once
// The command-line options both programs give a run, defined once on a CLI11
// app (declared here only by name: the engine does not need CLI11's headers).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace CLI {
class App;
}

namespace qm {

// "--seed" values: a whole number from 0 to 4294967295. Nothing when the
// text is not one; SeedError says so for a command line.
std::optional<std::uint32_t> ParseSeed(std::string_view text);
std::string SeedError(std::string_view text);

struct RunOptions {
    std::optional<std::uint32_t> seed;  // the clock's when not given
};

// Adds --seed N to `app`, stored in `options`.
void AddRunOptions(CLI::App& app, RunOptions& options);

// One line per option of `app` (positionals aside) with its description, for a help text.
std::string OptionHelp(const CLI::App& app);

}  // namespace qm
