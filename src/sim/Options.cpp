#include "sim/Options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <sstream>

#include "sim/EvolveOptions.h"

namespace qm::sim {
namespace {

[[noreturn]] void Bad(const std::string& message) { throw UsageError{message}; }

// The most runs one sweep holds: beyond, the grid is a typing error, not a plan.
constexpr std::size_t kMaxSweepRuns = 10000000;

// "1-20", "1,5,9" or both ("1-5,9"): each seed once, in the order given.
std::vector<std::uint32_t> ParseSeedRanges(const std::string& text) {
    const auto bad = [&text](const std::string& why) {
        return CLI::ValidationError(
            "--seeds takes seeds and ranges A-B separated by commas (e.g. 1-20 or 1,5,9), "
            "not '" +
            text + "': " + why);
    };
    std::vector<std::uint32_t> seeds;
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = text.find(',', at);
        const std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        const std::size_t dash = part.find('-');
        const std::optional<std::uint32_t> first = ParseSeed(part.substr(0, dash));
        const std::optional<std::uint32_t> last =
            dash == std::string::npos ? first : ParseSeed(part.substr(dash + 1));
        if (!first || !last) throw bad("'" + part + "' is not a seed (0 to 4294967295) or a range of them");
        if (*last < *first) throw bad("the range " + part + " runs backwards");
        if (*last - *first >= kMaxSweepRuns || seeds.size() + (*last - *first) >= kMaxSweepRuns) {
            throw bad("more than " + std::to_string(kMaxSweepRuns) + " seeds");
        }
        for (std::uint64_t seed = *first; seed <= *last; ++seed)
            seeds.push_back(static_cast<std::uint32_t>(seed));
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    std::vector<std::uint32_t> sorted = seeds;
    std::sort(sorted.begin(), sorted.end());
    const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
    if (twice != sorted.end()) throw bad("seed " + std::to_string(*twice) + " is given twice");
    return seeds;
}

void AddSweepOptions(CLI::App& sweep, SweepOptions& o) {
    sweep.add_option("GENE_FILE", o.geneFile, "the gene every run grows")->required();
    sweep
        .add_option_function<std::string>(
            "--seeds", [&o](const std::string& text) { o.seeds = ParseSeedRanges(text); },
            "the seeds of every setting: a range, a list or both (e.g. 1-20, 1,5,9)")
        ->type_name("A-B,C,...")
        ->required();
    sweep
        .add_option("--set", o.settings,
                    "a constant and its values, one run each; repeatable: the grid is "
                    "every combination (e.g. gravity=0.005,0.01,0.02)")
        ->type_name("KEY=V1,V2,...")
        ->allow_extra_args(false);
    sweep
        .add_option("--physics", o.physicsFile,
                    "the base physics the settings change (TOML, docs/physics.md)")
        ->type_name("FILE");
    sweep.add_option("--steps", o.steps, "the steps of every run (default 1000)")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::RunSteps));
    sweep
        .add_option_function<std::string>(
            "--goal", [&o](const std::string& text) { o.goal = ParseGoal(text); },
            "put the goal there instead of 0,-25,250")
        ->type_name("X,Y,Z");
    sweep
        .add_option(
            "--max-nodes", o.maxNodes,
            "the most nodes a creature may have (default as run's, " + std::to_string(o.maxNodes) + ")")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::MaxNodes));
    sweep.add_option("--out", o.out, "the folder of results.csv and sweep.json (default sweep-out)")
        ->type_name("DIR");
    sweep.add_option("--workers", o.workers, "runs at once (default: one per core)")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::Workers));
    sweep.add_flag("--resume", o.resume,
                   "go on with the sweep of the same command in DIR: skip the runs it has");
    sweep
        .add_option("--merge", o.merge,
                    "take in the rows of the shares in these folders (the same sweep with --only), then go "
                    "on as --resume")
        ->type_name("DIR...")
        ->expected(1, -1);
    sweep
        .add_option_function<std::string>(
            "--only",
            [&o](const std::string& text) {
                const std::size_t slash = text.find('/');
                const std::optional<std::uint32_t> i = ParseSeed(text.substr(0, slash));
                const std::optional<std::uint32_t> n =
                    slash == std::string::npos ? std::nullopt : ParseSeed(text.substr(slash + 1));
                if (!i || !n || *i < 1 || *i > *n || *n > 1000000) {
                    throw CLI::ValidationError("--only takes I/N with 1 <= I <= N <= 1000000, not '" + text +
                                               "'");
                }
                o.onlyIndex = static_cast<int>(*i);
                o.onlyCount = static_cast<int>(*n);
            },
            "run only the I-th of N shares of the runs (for job arrays; docs/sweeps.md)")
        ->type_name("I/N");
    sweep.add_flag("--quiet", o.quiet, "no progress and no closing line");
}

