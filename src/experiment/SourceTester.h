#pragma once
// The one concrete experiment: seed every world with the gene of a source file
// ("source.txt" unless told otherwise) and step the worlds.

#include <memory>
#include <optional>
#include <string>

#include "experiment/PTester.h"
#include "gp/Unit.h"

namespace qm {

class SourceTester : public PTester {
  public:
    explicit SourceTester(std::string geneFile = "source.txt");
    ~SourceTester() override;

    void Click(Device& device, int x, int y, int key) override;
    void KeyDown(int key) override;

    const std::string& FileName() const { return fileName; }
    Unit& Gene() { return *gene; }

    // Places the goal of every world seeded from now on somewhere else than
    // the default, for experiments and tests.
    void SetGoal(const Vector3& goal) { goalOverride = goal; }
    // The most nodes each world seeded from now on may hold.
    void SetNodeLimit(int limit) { nodeLimit = limit; }

  protected:
    void Load() override;
    void DoReset() override { Load(); }
    void DoAction() override;
    void DoTest() override {}
    void DoHalt() override {}

  private:
    std::unique_ptr<Unit> gene;
    std::string fileName;
    std::optional<Vector3> goalOverride;
    std::optional<int> nodeLimit;
};

}  // namespace qm
