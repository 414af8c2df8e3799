#include "experiment/RunOptions.h"

#include <CLI/App.hpp>
#include <CLI/Formatter.hpp>
#include <CLI/Validators.hpp>

#include <charconv>

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
