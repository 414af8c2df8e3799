// Gene source text of any bytes compiled and grown for 20 world steps, with a
// node limit that keeps a run short.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "world/NodeManager.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::RunContext context;
    context.diagnostics.SetSink([](std::string_view) {});
    context.random.Seed(7);
    qm::Unit gene;
    qm::NodeManager world(context);
    world.SetNodeLimit(256);
    try {
        gene.Parse(qm::GPmanager::GetInstance()->Compile(
            std::string(reinterpret_cast<const char*>(data), size), context.diagnostics));
        world.InitWorld(&gene);
        for (int step = 0; step < 20; ++step) world.Action();
    } catch (const qm::ErrorText&) {
    } catch (const std::exception&) {
        // What the program's callers also catch (an empty code has no root to print).
    }
    return 0;
}
