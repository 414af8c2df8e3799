// Files of any bytes through the BMP decoder.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/TextureLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string why;
    qm::DecodeBmp(std::span(data, size), &why);
    return 0;
}
