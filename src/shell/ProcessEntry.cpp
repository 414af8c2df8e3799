#include "shell/ProcessEntry.h"

#include "base/Diagnostics.h"
#include "experiment/RunGuard.h"
#include "experiment/SourceTester.h"
#include "platform/SdlWindow.h"
#include "shell/FrameStep.h"
#include "shell/InitScene.h"
#include "shell/SdlShellServices.h"
#include "shell/Shell.h"
#include "shell/Shutdown.h"
#include "shell/WndProc.h"

namespace qm {

int RunMessagePump(Shell& shell, SdlWindow& window) {
    WindowMessage message;
    while (true) {
        if (window.PeekMessage(message)) {
            if (message.type == WindowMessage::Type::Quit) return static_cast<int>(message.key);
            WndProc(shell, message);
        } else {
            FrameStep(shell);
        }
    }
}

int ProcessEntry(const CommandLine& options) {
    SetDebugLevel(options.debug ? DebugLevel::Detail : DebugLevel::Normal);
    Shell shell;
    shell.geneFile = options.geneFile;

    // The window is used without a test: without one, the graphics start-up
    // below fails with its message.
    std::unique_ptr<SdlWindow> window =
        SdlWindow::Create("Quillmoth", shell.state.windowWidth, shell.state.windowHeight);
    std::unique_ptr<SdlShellServices> services;
    if (window) services = std::make_unique<SdlShellServices>(*window);
    if (!window) DebugPrint("The window cannot be opened: %s\n", SdlWindow::LastError().c_str());
    shell.services = services.get();

    RunGuard::SeedRandom(options.run.seed);

    const auto makeDriver = [&options](const std::string& geneFile) {
        auto driver = std::make_unique<SourceTester>(geneFile);
        driver->SetNodeLimit(options.run.maxNodes);
        return driver;
    };
    if (InitScene(shell, window.get(), makeDriver) < 0) return 0;
    if (InitInput(shell, *window) < 0) return 0;

    const int exitCode = RunMessagePump(shell, *window);
    Shutdown(shell);
    return exitCode;
}

}  // namespace qm
