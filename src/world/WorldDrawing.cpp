// A world on screen: every node with its shadow, then every link as a white line.

#include "base/Errors.h"
#include "device/Device.h"
#include "node/NodeDrawing.h"
#include "world/NodeManager.h"

namespace qm {

inline constexpr std::uint32_t kLinkColor = 0xFFFFFFFF;

void NodeManager::Render(Device& device) {
    try {
        for (auto& [id, node] : nodeMap) {
            node->Render(device);
            node->RenderShadow(device);
        }
    } catch (...) {
        RethrowReplaced("node render\n");
    }
    try {
        for (const auto& [pair, one] : links.Pairs()) {
            if (isLink(pair.first, pair.second))
                DrawLine(device, pair.first->pos, pair.second->pos, kLinkColor);
        }
    } catch (...) {
        RethrowReplaced("line Render;\n");
    }
}

}  // namespace qm
