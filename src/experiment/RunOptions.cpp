#include "experiment/RunOptions.h"

#include <CLI/App.hpp>
#include <CLI/Formatter.hpp>
#include <CLI/Validators.hpp>

#include <unistd.h>

#include <algorithm>
#include <charconv>

#include "experiment/PhysicsSettings.h"

namespace qm {

std::optional<std::uint32_t> ParseSeed(std::string_view text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

std::string SeedError(std::string_view text) {
    return "--seed takes a whole number from 0 to 4294967295, not '" + std::string(text) + "'";
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

int DefaultMaxNodes(long long bytesPerNode) {
    const long long pages = sysconf(_SC_PHYS_PAGES);
    const long long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 1000000;
    const long long nodes = pages / 4 * pageSize / bytesPerNode;
    return static_cast<int>(std::clamp<long long>(nodes, 1, std::numeric_limits<int>::max()));
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
