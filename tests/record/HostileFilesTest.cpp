// Checkpoints and traces that are cut short, damaged, of another kind or
// random: each is refused (a checkpoint) or read up to its last whole step (a
// trace) with a message that says which file, where and why, and nothing
// crashes; a run refused for one of them writes nothing.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "record/Hdf5.h"
#include "record/RecordTestSupport.h"
#include "record/RunCheckpoint.h"
#include "record/TraceReader.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

using test::SplitLines;

// Grows, links and cuts: a checkpoint and traces with some body.
constexpr const char* kGene =
    "PROG3 ( SETP 0 ( ADD ( GETP 0 ) 0.1 ) )\n"
    "      ( IFT ( GT ECOUNT 0.2 ) ( IFTE ( GT ( GETP 1 ) 0.5 ) ( TDIVIDE 0 ) ( GDIVIDE ( 0 ) ) ) )\n"
    "      ( PROG3 ( ADDPAR 1 SMELL ) ( PULSE ( 3 ) ) ( IFTE ( LT ECOUNT 0.15 ) ( CUTEDGE ) ( ELENGTH 4 ) ) "
    ")";

// The message of the RecordError `read` throws, or a failure.
template <class Read>
std::string Refusal(Read read) {
    try {
        read();
    } catch (const record::RecordError& e) {
        return e.message;
    }
    ADD_FAILURE() << "no RecordError";
    return "";
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class HostileFilesTest : public test::SimFolderTest {
  protected:
    void SetUp() override {
        test::SimFolderTest::SetUp();
        if (sim.empty()) return;
        const std::string gene = Put("gene.txt", kGene);
        ASSERT_EQ(
            Sim("run --quiet --seed 2 --steps 60 --checkpoint-every 60 --checkpoint-dir ck --trace t.jsonl "
                "--log l.log '" +
                gene + "'")
                .status,
            0);
        ASSERT_EQ(Sim("run --quiet --seed 2 --steps 60 --trace t.h5 --log l.log '" + gene + "'").status, 0);
        checkpoint = ReadFile(In("ck/step-00000060.h5"));
        ASSERT_GT(checkpoint.size(), 8192u);
    }

    std::string checkpoint;
};

TEST_F(HostileFilesTest, ACheckpointCutShortAnywhereIsRefusedAsCutShort) {
    for (std::size_t n = 0; n < checkpoint.size(); n += 1024) {
        const std::string path = Put("cut.h5", checkpoint.substr(0, n));
        const std::string why = Refusal([&] { record::ReadCheckpoint(path); });
        EXPECT_EQ(why.rfind(path + ": ", 0), 0u) << why;
        if (n == 0) {
            EXPECT_TRUE(Has(why, "empty")) << why;
        } else if (n < record::kCheckpointHeaderBytes) {
            EXPECT_TRUE(Has(why, "cut short")) << why;
        } else {
            EXPECT_TRUE(Has(why, "cut short: it holds " + std::to_string(n) + " of its " +
                                     std::to_string(checkpoint.size()) + " bytes"))
                << why;
        }
    }
}

TEST_F(HostileFilesTest, ADamagedNewerOrForeignFileIsNoCheckpoint) {
    // Any byte changed after the header.
    for (std::size_t at : {std::size_t{600}, checkpoint.size() / 2, checkpoint.size() - 1}) {
        std::string bad = checkpoint;
        bad[at] = static_cast<char>(bad[at] ^ 0x20);
        const std::string path = Put("bad.h5", bad);
        EXPECT_TRUE(Has(Refusal([&] { record::ReadCheckpoint(path); }),
                        "damaged: its contents do not match the checksum in its header"));
    }
    const std::string longer = Put("longer.h5", checkpoint + "x");
    EXPECT_TRUE(Has(Refusal([&] { record::ReadCheckpoint(longer); }), "damaged: it holds"));
    std::string newer = checkpoint;
    newer.replace(newer.find("format 1\n"), 9, "format 7\n");
    const std::string newerPath = Put("newer.h5", newer);
    EXPECT_TRUE(Has(Refusal([&] { record::ReadCheckpoint(newerPath); }),
                    "checkpoint format 7; this program reads format 1"));

    // Random bytes of many sizes, a trace of each kind, a plain HDF5 file, a folder, nothing.
    std::mt19937 random(11);
    for (std::size_t size : {1u, 7u, 100u, 511u, 512u, 5000u}) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        const std::string path = Put("random.bin", bytes);
        EXPECT_TRUE(Has(Refusal([&] { record::ReadCheckpoint(path); }), "not a Quillmoth checkpoint"));
    }
    EXPECT_TRUE(Has(Refusal([&] { record::ReadCheckpoint(In("t.jsonl")); }), ": not a Quillmoth checkpoint"));
    EXPECT_TRUE(Has(Refusal([&] { record::ReadCheckpoint(In("t.h5")); }),
                    ": an HDF5 file, but not a Quillmoth checkpoint"));
    EXPECT_TRUE(Has(Refusal([&] { record::ReadCheckpoint(In("ck")); }), "it is a folder"));
    EXPECT_TRUE(Has(Refusal([&] { record::ReadCheckpoint(In("absent.h5")); }), "No such file or directory"));
}

