#pragma once
// The command line of the headless runner.

#include <optional>
#include <string>
#include <vector>

#include "cli/PhysicsFile.h"
#include "cli/RunOptions.h"
#include "evolve/Search.h"
#include "math/D3dxTypes.h"

namespace qm::sim {

enum class Command { Help, Version, Compile, Dump, Run, Evolve, Sweep, Decode, Export };

// The options of `evolve`. The search's own settings go straight into
// `search`; the seed gene files are read when the search starts.
struct EvolveOptions {
    evolve::SearchSettings search;
    bool seedGiven = false;  // otherwise the search seed is the clock's
    std::string out = "evolve-out";
    std::string resume;  // the folder of a search to go on with
    bool generationsGiven = false;
    bool evaluationsGiven = false;
    PhysicsOptions physics;  // into search.physics once parsed
    int workers = 0;         // 0: one per core
    bool quiet = false;
    long long census = 0;  // a census of this many random genes instead of a search
};

// The options of `sweep`: a grid of physics settings x seeds, each a `run`.
struct SweepOptions {
    std::string geneFile;
    std::string physicsFile;            // the base physics
    std::vector<std::string> settings;  // "KEY=V1,V2,...", as given
    Physics base;                       // the defaults, then --physics
    std::vector<PhysicsSetting> grid;   // the settings parsed, in the order given
    std::vector<std::uint32_t> seeds;
    long long steps = 1000;
    std::optional<Vector3> goal;
    int maxNodes = DefaultMaxNodes();
    std::string out = "sweep-out";
    int workers = 0;  // 0: one per core
    bool resume = false;
    std::vector<std::string> merge;  // share folders whose rows to take in
    int onlyIndex = 1;               // --only I/N: this share of the runs
    int onlyCount = 1;
    bool quiet = false;
};

// The options of `decode`: code strings back to gene source.
struct DecodeOptions {
    std::string input;             // a code string, a file of them, or a table of individuals
    std::vector<std::string> ids;  // the rows of the table to decode, in the order given
    std::string outDir;            // one gene file per code string there, instead of stdout
    std::string output;            // all of it into this file instead of stdout
};

// The options of `export`: a trace as one web page.
struct ExportOptions {
    std::string trace;
    std::string output;
    long long every = 1;  // keep the recorded steps whose number it divides
    double maxMb = 0.0;   // the largest page in megabytes (10^6 bytes); 0: no limit
};

struct Options {
    Command command = Command::Help;
    std::string geneFile;
    RunOptions run;
    long long steps = 1000;
    std::string traceFile;  // "" none, "-" stdout; HDF5 for a name ending in ".h5"
    int traceEvery = 1;     // keep steps whose number it divides
    std::string statsFile;
    std::string logFile = "error.lot.txt";
    std::optional<Vector3> goal;
    bool quiet = false;             // standard error carries errors only
    bool debug = false;             // and the compiler's texts: the code string, the program printed
    long long checkpointEvery = 0;  // 0: none
    std::string checkpointDir;
    std::string resume;            // the checkpoint a run goes on from, or the folder whose newest whole one
    bool append = false;           // go on with the resumed run's trace and stats files
    bool physicsOverride = false;  // a resumed run takes --physics/--set over the checkpoint's physics
    EvolveOptions evolve;
    SweepOptions sweep;
    DecodeOptions decode;
    ExportOptions exportPage;
    bool profile = false;     // print where the time of the steps went
    std::string helpCommand;  // with Command::Help: the command whose help was asked for, or ""
};

// Parses argv (without the program name); throws UsageError on a bad command line.
struct UsageError {
    std::string message;
    std::string command{};  // the command it was given for, or "" before one was named
};
Options ParseOptions(const std::vector<std::string>& args);

// What --help prints: every command, or with `command` ("run", "evolve",
// "compile", "dump") only that one's usage and options.
std::string UsageText(const std::string& command = "");

// The one line that follows a usage error: where the usage is.
std::string UsageHint(const std::string& command);

}  // namespace qm::sim
