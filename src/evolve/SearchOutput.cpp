#include "evolve/SearchOutput.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/Diagnostics.h"
#include "base/PhysicsSettings.h"
#include "base/RegularFile.h"
#include "evolve/SearchCheckpoint.h"
#include "evolve/SearchError.h"
#include "evolve/SearchFiles.h"

namespace qm::evolve {
namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const std::string& path) {
    std::string why;
    return ReadRegularFile(path, why).value_or(std::string());
}

int GoalSeeds(const ScoredGene& gene) {
    int n = 0;
    for (const EvalResult& r : gene.runs) n += r.outcome == EvalResult::Outcome::GoalReached;
    return n;
}

double Closest(const ScoredGene& gene) {
    double d = INFINITY;
    for (const EvalResult& r : gene.runs) d = std::min(d, r.closest);
    return d;
}

int Nodes(const ScoredGene& gene) { return gene.runs.empty() ? 0 : gene.runs.front().nodes; }

// What an evaluation of the gene came to, as `run` would report it.
std::string OutcomeText(const ScoredGene& gene, std::size_t run) {
    if (run >= gene.runs.size()) return "not evaluated";
    const EvalResult& r = gene.runs[run];
    switch (r.outcome) {
        case EvalResult::Outcome::GoalReached:
            return FormatString("a node reaches the goal in step %lld: exit status 3", r.steps);
        case EvalResult::Outcome::Completed:
            return FormatString(
                "every step runs, the closest node comes within %.4g of the goal: exit status 0", r.closest);
        default:
            return FormatString("the engine ends the run with an error in step %lld: exit status 1",
                                r.steps + 1);
    }
}

// A comment ends at the first token ">": a text to go in one must hold none.
std::string CommentSafe(const std::string& text) {
    std::string out;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        if (!out.empty()) out += ' ';
        out += word == ">" ? "'>'" : word;
    }
    return out;
}

std::string Quoted(const std::string& word) {
    // Only what no shell reads as anything but itself goes bare (a ';' would end the command).
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_./,:=+-@%", c) != nullptr;
    });
    if (plain) return word;
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A code string as a CSV field: it holds commas.
std::string CsvCode(const GeneCode& code) { return "\"" + CodeString(code) + "\""; }

// The first line of the tables of genes and the grid: what the columns mean.
std::string TablesComment(const Search& search) {
    const SearchSettings& s = search.Settings();
    const BehaviourSpace& space = search.Space();
    std::string text = FormatString("# {\"algorithm\":\"%s\",\"task\":\"%s\",\"descriptors\":[",
                                    AlgorithmName(s.algorithm), TaskText(s.task).c_str());
    for (std::size_t i = 0; i < space.Size(); ++i) {
        const Descriptor& d = space.Axis(i);
        text += FormatString("%s{\"name\":\"%s\",\"low\":%s,\"high\":%s,\"cells\":%d}", i ? "," : "", d.name,
                             ExactDecimal(d.low).c_str(), ExactDecimal(d.high).c_str(), space.Cells(i));
    }
    return text + "]}\n";
}

std::string DescriptorColumns(const BehaviourSpace& space, const char* prefix) {
    std::string text;
    for (std::size_t i = 0; i < space.Size(); ++i) text += std::string(prefix) + space.Axis(i).name + ",";
    return text;
}

// Task taxis adds what it is about: the mean taxis and the runs that reached their goal.
bool TaxisColumns(const Search& search) { return search.Settings().task.kind == Task::Kind::Taxis; }

std::string IndividualsHeader(const Search& search) {
    return TablesComment(search) + "id,generation,parents,operator,fitness," +
           DescriptorColumns(search.Space(), "") + (TaxisColumns(search) ? "taxis,reached," : "") +
           "length,code\n";
}

std::string TaxisFields(const Search& search, const ScoredGene& gene) {
    if (!TaxisColumns(search)) return {};
    if (gene.fitness >= kWorstFitness) return ",,";
    return ExactDecimal(TaskMeasure(search.Settings().task, gene.runs)) +
           FormatString(",%d,", GoalsReached(gene.runs));
}

// The descriptor values of a gene, or empty fields for one that failed.
std::string BehaviourFields(const BehaviourSpace& space, const ScoredGene& gene) {
    std::string text;
    const std::vector<double> values = space.Values(gene.runs);
    for (double v : values) text += (gene.fitness >= kWorstFitness ? std::string() : ExactDecimal(v)) + ",";
    return text;
}

std::string ParentsText(const Origin& origin) {
    std::string text;
    for (long long id : origin.parents) text += (text.empty() ? "" : ";") + std::to_string(id);
    return text.empty() ? "-" : text;
}