TEST_F(HostileFilesTest, ARefusedResumeOrAnUnwritableLogWritesNothing) {
    const std::string cut = Put("cut.h5", checkpoint.substr(0, checkpoint.size() / 2));
    Put("kept.csv", "an earlier table\n");
    test::Outcome o = Sim("run --resume cut.h5 --steps 100 --trace t2.jsonl --stats kept.csv --log l2.log");
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err.rfind("quillmoth-sim: cannot resume: cut.h5: cut short: it holds ", 0), 0u) << o.err;
    EXPECT_FALSE(std::filesystem::exists(In("t2.jsonl")));
    EXPECT_FALSE(std::filesystem::exists(In("l2.log")));
    EXPECT_EQ(ReadFile(In("kept.csv")), "an earlier table\n");

    // A step count that ends before the checkpoint's step is refused the same way.
    EXPECT_EQ(Sim("run --resume ck/step-00000060.h5 --steps 59 --trace t2.jsonl").status, 2);
    EXPECT_FALSE(std::filesystem::exists(In("t2.jsonl")));

    for (const char* log : {"/nonexistent-folder/run.log", "ck"}) {
        o = Sim("run --seed 1 --steps 5 --log " + std::string(log) + " --trace t3.jsonl --stats kept.csv '" +
                In("gene.txt") + "'");
        EXPECT_EQ(o.status, 2) << log;
        EXPECT_EQ(o.err.rfind("quillmoth-sim: cannot write the log file '" + std::string(log) + "': ", 0), 0u)
            << o.err;
        EXPECT_FALSE(std::filesystem::exists(In("t3.jsonl")));
        EXPECT_EQ(ReadFile(In("kept.csv")), "an earlier table\n");
    }
}

TEST_F(HostileFilesTest, AJsonTraceCutShortAnywhereGivesEveryWholeStepBeforeTheCut) {
    const std::string trace = ReadFile(In("t.jsonl"));
    ASSERT_GT(trace.size(), 20000u);
    for (std::size_t n = 0; n < trace.size(); n += 1024) {
        const std::string cut = trace.substr(0, n);
        const std::string path = Put("cut.jsonl", cut);
        if (n == 0) {
            EXPECT_TRUE(Has(Refusal([&] { record::ReadTrace(path); }), "empty"));
            continue;
        }
        // The whole step lines within the cut: all lines that end in it but the
        // manifest, and the last piece when it is a whole line without its line end.
        std::size_t whole = SplitLines(cut).size() - 1;
        const bool atLineEnd = cut.back() == '\n';
        if (!atLineEnd && cut.back() != '}') --whole;
        if (n < trace.find('\n')) whole = 0;
        const record::TraceContents read = record::ReadTrace(path);
        ASSERT_EQ(read.frames.size(), whole) << "cut at " << n;
        for (std::size_t i = 0; i < whole; ++i) EXPECT_EQ(read.frames[i].step, static_cast<long long>(i));
        if (atLineEnd || cut.back() == '}') {
            EXPECT_EQ(read.stopped, "") << n;
        } else {
            EXPECT_TRUE(Has(read.stopped, path + ": line ")) << read.stopped;
            EXPECT_TRUE(Has(read.stopped, " is cut short (at byte ")) << read.stopped;
            EXPECT_TRUE(whole == 0
                            ? Has(read.stopped, "the trace stops before its first whole step")
                            : Has(read.stopped, "the trace stops after step " + std::to_string(whole - 1)))
                << read.stopped;
        }
    }
}

