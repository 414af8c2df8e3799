#pragma once
// A node's fields in a checkpoint, listed once. The list gives the checkpoint's
// table of nodes its columns (their names, order and types: the file's format),
// and tells CaptureRun what to take from a TNode and RestoreRun what to give
// back, so the file, the capture and the restore cannot disagree. A field
// added to NodeRecord goes here too, in the record's order (the test of the
// layout checks it), and changes the file's format.

#include <cstddef>
#include <type_traits>

#include "node/TNode.h"
#include "record/RunState.h"

namespace qm::record {

// What RestoreRun does with a field of the record.
enum class NodeFieldUse {
    kApplied,     // copied back into the node
    kWorldSets,   // the world sets it as it brings the node back (RestoreNode the id, RestoreDying the flag)
    kRecordOnly,  // not a field of TNode (its node member is nullptr): RestoreRun reads it itself
};

// Calls visit(name, &NodeRecord::field, &TNode::field or nullptr, use) for
// every column of the table of nodes, in the file's order.
template <class Visit>
void ForEachNodeField(Visit&& visit) {
    using enum NodeFieldUse;
    visit("id", &NodeRecord::id, &TNode::id, kWorldSets);
    visit("request", &NodeRecord::request, &TNode::request, kApplied);
    visit("edge_count", &NodeRecord::edgeCount, &TNode::edgeCount, kApplied);
    visit("on_ground", &NodeRecord::onGround, &TNode::onGround, kApplied);
    visit("dying", &NodeRecord::dying, &TNode::dying, kWorldSets);
    visit("gene", &NodeRecord::gene, nullptr, kRecordOnly);
    visit("partner_count", &NodeRecord::partnerCount, nullptr, kRecordOnly);
    visit("pos", &NodeRecord::pos, &TNode::pos, kApplied);
    visit("force", &NodeRecord::force, &TNode::force, kApplied);
    visit("vel", &NodeRecord::vel, &TNode::vel, kApplied);
    visit("edge_length", &NodeRecord::edgeLength, &TNode::edgeLength, kApplied);
    visit("static_friction0", &NodeRecord::staticFriction0, &TNode::staticFriction0, kApplied);
    visit("dyn_friction", &NodeRecord::dynFriction, &TNode::dynFriction, kApplied);
    visit("friction_diff", &NodeRecord::frictionDiff, &TNode::frictionDiff, kApplied);
    visit("param", &NodeRecord::param, &TNode::param, kApplied);
    visit("param_input", &NodeRecord::paramInput, &TNode::paramInput, kApplied);
    visit("param_flux", &NodeRecord::paramFlux, &TNode::paramFlux, kApplied);
    visit("diff_rate", &NodeRecord::diffRate, &TNode::diffRate, kApplied);
    visit("goal", &NodeRecord::goal, &TNode::goal, kApplied);
    visit("rot", &NodeRecord::rot, &TNode::rot, kApplied);
    visit("material", &NodeRecord::material, &TNode::material, kApplied);
}

// A field added to NodeRecord changes this: add it to the list above as well.
static_assert(sizeof(NodeRecord) == 504, "NodeRecord changed: list its new field in ForEachNodeField");

// Where `field` lies in a NodeRecord, in bytes.
template <class T>
std::size_t NodeFieldOffset(T NodeRecord::*field) {
    static const NodeRecord probe{};
    return static_cast<std::size_t>(reinterpret_cast<const char*>(&(probe.*field)) -
                                    reinterpret_cast<const char*>(&probe));
}

}  // namespace qm::record
