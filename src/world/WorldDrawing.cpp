// A world on screen: every node with its shadow, then every link as a white line.

#include "node/NodeDrawing.h"
#include "platform/Device.h"
#include "shell/Errors.h"
#include "world/NodeManager.h"

namespace qm {

inline constexpr std::uint32_t kLinkColor = 0xFFFFFFFF;

void NodeManager::Render(Device& device) {
    Replaced("node render\n", [&] {
        for (auto& [id, node] : nodeMap) {
            node->Render(device);
            node->RenderShadow(device);
        }
    });
    Replaced("line Render;\n", [&] {
        for (const auto& [pair, one] : links.Pairs()) {
            if (isLink(pair.first, pair.second))
                DrawLine(device, pair.first->pos, pair.second->pos, kLinkColor);
        }
    });
}

}  // namespace qm
