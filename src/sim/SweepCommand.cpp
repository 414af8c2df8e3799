// quillmoth-sim sweep: every combination of physics settings x seeds, each
// run exactly as `quillmoth-sim run` makes it, on threads, into one table.
//
// DIR/sweep.json names the sweep (gene and its SHA-256, base physics, grid,
// seeds, steps, goal, node limit); DIR/results.csv gets a row as each run
// ends, so a killed sweep loses only the runs that were going. --resume runs
// what the table lacks and writes it again in the grid's order.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include "api/Run.h"
#include "api/RunMany.h"
#include "base/Diagnostics.h"
#include "base/RegularFile.h"
#include "evolve/Evaluator.h"
#include "record/Manifest.h"
#include "record/Sha256.h"
#include "record/TraceJson.h"
#include "sim/Commands.h"
#include "sim/SweepRows.h"

namespace qm::sim {
namespace {

void PrintError(const std::string& text) {
    const std::string line = "quillmoth-sim sweep: " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

int Refuse(const std::string& message) {
    PrintError(message);
    return kExitUsage;
}

// Thrown when a file of the sweep cannot be written or read.
struct SweepFailure {
    std::string message;
};

std::string Quoted(const std::string& path) { return "'" + Printable(path, 400) + "'"; }

// The text of a key's value as the physics holds it: the shortest that reads back.
std::string KeyText(const Physics& physics, const std::string& key) {
    std::string text;
    ForEachPhysicsKey([&](const char* name, auto member, double, double) {
        if (key == name) text = PhysicsValueText(physics.*member);
    });
    return text;
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::string why;
    return ReadRegularFile(path, why);
}

// Writes `text` to `path` whole or not at all (a temporary file renamed).
void WriteWhole(const std::string& path, const std::string& text) {
    const std::string partial = path + ".partial";
    std::FILE* f = std::fopen(partial.c_str(), "wb");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = f && std::fflush(f) == 0 && fsync(fileno(f)) == 0 && ok;
    const int error = errno;
    if (f && std::fclose(f) != 0) ok = false;
    std::string why = std::strerror(error);
    if (ok && ReplaceWith(partial, path, why)) return;
    std::remove(partial.c_str());
    throw SweepFailure{"cannot write " + Quoted(path) + ": " + why};
}

// Where two manifests part: the field of each from there, "...; this command's ...".
std::string Difference(const std::string& held, const std::string& made) {
    const std::size_t differ = static_cast<std::size_t>(
        std::mismatch(held.begin(), held.end(), made.begin(), made.end()).first - held.begin());
    const std::size_t field = held.find_last_of(",{[", differ == 0 ? 0 : differ - 1);
    const std::size_t from = field == std::string::npos ? 0 : field + 1;
    return Printable(held.substr(from, 120), 120) + "; this command's " +
           Printable(made.substr(from, 120), 120);
}

// The runs of a sweep: every point of the settings' grid (the first setting
// changing slowest), and at each point every seed, in the order given.
class Grid {
  public:
    explicit Grid(const SweepOptions& o) : o(o) {
        points = 1;
        for (const PhysicsSetting& setting : o.grid) points *= setting.values.size();
    }
    std::size_t Runs() const { return points * o.seeds.size(); }
    std::size_t Settings() const { return o.grid.size(); }
    // The outcome field of a row.
    std::string Outcome(const std::string& row) const {
        const std::size_t at = FieldStart(row, Settings() + 1);
        return at == std::string::npos ? std::string() : row.substr(at, row.find(',', at) - at);
    }
    std::uint32_t Seed(std::size_t run) const { return o.seeds[run % o.seeds.size()]; }
    Physics PhysicsOf(std::size_t run) const {
        Physics physics = o.base;
        std::size_t point = run / o.seeds.size();
        for (std::size_t k = o.grid.size(); k-- > 0;) {
            const std::vector<double>& values = o.grid[k].values;
            SetPhysicsKey(physics, o.grid[k].key, values[point % values.size()]);
            point /= values.size();
        }
        return physics;
    }
    // The columns that name a run: its settings and seed, as results.csv writes them.
    std::string Name(std::size_t run) const {
        const Physics physics = PhysicsOf(run);
        std::string name;
        for (const PhysicsSetting& setting : o.grid) name += KeyText(physics, setting.key) + ",";
        return name + std::to_string(Seed(run));
    }
    // "gravity=0.005 drag=0.02": the settings of a run, for messages.
    std::string Label(std::size_t run) const {
        const Physics physics = PhysicsOf(run);
        std::string label;
        for (const PhysicsSetting& setting : o.grid)
            label += (label.empty() ? "" : " ") + setting.key + "=" + KeyText(physics, setting.key);
        return label;
    }
    std::string Header() const {
        std::string header;
        for (const PhysicsSetting& setting : o.grid) header += setting.key + ",";
        return header +
               "seed,outcome,steps,goal_step,closest,nodes,links,centroid_x,centroid_y,centroid_z,center_x,"
               "center_y,center_z,wall_seconds\n";
    }

  private:
    const SweepOptions& o;
    std::size_t points;
};

// The seeds as --seeds takes them, each run of consecutive ones as a range:
// "1-10000000" rather than ten million numbers.
std::string SeedRanges(const std::vector<std::uint32_t>& seeds) {
    std::string text;
    for (std::size_t i = 0; i < seeds.size();) {
        std::size_t j = i;
        while (j + 1 < seeds.size() && seeds[j + 1] == seeds[j] + 1) ++j;
        text += (text.empty() ? "" : ",") + std::to_string(seeds[i]);
        if (j > i) text += "-" + std::to_string(seeds[j]);
        i = j + 1;
    }
    return text;
}

// What names the sweep in DIR/sweep.json: all that decides its rows.
std::string SweepManifest(const SweepOptions& o, const std::string& geneSha256) {
    record::JsonOut json;
    json.Raw("{\"program\":\"quillmoth-sim sweep\",\"version\":").Raw(record::JsonString(QM_VERSION).c_str());
    json.Raw(",\"gene\":{\"file\":").Raw(record::JsonString(o.geneFile).c_str());
    json.Raw(",\"sha256\":").Raw(record::JsonString(geneSha256).c_str()).Raw("}");
    json.Raw(",\"physics_file\":").Raw(record::JsonString(o.physicsFile).c_str());
    json.Raw(",\"base_physics\":").Raw(record::PhysicsJson(o.base).c_str());
    json.Raw(",\"grid\":[");
    for (std::size_t k = 0; k < o.grid.size(); ++k) {
        json.Raw(k ? ",{\"key\":" : "{\"key\":")
            .Raw(record::JsonString(o.grid[k].key).c_str())
            .Raw(",\"values\":[");
        Physics physics = o.base;
        for (std::size_t v = 0; v < o.grid[k].values.size(); ++v) {
            SetPhysicsKey(physics, o.grid[k].key, o.grid[k].values[v]);
            json.Raw(v ? "," : "").Raw(KeyText(physics, o.grid[k].key).c_str());
        }
        json.Raw("]}");
    }
    json.Raw("],\"seeds\":").Raw(record::JsonString(SeedRanges(o.seeds)).c_str());
    json.Raw(",\"steps\":").Int(o.steps);
    json.Raw(",\"goal\":").Vec(o.goal.value_or(DefaultGoal()));
    json.Raw(",\"max_nodes\":").Int(o.maxNodes).Raw("}\n");
    return json.Text();
}

std::string Format(const char* format, double value) {
    if (!std::isfinite(value)) return std::string();
    char text[40];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// x,y,z with 9 significant digits; an empty world's centre is three empty fields.
std::string Triple(const Vector3& v) {
    return Format("%.9g", v.x) + "," + Format("%.9g", v.y) + "," + Format("%.9g", v.z);
}

// One run, as `quillmoth-sim run` makes it, and its row. Its error log is
// dropped: `run` with the row's settings and seed writes it again.
std::string RunRow(const SweepOptions& o, const Grid& grid, std::size_t index) {
    const auto start = std::chrono::steady_clock::now();
    Diagnostics silent;
    silent.SetSink([](std::string_view) {});
    silent.SetErrorLogPath("");  // an empty name opens no file
    qm::Run run(GeneFile{o.geneFile},
                RunSettings{grid.Seed(index), o.goal, o.maxNodes, o.steps, grid.PhysicsOf(index)},
                std::move(silent));
    while (run.Step() == RunOutcome::Kind::Running) {
    }
    const RunSummary summary = run.Summary();
    const Frame& last = summary.last;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The goal ends the run inside the step that reaches it, which the stats count as the next one.
    return grid.Name(index) + "," + OutcomeWord(summary.outcome.kind) + "," + std::to_string(last.step) +
           "," + (last.goalStep ? std::to_string(*last.goalStep) : std::string()) + "," +
           Format("%.9g", last.closest) + "," + std::to_string(last.nodes) + "," +
           std::to_string(last.links) + "," + Triple(last.centroid) + "," + Triple(last.center) + "," +
           Format("%.3f", seconds) + "\n";
}

// The rows a results.csv holds, by run; refuses one of another sweep. A row
// that is no whole result is dropped and counted in `dropped`: its run runs again.
std::map<std::size_t, std::string> ReadRows(const std::string& path, const Grid& grid, std::size_t& dropped) {
    dropped = 0;
    const std::optional<std::string> text = ReadFile(path);
    if (!text) return {};
    std::map<std::string, std::size_t> runs;
    for (std::size_t i = 0; i < grid.Runs(); ++i) runs.emplace(grid.Name(i), i);
    SweepRows read = ReadSweepRows(*text, grid.Header(), runs, grid.Settings());
    if (read.otherHeader) {
        throw SweepFailure{Quoted(path) + " does not have this sweep's columns: its first line is '" +
                           Printable(*read.otherHeader, 200) + "', this sweep's is '" +
                           grid.Header().substr(0, grid.Header().size() - 1) + "'"};
    }
    dropped = read.dropped;
    return std::move(read.rows);
}

// Runs done out of all, on a terminal as one line redrawn; elsewhere a line each tenth.
class SweepProgress {
  public:
    SweepProgress(std::size_t total, bool enabled)
        : total(total), enabled(enabled), tty(isatty(STDERR_FILENO)) {}
    void Update(std::size_t done, std::size_t goals, std::size_t errors) {
        if (!enabled) return;
        const std::size_t tenth = std::max<std::size_t>(1, total / 10);
        if (!tty && (done == 0 || (done != total && done % tenth != 0))) return;
        std::fprintf(stderr, "%ssweep: %zu/%zu runs done  %zu goal  %zu error%s", tty ? "\r" : "", done,
                     total, goals, errors, tty ? " " : "\n");
        std::fflush(stderr);
        drawn = tty;
    }
    void Finish() {
        if (drawn) std::fputc('\n', stderr);
        drawn = false;
    }

  private:
    std::size_t total;
    bool enabled;
    bool tty;
    bool drawn = false;
};

int RunSweep(const SweepOptions& o, std::FILE* out) {
    const Grid grid(o);
    const std::string& dir = o.out;
    const std::optional<std::string> gene = ReadFile(o.geneFile);
    if (!gene) return Refuse("cannot read the gene file " + Quoted(o.geneFile) + ": " + std::strerror(errno));
    for (std::size_t run = 0; run < grid.Runs(); run += o.seeds.size()) {
        const std::string fault = PhysicsFault(grid.PhysicsOf(run));
        if (!fault.empty()) return Refuse("the settings " + grid.Label(run) + " are unsound: " + fault);
    }
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        return Refuse("cannot make the folder " + Quoted(dir) + ": " + std::strerror(errno));
    }
    // One sweep at a time in a folder: the lock goes with the process.
    const std::string lockPath = dir + "/sweep.lock";
    const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock < 0) return Refuse("cannot write into " + Quoted(dir) + ": " + std::strerror(errno));
    if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
        close(lock);
        return Refuse(Quoted(dir) + " has a sweep running in it: wait for it or give another --out");
    }