TEST_F(HostileFilesTest, AJsonTraceWithABrokenLineStopsThereAndSaysWhere) {
    std::vector<std::string> lines = SplitLines(ReadFile(In("t.jsonl")));
    ASSERT_GT(lines.size(), 20u);
    const std::string whole = ReadFile(In("t.jsonl"));
    auto with = [&](std::size_t line, const std::string& text) {
        std::string joined;
        for (std::size_t i = 0; i < lines.size(); ++i) joined += (i == line ? text : lines[i]) + "\n";
        return Put("broken.jsonl", joined);
    };
    // Line 11 (step 9) broken in several ways: the steps before it are read, the rest not.
    const std::string& good = lines[10];
    for (const std::string& bad :
         {good.substr(0, good.size() / 2),
          good.substr(0, good.size() / 2) + "\x01\xff" + good.substr(good.size() / 2),
          std::string("{\"step\":9,\"nodes\":[{\"id\":0,\"pos\":[0,0,0]}],\"links\":[[0,5]]}"),
          std::string("{\"step\":3,\"nodes\":[],\"links\":[]}"), std::string("[[[[[[[[[[[[[[[[[[[["),
          std::string(200, '[')}) {
        const record::TraceContents read = record::ReadTrace(with(10, bad));
        EXPECT_EQ(read.frames.size(), 9u);
        EXPECT_TRUE(Has(read.stopped, "broken.jsonl: line 11 ")) << read.stopped;
        EXPECT_TRUE(Has(read.stopped, "; the trace stops after step 8")) << read.stopped;
    }
    (void)whole;
}

TEST_F(HostileFilesTest, AnHdf5TraceOfAKilledRunReadsUpToItsLastFlush) {
    // Killed by the operating system, without warning, while it writes.
    const std::string command =
        "cd '" + dir + "' && { '" + sim +
        "' run --quiet --seed 1 --steps 100000 --trace killed.h5 --log l.log gene.txt "
        ">/dev/null 2>&1 & pid=$!; sleep 3; kill -9 $pid; wait $pid; }";
    ASSERT_NE(std::system(command.c_str()), 0);
    const record::TraceContents read = record::ReadTrace(In("killed.h5"));
    EXPECT_TRUE(Has(read.stopped, "killed.h5: the run that wrote it had not closed it")) << read.stopped;
    for (std::size_t i = 0; i < read.frames.size(); ++i)
        EXPECT_EQ(read.frames[i].step, static_cast<long long>(i));
    EXPECT_GT(read.frames.size(), 0u) << "no flush within 3 s";
}

TEST_F(HostileFilesTest, AnHdf5TraceCutShortOrForeignIsRefusedClearly) {
    const std::string trace = ReadFile(In("t.h5"));
    for (std::size_t n = 0; n < trace.size(); n += 1024) {
        const std::string path = Put("cut.h5", trace.substr(0, n));
        const std::string why = Refusal([&] { record::ReadTrace(path); });
        EXPECT_EQ(why.rfind(path + ": ", 0), 0u) << why;
        EXPECT_TRUE(Has(why, n == 0 ? "empty" : "cut short: an HDF5 file cannot be read without its end"))
            << why;
    }
    // A plain HDF5 file, a checkpoint, random bytes.
    const std::string plain = In("plain.h5");
    {
        record::h5::Handle file = record::h5::CreateFile(plain, 0);
        record::h5::CreateGroup(file.Get(), "data");
    }
    EXPECT_TRUE(Has(Refusal([&] { record::ReadTrace(plain); }), ": an HDF5 file, but not a Quillmoth trace"));
    EXPECT_TRUE(Has(Refusal([&] { record::ReadCheckpoint(plain); }),
                    ": an HDF5 file, but not a Quillmoth checkpoint"));
    EXPECT_TRUE(Has(Refusal([&] { record::ReadTrace(In("ck/step-00000060.h5")); }),
                    "neither a JSON-lines nor an HDF5 trace"));
    std::mt19937 random(5);
    std::string bytes(3000, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    bytes[0] = 'x';
    const std::string noise = Put("noise.bin", bytes);
    EXPECT_TRUE(Has(Refusal([&] { record::ReadTrace(noise); }), "neither a JSON-lines nor an HDF5 trace"));
    bytes[0] = '{';
    const std::string brace = Put("noise.jsonl", bytes);
    const record::TraceContents read = record::ReadTrace(brace);
    EXPECT_TRUE(read.frames.empty());
    EXPECT_TRUE(Has(read.stopped, "the trace stops before its first whole step")) << read.stopped;
}

}  // namespace
}  // namespace qm
