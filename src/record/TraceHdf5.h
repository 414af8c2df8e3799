#pragma once
// The HDF5 trace's tables (used by its writer and its reader). Three
// one-dimensional tables that grow by one recorded step at a time, chunked and
// compressed (shuffle, deflate, Fletcher-32 checksums):
//
//   steps  (step, node_start, node_count, link_start, link_count): one row per
//          recorded step; its nodes and links are those row ranges of the others
//   nodes  (step, then the columns of NodeColumns: id, x, y, z, vx, vy, vz,
//          p0..p9, d0..d9, edges, request, ground, edge_length, r, g, b, parent,
//          born): one row per node and recorded step (format 1 has no parent and born)
//   links  (step, a, b): one row per link and recorded step, a < b
//
// Root attributes: format "quillmoth-trace", format_version 2, manifest (its
// JSON text) and, for a resumed run, resumed_from and resumed_step. A step's
// row in `steps` is written after its nodes and links, so a step listed
// there is whole. pandas reads a table as it is:
// pd.DataFrame(h5py.File(name)["nodes"][:]).

#include <cstdint>

#include "record/Hdf5.h"
#include "record/NodeColumns.h"

namespace qm::record {

inline constexpr int kTraceFormat = 2;
inline constexpr const char* kTraceFormatName = "quillmoth-trace";

struct StepRow {
    std::int64_t step;
    std::uint64_t nodeStart, nodeCount, linkStart, linkCount;
};

struct LinkRow {
    std::int64_t step;
    std::int32_t a, b;
};

// The tables' types, built once.
struct TraceTypes {
    h5::Compound step{sizeof(StepRow)};
    h5::Compound node{sizeof(NodeRow)};
    // The columns of format 1's nodes (all but the lineage): what the viewer reads of either format.
    h5::Compound nodeV1{sizeof(NodeRow)};
    h5::Compound link{sizeof(LinkRow)};
    TraceTypes();
};
const TraceTypes& TheTraceTypes();

}  // namespace qm::record
