// Code strings of any bytes loaded into a node of a world and evaluated a few
// times: the primitives reach the node, its links and its neighbours.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "gp/Unit.h"
#include "world/NodeManager.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::RunContext context;
    context.diagnostics.SetSink([](std::string_view) {});
    context.random.Seed(1);
    qm::Unit gene;
    qm::NodeManager world(context);
    try {
        gene.Parse(std::string(reinterpret_cast<const char*>(data), size));
        qm::TNode* a = world.NewNode(&gene);
        qm::TNode* b = world.NewNode(&gene);
        b->pos = {3.0f, 0.0f, 0.0f};
        world.LinkNode(a, b);
        for (int i = 0; i < 4; ++i) {
            a->Run();
            b->Run();
        }
    } catch (const qm::ErrorText&) {
    } catch (const std::exception&) {
        // What the program's callers also catch (an empty code has no root to print).
    }
    return 0;
}