// The grid of a sweep from its command line; a bad setting is a usage error.
void ResolveSweep(SweepOptions& o) {
    try {
        o.base = ResolvePhysics(o.physicsFile, {});
        for (const std::string& text : o.settings) {
            PhysicsSetting setting = ParsePhysicsSetting(text);
            for (const PhysicsSetting& earlier : o.grid) {
                if (earlier.key == setting.key)
                    Bad("--set " + setting.key + " is given twice: list its values in one");
            }
            std::vector<double> sorted = setting.values;
            std::sort(sorted.begin(), sorted.end());
            if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
                Bad("--set " + text + ": a value is given twice");
            }
            o.grid.push_back(std::move(setting));
        }
    } catch (const SettingError& e) {
        Bad(e.message);
    }
    std::size_t runs = o.seeds.size();
    for (const PhysicsSetting& setting : o.grid) {
        runs *= setting.values.size();
        if (runs > kMaxSweepRuns) Bad("the grid holds more than " + std::to_string(kMaxSweepRuns) + " runs");
    }
    if (runs == 0) Bad("the grid is empty: give --seeds and at least one value per --set");
}

void AddDecodeOptions(CLI::App& decode, DecodeOptions& o) {
    decode
        .add_option("INPUT", o.input,
                    "a code string, a file of code strings (one a line) or a table with id and code "
                    "columns")
        ->required();
    decode
        .add_option_function<std::vector<std::string>>(
            "--id",
            [&o](const std::vector<std::string>& ids) {
                for (const std::string& id : ids) {
                    if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos)
                        throw CLI::ValidationError("--id takes a whole number, not '" + id + "'");
                }
                o.ids = ids;
            },
            "with a table: decode the row of this id; repeatable")
        ->type_name("N")
        ->allow_extra_args(false);
    decode.add_option("--out", o.outDir, "write DIR/gene-LINE.txt (gene-ID.txt) per code string instead")
        ->type_name("DIR");
    decode.add_option("-o,--output", o.output, "write everything into FILE instead of standard output")
        ->type_name("FILE");
}

void AddExportOptions(CLI::App& command, ExportOptions& o) {
    command.add_option("TRACE", o.trace, "a trace of run --trace: JSON lines or HDF5")->required();
    command.add_option("-o,--output", o.output, "the page to write")->type_name("FILE")->required();
    command.add_option("--every", o.every, "keep the recorded steps whose number K divides (default 1)")
        ->type_name("K")
        ->check(CLI::Range(1LL, 1000000000000LL).description(""));
    command.add_option("--max-mb", o.maxMb, "refuse to write a page larger than M megabytes")
        ->type_name("M")
        ->check(CLI::PositiveNumber.description(""));
}

