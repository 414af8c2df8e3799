// quillmoth-sim evolve: runs the search generation by generation on the
// processes of this machine or across the ranks of an MPI job, and reports.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "api/RunMany.h"
#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "evolve/Census.h"
#include "evolve/MpiJob.h"
#include "evolve/SearchError.h"
#include "evolve/SearchOutput.h"
#include "evolve/SearchSession.h"
#include "sim/Commands.h"
#include "sim/SameFile.h"

namespace qm::sim {
namespace {

using evolve::SearchError;

// What a signal that ends the search says: which generations are kept. It is
// prepared before each generation, as a signal handler may only write it.
char stopMessage[2048];
std::size_t stopLength = 0;

void OnStop(int sig) {
    if (write(STDERR_FILENO, stopMessage, stopLength) < 0) {
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Which generations a search that ends during `generation` leaves behind.
std::string Kept(const std::string& dir, int generation) {
    if (generation <= 1) return "no generation was complete";
    const std::string shown = Printable(dir, 400);
    return FormatString("%s holds generations 1 to %d: quillmoth-sim evolve --resume %s goes on from there",
                        shown.c_str(), generation - 1, shown.c_str());
}

void PrepareStopMessage(const std::string& dir, int generation, bool mpi) {
    std::string text = "\nquillmoth-sim evolve: ";
    text += mpi ? FormatString(
                      "the MPI job ended this process during generation %d (a rank was lost or the job "
                      "was cancelled: the launcher says which); ",
                      generation)
                : FormatString("stopped by a signal during generation %d; ", generation);
    text += Kept(dir, generation) + "\n";
    stopLength = std::min(text.size(), sizeof stopMessage);
    std::memcpy(stopMessage, text.data(), stopLength);
}

// What the search reports on standard output; a report that cannot be
// written fails the search like any other output.
void Print(std::FILE* out, const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0) {
        throw SearchError{std::string("cannot write standard output: ") + std::strerror(errno)};
    }
}

// A seed gene file that is one of the files the search writes in its folder.
void RefuseSeedsAsOutputs(const std::vector<std::string>& seedFiles, const evolve::SearchOutput& output) {
    const std::string& dir = output.Dir();
    for (const std::string& file : seedFiles) {
        std::vector<std::string> written = {dir + "/generations.csv", dir + "/best.txt",
                                            output.CheckpointPath(), dir + "/search.lock"};
        const std::string name = file.substr(file.find_last_of('/') + 1);  // npos + 1: all of it
        if (name.rfind("gen-", 0) == 0) {
            std::string best = dir + "/best/";
            best += name;
            written.push_back(std::move(best));
        }
        for (const std::string& path : written) {
            if (!SameFile(file, path)) continue;
            throw SearchError{"the seed gene file '" + Printable(file, 400) + "' is the search's own '" +
                                  Printable(path, 400) + "', which it would replace: give another --out",
                              true};
        }
    }
}

std::string SeedList(const evolve::SearchSettings& s) {
    std::string text;
    for (std::uint32_t seed : s.evalSeeds) text += (text.empty() ? "" : ",") + std::to_string(seed);
    return text;
}

// The command line's part of a search: its refusals exit 2, a Python
// function in a checkpoint is refused, and what it prints.
class CommandLineCaller final : public evolve::SessionCaller {
  public:
    CommandLineCaller(const EvolveOptions& o, bool mpi, std::FILE* out) : o(o), mpi(mpi), out(out) {}

    [[noreturn]] void Refuse(const std::string& problem) override { throw SearchError{problem, true}; }
    std::string Rules() const override { return "the command line's"; }
    evolve::Caller Terms() const override { return evolve::Caller::CommandLine; }

    void CheckNew(const evolve::SearchSettings& settings, const evolve::SearchOutput* output) override {
        if (const std::string name = evolve::PythonDescriptorIn(settings.descriptors); !name.empty())
            Refuse("the descriptor " + name + " is a Python function's (quillmoth.evolve)");
        RefuseSeedsAsOutputs(settings.seedFiles, *output);
    }
    void CheckResumed(const evolve::SearchOutput& output, const evolve::SearchSettings& settings) override {
        if (const std::string name = evolve::PythonDescriptorIn(settings.descriptors); !name.empty()) {
            Refuse("the checkpoint " + Printable(output.CheckpointPath(), 400) + " holds a search whose " +
                   name + " is a Python function (quillmoth.evolve): the command line cannot go on with it");
        }
    }
    void BeforeGeneration(int generation) override {
        PrepareStopMessage(o.resume.empty() ? o.out : o.resume, generation, mpi);
    }
    void AfterGeneration(const evolve::Search& search, const evolve::GenerationReport& report) override {
        if (!o.quiet) Print(out, evolve::ProgressLine(search, report));
    }
    SearchError Failed(const SearchError& e, int generation) override {
        return SearchError{e.message + FormatString(";\nthe search ended in generation %d; ", generation) +
                           Kept(o.resume.empty() ? o.out : o.resume, generation)};
    }

  private:
    const EvolveOptions& o;
    bool mpi;
    std::FILE* out;
};

// A new search's settings from the command line: its seed genes read.
evolve::SearchSettings NewSettings(const EvolveOptions& o) {
    evolve::SearchSettings settings = o.search;
    if (!o.seedGiven) settings.seed = static_cast<std::uint32_t>(std::time(nullptr));
    Diagnostics silent;  // the reason is in the error's first line
    silent.SetSink([](std::string_view) {});
    for (const std::string& file : settings.seedFiles) {
        try {
            settings.seedGenes.push_back(evolve::LoadGeneFile(file, silent));
        } catch (const ErrorText& e) {
            throw SearchError{"the seed gene " + Printable(file, 400) +
                              " does not load: " + Printable(e.text.substr(0, e.text.find('\n')), 400)};
        }
    }
    return settings;
}

void RunSearch(const EvolveOptions& o, evolve::Evaluator& evaluator, bool mpi, std::FILE* out) {
    const bool resume = !o.resume.empty();
    CommandLineCaller caller(o, mpi, out);
    evolve::SearchSession session(caller, resume ? o.resume : o.out);
    if (resume) {
        session.Resume({o.generationsGiven ? std::optional(o.search.generations) : std::nullopt,
                        o.evaluationsGiven ? std::optional(o.search.evaluations) : std::nullopt});
    } else {
        session.Begin(NewSettings(o));
    }
    const evolve::Search& search = session.State();
    const evolve::SearchSettings& s = search.Settings();
    const std::string& dir = session.Output()->Dir();
    if (!o.quiet) {
        const std::string of =
            s.generations < evolve::kMaxGenerations ? FormatString(" of %d", s.generations) : std::string();
        const std::string budget =
            s.evaluations > 0 ? FormatString(", a budget of %lld evaluations", s.evaluations) : std::string();
        const std::string algorithm =
            s.algorithm == evolve::Algorithm::Ga && s.task.kind == evolve::Task::Kind::Goal
                ? std::string()
                : FormatString("%s, task %s; ", evolve::AlgorithmName(s.algorithm), TaskText(s.task).c_str());
        Print(out, FormatString("evolve: %s generation %d%s%s; %spopulation %d, %lld steps per evaluation on "
                                "seeds %s; search seed %u; %s; writing to %s\n",
                                resume ? "resuming at" : "starting at", search.Done() + 1, of.c_str(),
                                budget.c_str(), algorithm.c_str(), s.population, s.steps, SeedList(s).c_str(),
                                s.seed, evaluator.Describe().c_str(), Printable(dir, 400).c_str()));
    }
    session.Run(evaluator);
    if (!o.quiet) {
        const std::vector<evolve::Trial> trials = evolve::Trials(s);
        const std::string show = evolve::ShowCommand(
            s, dir + "/best.txt", trials[std::min(evolve::BestRun(search.Best()), trials.size() - 1)]);
        Print(out, FormatString(
                       "best gene: %s/best.txt, fitness %s; shown by\n  %s\n", Printable(dir, 400).c_str(),
                       evolve::ExactDecimal(search.Best().fitness).c_str(), Printable(show, 1000).c_str()));
    }
}

// A census instead of a search: random genes grown with the goal ahead and behind.
void RunCensus(const EvolveOptions& o, evolve::Evaluator& evaluator, std::FILE* out) {
    evolve::SearchSettings settings = o.search;
    if (!o.seedGiven) settings.seed = static_cast<std::uint32_t>(std::time(nullptr));
    if (!settings.seedFiles.empty())
        throw SearchError{"--census grows random genes: give no GENE_FILE", true};
    if (const std::string problem = evolve::SettingsProblem(settings); !problem.empty())
        throw SearchError{problem, true};
    std::error_code error;
    std::filesystem::create_directories(o.out, error);
    if (error) throw SearchError{"cannot make the folder " + Printable(o.out, 400) + ": " + error.message()};
    const std::string path = o.out + "/census.csv";
    if (!o.quiet) {
        Print(out,
              FormatString("census: %lld random genes (%s, at most %d elements, seed %u), each grown %lld "
                           "steps on seed %u with the goal ahead and behind; %s\n",
                           o.census, evolve::InitName(settings.init), settings.maxLength, settings.seed,
                           settings.steps, settings.evalSeeds.front(), evaluator.Describe().c_str()));
    }
    const std::vector<evolve::CensusEntry> entries =
        evolve::Census(settings, o.census, evaluator, [&](long long grown, long long heading) {
            if (!o.quiet) Print(out, FormatString("  %lld grown, %lld head for the goal\n", grown, heading));
        });
    evolve::ReplaceFile(path, evolve::CensusTable(settings, entries));
    const long long heading =
        std::count_if(entries.begin(), entries.end(), [](const evolve::CensusEntry& e) { return e.Heads(); });
    Print(out,
          FormatString(
              "census: %lld of %lld random genes head for the goal (1 in %s); every gene is in %s\n", heading,
              o.census,
              heading > 0 ? FormatString("%.0f", static_cast<double>(o.census) / heading).c_str() : "none",
              Printable(path, 400).c_str()));
}

}  // namespace

int Evolve(const Options& options, std::FILE* out) {
    const EvolveOptions& o = options.evolve;
    std::unique_ptr<evolve::MpiJob> job;
    try {
        if (evolve::MpiLaunchSize() > 1) {
            job = std::make_unique<evolve::MpiJob>();
            if (job->Rank() != 0) {
                job->Serve();
                return kExitCompleted;
            }
        }
        std::signal(SIGTERM, OnStop);
        std::signal(SIGINT, OnStop);
        const bool mpi = job && job->Size() > 1;
        PrepareStopMessage(o.resume.empty() ? o.out : o.resume, 1, mpi);
        std::unique_ptr<evolve::Evaluator> evaluator;
        if (mpi) {
            evaluator = job->Coordinator();
        } else {
            evaluator = std::make_unique<evolve::ThreadPool>(o.workers > 0 ? o.workers : CoreCount());
        }
        if (o.census > 0) {
            RunCensus(o, *evaluator, out);
        } else {
            RunSearch(o, *evaluator, mpi, out);
        }
    } catch (const SearchError& e) {
        const std::string text = "quillmoth-sim evolve: " + e.message + "\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        const int status = e.refused ? kExitUsage : kExitError;
        if (job && job->Size() > 1) job->Abort(status);
        return status;
    }
    return kExitCompleted;
}

}  // namespace qm::sim
