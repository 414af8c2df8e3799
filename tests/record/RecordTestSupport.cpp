#include "record/RecordTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace qm::test {

void SimFolderTest::SetUp() {
    const char* path = SimBinary();
    if (!path) GTEST_SKIP() << "QM_SIM names the quillmoth-sim binary; ctest sets it";
    sim = path;
    char name[] = "/tmp/quillmoth-record-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
}

void SimFolderTest::TearDown() {
    if (!dir.empty()) std::filesystem::remove_all(dir);
}

std::string SimFolderTest::Put(const std::string& name, const std::string& text) const {
    const std::string path = In(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
}

std::string SimFolderTest::Data(const std::string& file) const {
    const char* data = std::getenv("QM_DATA");
    return data ? std::string(data) + "/" + file : std::string();
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

}  // namespace qm::test