// The commands and their options. The app keeps references into `o`.
struct CommandLine {
    explicit CommandLine(Options& o) {
        app.set_help_flag();  // --help is answered by the caller
        app.require_subcommand(1);
        compile = app.add_subcommand("compile", "print the gene's code string");
        compile->add_option("GENE_FILE", o.geneFile, "the gene source file")->required();
        compile->add_flag("--debug", o.debug, "the code string on standard error too");
        dump = app.add_subcommand("dump", "print the gene as an indented program");
        dump->add_option("GENE_FILE", o.geneFile, "the gene source file")->required();
        dump->add_flag("--debug", o.debug, "the code string on standard error too");
        run = app.add_subcommand("run", "grow a creature from the gene without a window");
        run->add_option("GENE_FILE", o.geneFile, "the gene source file (not with --resume)");
        AddRunOptions(*run, o.run);
        run->add_option("--steps", o.steps,
                        "the step the run stops at, counted from its start (default 1000)")
            ->type_name("N")
            ->check(ByRule(evolve::Argument::RunSteps));
        run->add_option("--trace", o.traceFile,
                        "every node and link per step: JSON lines (- for stdout), or HDF5 for a name ending "
                        "in .h5")
            ->type_name("FILE");
        run->add_option("--trace-every", o.traceEvery, "keep every K-th step in the trace (default 1)")
            ->type_name("K")
            ->check(ByRule(evolve::Argument::TraceEvery));
        run->add_option("--stats", o.statsFile, "CSV: step, nodes, links, centroid, distance to the goal")
            ->type_name("FILE");
        run->add_option("--log", o.logFile, "where the error log goes (default error.lot.txt)")
            ->type_name("FILE");
        AddGoalOption(*run, o.goal);
        run->add_flag("--quiet", o.quiet, "nothing on standard error but errors");
        run->add_flag("--debug", o.debug, "the gene's code string and the program on standard error too");
        run->add_option("--checkpoint-every", o.checkpointEvery,
                        "save the whole run after every K steps as DIR/step-NNNNNNNN.h5")
            ->type_name("K")
            ->check(CLI::Range(1LL, 1000000000000LL).description(""));
        run->add_option("--checkpoint-dir", o.checkpointDir,
                        "the folder of the checkpoints (made if missing)")
            ->type_name("DIR");
        run->add_option("--resume", o.resume,
                        "go on from a checkpoint, or from the newest one of DIR that reads whole, to step N "
                        "of --steps; the gene, seed, goal and node limit are the checkpoint's")
            ->type_name("FILE|DIR");
        run->add_flag("--append", o.append,
                      "with --resume: go on with the trace and stats files of the resumed run, dropping what "
                      "they hold past the checkpoint's step");
        run->add_flag("--physics-override", o.physicsOverride,
                      "with --resume: go on under the physics of --physics and --set instead of the "
                      "checkpoint's (the manifest says so)");
        run->add_flag(
            "--profile", o.profile,
            "time each phase of the steps; print phase, total ms and share on standard error at the end");
        evolve = app.add_subcommand("evolve", "search for genes whose creatures do a task");
        AddEvolveOptions(*evolve, o.evolve);
        sweep =
            app.add_subcommand("sweep", "run a grid of physics settings x seeds on all cores into one table");
        AddSweepOptions(*sweep, o.sweep);
        decode = app.add_subcommand("decode", "print code strings as gene source");
        AddDecodeOptions(*decode, o.decode);
        exportPage = app.add_subcommand("export", "write a trace as one web page that opens anywhere");
        AddExportOptions(*exportPage, o.exportPage);
        for (CLI::App* command : {compile, dump, run, evolve, sweep, decode, exportPage})
            command->set_help_flag();
    }

    CLI::App app{"", "quillmoth-sim"};
    CLI::App* compile;
    CLI::App* dump;
    CLI::App* run;
    CLI::App* evolve;
    CLI::App* sweep;
    CLI::App* decode;
    CLI::App* exportPage;
};

}  // namespace

