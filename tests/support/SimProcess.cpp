#include "support/SimProcess.h"

#include <sys/wait.h>

#include <cstdlib>
#include <regex>

#include "support/TestFiles.h"

namespace qm::test {

const char* SimBinary() { return std::getenv("QM_SIM"); }

Outcome RunSim(const std::string& sim, const std::string& arguments, const std::string& folder) {
    TempFile out(""), err("");
    std::string command =
        "'" + sim + "' " + arguments + " >'" + out.PathString() + "' 2>'" + err.PathString() + "'";
    if (!folder.empty()) command = "cd '" + folder + "' && " + command;
    const int raw = std::system(command.c_str());
    Outcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = ReadFile(out.PathString());
    o.err = ReadFile(err.PathString());
    return o;
}

std::string WithoutWallTime(const std::string& out) {
    static const std::regex kWall(R"("wall_seconds":[0-9.]+)");
    return std::regex_replace(out, kWall, "\"wall_seconds\":_");
}

}  // namespace qm::test
