// The Python package's native part: Gene, Run, evaluate and evolve over the
// engine's C++ API. Stepping releases the GIL, so runs step side by side on
// Python threads; each owns all its state, so each gives what it gives alone.

#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <thread>

#include "Arguments.h"
#include "Arrays.h"
#include "Descriptors.h"
#include "Errors.h"
#include "History.h"
#include "Interrupt.h"
#include "Remote.h"
#include "RunTable.h"
#include "SearchCaller.h"
#include "Share.h"
#include "Variation.h"
#include "api/Gene.h"
#include "api/Run.h"
#include "api/RunMany.h"
#include "api/SavedRun.h"
#include "base/Diagnostics.h"
#include "base/PhysicsSettings.h"
#include "evolve/Evaluation.h"
#include "evolve/Evaluator.h"
#include "evolve/Fitness.h"
#include "evolve/GeneCode.h"
#include "evolve/Search.h"
#include "evolve/SearchError.h"
#include "evolve/SearchSession.h"
#include "evolve/Task.h"

namespace py = pybind11;

namespace qm::python {
namespace {

// Python's workers: 0 for one per core.
int WorkersOf(const py::object& workers) {
    if (py::isinstance<py::int_>(workers) && !PyBool_Check(workers.ptr()) && workers.cast<long long>() == 0)
        return CoreCount();
    try {
        return static_cast<int>(IntegerArgument(workers, evolve::Argument::Workers));
    } catch (const py::value_error& e) {
        throw py::value_error(std::string(e.what()) + " (or 0 for one per core)");
    }
}

// A run's debug text goes nowhere and its log to `log` (no file when empty).
Diagnostics Quiet(const std::string& log) {
    Diagnostics diagnostics;
    diagnostics.SetSink([](std::string_view) {});
    diagnostics.SetErrorLogPath(log);
    return diagnostics;
}

std::unique_ptr<Run> MakeRun(const Gene& gene, const py::object& seedGiven,
                             const std::optional<std::array<float, 3>>& goal, const py::object& maxNodes,
                             const py::object& steps, const std::string& log,
                             const std::optional<Physics>& physics, bool history, const py::object& observe,
                             long long every, const std::optional<std::string>& trace,
                             const py::object& traceEvery) {
    const std::optional<long long> seed = OptionalIntegerArgument(seedGiven, evolve::Argument::Seed);
    const std::optional<long long> nodes = OptionalIntegerArgument(maxNodes, evolve::Argument::MaxNodes);
    const std::optional<long long> last = OptionalIntegerArgument(steps, evolve::Argument::RunSteps);
    const int traceStep = static_cast<int>(IntegerArgument(traceEvery, evolve::Argument::TraceEvery));
    RunSettings settings{seed ? std::optional(static_cast<std::uint32_t>(*seed)) : std::nullopt,
                         GoalArgument(goal),
                         nodes ? static_cast<int>(*nodes) : DefaultMaxNodes(),
                         last,
                         physics.value_or(Physics{}),
                         history};
    auto run = std::make_unique<Run>(gene, settings, Quiet(log));
    ObserveBy(*run, observe, every);
    run->Start();
    if (trace) {
        try {
            run->Trace(*trace, traceStep);
        } catch (const CheckpointError& e) {
            ThrowOSError(e.message);
        }
    }
    return run;
}

std::unique_ptr<Run> LoadRun(const std::string& path, const std::string& log) {
    // A folder of checkpoints resumes its newest whole one; any other folder is no checkpoint.
    if (!IsFolder(path) || CheckpointsIn(path).empty()) CheckReadable(path);
    try {
        return Run::Resume(path, Quiet(log));
    } catch (const CheckpointError& e) {
        throw py::value_error("cannot load " + path + ": " + e.message);
    }
}

// The evaluations a few at a time (as many as there are workers), so that
// Ctrl-C stops them between two: one evaluation cannot be cut short.
std::vector<evolve::EvalResult> EvaluateSliced(const std::vector<evolve::Evaluation>& tasks, int workers) {
    evolve::ThreadEvaluator pool(workers);
    std::vector<evolve::EvalResult> results;
    results.reserve(tasks.size());
    InSlices(tasks.size(), static_cast<std::size_t>(workers), [&](std::size_t first, std::size_t last) {
        const std::vector<evolve::Evaluation> slice(tasks.begin() + static_cast<std::ptrdiff_t>(first),
                                                    tasks.begin() + static_cast<std::ptrdiff_t>(last));
        for (const evolve::EvalResult& r : pool.Evaluate(slice)) results.push_back(r);
    });
    return results;
}

// One value per gene: by default the search's fitness over the seeds (a
// cost, lower is better); with `fitness`, the mean of fitness(run) over the
// seeds, each run finished.
py::object EvaluatePerSeed(const std::vector<Gene>& genes, const std::vector<evolve::Evaluation>& tasks,
                           int workers, const py::object& fitness);

py::object Evaluate(const std::vector<Gene>& genes, const std::vector<std::uint32_t>& seeds,
                    const py::object& stepsGiven, const py::object& workersGiven,
                    const py::object& maxNodesGiven, const std::optional<std::array<float, 3>>& goal,
                    const py::object& fitness, const std::optional<Physics>& physics, bool perSeed,
                    bool history) {
    if (seeds.empty()) throw py::value_error("evaluate needs at least one seed");
    const long long steps = IntegerArgument(stepsGiven, evolve::Argument::RunSteps);
    const int workers = WorkersOf(workersGiven);
    const int maxNodes = static_cast<int>(IntegerArgument(maxNodesGiven, evolve::Argument::MaxNodes));
    const std::optional<Vector3> target = GoalArgument(goal);
    std::vector<evolve::Evaluation> tasks;
    for (const Gene& gene : genes) {
        for (std::uint32_t seed : seeds) {
            evolve::Evaluation task{
                static_cast<int>(tasks.size()), gene.Code(), seed, steps, maxNodes, target,
                physics.value_or(Physics{})};
            task.history = history;
            tasks.push_back(std::move(task));
        }
    }
    if (perSeed) return EvaluatePerSeed(genes, tasks, workers, fitness);
    py::list out;
    if (fitness.is_none()) {
        const std::vector<evolve::EvalResult> results = EvaluateSliced(tasks, workers);
        for (std::size_t g = 0; g < genes.size(); ++g) {
            std::span<const evolve::EvalResult> runs(results.data() + g * seeds.size(), seeds.size());
            out.append(evolve::Fitness(runs, steps, static_cast<int>(genes[g].Elements().size()),
                                       evolve::SearchSettings{}.lengthPenalty));
        }
        return out;
    }
    std::vector<std::unique_ptr<Run>> runs(tasks.size());
    {
        py::gil_scoped_release release;
        // The calling thread asks Python about Ctrl-C between its steps; every thread stops then.
        const std::thread::id caller = std::this_thread::get_id();
        InterruptCheck check;
        std::atomic<bool> stop{false};
        RunMany(tasks.size(), workers, [&](std::size_t i) {
            const evolve::Evaluation& t = tasks[i];
            runs[i] = std::make_unique<Run>(
                genes[i / seeds.size()],
                RunSettings{t.seed, t.goal, t.maxNodes, t.steps, t.physics, t.history}, Quiet(""));
            while (!stop && !runs[i]->Ended()) {
                runs[i]->Step();
                if (std::this_thread::get_id() == caller && check.Raised()) stop = true;
            }
        });
        if (stop) {
            py::gil_scoped_acquire hold;
            throw py::error_already_set();
        }
    }
    for (std::size_t g = 0; g < genes.size(); ++g) {
        double sum = 0.0;
        for (std::size_t s = 0; s < seeds.size(); ++s) {
            const py::object value = fitness(py::cast(std::move(runs[g * seeds.size() + s])));
            sum += MeasureOf(value, "fitness function", std::to_string(g), seeds[s]);
        }
        out.append(sum / static_cast<double>(seeds.size()));
    }
    return out;
}

// The search's evaluations, on threads without the GIL. With a fitness
// function or descriptor functions each task is evaluated as the search
// evaluates it, its finished run kept; then, under the GIL and in task
// order, the functions are called on every run that did not fail and their
// values kept in its result (ScoreRun).
class PythonEvaluator final : public evolve::Evaluator {
  public:
    PythonEvaluator(int workers, py::object fitness, bool history = false,
                    std::vector<py::object> describe = {})
        : workers(workers),
          pool(workers),
          fitness(std::move(fitness)),
          history(history),
          describe(std::move(describe)) {}

