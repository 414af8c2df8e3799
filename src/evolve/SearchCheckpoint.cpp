#include "evolve/SearchCheckpoint.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/PhysicsSettings.h"
#include "base/RegularFile.h"
#include "base/RunLimits.h"
#include "evolve/Behaviour.h"
#include "evolve/SearchError.h"
#include "evolve/SearchFiles.h"

namespace qm::evolve {
namespace {

std::string Hex(double v) { return FormatString("%a", v); }

// Reads the checkpoint line by line; every line starts with its keyword.
class Reader {
  public:
    Reader(std::istream& in, std::string path) : in(in), path(std::move(path)) {}

    // The rest of the next line, which must start with `keyword` and a blank.
    std::string Expect(const std::string& keyword) {
        std::string line;
        if (!std::getline(in, line)) Fail("ends early; expected \"" + keyword + "\"");
        ++number;
        if (line.compare(0, keyword.size(), keyword) != 0 ||
            (line.size() > keyword.size() && line[keyword.size()] != ' ')) {
            Fail("expected \"" + keyword + "\"");
        }
        return line.size() > keyword.size() ? line.substr(keyword.size() + 1) : std::string();
    }

    long long Whole(const std::string& keyword, long long low, long long high) {
        const std::string text = Expect(keyword);
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || errno == ERANGE || v < low || v > high) {
            Fail("\"" + keyword + "\" needs a whole number from " + std::to_string(low) + " to " +
                 std::to_string(high) + ", not \"" + Printable(text, 40) + "\"");
        }
        return v;
    }

    // A number; NaN is none (a best not yet found is written as infinity).
    double Real(const std::string& text) {
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || std::isnan(v)) Fail("\"" + Printable(text) + "\" is no number");
        return v;
    }

    // A fitness, a behaviour or a place: a finite number.
    double Finite(const std::string& text) {
        const double v = Real(text);
        if (!std::isfinite(v)) Fail("\"" + Printable(text) + "\" is not a finite number");
        return v;
    }

    GeneCode Code(const std::string& text) {
        try {
            return ParseCode(text);
        } catch (const ErrorText& e) {
            Fail("holds a gene that does not load: " + Printable(e.text.substr(0, e.text.find('\n')), 400));
        }
    }

    EvalResult Run() {
        EvalResult r;
        if (!DecodeResult(Expect("run"), r)) Fail("holds a run that does not read");
        return r;
    }

    std::vector<EvalResult> Runs(std::size_t count) {
        std::vector<EvalResult> runs;
        for (std::size_t i = 0; i < count; ++i) runs.push_back(Run());
        return runs;
    }

    // A checkpoint that cannot be read is refused before the search goes on.
    [[noreturn]] void Fail(const std::string& what) {
        throw SearchError{
            "the checkpoint " + Printable(path, 400) + FormatString(", line %d, ", number) + what, true};
    }

  private:
    std::istream& in;
    std::string path;
    int number = 0;
};

void WriteRuns(std::ostream& out, const std::vector<EvalResult>& runs) {
    for (const EvalResult& r : runs) out << "run " << EncodeResult(r) << '\n';
}

// "ID OPERATOR PARENTS CODE", PARENTS "-" or the ids joined by ";".
std::string GeneLine(const Origin& origin, const GeneCode& code) {
    std::string parents;
    for (long long id : origin.parents) parents += (parents.empty() ? "" : ";") + std::to_string(id);
    return std::to_string(origin.id) + ' ' + (origin.op.empty() ? "-" : origin.op) + ' ' +
           (parents.empty() ? "-" : parents) + ' ' + CodeString(code);
}

void ReadGeneLine(Reader& in, const std::string& line, Origin& origin, GeneCode& code) {
    std::istringstream words(line);
    std::string parents, text;
    if (!(words >> origin.id >> origin.op >> parents >> text) || !(words >> std::ws).eof() || origin.id < 0)
        in.Fail("holds a gene line that does not read");
    if (parents != "-") {
        std::istringstream ids(parents);
        std::string id;
        while (std::getline(ids, id, ';')) {
            char* end = nullptr;
            const long long v = std::strtoll(id.c_str(), &end, 10);
            if (id.empty() || *end != '\0' || v < 0) in.Fail("holds a gene whose parents do not read");
            origin.parents.push_back(v);
        }
    }
    code = in.Code(text);
}

}  // namespace

