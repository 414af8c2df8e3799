#pragma once
// What the tests of saved runs share: a folder of their own and
// quillmoth-sim run in it as a user runs it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/SimProcess.h"

namespace qm::test {

class SimFolderTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::string In(const std::string& file) const { return dir + "/" + file; }
    // Writes `text` to a file of the folder and returns its path.
    std::string Put(const std::string& name, const std::string& text) const;
    // quillmoth-sim with these arguments, in the folder.
    Outcome Sim(const std::string& arguments) const { return RunSim(sim, arguments, dir); }
    // The repository's data folder (QM_DATA); the test is skipped without it.
    std::string Data(const std::string& file) const;

    std::string sim;
    std::string dir;
};

std::vector<std::string> SplitLines(const std::string& text);

}  // namespace qm::test
