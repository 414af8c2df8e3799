#include "experiment/PTester.h"

#include "shell/Errors.h"
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
        for (int i = 0; i < worldCount; ++i) worlds.push_back(new NodeManager());
        Load();
    } catch (const ErrorText& e) {
        throw ErrorText{"PTester::Init()\n" + e.text};
    }
}

void PTester::Reset(std::string name) {
    Signed("PTester::Reset()\n", [&] {
        resetName = std::move(name);
        DoReset();
    });
}

void PTester::Action() {
    Signed("PTester::Action()\n", [&] { DoAction(); });
}

void PTester::Test() {
    Signed("PTester::Test()\n", [&] { DoTest(); });
}

void PTester::Halt() {
    Signed("PTester::Halt()\n", [&] { DoHalt(); });
}

const Vector3& PTester::GetCentroid() const { return worlds.at(0)->GetCentroid(); }

void PTester::Setup(Device&) {}

void PTester::MouseMove(Device&, int, int) {}

void PTester::Click(Device&, int, int, int) {}

void PTester::Resize(int, int) {}

void PTester::KeyDown(int) {}

}  // namespace qm