std::string IndividualsRows(const Search& search) {
    std::string text;
    for (const ScoredGene& gene : search.Generation()) {
        text += FormatString("%lld,%d,%s,%s,%s,", gene.origin.id, gene.generation,
                             ParentsText(gene.origin).c_str(), gene.origin.op.c_str(),
                             ExactDecimal(gene.fitness).c_str()) +
                BehaviourFields(search.Space(), gene) + TaxisFields(search, gene) +
                FormatString("%zu,", gene.code.size()) + CsvCode(gene.code) + "\n";
    }
    return text;
}

std::string ArchiveText(const Search& search) {
    const BehaviourSpace& space = search.Space();
    std::string text = TablesComment(search) + DescriptorColumns(space, "cell_") +
                       DescriptorColumns(space, "") + "fitness,id,generation,length,code\n";
    for (const auto& [cell, gene] : search.Grid()) {
        for (int at : space.Coordinates(cell)) text += std::to_string(at) + ",";
        text += BehaviourFields(space, gene) +
                FormatString("%s,%lld,%d,%zu,", ExactDecimal(gene.fitness).c_str(), gene.origin.id,
                             gene.generation, gene.code.size()) +
                CsvCode(gene.code) + "\n";
    }
    return text;
}

// The rows of `path` below its header whose column `column` (0: the first)
// is a generation up to `done`, under the header; a file that is not there is
// begun. Refuses a table that lacks one of the generations 1 to `done`: it was
// cut or replaced since the checkpoint, and the search would go on without them.
std::string KeptRows(const std::string& path, const std::string& header, int column, int done) {
    std::istringstream rows(ReadWhole(path));
    std::string text = header;
    std::string row;
    const long headerLines = std::count(header.begin(), header.end(), '\n');
    for (long i = 0; i < headerLines; ++i) std::getline(rows, row);
    std::vector<bool> seen(static_cast<std::size_t>(done) + 1, false);
    while (std::getline(rows, row)) {
        std::size_t at = 0;
        for (int c = 0; c < column && at != std::string::npos; ++c) {
            at = row.find(',', at);
            if (at != std::string::npos) ++at;
        }
        if (row.empty() || at == std::string::npos) continue;
        const int generation = std::atoi(row.c_str() + at);
        if (generation > done) continue;
        if (generation >= 0) seen[static_cast<std::size_t>(generation)] = true;
        text += row + "\n";
    }
    for (int g = 1; g <= done; ++g) {
        if (!seen[static_cast<std::size_t>(g)]) {
            throw SearchError{
                FormatString("%s lacks generation %d of the %d the checkpoint has done: it was cut "
                             "or replaced, and the search cannot go on without it",
                             Printable(path, 400).c_str(), g, done),
                true};
        }
    }
    return text;
}

std::string GoalText(const Vector3& g) {
    return FormatString("%.9g,%.9g,%.9g", static_cast<double>(g.x), static_cast<double>(g.y),
                        static_cast<double>(g.z));
}

}  // namespace

std::string ExactDecimal(double v) {
    // Start with as many digits as the whole part has, so that 250 reads 250 and not 2.5e+02.
    int digits = 1;
    if (std::isfinite(v) && std::fabs(v) >= 1.0)
        digits = std::min(17, static_cast<int>(std::log10(std::fabs(v))) + 1);
    for (; digits <= 17; ++digits) {
        std::string text = FormatString("%.*g", digits, v);
        if (std::strtod(text.c_str(), nullptr) == v) return text;
    }
    return FormatString("%.17g", v);
}

SearchOutput::SearchOutput(std::string folder) : dir(std::move(folder)) {}

SearchOutput::~SearchOutput() {
    if (lock >= 0) close(lock);
}

void SearchOutput::Lock(bool create) {
    std::error_code error;
    if (create) {
        fs::create_directories(dir, error);
        if (error)
            throw SearchError{"cannot make the folder " + Printable(dir, 400) + ": " + error.message()};
    } else if (!fs::is_directory(dir, error)) {
        return;  // nothing to guard: reading its checkpoint fails and says why
    }
    const std::string path = dir + "/search.lock";
    lock = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock < 0) throw SearchError{"cannot make " + Printable(path, 400) + ": " + std::strerror(errno)};
    if (flock(lock, LOCK_EX | LOCK_NB) == 0) return;
    if (errno != EWOULDBLOCK)
        throw SearchError{"cannot lock " + Printable(path, 400) + ": " + std::strerror(errno)};
    throw SearchError{"another search is running in " + Printable(dir, 400) + " (it holds " +
                          Printable(path, 400) + "): wait for it to end" +
                          (create ? ", or give another --out" : ""),
                      true};
}

