#include "shell/ProcessEntry.h"

#include <SDL.h>

#include <ctime>

#include "node/Random.h"
#include "platform/SdlWindow.h"
#include "render/InitScene.h"
#include "shell/Diagnostics.h"
#include "shell/FrameStep.h"
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
    Shell shell;
    shell.geneFile = options.geneFile;

    // The window is used without a test: without one, the graphics start-up
    // below fails with its message.
    std::unique_ptr<SdlWindow> window =
        SdlWindow::Create("Quillmoth", shell.state.windowWidth, shell.state.windowHeight);
    std::unique_ptr<SdlShellServices> services;
    if (window) services = std::make_unique<SdlShellServices>(*window);
    if (!window) DebugPrint("The window cannot be opened: %s\n", SDL_GetError());
    shell.services = services.get();

    const int seed = options.seed ? static_cast<int>(*options.seed) : static_cast<int>(std::time(nullptr));
    DebugPrint("rand seed = %d\n", seed);
    Seed(static_cast<unsigned>(seed));

    if (InitScene(shell, window.get()) < 0) return 0;
    if (InitInput(shell, *window) < 0) return 0;

    const int exitCode = RunMessagePump(shell, *window);
    Shutdown(shell);
    return exitCode;
}

}  // namespace qm
