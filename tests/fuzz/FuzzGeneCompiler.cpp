// Gene source text of any bytes through the compiler.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "gp/GPmanager.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::Diagnostics quiet;
    quiet.SetSink([](std::string_view) {});
    try {
        qm::GPmanager::GetInstance()->Compile(std::string(reinterpret_cast<const char*>(data), size), quiet);
    } catch (const qm::ErrorText&) {
    } catch (const std::exception&) {
        // What the program's callers also catch (an empty code has no root to print).
    }
    return 0;
}
