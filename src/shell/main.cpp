// quillmoth: the creature growing in its window.

#include <cstdio>
#include <string>
#include <vector>

#include "base/Diagnostics.h"
#include "shell/CommandLine.h"
#include "shell/ProcessEntry.h"

int main(int argc, char** argv) {
    const qm::CommandLine options = qm::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
        std::fputs(qm::HelpText().c_str(), stdout);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "quillmoth: %s\n(quillmoth --help shows the usage)\n",
                     qm::Printable(options.error, 400).c_str());
        return 2;
    }
    return qm::ProcessEntry(options);
}
