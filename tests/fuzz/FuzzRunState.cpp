// A real run's state, changed by the input in any of its tables, then checked
// and, when the check lets it through, restored and stepped: whatever a
// checkpoint could say, the check refuses it or the world runs on without
// reading or writing out of bounds.
//
// The input is a list of 8-byte edits: which table and field (1 byte), spare
// (1 byte), which entry (2 bytes, modulo the table's size), the new value (4 bytes).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "experiment/SourceTester.h"
#include "record/RecordError.h"
#include "record/RunState.h"
#include "world/NodeManager.h"

namespace {

// Grows, links, cuts and dies within 40 steps.
const char* const kGene =
    "PROG3 ( SETP 0 ( ADD ( GETP 0 ) 0.1 ) )\n"
    "      ( IFT ( GT ECOUNT 0.2 ) ( IFTE ( GT ( GETP 1 ) 0.5 ) ( TDIVIDE 0 ) ( GDIVIDE ( 0 ) ) ) )\n"
    "      ( PROG3 ( PROG2 ( ADDPAR 1 SMELL ) ( PULSE ( 3 ) ) ) ( ADDPAR 7 1 )\n"
    "              ( IFTE ( GT ( GETP 7 ) 0.3 ) DIE ( IFTE ( LT ECOUNT 0.15 ) ( CUTEDGE ) ( ELENGTH 4 ) ) ) "
    ")";

const qm::record::RunState& Base() {
    static const qm::record::RunState state = [] {
        const std::string path = "/tmp/quillmoth-fuzz-runstate-gene.txt";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        std::fputs(kGene, file);
        std::fclose(file);
        qm::RunContext context;
        context.diagnostics.SetSink([](std::string_view) {});
        context.random.Seed(9);
        qm::SourceTester driver(context, path);
        driver.Init();
        for (int i = 0; i < 40; ++i) driver.Action();
        qm::record::Manifest manifest;
        manifest.maxNodes = 256;
        return qm::record::CaptureRun(driver, 40, manifest, kGene);
    }();
    return state;
}

template <class T>
T& At(std::vector<T>& v, std::uint16_t i) {
    return v[i % v.size()];
}

void Edit(qm::record::RunState& s, std::uint8_t what, std::uint16_t i, std::int32_t v) {
    using qm::record::NodeRecord;
    const auto asFloat = [v] {
        float f;
        std::memcpy(&f, &v, sizeof f);
        return f;
    };
    switch (what % 22) {
        case 0:
            if (!s.nodes.empty()) At(s.nodes, i).id = v;
            break;
        case 1:
            if (!s.nodes.empty()) At(s.nodes, i).partnerCount = v;
            break;
        case 2:
            if (!s.nodes.empty()) At(s.nodes, i).edgeCount = v;
            break;
        case 3:
            if (!s.nodes.empty()) At(s.nodes, i).gene = v;
            break;
        case 4:
            if (!s.nodes.empty()) At(s.nodes, i).dying = static_cast<std::uint8_t>(v);
            break;
        case 5:
            if (!s.partners.empty()) At(s.partners, i) = v;
            break;
        case 6:
            if (!s.cells.empty()) At(s.cells, i).ix = v;
            break;
        case 7:
            if (!s.cells.empty()) At(s.cells, i).iy = v;
            break;
        case 8:
            if (!s.cells.empty()) At(s.cells, i).iz = v;
            break;
        case 9:
            if (!s.cells.empty()) At(s.cells, i).count = static_cast<std::uint32_t>(v);
            break;
        case 10:
            if (!s.cellNodes.empty()) At(s.cellNodes, i) = v;
            break;
        case 11:
            s.dying.push_back(v);
            break;
        case 12:
            if (!s.geneStarts.empty()) At(s.geneStarts, i) = static_cast<std::uint32_t>(v);
            break;
        case 13:
            if (!s.geneElements.empty()) At(s.geneElements, i).kind = v;
            break;
        case 14:
            if (!s.geneElements.empty()) At(s.geneElements, i).index = v;
            break;
        case 15:
            s.nextNodeId = v;
            break;
        case 16:
            s.selected = v;
            break;
        case 17:
            if (!s.nodes.empty()) At(s.nodes, i).pos[i % 3] = asFloat();
            break;
        case 18:
            if (!s.partners.empty()) s.partners.erase(s.partners.begin() + i % s.partners.size());
            break;
        case 19:
            if (!s.nodes.empty()) s.nodes.erase(s.nodes.begin() + i % s.nodes.size());
            break;
        case 20:
            if (!s.nodes.empty()) At(s.nodes, i).param[i % 10] = static_cast<double>(asFloat());
            break;
        default:
            s.nodeLimit = v;
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::record::RunState state = Base();
    for (std::size_t at = 0; at + 8 <= size && at < 8 * 64; at += 8) {
        std::uint16_t i;
        std::int32_t v;
        std::memcpy(&i, data + at + 2, sizeof i);
        std::memcpy(&v, data + at + 4, sizeof v);
        Edit(state, data[at], i, v);
    }
    qm::RunContext context;
    context.diagnostics.SetSink([](std::string_view) {});
    try {
        qm::record::CheckRun(state);
        std::unique_ptr<qm::SourceTester> driver = qm::record::RestoreRun(context, state);
        driver->Worlds().at(0)->SetNodeLimit(256);
        for (int step = 0; step < 5; ++step) driver->Action();
    } catch (const qm::record::RecordError&) {
    } catch (const qm::ErrorText&) {
    }
    return 0;
}
