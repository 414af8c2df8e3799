#include "sim/Options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace qm::sim {
namespace {

[[noreturn]] void Bad(const std::string& message) { throw UsageError{message}; }

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
            throw CLI::ValidationError("--goal takes three numbers X,Y,Z, not '" + text + "'");
        }
        at = comma + 1;
    }
    return {v[0], v[1], v[2]};
}

// The commands and their options. The app keeps references into `o`.
struct CommandLine {
    explicit CommandLine(Options& o) {
        app.set_help_flag();  // --help is answered by the caller
        app.require_subcommand(1);
        compile = app.add_subcommand("compile", "print the gene's code string");
        compile->add_option("GENE_FILE", o.geneFile, "the gene source file")->required();
        dump = app.add_subcommand("dump", "print the gene as an indented program");
        dump->add_option("GENE_FILE", o.geneFile, "the gene source file")->required();
        run = app.add_subcommand("run", "grow a creature from the gene without a window");
        run->add_option("GENE_FILE", o.geneFile, "the gene source file")->required();
        AddRunOptions(*run, o.run);
        run->add_option("--steps", o.steps, "number of world steps (default 1000)")
            ->type_name("N")
            ->check(CLI::Range(0LL, 1000000000000LL).description(""));
        run->add_option("--trace", o.traceFile,
                        "one JSON line per step with every node and link (- for stdout)")
            ->type_name("FILE");
        run->add_option("--stats", o.statsFile, "CSV: step, nodes, links, centroid, distance to the goal")
            ->type_name("FILE");
        run->add_option("--log", o.logFile, "where the error log goes (default error.lot.txt)")
            ->type_name("FILE");
        run->add_option_function<std::string>(
               "--goal", [&o](const std::string& text) { o.goal = ParseGoal(text); },
               "put the goal there instead of 0,-25,250")
            ->type_name("X,Y,Z");
        run->add_flag("--quiet", o.quiet, "no progress bar");
        run->add_flag(
            "--profile", o.profile,
            "time each phase of the steps; print phase, total ms and share on standard error at the end");
        for (CLI::App* command : {compile, dump, run}) command->set_help_flag();
    }

    CLI::App app{"", "quillmoth-sim"};
    CLI::App* compile;
    CLI::App* dump;
    CLI::App* run;
};

}  // namespace

std::string UsageText() {
    Options unused;
    CommandLine line(unused);
    return "usage: quillmoth-sim compile GENE_FILE\n"
           "       quillmoth-sim dump GENE_FILE\n"
           "       quillmoth-sim run [OPTIONS] GENE_FILE\n"
           "       quillmoth-sim --help | --version\n"
           "\n"
           "  compile   print the gene's code string\n"
           "  dump      print the gene as an indented program\n"
           "  run       grow a creature from the gene without a window\n"
           "\n"
           "run options:\n" +
           OptionHelp(*line.run) +
           "\n"
           "exit status: 0 all steps ran, 3 a node reached the goal, 1 the engine raised an error,\n"
           "2 bad command line\n";
}

Options ParseOptions(const std::vector<std::string>& args) {
    Options o;
    if (args.empty()) Bad("no command given");
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") return o;
    if (first == "--version") {
        o.command = Command::Version;
        return o;
    }
    if (first != "compile" && first != "dump" && first != "run") Bad("unknown command '" + first + "'");
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        return o;
    }

    CommandLine line(o);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes the arguments last first
    try {
        line.app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        Bad(e.what());
    }
    o.command = line.compile->parsed() ? Command::Compile
                : line.dump->parsed()  ? Command::Dump
                                       : Command::Run;
    return o;
}

}  // namespace qm::sim
