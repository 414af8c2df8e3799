// quillmoth-sim: the headless runner. Compiles and prints genes, and grows
// creatures without a window for reproducible, scriptable batch runs.

#include <cstdio>
#include <string>
#include <vector>

#include "base/Diagnostics.h"
#include "sim/Commands.h"
#include "sim/Options.h"

int main(int argc, char** argv) {
    using namespace qm::sim;
    std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    try {
        options = ParseOptions(args);
    } catch (const UsageError& e) {
        // The message may quote an argument: show it cut short and printable.
        std::fprintf(stderr, "quillmoth-sim: %s\n%s\n", qm::Printable(e.message, 400).c_str(),
                     UsageHint(e.command).c_str());
        return kExitUsage;
    }
    switch (options.command) {
        case Command::Help:
            std::fputs(UsageText(options.helpCommand).c_str(), stdout);
            return kExitCompleted;
        case Command::Version:
            std::puts("quillmoth-sim " QM_VERSION);
            return kExitCompleted;
        case Command::Compile:
            return Compile(options, stdout);
        case Command::Dump:
            return Dump(options, stdout);
        case Command::Run:
            return Run(options, stdout);
        case Command::Evolve:
            return Evolve(options, stdout);
        case Command::Sweep:
            return Sweep(options, stdout);
        case Command::Decode:
            return Decode(options, stdout);
        case Command::Export:
            return Export(options);
    }
    return kExitUsage;
}