void SaveCheckpoint(const std::string& path, const SearchSettings& s, const SearchState& state) {
    std::ostringstream out;
    out << kCheckpointHeader << '\n';
    out << "population " << s.population << '\n';
    out << "generations " << s.generations << '\n';
    out << "steps " << s.steps << '\n';
    out << "eval-seeds";
    for (std::uint32_t seed : s.evalSeeds) out << ' ' << seed;
    out << '\n' << "seed " << s.seed << '\n';
    if (s.goal) {
        out << "goal " << Hex(s.goal->x) << ' ' << Hex(s.goal->y) << ' ' << Hex(s.goal->z) << '\n';
    } else {
        out << "goal -\n";
    }
    out << "max-nodes " << s.maxNodes << '\n';
    out << "max-length " << s.maxLength << '\n';
    out << "tournament " << s.tournament << '\n';
    out << "elite " << s.elite << '\n';
    out << "crossover-rate " << Hex(s.crossoverRate) << '\n';
    out << "mutation-rate " << Hex(s.mutationRate) << '\n';
    out << "length-penalty " << Hex(s.lengthPenalty) << '\n';
    out << "physics";
    ForEachPhysicsKey([&](const char* key, auto member, double, double) {
        out << ' ' << key << '=' << Hex(static_cast<double>(s.physics.*member));
    });
    out << '\n';
    out << "algorithm " << AlgorithmName(s.algorithm) << '\n';
    out << "task " << TaskText(s.task) << '\n';
    out << "descriptors";
    for (const std::string& d : s.descriptors) out << ' ' << d;
    out << '\n' << "grid " << s.grid << '\n';
    out << "init " << InitName(s.init) << '\n';
    out << "constant-mutation " << Hex(s.constantMutation) << '\n';
    out << "neighbours " << s.neighbours << '\n';
    out << "fitness-weight " << Hex(s.fitnessWeight) << '\n';
    out << "evaluations " << s.evaluations << '\n';
    out << "copy-mutation " << Hex(s.copyMutation) << '\n';
    out << "immigrants " << Hex(s.immigrants) << '\n';
    out << "cell-tournament " << s.cellTournament << '\n';
    out << "goals " << s.goals.size() << '\n';
    for (const Vector3& g : s.goals)
        out << "placement " << Hex(g.x) << ' ' << Hex(g.y) << ' ' << Hex(g.z) << '\n';
    out << "seed-genes " << s.seedGenes.size() << '\n';
    for (std::size_t i = 0; i < s.seedGenes.size(); ++i) {
        out << "seed-gene " << CodeString(s.seedGenes[i]) << ' '
            << (i < s.seedFiles.size() ? s.seedFiles[i] : "") << '\n';
    }
    out << "done " << state.done << '\n';
    out << "random " << state.randomState << '\n';
    out << "total-evaluations " << state.evaluations << '\n';
    out << "next-id " << state.nextId << '\n';
    out << "best " << Hex(state.best.fitness) << ' '
        << (state.best.code.empty() ? "-" : CodeString(state.best.code)) << '\n';
    out << "best-runs " << state.best.runs.size() << '\n';
    WriteRuns(out, state.best.runs);
    out << "next " << state.population.size() << '\n';
    for (std::size_t i = 0; i < state.population.size(); ++i)
        out << "gene "
            << GeneLine(i < state.origins.size() ? state.origins[i] : Origin{}, state.population[i]) << '\n';
    out << "known " << state.lastRuns.size() << '\n';
    for (const auto& [code, runs] : state.lastRuns) {
        out << "known-gene " << code << '\n';
        WriteRuns(out, runs);
    }
    out << "archive " << state.archive.size() << '\n';
    for (const auto& [cell, gene] : state.archive) {
        out << "cell " << cell << ' ' << gene.generation << ' ' << Hex(gene.fitness) << ' '
            << GeneLine(gene.origin, gene.code) << '\n';
        WriteRuns(out, gene.runs);
    }
    out << "novelty " << state.novelty.size() << '\n';
    for (const std::vector<double>& point : state.novelty) {
        out << "point";
        for (double v : point) out << ' ' << Hex(v);
        out << '\n';
    }
    out << "end\n";

    ReplaceFile(path, out.str());
}

