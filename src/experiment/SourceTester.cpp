#include "experiment/SourceTester.h"

#include "base/Diagnostics.h"
#include "base/KeyCodes.h"
#include "gp/GPmanager.h"
#include "world/NodeManager.h"

namespace qm {

SourceTester::SourceTester(std::string geneFile)
    : gene(std::make_unique<Unit>()), fileName(std::move(geneFile)) {
    gene->Parse(GPmanager::GetInstance()->GetCode(fileName.c_str()));
    worldCount = 1;
}

SourceTester::~SourceTester() = default;

SourceTester::State SourceTester::SaveState() const {
    return {fileName, resetName, gene->Code(), goalOverride, nodeLimit};
}

std::unique_ptr<SourceTester> SourceTester::Restore(const State& state) {
    std::unique_ptr<SourceTester> driver(new SourceTester(Restoring{}));
    driver->gene = std::make_unique<Unit>();
    driver->gene->Assign(state.gene);
    driver->fileName = state.fileName;
    driver->resetName = state.resetName;
    driver->goalOverride = state.goal;
    driver->nodeLimit = state.nodeLimit;
    driver->worldCount = 1;
    driver->CreateWorlds();
    for (NodeManager* world : driver->worlds) {
        if (state.goal) world->SetGoalPos(*state.goal);
        if (state.nodeLimit) world->SetNodeLimit(*state.nodeLimit);
    }
    return driver;
}

void SourceTester::Load() {
    if (!resetName.empty()) fileName = resetName;
    gene->Parse(GPmanager::GetInstance()->GetCode(fileName.c_str()));
    for (NodeManager* world : worlds) {
        if (goalOverride) world->SetGoalPos(*goalOverride);
        if (nodeLimit) world->SetNodeLimit(*nodeLimit);
        world->InitWorld(gene.get());
    }
    DetailPrint("%s\n", gene->ToString().c_str());
}

void SourceTester::DoAction() {
    for (NodeManager* world : worlds) world->Action();
}

void SourceTester::KeyDown(int key) {
    if (key == kPauseKey && !worlds.empty()) worlds[0]->ToggleRunning();
}

}  // namespace qm
