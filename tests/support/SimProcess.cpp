#include "support/SimProcess.h"

#include <sys/wait.h>

#include <cstdlib>

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

}  // namespace qm::test