Checkpoint LoadCheckpoint(const std::string& path, bool pythonFitness) {
    std::string why;
    std::optional<std::string> text = ReadRegularFile(path, why);
    if (!text) throw SearchError{"cannot read the checkpoint " + Printable(path, 400) + ": " + why, true};
    std::istringstream file(std::move(*text));
    Reader in(file, path);
    // Format 2 added the physics, 3 the algorithms, tasks, lineage and grid;
    // a search of an older format is a ga under the default physics.
    const std::string format = in.Expect("quillmoth-evolve");
    if (format != "checkpoint 1" && format != "checkpoint 2" && format != "checkpoint 3" &&
        format != "checkpoint 4")
        in.Fail("is not a checkpoint of this version");
    // Format 4 added the copy mutation, immigrants, the cell tournament and the goal placements.
    const bool four = format == "checkpoint 4";
    const bool three = format == "checkpoint 3" || four;
    Checkpoint c;
    SearchSettings& s = c.settings;
    constexpr long long kInt = 2147483647;
    s.population = static_cast<int>(in.Whole("population", 1, kInt));
    s.generations = static_cast<int>(in.Whole("generations", 1, kInt));
    s.steps = in.Whole("steps", 1, 1000000000000LL);
    s.evalSeeds.clear();
    {
        // Each as --eval-seeds takes it: from 0 to 4294967295, no sign.
        std::istringstream seeds(in.Expect("eval-seeds"));
        std::string word;
        while (seeds >> word) {
            const std::optional<std::uint32_t> seed = ParseSeed(word);
            if (!seed) in.Fail("\"eval-seeds\" needs whole numbers from 0 to 4294967295");
            s.evalSeeds.push_back(*seed);
        }
        if (s.evalSeeds.empty()) in.Fail("\"eval-seeds\" needs whole numbers from 0 to 4294967295");
    }
    s.seed = static_cast<std::uint32_t>(in.Whole("seed", 0, 4294967295LL));
    {
        const std::string goal = in.Expect("goal");
        if (goal != "-") {
            std::istringstream parts(goal);
            std::string x, y, z;
            parts >> x >> y >> z;
            s.goal = Vector3{static_cast<float>(in.Finite(x)), static_cast<float>(in.Finite(y)),
                             static_cast<float>(in.Finite(z))};
        }
    }
    s.maxNodes = static_cast<int>(in.Whole("max-nodes", 1, kInt));
    s.maxLength = static_cast<int>(in.Whole("max-length", 1, kInt));
    s.tournament = static_cast<int>(in.Whole("tournament", 1, kInt));
    s.elite = static_cast<int>(in.Whole("elite", 0, kInt));
    s.crossoverRate = in.Real(in.Expect("crossover-rate"));
    s.mutationRate = in.Real(in.Expect("mutation-rate"));
    s.lengthPenalty = in.Real(in.Expect("length-penalty"));
    if (format != "checkpoint 1") {
        std::istringstream pairs(in.Expect("physics"));
        std::vector<std::string> keys = PhysicsKeys();
        std::string pair;
        for (const std::string& key : keys) {
            if (!(pairs >> pair) || pair.rfind(key + "=", 0) != 0)
                in.Fail("\"physics\" needs " + key + "=VALUE");
            SetPhysicsKey(s.physics, key, in.Real(pair.substr(key.size() + 1)));
        }
        if (pairs >> pair) in.Fail("\"physics\" holds more than its keys");
    }
    if (three) {
        const std::optional<Algorithm> algorithm = ParseAlgorithm(in.Expect("algorithm"));
        if (!algorithm) in.Fail("names no algorithm");
        s.algorithm = *algorithm;
        const std::string taskText = in.Expect("task");
        if (taskText == TaskText(Task{Task::Kind::Custom}) && !pythonFitness)
            in.Fail(
                "holds a search whose fitness is a Python function (quillmoth.evolve): the command line "
                "cannot go on with it");
        const std::optional<Task> task =
            taskText == TaskText(Task{Task::Kind::Custom}) ? Task{Task::Kind::Custom} : ParseTask(taskText);
        if (!task) in.Fail("names no task");
        s.task = *task;
        std::istringstream names(in.Expect("descriptors"));
        s.descriptors.clear();
        for (std::string name; names >> name;) s.descriptors.push_back(name);
        s.grid = static_cast<int>(in.Whole("grid", 1, kInt));
        const std::optional<Init> init = ParseInit(in.Expect("init"));
        if (!init) in.Fail("names no way to make random genes");
        s.init = *init;
        s.constantMutation = in.Real(in.Expect("constant-mutation"));
        s.neighbours = static_cast<int>(in.Whole("neighbours", 1, kInt));
        s.fitnessWeight = in.Real(in.Expect("fitness-weight"));
        s.evaluations = in.Whole("evaluations", 0, kMaxEvaluations);
    }
    if (four) {
        s.copyMutation = in.Real(in.Expect("copy-mutation"));
        s.immigrants = in.Real(in.Expect("immigrants"));
        s.cellTournament = static_cast<int>(in.Whole("cell-tournament", 1, kMaxTournament));
        const long long goals = in.Whole("goals", 0, kMaxGoals);
        for (long long i = 0; i < goals; ++i) {
            std::istringstream parts(in.Expect("placement"));
            std::string x, y, z;
            if (!(parts >> x >> y >> z) || !(parts >> std::ws).eof())
                in.Fail("holds a placement that does not read");
            s.goals.push_back(Vector3{static_cast<float>(in.Finite(x)), static_cast<float>(in.Finite(y)),
                                      static_cast<float>(in.Finite(z))});
        }
    }
    const std::size_t runsPerGene = Trials(s).size();
    const long long seedGenes = in.Whole("seed-genes", 0, kInt);
    for (long long i = 0; i < seedGenes; ++i) {
        const std::string line = in.Expect("seed-gene");
        const std::size_t blank = line.find(' ');
        s.seedGenes.push_back(in.Code(line.substr(0, blank)));
        s.seedFiles.push_back(blank == std::string::npos ? std::string() : line.substr(blank + 1));
    }

    SearchState& state = c.state;
    state.done = static_cast<int>(in.Whole("done", 0, s.generations));
    state.randomState = static_cast<std::uint32_t>(in.Whole("random", 0, 4294967295LL));
    if (three) {
        state.evaluations = in.Whole("total-evaluations", 0, kMaxEvaluations);
        state.nextId = in.Whole("next-id", 0, kMaxGeneId);
    }
    {
        const std::string best = in.Expect("best");
        const std::size_t blank = best.find(' ');
        if (blank == std::string::npos) in.Fail("\"best\" needs a fitness and a gene");
        state.best.fitness = in.Real(best.substr(0, blank));
        const std::string code = best.substr(blank + 1);
        if (code != "-") state.best.code = in.Code(code);
    }
    state.best.runs = in.Runs(static_cast<std::size_t>(in.Whole("best-runs", 0, kInt)));
    const long long next = in.Whole("next", 1, kInt);
    for (long long i = 0; i < next; ++i) {
        state.population.emplace_back();
        state.origins.emplace_back();
        if (three) {
            ReadGeneLine(in, in.Expect("gene"), state.origins.back(), state.population.back());
        } else {  // an older search kept no lineage: its genes are numbered from here on
            state.population.back() = in.Code(in.Expect("gene"));
            state.origins.back() = {state.nextId++, "-", {}};
        }
    }
    const long long known = in.Whole("known", 0, kInt);
    for (long long i = 0; i < known; ++i) {
        std::string code = in.Expect("known-gene");
        state.lastRuns.emplace_back(std::move(code), in.Runs(runsPerGene));
    }
    // Every id given out is below next-id (an older search numbers its genes from there).
    const auto given = [&](const Origin& origin) {
        if (!three) return;
        if (origin.id >= state.nextId)
            in.Fail("holds gene id " + std::to_string(origin.id) + ", not below next-id");
        for (long long parent : origin.parents) {
            if (parent >= state.nextId)
                in.Fail("holds parent id " + std::to_string(parent) + ", not below next-id");
        }
    };
    for (const Origin& origin : state.origins) given(origin);
    if (three) {
        const long long cells = in.Whole("archive", 0, kMaxGridCells);
        // The cells a behaviour can fall into, when the search has a grid.
        double cellCount = 0.0;
        if (cells > 0) {
            try {
                cellCount = BehaviourSpace(s.descriptors, s.grid, s.maxNodes).CellCount();
            } catch (const std::invalid_argument&) {
                // Descriptors that do not read are refused by the command line's rules after loading.
                cellCount = kMaxGridCells;
            }
        }
        for (long long i = 0; i < cells; ++i) {
            std::istringstream line(in.Expect("cell"));
            int cell = -1;
            ScoredGene gene;
            std::string fitness, rest;
            if (!(line >> cell >> gene.generation >> fitness) || cell < 0 ||
                !std::getline(line >> std::ws, rest))
                in.Fail("holds a cell that does not read");
            if (cell >= cellCount) in.Fail("holds cell " + std::to_string(cell) + ", past the grid's cells");
            gene.fitness = in.Finite(fitness);
            if (gene.generation < 0 || gene.generation > state.done)
                in.Fail("holds a cell of generation " + std::to_string(gene.generation) + ", not yet made");
            ReadGeneLine(in, rest, gene.origin, gene.code);
            given(gene.origin);
            gene.runs = in.Runs(runsPerGene);
            if (!state.archive.emplace(cell, std::move(gene)).second) in.Fail("holds a cell twice");
        }
        const long long points = in.Whole("novelty", 0, kInt);
        for (long long i = 0; i < points; ++i) {
            std::istringstream line(in.Expect("point"));
            std::vector<double> point;
            for (std::string word; line >> word;) point.push_back(in.Finite(word));
            if (point.size() != s.descriptors.size())
                in.Fail("holds a point of another number of descriptors");
            state.novelty.push_back(std::move(point));
        }
    }
    in.Expect("end");
    if (static_cast<int>(state.population.size()) != s.population)
        in.Fail("holds a population of another size");
    return c;
}

}  // namespace qm::evolve