    const std::string manifestPath = dir + "/sweep.json";
    const std::string resultsPath = dir + "/results.csv";
    const std::string manifest = SweepManifest(o, record::Sha256Hex(*gene));
    std::map<std::size_t, std::string> rows;
    try {
        if (const std::optional<std::string> held = ReadFile(manifestPath)) {
            if (!o.resume && o.merge.empty()) {
                return Refuse(Quoted(dir) +
                              " holds a sweep already: add --resume to go on with it, or give another --out");
            }
            if (*held != manifest) {
                return Refuse(Quoted(dir) + " holds another sweep: its sweep.json says " +
                              Difference(*held, manifest));
            }
        } else if (access(resultsPath.c_str(), F_OK) == 0) {
            return Refuse(Quoted(dir) + " holds a results.csv but no sweep.json: give another --out");
        }
        const auto take = [&](const std::string& path) {
            std::size_t dropped = 0;
            for (auto& [run, row] : ReadRows(path, grid, dropped)) rows.emplace(run, std::move(row));
            if (dropped > 0) {
                PrintError(FormatString(
                    "%s: dropped %zu row%s that %s no whole result of this sweep; %s again",
                    Quoted(path).c_str(), dropped, dropped == 1 ? "" : "s", dropped == 1 ? "is" : "are",
                    dropped == 1 ? "its run runs" : "their runs run"));
            }
        };
        take(resultsPath);
        // A share is this sweep run with --only: the same sweep.json, its rows a part of the table.
        for (const std::string& share : o.merge) {
            const std::string shareManifest = share + "/sweep.json";
            const std::optional<std::string> held = ReadFile(shareManifest);
            if (!held) return Refuse("cannot read " + Quoted(shareManifest) + ": it is no share of a sweep");
            if (*held != manifest) {
                return Refuse(Quoted(share) + " holds a share of another sweep: its sweep.json says " +
                              Difference(*held, manifest));
            }
            take(share + "/results.csv");
        }
    } catch (const SweepFailure& e) {
        return Refuse(e.message);
    }

