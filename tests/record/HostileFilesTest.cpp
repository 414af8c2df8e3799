// Checkpoints and traces that are cut short, damaged, of another kind or
// random: each is refused (a checkpoint) or read up to its last whole step (a
// trace) with a message that says which file, where and why, and nothing
// crashes; a run refused for one of them writes nothing.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "record/Hdf5.h"
#include "record/RecordTestSupport.h"
#include "record/RunCheckpoint.h"
#include "record/Sha256.h"
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
    newer.replace(newer.find("format 2\n"), 9, "format 7\n");
    const std::string newerPath = Put("newer.h5", newer);
    EXPECT_TRUE(Has(Refusal([&] { record::ReadCheckpoint(newerPath); }),
                    "checkpoint format 7; this program reads formats 1 to 2"));

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
        // manifest, and the last piece when it is a whole line without its line
        // end (a step line ends with its links, "]}"; a node's object with "}").
        std::size_t whole = SplitLines(cut).size() - 1;
        const bool atLineEnd = cut.back() == '\n';
        const bool wholeLine = atLineEnd || cut.ends_with("]}");
        if (!wholeLine) --whole;
        if (n < trace.find('\n')) whole = 0;
        const record::TraceContents read = record::ReadTrace(path);
        ASSERT_EQ(read.frames.size(), whole) << "cut at " << n;
        for (std::size_t i = 0; i < whole; ++i) EXPECT_EQ(read.frames[i].step, static_cast<long long>(i));
        if (wholeLine) {
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

// Hostile HDF5 structure: files made from the program's own checkpoint and
// trace with HDF5's own API, as anyone could make them. Each is refused before
// any of its data is used, with a message that says why, quickly and without
// asking for memory; a run refused for one exits 2 and writes nothing.

namespace h5 = record::h5;

// The writers' own format, for the objects a case adds.
h5::Handle OpenForChange(const std::string& path) {
    h5::Handle access = h5::Check(H5Pcreate(H5P_FILE_ACCESS), "a property list");
    h5::Check(H5Pset_libver_bounds(access.Get(), H5F_LIBVER_LATEST, H5F_LIBVER_LATEST), "the format");
    return h5::Check(H5Fopen(path.c_str(), H5F_ACC_RDWR, access.Get()), "open " + path);
}

// A checkpoint changed after it was written, given a header that matches it
// again: what an attacker does first.
void Reseal(const std::string& path) {
    std::string bytes = ReadFile(path);
    std::string header = "QUILLMOTH CHECKPOINT\nformat " + std::to_string(record::kCheckpointFormat) +
                         "\nbytes " + std::to_string(bytes.size()) + "\nsha256 " +
                         record::Sha256Hex(std::string_view(bytes).substr(record::kCheckpointHeaderBytes)) +
                         "\n";
    header.resize(record::kCheckpointHeaderBytes, '\0');
    bytes.replace(0, header.size(), header);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Replaces the dataset at `path` by one of `rows` rows of its type, made with
// `create`, written from `data` unless it is null.
void Replace(hid_t file, const char* path, hid_t create, hsize_t rows, const void* data = nullptr) {
    h5::Handle type;
    {
        h5::Handle old = h5::Check(H5Dopen2(file, path, H5P_DEFAULT), path);
        type = h5::Check(H5Dget_type(old.Get()), path);
    }
    h5::Check(H5Ldelete(file, path, H5P_DEFAULT), path);
    const hsize_t dims[1] = {rows};
    h5::Handle space = h5::Check(H5Screate_simple(1, dims, nullptr), path);
    h5::Handle made =
        h5::Check(H5Dcreate2(file, path, type.Get(), space.Get(), H5P_DEFAULT, create, H5P_DEFAULT), path);
    if (data) h5::Check(H5Dwrite(made.Get(), type.Get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, data), path);
}

h5::Handle External(const std::string& file, hsize_t bytes) {
    h5::Handle create = h5::Check(H5Pcreate(H5P_DATASET_CREATE), "a property list");
    h5::Check(H5Pset_external(create.Get(), file.c_str(), 0, bytes), "external");
    return create;
}

// Every row of the dataset at `path`, in the file's own type; `edit` changes
// them (given the rows and a member's offset in a row) and they are written back.
template <class Edit>
void EditRows(hid_t file, const char* path, const char* member, Edit edit) {
    h5::Handle dataset = h5::Check(H5Dopen2(file, path, H5P_DEFAULT), path);
    h5::Handle type = h5::Check(H5Dget_type(dataset.Get()), path);
    const std::size_t rowSize = H5Tget_size(type.Get());
    h5::Handle space = h5::Check(H5Dget_space(dataset.Get()), path);
    std::vector<char> rows(rowSize * static_cast<std::size_t>(H5Sget_simple_extent_npoints(space.Get())));
    h5::Check(H5Dread(dataset.Get(), type.Get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, rows.data()), path);
    const std::size_t offset =
        member
            ? H5Tget_member_offset(type.Get(), static_cast<unsigned>(H5Tget_member_index(type.Get(), member)))
            : 0;
    edit(rows, rowSize, offset);
    h5::Check(H5Dwrite(dataset.Get(), type.Get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, rows.data()), path);
}

// Called from HDF5's C code: says a failure, throws nothing.
herr_t CopyAttribute(hid_t from, const char* name, const H5A_info_t*, void* to) {
    h5::Handle a(H5Aopen(from, name, H5P_DEFAULT));
    h5::Handle type(H5Aget_type(a.Get()));
    h5::Handle space(H5Aget_space(a.Get()));
    const hssize_t count = H5Sget_simple_extent_npoints(space.Get());
    if (!a.Valid() || !type.Valid() || count < 0) return -1;
    std::vector<char> value(H5Tget_size(type.Get()) * static_cast<std::size_t>(count));
    h5::Handle b(
        H5Acreate2(*static_cast<hid_t*>(to), name, type.Get(), space.Get(), H5P_DEFAULT, H5P_DEFAULT));
    if (!b.Valid() || H5Aread(a.Get(), type.Get(), value.data()) < 0) return -1;
    return H5Awrite(b.Get(), type.Get(), value.data());
}

// `from` copied, object by object, into `to` in HDF5's earliest format (no
// metadata checksums), with the same user block.
void CopyInEarliestFormat(const std::string& from, const std::string& to, hsize_t userBlock) {
    h5::Handle create = h5::Check(H5Pcreate(H5P_FILE_CREATE), "a property list");
    if (userBlock) h5::Check(H5Pset_userblock(create.Get(), userBlock), "user block");
    h5::Handle access = h5::Check(H5Pcreate(H5P_FILE_ACCESS), "a property list");
    h5::Check(H5Pset_libver_bounds(access.Get(), H5F_LIBVER_EARLIEST, H5F_LIBVER_LATEST), "the format");
    h5::Handle out = h5::Check(H5Fcreate(to.c_str(), H5F_ACC_TRUNC, create.Get(), access.Get()), to);
    h5::Handle in = h5::Check(H5Fopen(from.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT), from);
    hid_t target = out.Get();
    h5::Check(H5Aiterate2(in.Get(), H5_INDEX_NAME, H5_ITER_INC, nullptr, CopyAttribute, &target),
              "attributes");
    h5::Check(H5Literate(
                  in.Get(), H5_INDEX_NAME, H5_ITER_INC, nullptr,
                  [](hid_t group, const char* name, const H5L_info_t*, void* to) -> herr_t {
                      return H5Ocopy(group, name, *static_cast<hid_t*>(to), name, H5P_DEFAULT, H5P_DEFAULT);
                  },
                  &target),
              "copy");
}

// Peak resident memory of this process and of the programs it ran, in MB.
long PeakMb(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss / 1024;
}

TEST_F(HostileFilesTest, HostileHdf5StructureIsRefusedBeforeItsDataIsUsed) {
    const std::string original = In("ck/step-00000060.h5");
    const std::string fifo = In("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const h5::Handle nodeList = h5::Check(H5Pcreate(H5P_DATASET_CREATE), "a property list");

    struct Case {
        const char* name;
        std::function<void(hid_t)> change;  // of an open copy of the checkpoint
        const char* why;                    // in the refusal
    };
    const std::vector<Case> checkpointCases = {
        {"nodes in an endless external file",
         [&](hid_t f) { Replace(f, "world/nodes", External("/dev/zero", H5F_UNLIMITED).Get(), 2147483647); },
         "its dataset 'nodes' keeps its data in 1 external file(s) named inside the file"},
        {"gene source in a FIFO",
         [&](hid_t f) { Replace(f, "driver/gene_source", External(fifo, H5F_UNLIMITED).Get(), 100); },
         "its dataset 'gene_source' keeps its data in 1 external file(s)"},
        {"gene source in a file of the machine",
         [&](hid_t f) { Replace(f, "driver/gene_source", External("/etc/passwd", 64).Get(), 64); },
         "its dataset 'gene_source' keeps its data in 1 external file(s)"},
        {"nodes mapped from another file",
         [&](hid_t f) {
             h5::Handle create = h5::Check(H5Pcreate(H5P_DATASET_CREATE), "a property list");
             const hsize_t dims[1] = {1000000};
             h5::Handle space = h5::Check(H5Screate_simple(1, dims, nullptr), "space");
             h5::Check(
                 H5Pset_virtual(create.Get(), space.Get(), original.c_str(), "/world/nodes", space.Get()),
                 "virtual");
             Replace(f, "world/nodes", create.Get(), dims[0]);
         },
         "its dataset 'nodes' is a virtual dataset"},
        {"world in another file",
         [&](hid_t f) {
             h5::Check(H5Ldelete(f, "world", H5P_DEFAULT), "delete");
             h5::Check(H5Lcreate_external(original.c_str(), "/world", f, "world", H5P_DEFAULT, H5P_DEFAULT),
                       "external link");
         },
         "its group 'world' is a link into another file, which this program does not follow"},
        {"nodes a soft link",
         [&](hid_t f) {
             h5::Check(H5Ldelete(f, "world/nodes", H5P_DEFAULT), "delete");
             h5::Check(H5Lcreate_soft("/world/cells", f, "world/nodes", H5P_DEFAULT, H5P_DEFAULT),
                       "soft link");
         },
         "its dataset 'nodes' is a soft link"},
        {"more nodes than the file holds",
         [&](hid_t f) {
             h5::Check(H5Pset_alloc_time(nodeList.Get(), H5D_ALLOC_TIME_LATE), "late");
             Replace(f, "world/nodes", nodeList.Get(), 8000000);
         },
         "its dataset 'nodes' claims 8000000 entries but holds data for fewer"},
        {"more nodes than ids were given out",
         [&](hid_t f) {
             // Each node 20 times over: more rows than ids below the counter.
             std::vector<char> rows;
             std::size_t rowSize = 1;
             EditRows(f, "world/nodes", nullptr, [&](std::vector<char>& r, std::size_t size, std::size_t) {
                 rows = r;
                 rowSize = size;
             });
             const std::size_t once = rows.size();
             for (int copy = 1; copy < 20; ++copy) rows.insert(rows.end(), rows.begin(), rows.begin() + once);
             h5::Handle create = h5::Check(H5Pcreate(H5P_DATASET_CREATE), "a property list");
             Replace(f, "world/nodes", create.Get(), rows.size() / rowSize, rows.data());
         },
         "entries, more than the"},
        {"a node outside its cell",
         [&](hid_t f) {
             EditRows(f, "world/nodes", "pos", [](std::vector<char>& rows, std::size_t, std::size_t at) {
                 float x = 0;
                 std::memcpy(&x, rows.data() + at, sizeof x);
                 x += 50;
                 std::memcpy(rows.data() + at, &x, sizeof x);
             });
         },
         "inconsistent: node 0 is filed in cell ("},
        {"a gene element that names no primitive",
         [&](hid_t f) {
             EditRows(f, "world/gene_elements", "index",
                      [](std::vector<char>& rows, std::size_t, std::size_t at) {
                          const std::int32_t index = 999;
                          std::memcpy(rows.data() + at, &index, sizeof index);
                      });
         },
         "inconsistent: gene 0 holds an element (kind 3, index 999) that names no primitive"},
        {"a gene cut short",
         [&](hid_t f) {
             std::vector<char> rows;
             std::size_t rowSize = 0;
             EditRows(f, "driver/gene", nullptr, [&](std::vector<char>& r, std::size_t size, std::size_t) {
                 rows = r;
                 rowSize = size;
             });
             h5::Handle create = h5::Check(H5Pcreate(H5P_DATASET_CREATE), "a property list");
             Replace(f, "driver/gene", create.Get(), rows.size() / rowSize - 1, rows.data());
         },
         "inconsistent: the run's gene ends inside an expression"},
        {"a gene file that is not the one hashed",
         [&](hid_t f) {
             EditRows(f, "driver/gene_source", nullptr,
                      [](std::vector<char>& rows, std::size_t, std::size_t) { rows[0] ^= 1; });
         },
         "inconsistent: the saved gene file does not match the SHA-256 its manifest names"},
        {"a gene other than its file's",
         [&](hid_t f) {
             EditRows(f, "driver/gene", "value",
                      [](std::vector<char>& rows, std::size_t size, std::size_t at) {
                          for (; at < rows.size(); at += size) {
                              double v = 0;
                              std::memcpy(&v, rows.data() + at, sizeof v);
                              v += 1;
                              std::memcpy(rows.data() + at, &v, sizeof v);
                          }
                      });
         },
         "inconsistent: the saved gene file does not give the run's gene"},
    };
    for (const Case& c : checkpointCases) {
        SCOPED_TRACE(c.name);
        const std::string path = Put("hostile.h5", checkpoint);
        {
            h5::Handle file = OpenForChange(path);
            c.change(file.Get());
        }
        Reseal(path);
        const std::string why = Refusal([&] { record::ReadCheckpoint(path); });
        EXPECT_EQ(why.rfind(path + ": ", 0), 0u) << why;
        EXPECT_TRUE(Has(why, c.why)) << why;

        const auto start = std::chrono::steady_clock::now();
        const test::Outcome o = Sim("run --resume hostile.h5 --steps 100 --trace t2.jsonl");
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.err.rfind("quillmoth-sim: cannot resume: ", 0), 0u) << o.err;
        EXPECT_TRUE(Has(o.err, c.why)) << o.err;
        EXPECT_LT(seconds, 5.0);
        EXPECT_FALSE(std::filesystem::exists(In("t2.jsonl")));
    }

    // HDF5's earliest format, whose metadata has no checksums, damaged: HDF5
    // would read it out of bounds.
    const std::string earliest = In("earliest.h5");
    CopyInEarliestFormat(original, earliest, record::kCheckpointHeaderBytes);
    std::string damaged = ReadFile(earliest);
    for (std::size_t at = 700; at < damaged.size(); at += 97)
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5a);
    Put("earliest.h5", damaged);
    Reseal(earliest);
    const test::Outcome o = Sim("run --resume earliest.h5 --steps 100");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(Has(o.err, "earliest.h5: its HDF5 superblock is of version 0, not the version 3")) << o.err;
    EXPECT_LT(PeakMb(RUSAGE_CHILDREN), 300);

    // Traces, through the reader the window's replay uses.
    struct TraceCase {
        const char* name;
        std::function<void(hid_t)> change;  // of an open copy of the trace
        const char* why;                    // in the refusal, or where it stops
    };
    const std::vector<TraceCase> traceCases = {
        {"nodes in an endless external file",
         [&](hid_t f) { Replace(f, "nodes", External("/dev/zero", H5F_UNLIMITED).Get(), 2147483647); },
         "its table 'nodes' keeps its data in 1 external file(s)"},
        {"steps mapped from another file",
         [&](hid_t f) {
             h5::Handle create = h5::Check(H5Pcreate(H5P_DATASET_CREATE), "a property list");
             const hsize_t dims[1] = {1000000};
             h5::Handle space = h5::Check(H5Screate_simple(1, dims, nullptr), "space");
             h5::Check(H5Pset_virtual(create.Get(), space.Get(), In("t.h5").c_str(), "/steps", space.Get()),
                       "virtual");
             Replace(f, "steps", create.Get(), dims[0]);
         },
         "its table 'steps' is a virtual dataset"},
        {"links in another file",
         [&](hid_t f) {
             h5::Check(H5Ldelete(f, "links", H5P_DEFAULT), "delete");
             h5::Check(H5Lcreate_external(In("t.h5").c_str(), "/links", f, "links", H5P_DEFAULT, H5P_DEFAULT),
                       "external link");
         },
         "its table 'links' is a link into another file"},
        {"a step that claims a thousand times the nodes its table holds",
         [&](hid_t f) {
             h5::Handle nodes = h5::Check(H5Dopen2(f, "nodes", H5P_DEFAULT), "nodes");
             h5::Handle type = h5::Check(H5Dget_type(nodes.Get()), "nodes");
             const hsize_t claim = H5Dget_storage_size(nodes.Get()) * 1000 / H5Tget_size(type.Get());
             const hsize_t far[1] = {hsize_t{1} << 40};
             h5::Check(H5Dset_extent(nodes.Get(), far), "extent");
             EditRows(f, "steps", "node_count", [&](std::vector<char>& rows, std::size_t, std::size_t at) {
                 std::memcpy(rows.data() + at, &claim, sizeof claim);
             });
         },
         "step record 0 does not fit the tables; the trace stops before its first whole step"},
    };
    for (const TraceCase& c : traceCases) {
        SCOPED_TRACE(c.name);
        const std::string path = Put("hostile-trace.h5", ReadFile(In("t.h5")));
        {
            h5::Handle file = OpenForChange(path);
            c.change(file.Get());
        }
        const auto start = std::chrono::steady_clock::now();
        std::string why;
        try {
            why = record::ReadTrace(path).stopped;
        } catch (const record::RecordError& e) {
            why = e.message;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(why.rfind(path + ": ", 0), 0u) << why;
        EXPECT_TRUE(Has(why, c.why)) << why;
        EXPECT_LT(seconds, 5.0);
    }
    CopyInEarliestFormat(In("t.h5"), In("earliest-trace.h5"), 0);
    EXPECT_TRUE(Has(Refusal([&] { record::ReadTrace(In("earliest-trace.h5")); }),
                    "earliest-trace.h5: its HDF5 superblock is of version 0, not the version 3"));
    EXPECT_LT(PeakMb(RUSAGE_SELF), 300);
}

}  // namespace
}  // namespace qm
