#pragma once
// Start-up of everything that draws: the graphics object, the device (with
// its fallbacks), the font, the node drawing resources, the light, the render
// states, the experiment driver (inside the start-up error guard), the camera
// and the scene objects.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "api/Run.h"

namespace qm {

struct RunContext;
struct Shell;
class SdlWindow;
class PTester;

// Makes the live run's driver on its gene file; tests put a recording one in.
// Without one the run makes its own SourceTester, with its node limit.
using DriverFactory = Run::DriverFactory;

// Where the art files are, "" (the working folder) or a folder ending in "/":
// `dataDir` when given; else the working folder when it holds them, else the
// share/quillmoth folder beside an installed `program` ("PREFIX/share/quillmoth/"),
// else the data folder of the source tree it was built in (a build folder
// inside it); "" again when none does (the scene then says what is missing).
// `program` is the running program's path when empty.
std::string FindArtFolder(const std::string& dataDir = "", std::filesystem::path program = {});

// Where the marker of a goal at `goal` stands: 10 units above it.
Vector3 GoalMarkerPosition(const Vector3& goal);

// A plain SourceTester on the gene file, for a factory that does more with it.
std::unique_ptr<PTester> MakeSourceTester(RunContext& context, const std::string& geneFile);

// Every step, in order. 0 on success, E_FAIL (negative) when the graphics
// object, the device, the font or a scene object cannot be made; the process
// then ends at once, and `why` (when given) says what failed and the
// system's reason. An error of the driver's start is logged and a quit
// request posted, and start-up still succeeds.
std::int32_t InitScene(Shell& shell, SdlWindow* window, const DriverFactory& makeDriver = {},
                       std::string* why = nullptr);

// Why a file cannot be read ("No such file or directory"); empty when it can.
std::string UnreadableReason(const std::string& path);

// The steps after the font, on the device and font already in `shell`.
// Raises ErrorCode when the node mesh or a scene object cannot be made.
void BuildScene(Shell& shell, const DriverFactory& makeDriver = {});

// Starts what is on show under its start-up guard, and puts its driver on
// show: the live run (shell.run, made and seeded before start-up) makes its
// driver, Init, then Setup on the device; a resumed run or a replay
// (shell.replay) already holds its world, so Setup alone. A text error is
// logged and a quit request posted; an error code posts the quit request only.
void StartDriver(Shell& shell, const DriverFactory& makeDriver = {});

}  // namespace qm