std::string UsageText(const std::string& command) {
    Options unused;
    CommandLine line(unused);
    const std::pair<const char*, const char*> usages[] = {
        {"compile", "usage: quillmoth-sim compile [--debug] GENE_FILE\n\nprints the gene's code string\n"},
        {"dump", "usage: quillmoth-sim dump [--debug] GENE_FILE\n\nprints the gene as an indented program\n"},
        {"run",
         "usage: quillmoth-sim run [OPTIONS] GENE_FILE\n"
         "       quillmoth-sim run --resume CHECKPOINT|DIR [--append] [--steps N] [OPTIONS]\n\n"
         "grows a creature from the gene without a window\n\noptions:\n"},
        {"evolve",
         "usage: quillmoth-sim evolve [OPTIONS] [GENE_FILE...]\n"
         "       quillmoth-sim evolve --resume DIR [--generations N] [--evaluations N] [--workers N] "
         "[--quiet]\n\n"
         "searches for genes whose creatures do a task (docs/evolve.md)\n\noptions:\n"},
        {"sweep",
         "usage: quillmoth-sim sweep --seeds A-B [--set KEY=V1,V2,...]... [OPTIONS] GENE_FILE\n\n"
         "runs every combination of settings x seeds, each as run would, into DIR/results.csv "
         "(docs/sweeps.md)\n\noptions:\n"},
        {"decode",
         "usage: quillmoth-sim decode [-o FILE] CODE_STRING\n"
         "       quillmoth-sim decode [--out DIR | -o FILE] FILE\n"
         "       quillmoth-sim decode [--out DIR | -o FILE] TABLE.csv --id N [--id N]...\n\n"
         "prints code strings as gene source that run compiles back to the same code; from a FILE (one\n"
         "a line; blank lines and lines starting with # skipped) or the rows of a TABLE (individuals.csv,\n"
         "archive.csv), each gene after a comment naming where it came from (docs/genes.md)\n\noptions:\n"},
        {"export",
         "usage: quillmoth-sim export [--every K] [--max-mb M] -o FILE.html TRACE\n\n"
         "writes a trace as one web page (docs/share.md): the viewer and the run's frames in one file\n"
         "that opens in a browser without a network or a server\n\noptions:\n"}};
    const std::string runStatus =
        "exit status: 0 all steps ran, 3 a node reached the goal, 1 the engine raised an error or a\n"
        "write failed, 2 bad command line, an output that cannot be written or that is an input or\n"
        "another output, a checkpoint that cannot be read, a checkpoint folder of another run or a\n"
        "file --append cannot go on with; 130 stopped by SIGINT (Ctrl-C), 143 by SIGTERM, after\n"
        "finishing the step, saving a checkpoint (with --checkpoint-every) and the summary\n";
    const std::string evolveStatus =
        "exit status: 0 the search ran every generation, 1 it failed (a write too), 2 bad command line, a\n"
        "folder another search is running in, a seed gene it would replace, or a checkpoint that\n"
        "cannot be read or breaks the command line's rules\n";
    const std::string sweepStatus =
        "exit status: 0 every run ran, whatever its outcome, 1 a write failed, 2 bad command line or\n"
        "settings, an empty grid, or a folder that holds another sweep (or one running)\n";
    const std::string decodeStatus =
        "exit status: 0 every gene was written, 1 a write failed, 2 bad command line, an input that is\n"
        "neither a readable file nor a code string, a line that is no code string of one whole gene, or\n"
        "an id the table does not hold (nothing is written then)\n";
    const std::string exportStatus =
        "exit status: 0 the page was written, 1 a write failed, 2 bad command line, a trace that cannot\n"
        "be read or holds no whole step, an output that cannot be written or is the trace, or a page\n"
        "larger than --max-mb (the message says which --every fits)\n";
    for (const auto& [name, usage] : usages) {
        if (command != name) continue;
        if (command == "sweep") return usage + OptionHelp(*line.sweep) + "\n" + sweepStatus;
        if (command == "run") return usage + OptionHelp(*line.run) + "\n" + runStatus;
        if (command == "evolve") return usage + OptionHelp(*line.evolve) + "\n" + evolveStatus;
        if (command == "decode") return usage + OptionHelp(*line.decode) + "\n" + decodeStatus;
        if (command == "export") return usage + OptionHelp(*line.exportPage) + "\n" + exportStatus;
        return std::string(usage) + "\nexit status: 0 it compiled, 1 it does not, 2 bad command line\n";
    }
    return "usage: quillmoth-sim compile [--debug] GENE_FILE\n"
           "       quillmoth-sim dump [--debug] GENE_FILE\n"
           "       quillmoth-sim run [OPTIONS] GENE_FILE\n"
           "       quillmoth-sim run --resume CHECKPOINT|DIR [--append] [--steps N] [OPTIONS]\n"
           "       quillmoth-sim evolve [OPTIONS] [GENE_FILE...]\n"
           "       quillmoth-sim evolve --resume DIR [--generations N] [--evaluations N] [--workers N] "
           "[--quiet]\n"
           "       quillmoth-sim sweep --seeds A-B [--set KEY=V1,V2,...]... [OPTIONS] GENE_FILE\n"
           "       quillmoth-sim decode [--out DIR | -o FILE] CODE_STRING|FILE|TABLE.csv [--id N]...\n"
           "       quillmoth-sim export [--every K] [--max-mb M] -o FILE.html TRACE\n"
           "       quillmoth-sim --help | --version\n"
           "\n"
           "  compile   print the gene's code string\n"
           "  dump      print the gene as an indented program\n"
           "  run       grow a creature from the gene without a window\n"
           "  evolve    search for genes whose creatures do a task (docs/evolve.md)\n"
           "  sweep     run every combination of settings x seeds, each as run would, into DIR/results.csv\n"
           "            (docs/sweeps.md)\n"
           "  decode    print code strings (one, a file of them, rows of a table) as gene source\n"
           "  export    write a trace as one web page that opens anywhere (docs/share.md)\n"
           "\n"
           "quillmoth-sim COMMAND --help shows one command alone.\n"
           "\n"
           "run options:\n" +
           OptionHelp(*line.run) + "\nevolve options:\n" + OptionHelp(*line.evolve) + "\nsweep options:\n" +
           OptionHelp(*line.sweep) + "\nrun " + runStatus + "evolve " + evolveStatus + "sweep " + sweepStatus;
}

std::string UsageHint(const std::string& command) {
    return "(quillmoth-sim " + (command.empty() ? std::string() : command + " ") + "--help shows the usage)";
}

