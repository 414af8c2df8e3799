#pragma once
// The one concrete experiment: seed every world with the gene of a source file
// ("source.txt" unless told otherwise) and step the worlds.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Physics.h"
#include "experiment/PTester.h"
#include "gp/GeneFile.h"
#include "gp/Unit.h"

namespace qm {

class SourceTester : public PTester {
  public:
    // Compiles the gene file now and again at every Init and reload.
    SourceTester(RunContext& context, std::string geneFile);
    // The same for a gene file read already: the driver compiles these bytes
    // now and at the first Init; a reload (Space, a dropped file) reads the file.
    SourceTester(RunContext& context, std::string geneFile, GeneBytes read);
    // Seeds the worlds with a gene held in memory (compiled elsewhere); a
    // reload with a file name reads that file from then on.
    SourceTester(RunContext& context, const std::vector<GeneElement>& gene);
    ~SourceTester() override;

    // What the driver holds besides its worlds: all a checkpoint needs of it.
    struct State {
        std::string fileName;
        std::string resetName;
        std::vector<GeneElement> gene;  // the seed gene as loaded
        std::optional<Vector3> goal;
        std::optional<int> nodeLimit;
        Physics physics;
    };
    State SaveState() const;
    // A driver that goes on from a saved state: the gene file is not read, and
    // its worlds are made empty for the caller to fill (record/RunState.cpp).
    // A gene beyond the loader's limits is refused with an ErrorText.
    static std::unique_ptr<SourceTester> Restore(RunContext& context, const State& state);

    void Click(Device& device, int x, int y, int key) override;
    void KeyDown(int key) override;

    const std::string& FileName() const { return fileName; }
    // Reloads (Space) compile this gene source text instead of reading the
    // gene file, until another file is named: a run resumed elsewhere than
    // where it began reloads the text it was saved with.
    void ReloadFromText(std::string text) { sourceText = std::move(text); }
    bool ReloadsFromText() const { return sourceText.has_value(); }
    // The bytes of the gene file the worlds were last seeded from, or null
    // (a gene held in memory, a reload from text, a restored run).
    const GeneBytes* FileBytes() const { return fileBytes ? &*fileBytes : nullptr; }
    Unit& Gene() { return *gene; }

    // Places the goal of every world seeded from now on somewhere else than
    // the default, for experiments and tests.
    void SetGoal(const Vector3& goal) { goalOverride = goal; }
    // The most nodes each world seeded from now on may hold.
    void SetNodeLimit(int limit) { nodeLimit = limit; }
    // The physics of every world seeded from now on.
    void SetPhysics(const Physics& laws) { physics = laws; }

  protected:
    void Load() override;
    void DoReset() override {
        unread.reset();  // a reload reads the file anew
        Load();
    }
    void DoAction() override;
    void DoTest() override {}
    void DoHalt() override {}

  private:
    struct Restoring {};
    SourceTester(RunContext& context, Restoring) : PTester(context) {}

    std::unique_ptr<Unit> gene;
    std::string fileName;
    bool geneInMemory = false;              // Load seeds from `gene` as it is, reading no file
    std::optional<std::string> sourceText;  // Load compiles this instead of the file
    std::optional<GeneBytes> unread;        // the file as read by the caller: the first Load compiles these
    std::optional<GeneBytes> fileBytes;     // the file as the last Load compiled it
    std::optional<Vector3> goalOverride;
    std::optional<int> nodeLimit;
    Physics physics;
};

}  // namespace qm
