#include "shell/Shutdown.h"

#include "node/NodeDrawing.h"
#include "shell/Shell.h"

namespace qm {

void Shutdown(Shell& shell) {
    shell.input.reset();
    shell.nodeDrawing.Release();
    shell.tester = nullptr;
    shell.trace.reset();
    shell.run.reset();
    shell.replay.reset();
    shell.floor.reset();
    shell.goal.reset();
    shell.sky.reset();
    shell.font.reset();
    shell.device.reset();
    shell.graphics.reset();
}

}  // namespace qm
