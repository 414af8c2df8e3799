// Code strings of any bytes through the loader, then printed.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "base/Errors.h"
#include "gp/Unit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::Unit unit;
    try {
        unit.Parse(std::string(reinterpret_cast<const char*>(data), size));
        unit.ToString();
    } catch (const qm::ErrorText&) {
    } catch (const std::exception&) {
        // What the program's callers also catch (an empty code has no root to print).
    }
    return 0;
}
