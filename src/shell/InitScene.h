#pragma once
// Start-up of everything that draws: the graphics object, the device (with
// its fallbacks), the font, the node drawing resources, the light, the render
// states, the experiment driver (inside the start-up error guard), the camera
// and the scene objects.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qm {

struct RunContext;
struct Shell;
class SdlWindow;
class PTester;

// Makes the experiment driver on a gene file; tests put a recording one in.
using DriverFactory =
    std::function<std::unique_ptr<PTester>(RunContext& context, const std::string& geneFile)>;

// The program's driver: a SourceTester.
// Where the art files are: "" (the working folder) when it holds them, else
// the share/quillmoth folder of an installed program ("PREFIX/share/quillmoth/")
// when that does; "" again when neither does (the scene then says what is missing).
std::string FindArtFolder();

std::unique_ptr<PTester> MakeSourceTester(RunContext& context, const std::string& geneFile);

// Every step, in order. 0 on success, E_FAIL (negative) when the graphics
// object, the device, the font or a scene object cannot be made; the process
// then ends at once, and `why` (when given) says what failed and the
// system's reason. An error of the driver's start is logged and a quit
// request posted, and start-up still succeeds.
std::int32_t InitScene(Shell& shell, SdlWindow* window, const DriverFactory& makeDriver = MakeSourceTester,
                       std::string* why = nullptr);

// Why a file cannot be read ("No such file or directory"); empty when it can.
std::string UnreadableReason(const std::string& path);

// The steps after the font, on the device and font already in `shell`.
// Raises ErrorCode when the node mesh or a scene object cannot be made.
void BuildScene(Shell& shell, const DriverFactory& makeDriver = MakeSourceTester);

// The start-up guard around the driver: construct it on shell.geneFile, Init,
// Setup; or, when shell.readyDriver holds one, Setup on it alone. A text error is logged and a quit request
// posted; an error code posts the quit request only.
void StartDriver(Shell& shell, const DriverFactory& makeDriver = MakeSourceTester);

}  // namespace qm