    std::vector<evolve::EvalResult> Evaluate(const std::vector<evolve::Evaluation>& tasks) override {
        if (fitness.is_none() && describe.empty()) return EvaluateSliced(tasks, workers);
        std::vector<evolve::EvalResult> results(tasks.size());
        std::vector<std::unique_ptr<Run>> runs(tasks.size());
        InSlices(tasks.size(), static_cast<std::size_t>(workers), [&](std::size_t first, std::size_t last) {
            std::mutex guard;
            std::exception_ptr failure;
            std::atomic<bool> failed{false};
            RunMany(last - first, workers, [&](std::size_t k) {
                const std::size_t i = first + k;
                if (failed) return;
                try {
                    evolve::Evaluation task = tasks[i];
                    task.history = task.history || history;
                    results[i] = evolve::EvaluateGene(task, runs[i]);
                } catch (...) {  // thrown here, once every thread is joined
                    std::lock_guard lock(guard);
                    if (!failed.exchange(true)) failure = std::current_exception();
                }
            });
            if (failure) std::rethrow_exception(failure);
        });
        for (std::size_t i = 0; i < tasks.size(); ++i) {
            if (results[i].outcome == evolve::EvalResult::Outcome::Error || !runs[i]) continue;
            ScoreRun(fitness, describe, tasks[i], std::move(runs[i]), results[i]);
        }
        return results;
    }

