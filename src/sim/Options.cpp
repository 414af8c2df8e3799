#include "sim/Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "experiment/RunGuard.h"

namespace qm::sim {

const char* const kUsage =
    "usage: quillmoth-sim compile GENE_FILE\n"
    "       quillmoth-sim dump GENE_FILE\n"
    "       quillmoth-sim run [--seed N] [--steps N] [--trace FILE] [--stats FILE]\n"
    "                         [--log FILE] [--goal X,Y,Z] [--quiet] GENE_FILE\n"
    "       quillmoth-sim --help | --version\n"
    "\n"
    "  compile   print the gene's code string\n"
    "  dump      print the gene as an indented program\n"
    "  run       grow a creature from the gene without a window\n"
    "\n"
    "run options:\n"
    "  --seed N       seed of the random generator (default: the current time in seconds)\n"
    "  --steps N      number of world steps (default 1000)\n"
    "  --trace FILE   one JSON line per step with every node and link (- for stdout)\n"
    "  --stats FILE   CSV: step, nodes, links, centroid, distance to the goal\n"
    "  --log FILE     where the error log goes (default error.lot.txt)\n"
    "  --goal X,Y,Z   put the goal there instead of 0,-25,250\n"
    "  --quiet        no progress bar\n"
    "\n"
    "exit status: 0 all steps ran, 3 a node reached the goal, 1 the engine raised an error,\n"
    "2 bad command line\n";

namespace {

[[noreturn]] void Bad(const std::string& message) { throw UsageError{message}; }

long long ParseInteger(const std::string& option, const std::string& text, long long low, long long high) {
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high) {
        Bad(option + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
            ", not '" + text + "'");
    }
    return value;
}

Vector3 ParseGoal(const std::string& text) {
    float v[3];
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        std::size_t comma = text.find(',', at);
        std::string part = text.substr(at, i < 2 ? comma - at : std::string::npos);
        char* end = nullptr;
        errno = 0;
        v[i] = std::strtof(part.c_str(), &end);
        if (part.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v[i]) ||
            (i < 2 && comma == std::string::npos)) {
            Bad("--goal takes three numbers X,Y,Z, not '" + text + "'");
        }
        at = comma + 1;
    }
    return {v[0], v[1], v[2]};
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
    Options o;
    if (args.empty()) Bad("no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") return o;
    if (command == "--version") {
        o.command = Command::Version;
        return o;
    }
    if (command == "compile") {
        o.command = Command::Compile;
    } else if (command == "dump") {
        o.command = Command::Dump;
    } else if (command == "run") {
        o.command = Command::Run;
    } else {
        Bad("unknown command '" + command + "'");
    }

    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) Bad(a + " needs a value");
            return args[++i];
        };
        bool runOption = true;
        if (a == "--help" || a == "-h") {
            o.command = Command::Help;
            return o;
        } else if (a == "--seed") {
            const std::string& text = value();
            o.seed = ParseSeed(text);
            if (!o.seed) Bad(SeedError(text));
        } else if (a == "--steps") {
            o.steps = ParseInteger(a, value(), 0, 1000000000000LL);
        } else if (a == "--trace") {
            o.traceFile = value();
        } else if (a == "--stats") {
            o.statsFile = value();
        } else if (a == "--log") {
            o.logFile = value();
        } else if (a == "--goal") {
            o.goal = ParseGoal(value());
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            Bad("unknown option '" + a + "'");
        } else {
            runOption = false;
            if (!o.geneFile.empty()) Bad("only one gene file may be given");
            o.geneFile = a;
        }
        if (runOption && o.command != Command::Run) Bad(a + " is an option of run only");
    }
    if (o.geneFile.empty()) Bad("no gene file given");
    return o;
}

}  // namespace qm::sim