void SearchOutput::Create() const {
    std::error_code error;
    if (fs::exists(CheckpointPath(), error)) {
        const std::string shown = Printable(dir, 400);
        throw SearchError{shown + " holds a search already: continue it with --resume " + shown +
                          ", or give another --out"};
    }
    fs::create_directories(fs::path(dir) / "best", error);
    if (error)
        throw SearchError{"cannot make the folder " + Printable(dir + "/best", 400) + ": " + error.message()};
    WriteFile(dir + "/generations.csv", kGenerationsHeader);
}

void SearchOutput::Begin(const Search& search) const {
    WriteFile(dir + "/individuals.csv", IndividualsHeader(search));
}

void SearchOutput::TrimTables(const Search& search) const {
    // Both are checked before either is replaced.
    const std::string generations = KeptRows(dir + "/generations.csv", kGenerationsHeader, 0, search.Done());
    const std::string individuals =
        KeptRows(dir + "/individuals.csv", IndividualsHeader(search), 1, search.Done());
    ReplaceFile(dir + "/generations.csv", generations);
    ReplaceFile(dir + "/individuals.csv", individuals);
    // The archive is written whole from the search's state: made again as it was.
    ReplaceFile(dir + "/archive.csv", ArchiveText(search));
}

std::string SearchOutput::GeneFilePath(int generation) const {
    return dir + FormatString("/best/gen-%04d.txt", generation);
}

void SearchOutput::Record(const Search& search, const GenerationReport& report) const {
    const ScoredGene& best = search.Best();
    const int g = report.generation;
    WriteFile(dir + "/generations.csv",
              FormatString("%d,%s,%s,%s,%zu,%d,%s,%d,%d,%lld,%d,%.1f\n", g, ExactDecimal(report.best).c_str(),
                           ExactDecimal(report.median).c_str(), ExactDecimal(report.worst).c_str(),
                           best.code.size(), Nodes(best), ExactDecimal(Closest(best)).c_str(),
                           GoalSeeds(best), report.evaluations, report.totalEvaluations, report.archiveCells,
                           report.evaluationsPerSecond),
              true);
    WriteFile(dir + "/individuals.csv", IndividualsRows(search), true);
    ReplaceFile(dir + "/archive.csv", ArchiveText(search));
    const std::string path = GeneFilePath(g);
    WriteFile(path, GeneFileText(search.Settings(), dir, g, best, path));
    ReplaceFile(dir + "/best.txt", GeneFileText(search.Settings(), dir, g, best, dir + "/best.txt"));
    SaveCheckpoint(CheckpointPath(), search.Settings(), search.State());
}

std::string ProgressLine(const Search& search, const GenerationReport& report) {
    const ScoredGene& best = search.Best();
    const int seeds = static_cast<int>(best.runs.size());
    const SearchSettings& s = search.Settings();
    std::string how;
    if (s.task.kind == Task::Kind::Taxis) {
        how = FormatString("taxis %.4g, goal in %d/%d runs", TaskMeasure(s.task, best.runs),
                           GoalsReached(best.runs), seeds);
    } else if (s.task.kind != Task::Kind::Goal) {
        how =
            FormatString("%s %.4g", s.task.kind == Task::Kind::Size ? "size error" : TaskText(s.task).c_str(),
                         TaskMeasure(s.task, best.runs));
    } else if (GoalSeeds(best) > 0) {
        long long slowest = 0;
        for (const EvalResult& r : best.runs) {
            if (r.outcome == EvalResult::Outcome::GoalReached) slowest = std::max(slowest, r.steps);
        }
        how = FormatString("goal on %d/%d seeds, by step %lld", GoalSeeds(best), seeds, slowest);
    } else {
        how = FormatString("closest %.4g", Closest(best));
    }
    const std::string of =
        s.evaluations > 0 ? FormatString("  %lld/%lld evaluations", report.totalEvaluations, s.evaluations)
                          : FormatString("/%d", s.generations);
    const std::string cells =
        s.algorithm == Algorithm::MapElites ? FormatString("  %d cells", report.archiveCells) : std::string();
    return FormatString(
        "generation %d%s  best %.6g (%s, %zu elements, %d nodes)  median %.6g%s  %.1f s  %.1f "
        "evaluations/s\n",
        report.generation, of.c_str(), report.best, how.c_str(), best.code.size(), Nodes(best), report.median,
        cells.c_str(), report.seconds, report.evaluationsPerSecond);
}

