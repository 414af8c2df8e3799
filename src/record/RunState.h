#pragma once
// Everything of a headless run that decides its next steps, as plain data: the
// random generator, the node id counter, the driver, and every node of its
// world with its gene, its partners in link order and its place in the order
// of its grid cell. CaptureRun takes it between two steps; RestoreRun makes a
// driver that goes on from it exactly as the run it was taken from would have.

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "experiment/SourceTester.h"
#include "record/Manifest.h"

namespace qm::record {

// Every field of a TNode that outlives a step (the draw transform does not:
// each draw makes it anew). Laid out for the checkpoint's table of nodes,
// whose columns ForEachNodeField (record/NodeFields.h) lists.
struct NodeRecord {
    std::int32_t id;
    std::int32_t request;
    std::int32_t edgeCount;
    std::uint8_t onGround;
    std::uint8_t dying;
    std::int32_t gene;          // index of its gene in RunState's genes
    std::int32_t partnerCount;  // its entries in RunState::partners
    float pos[3], force[3], vel[3];
    double edgeLength;
    float staticFriction0, dynFriction, frictionDiff;
    double param[10], paramInput[10], paramFlux[10], diffRate[10];
    float goal[3], rot[3];
    float material[17];  // diffuse, ambient, specular, emissive (r, g, b, a each), power
};

// A grid cell that holds nodes: its next `count` entries of RunState::cellNodes.
struct CellRecord {
    std::int32_t ix, iy, iz;
    std::uint32_t count;
};

struct ElementRecord {
    std::int32_t kind;
    std::int32_t index;
    double value;
};

struct RunState {
    Manifest manifest;
    std::string geneSource;  // the gene file's bytes when the run started
    long long step = 0;      // steps completed
    std::uint32_t randomState = 0;
    std::int32_t nextNodeId = 0;
    SourceTester::State driver;

    // The driver's one world.
    bool running = true;
    std::int32_t selected = -1;  // the selected node's id, or -1
    Vector3 centroid;
    Vector3 goal;
    std::int32_t nodeLimit = 0;
    std::vector<NodeRecord> nodes;          // ascending id
    std::vector<std::int32_t> partners;     // by id: each node's partners, oldest link first, node by node
    std::vector<CellRecord> cells;          // by x, then y, then z
    std::vector<std::int32_t> cellNodes;    // by id: each cell's nodes in their order, cell by cell
    std::vector<std::int32_t> dying;        // nodes killed since the last step, in the order they wait
    std::vector<std::uint64_t> geneStarts;  // gene g is geneElements[geneStarts[g], geneStarts[g + 1])
    std::vector<ElementRecord> geneElements;
    // Each node's lineage, in the order of `nodes`: the id of its parent (-1:
    // none) and its birth step (-1: unknown). Both empty for a checkpoint of
    // format 1, which did not keep them: its nodes go on with -1 and -1.
    std::vector<std::int32_t> parents;
    std::vector<std::int32_t> births;
    // The least distance from a node to the goal over the steps so far
    // (qm::Run::Closest), so a resumed run's summary is the uninterrupted
    // one's; infinity when not kept (format 1: counted from the checkpoint on).
    float closest = std::numeric_limits<float>::infinity();
};

// The state of `driver` after `step` steps, between two steps. Throws
// RecordError when the driver is not one that can be saved (not one world).
RunState CaptureRun(const SourceTester& driver, long long step, const Manifest& manifest,
                    std::string geneSource);

// Checks that the parts of `state` agree with each other (ids ascending and
// known, links both ways, every live node in exactly one cell, genes within
// the loader's limits, ...). Throws RecordError saying what does not.
void CheckRun(const RunState& state);

// A driver with the saved world, after CheckRun, in `context`: its generator
// and node id counter are set as they were, so the next step is the one the
// saved run would have made.
std::unique_ptr<SourceTester> RestoreRun(RunContext& context, const RunState& state);

}  // namespace qm::record
