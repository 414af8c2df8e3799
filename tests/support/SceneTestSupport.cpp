#include "support/SceneTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <random>

#include "node/NodeDrawing.h"
#include "shell/InitScene.h"

namespace qm::test {

std::filesystem::path DataFolder() {
    if (const char* data = std::getenv("QM_DATA")) return data;
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "data";
}

ScratchFolder::ScratchFolder(std::initializer_list<const char*> dataFiles) {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("quillmoth-scene-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
    for (const char* name : dataFiles) std::filesystem::copy_file(DataFolder() / name, path_ / name);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
}

ScratchFolder::~ScratchFolder() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void ScratchFolder::Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
}

void MakeRun(Shell& shell) {
    RunSettings settings;
    settings.seed = 1;
    shell.run = std::make_unique<Run>(GeneFile{"source.txt"}, settings, shell.context.diagnostics);
}

ShellFixture::ShellFixture(const std::string& geneSource) {
    folder.Write("source.txt", geneSource);
    shell.services = &services;
    auto recordingDevice = std::make_unique<RecordingDevice>();
    device = recordingDevice.get();
    shell.device = std::move(recordingDevice);
    auto recordingFont = std::make_unique<RecordingFont>();
    font = recordingFont.get();
    shell.font = std::move(recordingFont);
    auto fakeInput = std::make_unique<FakeInput>();
    input = fakeInput.get();
    shell.input = std::move(fakeInput);

    MakeRun(shell);
    BuildScene(shell, [](RunContext& context, const std::string& file) {
        return std::make_unique<RecordingTester>(context, file);
    });
    tester = dynamic_cast<RecordingTester*>(shell.tester);
    if (!tester) ADD_FAILURE() << "the driver did not start";
    device->calls.clear();
    device->draws.clear();
}

}  // namespace qm::test
