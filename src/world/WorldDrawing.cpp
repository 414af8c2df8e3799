// A world on screen: every node with its shadow, then every link as a white line.

#include "base/Errors.h"
#include "device/Device.h"
#include "node/NodeDrawing.h"
#include "world/NodeManager.h"

namespace qm {

inline constexpr std::uint32_t kLinkColor = 0xFFFFFFFF;

// A few device calls for the whole world: every node's cube, every node's
// shadow (both in id order), then every link of the registry once, in its
// order. Every entry of the registry's pair map is a link, so none needs
// testing.
void NodeManager::Render(Device& device, NodeDrawing& drawing) {
    try {
        NodeBatch& nodes = drawing.Nodes();
        nodes.Clear();
        for (const auto& [id, node] : NodeMap()) nodes.Add(*node);
        nodes.Draw(device, drawing);
    } catch (...) {
        RethrowReplaced("node render\n");
    }
    try {
        LineBatch& lines = drawing.Lines();
        lines.Clear();
        for (const auto& [pair, one] : Links().Pairs())
            lines.Add(pair.first->pos, pair.second->pos, kLinkColor);
        lines.Draw(device, drawing);
    } catch (...) {
        RethrowReplaced("line Render;\n");
    }
}

}  // namespace qm
