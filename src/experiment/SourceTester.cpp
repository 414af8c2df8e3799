#include "experiment/SourceTester.h"

#include "base/Diagnostics.h"
#include "base/KeyCodes.h"
#include "base/RunContext.h"
#include "gp/GPmanager.h"
#include "world/NodeManager.h"

namespace qm {

SourceTester::SourceTester(RunContext& context, std::string geneFile)
    : PTester(context), gene(std::make_unique<Unit>()), fileName(std::move(geneFile)) {
    gene->Parse(GPmanager::GetInstance()->GetCode(fileName.c_str(), context.diagnostics));
    worldCount = 1;
}

SourceTester::SourceTester(RunContext& context, std::string geneFile, GeneBytes read)
    : PTester(context),
      gene(std::make_unique<Unit>()),
      fileName(std::move(geneFile)),
      unread(std::move(read)) {
    gene->Parse(CompileGeneFile(*unread, fileName.c_str(), context.diagnostics));
    worldCount = 1;
}

SourceTester::SourceTester(RunContext& context, const std::vector<GeneElement>& elements)
    : PTester(context), gene(std::make_unique<Unit>()), geneInMemory(true) {
    gene->Assign(elements);
    worldCount = 1;
}

SourceTester::~SourceTester() = default;

SourceTester::State SourceTester::SaveState() const {
    return {fileName, resetName, gene->Code(), goalOverride, nodeLimit, physics};
}

std::unique_ptr<SourceTester> SourceTester::Restore(RunContext& context, const State& state) {
    std::unique_ptr<SourceTester> driver(new SourceTester(context, Restoring{}));
    driver->gene = std::make_unique<Unit>();
    driver->gene->Assign(state.gene);
    driver->fileName = state.fileName;
    driver->resetName = state.resetName;
    driver->goalOverride = state.goal;
    driver->nodeLimit = state.nodeLimit;
    driver->physics = state.physics;
    driver->worldCount = 1;
    driver->CreateWorlds();
    for (NodeManager* world : driver->worlds) {
        world->SetPhysics(state.physics);
        if (state.goal) world->SetGoalPos(*state.goal);
        if (state.nodeLimit) world->SetNodeLimit(*state.nodeLimit);
    }
    return driver;
}

void SourceTester::Load() {
    if (!resetName.empty()) {
        fileName = resetName;
        geneInMemory = false;
        sourceText.reset();
    }
    if (sourceText) {
        unread.reset();
        fileBytes.reset();
        gene->Parse(GPmanager::GetInstance()->Compile(*sourceText, context.diagnostics));
    } else if (!geneInMemory) {
        fileBytes = unread ? std::move(*unread) : ReadGeneBytes(fileName.c_str());
        unread.reset();
        gene->Parse(CompileGeneFile(*fileBytes, fileName.c_str(), context.diagnostics));
    }
    for (NodeManager* world : worlds) {
        world->SetPhysics(physics);
        if (goalOverride) world->SetGoalPos(*goalOverride);
        if (nodeLimit) world->SetNodeLimit(*nodeLimit);
        world->InitWorld(gene.get());
    }
    context.diagnostics.DetailPrint("%s\n", gene->ToString().c_str());
}

void SourceTester::DoAction() {
    for (NodeManager* world : worlds) world->Action();
}

void SourceTester::KeyDown(int key) {
    if (key == kPauseKey && !worlds.empty()) worlds[0]->ToggleRunning();
}

}  // namespace qm