    std::string Describe() const override { return pool.Describe(); }

  private:
    int workers;
    evolve::ThreadEvaluator pool;
    py::object fitness;
    bool history;  // the runs given to the functions keep their RunHistory
    std::vector<py::object> describe;
};

// A row per gene and seed; the fitness column is the search's cost of that
// one run (their mean over a gene's seeds is its fitness) or fitness(run).
py::object EvaluatePerSeed(const std::vector<Gene>& genes, const std::vector<evolve::Evaluation>& tasks,
                           int workers, const py::object& fitness) {
    if (genes.empty()) return RunTable({});
    const std::vector<evolve::EvalResult> results = PythonEvaluator(workers, fitness).Evaluate(tasks);
    const std::size_t seeds = tasks.size() / genes.size();
    const double penalty = evolve::SearchSettings{}.lengthPenalty;
    std::vector<TableRow> rows;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        const evolve::EvalResult& r = results[i];
        const int length = static_cast<int>(genes[i / seeds].Elements().size());
        double value = evolve::Fitness(std::span(&r, 1), tasks[i].steps, length, penalty);
        if (!fitness.is_none())
            value = r.outcome == evolve::EvalResult::Outcome::Error ? std::nan("") : r.score;
        rows.push_back({static_cast<int>(i / seeds), &tasks[i], &r, value});
    }
    return RunTable(rows);
}

struct EvolveArgs {
    std::optional<std::string>
        algorithm;  // the command line's default (ga; taxis: map-elites) when not given
    int population;
    std::optional<int> generations;
    std::optional<long long> evaluations;
    long long steps;
    std::optional<std::vector<std::uint32_t>> seeds;
    std::uint32_t seed;
    std::optional<std::string> task;
    std::optional<std::vector<std::string>> descriptors;
    int grid;
    std::optional<int> maxNodes, maxLength;
    std::optional<std::array<float, 3>> goal;
    std::optional<Physics> physics;
    bool fitness;
};

// The settings as `quillmoth-sim evolve` makes them from its options.
evolve::SearchSettings EvolveSettings(const std::vector<Gene>& genes, const EvolveArgs& a) {
    evolve::SearchSettings s;
    if (a.algorithm) {
        const std::optional<evolve::Algorithm> algorithm = evolve::ParseAlgorithm(*a.algorithm);
        if (!algorithm)
            throw py::value_error("algorithm takes ga, map-elites or novelty, not '" + *a.algorithm + "'");
        s.algorithm = *algorithm;
    }
    const std::string python = evolve::TaskText(evolve::Task{evolve::Task::Kind::Custom});
    if (a.fitness) {
        if (a.task && *a.task != python) throw py::value_error("fitness is the task: give no other task");
        s.task = evolve::Task{evolve::Task::Kind::Custom};
    } else {
        const std::string text = a.task.value_or("goal");
        const std::optional<evolve::Task> task = evolve::ParseTask(text);
        if (!task) {
            throw py::value_error(
                text == python ? "task 'python' needs a fitness function"
                               : "task takes goal, distance, height, taxis or size N, not '" + text + "'");
        }
        s.task = *task;
    }
    if (a.evaluations && !evolve::Allowed(evolve::Argument::Evaluations, static_cast<double>(*a.evaluations)))
        throw py::value_error(evolve::RangeText(evolve::Argument::Evaluations, evolve::Caller::Python));
    s.evaluations = a.evaluations.value_or(0);
    // A budget alone decides when the search ends.
    s.generations = a.generations.value_or(a.evaluations ? evolve::kMaxGenerations : s.generations);
    s.population = a.population;
    s.steps = a.steps;
    s.evalSeeds = a.seeds.value_or(s.evalSeeds);
    s.seed = a.seed;
    s.goal = GoalArgument(a.goal);
    s.descriptors = a.descriptors.value_or(s.descriptors);
    s.grid = a.grid;
    s.maxNodes = a.maxNodes.value_or(s.maxNodes);
    s.maxLength = a.maxLength.value_or(s.maxLength);
    s.physics = a.physics.value_or(Physics{});
    // The defaults that depend on the task and the algorithm, as the command line sets them.
    s.SetDefaults([&](std::string_view name) {
        return (name == "algorithm" && a.algorithm) || (name == "eval-seeds" && a.seeds) ||
               (name == "descriptors" && a.descriptors) || (name == "max-nodes" && a.maxNodes) ||
               (name == "max-length" && a.maxLength);
    });
    for (const Gene& gene : genes) s.seedGenes.push_back(evolve::ParseCode(gene.Code()));
    return s;
}

// The search of `quillmoth-sim evolve`, generation by generation, with its
// folder written as the command writes it when `out` is given.
py::dict Evolve(const std::vector<Gene>& genes, const EvolveArgs& args, int workers,
                const py::object& fitness, const std::optional<std::string>& out,
                const std::optional<std::string>& resume, const py::object& progress,
                const py::object& dispatch, bool history, const std::vector<py::object>& describe) {
    if (out && resume) throw py::value_error("give out or resume, not both");
    std::unique_ptr<evolve::Evaluator> evaluator;
    if (dispatch.is_none()) {
        evaluator = std::make_unique<PythonEvaluator>(workers, fitness, history, describe);
    } else {
        evaluator = std::make_unique<DispatchEvaluator>(dispatch);
    }
    try {
        PythonSearchCaller caller({fitness, describe}, args.descriptors, progress);
        evolve::SearchSession session(caller, resume ? resume : out);
        if (resume) {
            session.Resume({args.generations, args.evaluations});
        } else {
            session.Begin(EvolveSettings(genes, args));
        }
        session.Run(*evaluator);
        return caller.Result(session.State());
    } catch (const evolve::SearchError& e) {
        throw std::runtime_error(e.message);
    }
}

// Physics(gravity=0.005, ...): the defaults with the keys given; a bad key
// or value is a ValueError naming it and the key's range.
Physics MakePhysics(const py::kwargs& keys) {
    Physics physics;
    for (const auto& [key, value] : keys) {
        // True would be taken as 1: a switch is no amount.
        if (PyBool_Check(value.ptr())) {
            const std::string name = key.cast<std::string>();
            throw py::value_error(name + " takes a number, not " + py::repr(value).cast<std::string>() +
                                  "; its range is " + PhysicsKeyRange(name));
        }
        try {
            SetPhysicsKeyChecked(physics, key.cast<std::string>(), value.cast<double>());
        } catch (const SettingError& e) {
            throw py::value_error(e.message);
        } catch (const py::cast_error&) {
            throw py::value_error(key.cast<std::string>() + " takes a number");
        }
    }
    if (const std::string fault = PhysicsFault(physics); !fault.empty())
        throw py::value_error("the physics is unsound: " + fault);
    return physics;
}

}  // namespace
}  // namespace qm::python

