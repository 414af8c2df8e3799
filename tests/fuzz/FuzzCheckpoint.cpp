// A checkpoint file of any bytes: read, checked and, when it is accepted,
// restored and stepped. Nearly every input stops at the header or its
// checksum, which is the point: the HDF5 library never sees a file that is not
// byte for byte one the program wrote. FuzzRunState tests what lies behind.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "record/Hdf5.h"
#include "record/RecordError.h"
#include "record/RunCheckpoint.h"
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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/quillmoth-fuzz-checkpoint-" + std::to_string(getpid()) + ".h5";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
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