    // What is left of this share, in the grid's order.
    std::vector<std::size_t> todo;
    std::size_t share = 0;
    std::size_t goals = 0;
    std::size_t errors = 0;
    for (std::size_t run = 0; run < grid.Runs(); ++run) {
        if (run % static_cast<std::size_t>(o.onlyCount) != static_cast<std::size_t>(o.onlyIndex - 1))
            continue;
        ++share;
        const auto held = rows.find(run);
        if (held == rows.end()) {
            todo.push_back(run);
            continue;
        }
        goals += grid.Outcome(held->second) == "goal";
        errors += grid.Outcome(held->second) == "error";
    }
    const auto table = [&] {
        std::string text = grid.Header();
        for (const auto& [run, row] : rows) text += row;
        return text;
    };

    std::mutex written;
    std::size_t done = share - todo.size();
    std::atomic<bool> failed{false};
    try {
        WriteWhole(manifestPath, manifest);
        WriteWhole(resultsPath, table());  // whole lines only, before any is added
        std::FILE* results = std::fopen(resultsPath.c_str(), "ab");
        if (!results) throw SweepFailure{"cannot write " + Quoted(resultsPath) + ": " + std::strerror(errno)};
        SweepProgress progress(share, !o.quiet);
        progress.Update(done, goals, errors);
        const auto work = [&](std::size_t i) {
            std::string row;
            try {
                row = RunRow(o, grid, todo[i]);
            } catch (const std::exception& e) {  // out of memory: no row, and no more runs
                failed = true;
                throw SweepFailure{"the run " + grid.Label(todo[i]) + " seed " +
                                   std::to_string(grid.Seed(todo[i])) + " failed: " + e.what()};
            }
            std::lock_guard hold(written);
            if (failed) return;  // a run that ends after a failure adds no row
            if (std::fwrite(row.data(), 1, row.size(), results) != row.size() || std::fflush(results) != 0) {
                failed = true;
                throw SweepFailure{"cannot write " + Quoted(resultsPath) + ": " + std::strerror(errno)};
            }
            const std::string outcome = grid.Outcome(row);
            goals += outcome == "goal";
            errors += outcome == "error";
            rows.emplace(todo[i], std::move(row));
            progress.Update(++done, goals, errors);
        };
        std::optional<SweepFailure> failure;
        try {
            RunMany(todo.size(), o.workers, work);
        } catch (const SweepFailure& e) {
            failure = e;
        }
        progress.Finish();
        if (std::fclose(results) != 0 && !failure)
            failure = SweepFailure{"cannot write " + Quoted(resultsPath) + ": " + std::strerror(errno)};
        if (failure) throw *failure;
        WriteWhole(resultsPath, table());  // in the grid's order, whatever order the runs ended in
    } catch (const SweepFailure& e) {
        PrintError(e.message + "; the rows written are kept: the same command with --resume goes on");
        return kExitError;
    }
    if (!o.quiet) {
        const std::string line = FormatString("sweep: %zu runs in %s (%zu goal, %zu error)\n", share,
                                              Printable(resultsPath, 400).c_str(), goals, errors);
        if (std::fwrite(line.data(), 1, line.size(), out) != line.size() || std::fflush(out) != 0) {
            PrintError(std::string("cannot write standard output: ") + std::strerror(errno));
            return kExitError;
        }
    }
    close(lock);
    return kExitCompleted;
}

}  // namespace

int Sweep(const Options& options, std::FILE* out) { return RunSweep(options.sweep, out); }

}  // namespace qm::sim