PYBIND11_MODULE(_quillmoth, m) {
    using namespace qm;
    using namespace qm::python;
    m.doc() = "Quillmoth: grow virtual creatures from gene programs.";
    m.attr("__version__") = QM_VERSION;

    RegisterErrors(m);

    py::class_<Gene> gene(m, "Gene", "A gene program, compiled from gene source.");
    gene.def_static(
            "from_file",
            [](const std::string& path) {
                CheckReadable(path);
                return Gene::FromFile(path);
            },
            py::arg("path"),
            "Compile a gene source file; raises GeneError, or OSError when it cannot be read.")
        .def_static("from_source", &Gene::FromSource, py::arg("text"),
                    "Compile gene source text; raises GeneError.")
        .def_static("from_code", &Gene::FromCode, py::arg("code"), "Read a code string; raises GeneError.")
        .def_property_readonly("code", &Gene::Code, "The code string.")
        .def_property_readonly("file", &Gene::File, "The file it was compiled from, or ''.")
        .def("dump", &Gene::Dump, "The program as the engine reads it, indented.")
        .def("__len__", [](const Gene& g) { return g.Elements().size(); })
        .def("__repr__", [](const Gene& g) { return "quillmoth.Gene.from_code('" + g.Code() + "')"; });
    AddVariation(gene);

    py::class_<Physics> physics(m, "Physics",
                                "The world's constants (docs/physics.md): the defaults, with any given as "
                                "keywords, e.g. Physics(gravity=0.005).");
    physics.def(py::init(&MakePhysics))
        .def("to_dict",
             [](const Physics& p) {
                 py::dict keys;
                 for (const std::string& key : PhysicsKeys()) keys[py::str(key)] = GetPhysicsKey(p, key);
                 return keys;
             })
        .def("__eq__", [](const Physics& a, const Physics& b) { return a == b; })
        .def("__repr__", [](const Physics& p) -> std::string {
            // The keys that differ from the defaults, as the constructor takes them.
            std::string keys;
            for (const std::string& key : PhysicsKeys()) {
                const double value = GetPhysicsKey(p, key);
                if (value != GetPhysicsKey(Physics{}, key))
                    keys += (keys.empty() ? "" : ", ") + key + "=" + PhysicsValueText(value);
            }
            return "quillmoth.Physics(" + keys + ")";
        });
    for (const std::string& key : PhysicsKeys()) {
        physics.def_property_readonly(key.c_str(), [key](const Physics& p) { return GetPhysicsKey(p, key); });
    }

    py::class_<Run>(m, "Run", "One run: a gene grown from a seed in a world of its own.")
        .def(py::init(&MakeRun), py::arg("gene"), py::arg("seed") = py::none(), py::arg("goal") = py::none(),
             py::arg("max_nodes") = py::none(), py::arg("steps") = py::none(), py::arg("log") = "",
             py::arg("physics") = py::none(), py::arg("history") = false, py::arg("observe") = py::none(),
             py::arg("every") = 1, py::arg("trace") = py::none(), py::arg("trace_every") = 1)
        .def_static("load", &LoadRun, py::arg("path"), py::arg("log") = "",
                    "Go on from a checkpoint written by Run.save or quillmoth-sim.")
        .def(
            "step",
            [](Run& run, const py::object& n) {
                return OutcomeWord(StepWatched(run, IntegerArgument(n, evolve::Argument::StepCount)));
            },
            py::arg("n") = 1, "Step up to n times; returns the outcome. Ctrl-C stops it between two steps.")
        .def_property_readonly("steps", &Run::Steps)
        .def_property_readonly("history", &HistoryOf,
                               "The series the run keeps (Run(..., history=True)): numpy arrays by name.")
        .def_property_readonly("seed", &Run::Seed)
        .def_property_readonly("outcome", [](const Run& run) { return OutcomeWord(run.Outcome().kind); })
        .def_property_readonly("error",
                               [](const Run& run) -> std::optional<std::string> {
                                   if (run.Outcome().kind != RunOutcome::Kind::Error) return std::nullopt;
                                   return run.Outcome().text;
                               })
        .def_property_readonly("nodes", [](const Run& run) { return NodeArray(run.View()); })
        .def_property_readonly("links", [](const Run& run) { return LinkArray(run.View()); })
        .def_property_readonly(
            "centroid",
            [](const Run& run) {
                const Vector3 c = run.View(Frame::Detail::kFigures).centroid;
                return py::make_tuple(c.x, c.y, c.z);
            },
            "The camera's point: it jumps on a step where a node dies or divides.")
        .def_property_readonly(
            "center",
            [](const Run& run) {
                const Vector3 c = run.View(Frame::Detail::kFigures).center;
                return py::make_tuple(c.x, c.y, c.z);
            },
            "The mean position of the nodes (NaN in an empty world).")
        .def_property_readonly("physics", &Run::WorldPhysics, "The physics the run is made in.")
        .def_property_readonly("closest", &Run::Closest, "Closest approach of any node to the goal so far.")
        .def_property_readonly(
            "goal_step", [](const Run& run) { return run.View(Frame::Detail::kFigures).goalStep; },
            "The step in which a node reached the goal, or None.")
        .def_property_readonly(
            "goal_node", [](const Run& run) { return run.View(Frame::Detail::kFigures).goalNode; },
            "The id of the node that reached the goal, or None.")
        .def("__repr__",
             [](const Run& run) {
                 return FormatString("<quillmoth.Run seed=%u steps=%lld outcome=%s>", run.Seed(), run.Steps(),
                                     OutcomeWord(run.Outcome().kind));
             })
        .def("kill", &Run::Kill, py::arg("node_id"), "Kill a node at the next step; False if there is none.")
        .def(
            "save",
            [](const Run& run, const std::string& path) {
                if (!run.HasWorld())
                    throw py::value_error("the run has no world to save: it ended at its start");
                try {
                    run.Save(path);
                } catch (const CheckpointError& e) {
                    ThrowOSError(e.message);
                }
            },
            py::arg("path"), "Write a checkpoint, as quillmoth-sim run --checkpoint-every does.");

    BindShare(m);

    m.def("evaluate", &Evaluate, py::arg("genes"), py::arg("seeds"), py::arg("steps") = 1000,
          py::arg("workers") = 0, py::arg("max_nodes") = 1000, py::arg("goal") = py::none(),
          py::arg("fitness") = py::none(), py::arg("physics") = py::none(), py::arg("per_seed") = false,
          py::arg("history") = false,
          "Run every gene with every seed on threads; one fitness per gene, or with per_seed a numpy record "
          "array of a row per gene and seed.");
    m.def("_evaluate_task", &EvaluateTask, py::arg("task"), py::arg("fitness") = py::none(),
          py::arg("history") = false, py::arg("descriptors") = py::none(),
          "One task of a search evaluated here (for evolve(mpi=True)): the result's text.");
    m.def(
        "evolve",
        [](const std::vector<Gene>& genes, const std::optional<std::string>& algorithm, int population,
           std::optional<int> generations, std::optional<long long> evaluations, long long steps,
           const std::optional<std::vector<std::uint32_t>>& seeds, std::uint32_t seed,
           const std::optional<std::string>& task, const py::object& descriptors, int grid,
           std::optional<int> maxNodes, std::optional<int> maxLength,
           const std::optional<std::array<float, 3>>& goal, const py::object& workers,
           const std::optional<Physics>& physics, const py::object& fitness,
           const std::optional<std::string>& out, const std::optional<std::string>& resume,
           const py::object& progress, const py::object& dispatch, bool history) {
            const DescriptorArgs described = ReadDescriptors(descriptors);
            const EvolveArgs args{algorithm, population, generations, evaluations,     steps,
                                  seeds,     seed,       task,        described.specs, grid,
                                  maxNodes,  maxLength,  goal,        physics,         !fitness.is_none()};
            return Evolve(genes, args, WorkersOf(workers), fitness, out, resume, progress, dispatch, history,
                          described.functions);
        },
        py::arg("genes") = std::vector<Gene>{}, py::arg("algorithm") = py::none(), py::arg("population") = 64,
        py::arg("generations") = py::none(), py::arg("evaluations") = py::none(), py::arg("steps") = 1000,
        py::arg("seeds") = py::none(), py::arg("seed") = 1, py::arg("task") = py::none(),
        py::arg("descriptors") = py::none(), py::arg("grid") = 25, py::arg("max_nodes") = py::none(),
        py::arg("max_length") = py::none(), py::arg("goal") = py::none(), py::arg("workers") = 0,
        py::arg("physics") = py::none(), py::arg("fitness") = py::none(), py::arg("out") = py::none(),
        py::arg("resume") = py::none(), py::arg("progress") = py::none(), py::arg("dispatch") = py::none(),
        py::arg("history") = false,
        "The search of quillmoth-sim evolve; fitness(run) -> cost makes a task of a Python function.");
}
