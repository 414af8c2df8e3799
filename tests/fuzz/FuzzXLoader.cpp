// Files of any bytes through the ".x" mesh loader.

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/XMeshLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::LoadMeshFromX(std::span(data, size));
    return 0;
}
