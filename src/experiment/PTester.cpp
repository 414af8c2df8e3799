#include "experiment/PTester.h"

#include "base/Errors.h"
#include "world/NodeManager.h"

namespace qm {

PTester::~PTester() {
    for (NodeManager* world : worlds) delete world;
    worlds.clear();
    resetName.clear();
}

// An error code (from graphics start-up) passes through unchanged; anything
// that is neither a text nor a code is not the driver's to catch.
void PTester::Init() {
    try {
        CreateWorlds();
        Load();
    } catch (const ErrorText& e) {
        ErrorText chained = e;
        chained.text = "PTester::Init()\n" + e.text;
        throw chained;
    }
}

void PTester::Reset(std::string name) try {
    resetName = std::move(name);
    DoReset();
} catch (...) {
    RethrowSigned("PTester::Reset()\n");
}

void PTester::Action() try { DoAction(); } catch (...) {
    RethrowSigned("PTester::Action()\n");
}

void PTester::Test() try { DoTest(); } catch (...) {
    RethrowSigned("PTester::Test()\n");
}

void PTester::Halt() try { DoHalt(); } catch (...) {
    RethrowSigned("PTester::Halt()\n");
}

void PTester::CreateWorlds() {
    for (int i = 0; i < worldCount; ++i) worlds.push_back(new NodeManager(context));
}

const Vector3& PTester::GetCentroid() const { return worlds.at(0)->GetCentroid(); }

void PTester::Setup(Device&) {}

void PTester::MouseMove(Device&, int, int) {}

void PTester::Click(Device&, int, int, int) {}

void PTester::Resize(int, int) {}

void PTester::KeyDown(int) {}

}  // namespace qm
