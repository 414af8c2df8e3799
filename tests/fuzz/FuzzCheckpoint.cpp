// A checkpoint file of any bytes: read, checked and, when it is accepted,
// restored and stepped. An input that starts as a checkpoint does is given a
// header whose size and checksum match its bytes again, as an attacker would
// make it: the mutations of its HDF5 part then reach the HDF5 library and the
// readers' checks instead of stopping at the checksum. Other inputs test the
// header itself. FuzzRunState tests what lies behind.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "Hdf5Mutator.h"
#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/RunContext.h"
#include "record/Hdf5.h"
#include "record/RecordError.h"
#include "record/RunCheckpoint.h"
#include "record/Sha256.h"
#include "world/NodeManager.h"

// HDF5 makes its error stack, kept for the thread, on first use: made here,
// once, it is not taken for a leak of the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qm::record::h5::Quiet();
    return 0;
}

// HDF5 keeps blocks of its metadata cache where the leak check between two
// inputs cannot see them and frees them when the library closes at exit (the
// test programs, built with the same sanitizer, report no leak then): the
// check leaves HDF5's own allocations alone.
extern "C" const char* __lsan_default_suppressions() { return "leak:libhdf5\n"; }

// Half the mutations go through HDF5 itself (Hdf5Mutator.h).
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned seed) {
    return qm::fuzz::Mutate(data, size, maxSize, seed);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/quillmoth-fuzz-checkpoint-" + std::to_string(getpid()) + ".h5";
    std::string bytes(reinterpret_cast<const char*>(data), size);
    static const std::string kMagic = "QUILLMOTH CHECKPOINT\n";
    const std::size_t headerBytes = qm::record::kCheckpointHeaderBytes;
    if (bytes.size() >= headerBytes && bytes.compare(0, kMagic.size(), kMagic) == 0) {
        std::string header = kMagic + "format " + std::to_string(qm::record::kCheckpointFormat) + "\nbytes " +
                             std::to_string(bytes.size()) + "\nsha256 " +
                             qm::record::Sha256Hex(std::string_view(bytes).substr(headerBytes)) + "\n";
        header.resize(headerBytes, '\0');
        bytes.replace(0, headerBytes, header);
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    qm::RunContext context;
    context.diagnostics.SetSink([](std::string_view) {});
    try {
        const qm::record::RunState state = qm::record::ReadCheckpoint(path);
        std::unique_ptr<qm::SourceTester> driver = qm::record::RestoreRun(context, state);
        driver->Worlds().at(0)->SetNodeLimit(256);
        for (int step = 0; step < 5; ++step) driver->Action();
    } catch (const qm::record::RecordError&) {
    } catch (const qm::ErrorText&) {
    }
    return 0;
}
