// The benchmark scenes end in the states stored in bench/scene_hashes.txt, so
// a speed-up that changes results fails here and not only in a benchmark label.

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "base/RunContext.h"
#include "support/DebugCapture.h"
#include "support/LatticeScene.h"

namespace qm::test {
namespace {

// Benchmark name -> stored hash, from the file the benchmark script checks too.
std::map<std::string, std::string> StoredHashes() {
    std::ifstream in("../bench/scene_hashes.txt");  // tests run in tests/
    std::map<std::string, std::string> hashes;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, hash;
        fields >> name >> hash;
        hashes[name] = hash;
    }
    return hashes;
}

std::string Hex(std::uint64_t h) {
    char text[20];
    std::snprintf(text, sizeof text, "%016" PRIx64, h);
    return text;
}

class SceneHashTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hashes = StoredHashes();
        ASSERT_GE(hashes.size(), 7u) << "bench/scene_hashes.txt not found or short";
    }
    std::map<std::string, std::string> hashes;
};

// What BM_WorldStep does, without the clock. The two largest sizes are left
// to scripts/bench --validate (a million nodes take a gigabyte).
TEST_F(SceneHashTest, LatticeScenesEndInTheirStoredStates) {
    auto gene = scene::LatticeGene();
    for (auto [count, steps] : {std::pair{10, 20000}, {100, 4000}, {1000, 400}, {10000, 40}}) {
        RunContext context;
        DebugCapture quiet(context.diagnostics);
        NodeManager world(context);
        scene::SeedLattice(world, *gene, count);
        context.random.Seed(1);
        for (int step = 0; step < steps; ++step) world.Action();
        const std::string name =
            "BM_WorldStep/" + std::to_string(count) + "/iterations:" + std::to_string(steps);
        EXPECT_EQ(Hex(scene::StateHash(world)), hashes[name]) << name;
    }
}

// What BM_CrowdStep does: grown to 16,384 nodes, then 100 steps, the last of
// which doubles the crowd.
TEST_F(SceneHashTest, TheCrowdEndsInItsStoredState) {
    auto gene = scene::CrowdGene();
    RunContext context;
    DebugCapture quiet(context.diagnostics);
    NodeManager world(context);
    scene::GrowCrowd(world, *gene, 3, 1500);
    EXPECT_EQ(world.GetNodeCount(), 32768);
    EXPECT_EQ(Hex(scene::StateHash(world)), hashes["BM_CrowdStep/1400/iterations:100"]);
}

}  // namespace
}  // namespace qm::test