namespace {
// The options of the command named first; throws UsageError without the command's name.
void ParseCommand(const std::vector<std::string>& args, Options& o);
}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
    Options o;
    if (args.empty()) Bad("no command given");
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") return o;
    if (first == "--version") {
        o.command = Command::Version;
        return o;
    }
    if (first != "compile" && first != "dump" && first != "run" && first != "evolve" && first != "sweep" &&
        first != "decode" && first != "export") {
        Bad("unknown command '" + first + "'");
    }
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        o.helpCommand = first;
        return o;
    }
    try {
        ParseCommand(args, o);
    } catch (UsageError& e) {
        e.command = first;
        throw;
    }
    return o;
}

namespace {

void ParseCommand(const std::vector<std::string>& args, Options& o) {
    CommandLine line(o);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes the arguments last first
    try {
        line.app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        Bad(e.what());
    }
    o.command = line.compile->parsed() ? Command::Compile
                : line.dump->parsed()  ? Command::Dump
                : line.run->parsed()   ? Command::Run
                : line.sweep->parsed() ? Command::Sweep
                                       : Command::Evolve;
    if (line.decode->parsed()) o.command = Command::Decode;
    if (line.exportPage->parsed()) {
        o.command = Command::Export;
        if (o.exportPage.output.empty()) Bad("-o needs a file name");
    }
    if (o.command == Command::Decode) {
        if (line.decode->count("--out") > 0 && o.decode.outDir.empty()) Bad("--out needs a folder name");
        if (line.decode->count("--output") > 0 && o.decode.output.empty()) Bad("-o needs a file name");
        if (!o.decode.outDir.empty() && !o.decode.output.empty())
            Bad("--out DIR writes a file per gene and -o FILE one file: give one of them");
    }
    if (o.command == Command::Sweep) {
        if (o.sweep.out.empty()) Bad("--out needs a folder name");
        ResolveSweep(o.sweep);
    }
    if (o.command == Command::Run) {
        if (o.resume.empty() && o.geneFile.empty()) Bad("run needs a GENE_FILE (or --resume FILE)");
        for (const char* name : {"GENE_FILE", "--seed", "--goal", "--max-nodes"}) {
            if (!o.resume.empty() && line.run->count(name) > 0) {
                Bad(std::string(
                        "run --resume takes the gene, seed, goal and node limit from the checkpoint; ") +
                    (name[0] == '-' ? name : "a gene file") + " cannot be given with it");
            }
        }
        if (!o.resume.empty() && o.run.physics.Given() && !o.physicsOverride) {
            Bad("run --resume takes the physics from the checkpoint; --physics and --set change it only with "
                "--physics-override");
        }
        if (o.physicsOverride && (o.resume.empty() || !o.run.physics.Given())) {
            Bad("--physics-override goes with --resume and --physics or --set");
        }
        if ((o.checkpointEvery > 0) != !o.checkpointDir.empty()) {
            Bad("--checkpoint-every K and --checkpoint-dir DIR go together");
        }
        if (o.append && o.resume.empty()) Bad("--append goes on with a resumed run's files: give --resume");
        if (o.append && (o.traceFile == "-" || o.statsFile == "-")) {
            Bad("--append goes on with files; standard output (-) cannot be continued");
        }
    }
    if (o.command == Command::Evolve) {
        // An empty folder name would put the files at the root of the file system ("/generations.csv").
        const std::pair<const char*, const std::string*> folders[] = {{"--out", &o.evolve.out},
                                                                      {"--resume", &o.evolve.resume}};
        for (const auto& [name, folder] : folders) {
            if (line.evolve->count(name) > 0 && folder->empty())
                Bad(std::string(name) + " needs a folder name");
        }
    }
    if (o.command == Command::Evolve) {
        evolve::SearchSettings& s = o.evolve.search;
        s.physics = o.evolve.physics.physics;
        s.SetDefaults(
            [&](std::string_view name) { return line.evolve->count("--" + std::string(name)) > 0; });
        // A budget alone decides when the search ends.
        if (o.evolve.evaluationsGiven && !o.evolve.generationsGiven) s.generations = evolve::kMaxGenerations;
    }
    if (o.command == Command::Evolve && !o.evolve.resume.empty()) {
        for (const char* name : SearchOptionNames()) {
            if (line.evolve->count(name) > 0) {
                Bad(std::string("evolve --resume takes the search's settings from its checkpoint; ") +
                    (name[0] == '-' ? name : "seed gene files") + " cannot be given with it");
            }
        }
    }
}

}  // namespace

}  // namespace qm::sim