std::size_t BestRun(const ScoredGene& gene) {
    // Goal first (sooner better), then a completed run (closer better), an error last.
    auto key = [](const EvalResult& r) {
        switch (r.outcome) {
            case EvalResult::Outcome::GoalReached:
                return std::pair<int, double>(0, static_cast<double>(r.steps));
            case EvalResult::Outcome::Completed:
                return std::pair<int, double>(1, r.closest);
            default:
                return std::pair<int, double>(2, 0.0);
        }
    };
    std::size_t best = 0;
    for (std::size_t i = 1; i < gene.runs.size(); ++i) {
        if (key(gene.runs[i]) < key(gene.runs[best])) best = i;
    }
    return best;
}

std::string ShowCommand(const SearchSettings& s, const std::string& path, const Trial& trial) {
    std::string command = FormatString("quillmoth-sim run --seed %u --steps %lld --max-nodes %d", trial.seed,
                                       s.steps, s.maxNodes);
    if (trial.goal) command += " --goal " + GoalText(*trial.goal);
    return command + PhysicsArguments(s.physics) + " " + Quoted(path);
}

std::string FoundByCommand(const SearchSettings& s, const std::string& dir, int generations) {
    std::string seeds;
    for (std::uint32_t seed : s.evalSeeds) seeds += (seeds.empty() ? "" : ",") + std::to_string(seed);
    std::string command = FormatString(
        "quillmoth-sim evolve --population %d --generations %d --steps %lld --eval-seeds %s --seed %u",
        s.population, generations, s.steps, seeds.c_str(), s.seed);
    if (s.goal) command += " --goal " + GoalText(*s.goal);
    command += FormatString(" --max-nodes %d --max-length %d --tournament %d --elite %d", s.maxNodes,
                            s.maxLength, s.tournament, s.elite);
    command += " --crossover " + ExactDecimal(s.crossoverRate) + " --mutation " +
               ExactDecimal(s.mutationRate) + " --length-penalty " + ExactDecimal(s.lengthPenalty) +
               PhysicsArguments(s.physics);
    // Written only when they differ from ga's defaults, so ga's commands read as they always did.
    const SearchSettings ga;
    if (s.algorithm != ga.algorithm) command += std::string(" --algorithm ") + AlgorithmName(s.algorithm);
    if (s.task != ga.task) command += " --task " + Quoted(TaskText(s.task));
    if (s.algorithm != Algorithm::Ga || s.descriptors != ga.descriptors || s.grid != ga.grid) {
        std::string names;
        for (const std::string& d : s.descriptors) names += (names.empty() ? "" : ",") + d;
        command += " --descriptors " + names + FormatString(" --grid %d", s.grid);
    }
    if (s.init != ga.init) command += std::string(" --init ") + InitName(s.init);
    if (s.constantMutation != ga.constantMutation)
        command += " --constant-mutation " + ExactDecimal(s.constantMutation);
    if (s.copyMutation != ga.copyMutation) command += " --copy-mutation " + ExactDecimal(s.copyMutation);
    if (s.immigrants != ga.immigrants) command += " --immigrants " + ExactDecimal(s.immigrants);
    if (s.cellTournament != ga.cellTournament)
        command += FormatString(" --cell-tournament %d", s.cellTournament);
    if (!s.goals.empty()) {
        std::string goals;
        for (const Vector3& g : s.goals) goals += (goals.empty() ? "" : ";") + GoalText(g);
        command += " --goals " + Quoted(goals);
    }
    if (s.algorithm == Algorithm::Novelty) {
        command +=
            FormatString(" --neighbours %d --fitness-weight ", s.neighbours) + ExactDecimal(s.fitnessWeight);
    }
    command += " --out " + Quoted(dir);
    for (const std::string& file : s.seedFiles) command += " " + Quoted(file);
    return command;
}

std::string GeneFileText(const SearchSettings& settings, const std::string& dir, int generation,
                         const ScoredGene& gene, const std::string& path) {
    std::string text = "< The best gene of generation " + std::to_string(generation) + " of the search in " +
                       CommentSafe(dir) + ", fitness " + ExactDecimal(gene.fitness) + ".\n";
    const std::size_t run = BestRun(gene);
    const std::vector<Trial> trials = Trials(settings);
    text +=
        "  Shown by: " + CommentSafe(ShowCommand(settings, path, trials[std::min(run, trials.size() - 1)])) +
        "\n";
    text += "  (" + OutcomeText(gene, run) + ")\n";
    // A Python fitness function is no option: the command gives the settings alone.
    text += settings.task.kind == Task::Kind::Custom
                ? "  Found by quillmoth.evolve with a Python fitness, as in: "
                : "  Found by: ";
    text += CommentSafe(FoundByCommand(settings, dir, generation)) + " >\n";
    return text + SourceText(gene.code);
}

}  // namespace qm::evolve
