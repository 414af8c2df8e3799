// A trace file of any bytes, JSON lines or HDF5 (told apart by its first
// bytes as for any trace): opened, and every whole step read, then a few again
// out of order. The reader refuses it or stops at its fault and says so.
// Half the inputs are HDF5 traces changed through the HDF5 library, whose
// checksums then hold (Hdf5Mutator.h): what reaches the reader's own checks.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Hdf5Mutator.h"
#include "record/Hdf5.h"
#include "record/TraceReader.h"

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
    static const std::string path = "/tmp/quillmoth-fuzz-trace-" + std::to_string(getpid());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    try {
        qm::record::TraceReader reader(path);
        qm::record::TraceFrame frame;
        std::size_t n = 0;
        while (n < 1000 && reader.Read(n, frame)) ++n;
        for (std::size_t i = n; i-- > 0 && i + 3 > n;) reader.Read(i, frame);
        if (reader.Stopped().empty() && !reader.Finished()) return 0;
    } catch (const qm::record::RecordError&) {
    }
    return 0;
}
