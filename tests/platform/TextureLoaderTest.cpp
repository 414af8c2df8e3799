// BMP textures: every variant a user's tools write loads with the pixels
// ImageMagick reads from it, and a header that lies about its size is refused
// before anything is allocated for it.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/TextureLoader.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// A folder of BMP files written by ImageMagick from one picture with a
// gradient, a disc and a lone white pixel (37 x 23: rows need padding).
class BmpVariants : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        char name[] = "/tmp/quillmoth-bmp-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        Convert(
            "-size 37x23 gradient:red-blue -fill yellow -draw 'circle 18,11 18,3' -fill white "
            "-draw 'point 0,0'",
            "base.png");
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }

    // `out` is a file in the folder, with an optional "FORMAT:" in front.
    static void Convert(const std::string& arguments, const std::string& out) {
        const std::size_t colon = out.find(':');
        const std::string format = colon == std::string::npos ? "" : out.substr(0, colon + 1);
        const std::string command =
            "convert " + arguments + " '" + format + dir + "/" + out.substr(format.size()) + "' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // ImageMagick's reading of a file, as 0xAARRGGBB with the alpha forced to opaque.
    static std::vector<std::uint32_t> Reference(const std::string& file) {
        Convert("'" + dir + "/" + file + "' -depth 8", file + ".rgb");
        const std::string raw = ReadFile(dir + "/" + file + ".rgb");
        std::vector<std::uint32_t> pixels;
        for (std::size_t i = 0; i + 2 < raw.size(); i += 3) {
            pixels.push_back(0xFF000000u |
                             static_cast<std::uint32_t>(static_cast<unsigned char>(raw[i])) << 16 |
                             static_cast<std::uint32_t>(static_cast<unsigned char>(raw[i + 1])) << 8 |
                             static_cast<unsigned char>(raw[i + 2]));
        }
        return pixels;
    }

    static std::string dir;
};
std::string BmpVariants::dir;

TEST_F(BmpVariants, EveryVariantLoadsWithImageMagicksPixels) {
    const std::vector<std::pair<std::string, std::string>> variants = {
        {"rgb24.bmp", "-type TrueColor BMP3:"},
        {"os2.bmp", "-type TrueColor BMP2:"},
        {"v5rgb24.bmp", "-type TrueColor BMP:"},
        {"rgba32bitfields.bmp", "-type TrueColorAlpha BMP:"},
        {"rgb565.bmp", "-define bmp:subtype=RGB565 BMP:"},
        {"rgb555.bmp", "-define bmp:subtype=RGB555 BMP:"},
        {"pal8.bmp", "-colors 200 -type Palette -compress None BMP3:"},
        {"pal8rle.bmp", "-colors 200 -type Palette -compress RLE BMP3:"},
        {"pal4.bmp", "-colors 16 -type Palette -compress None BMP3:"},
        {"pal1.bmp", "-colors 2 -type Palette -compress None BMP3:"},
        {"flipped.bmp", "-flip -type TrueColor BMP3:"},
    };
    for (const auto& [file, options] : variants) {
        const std::size_t colon = options.rfind(' ');
        Convert("'" + dir + "/base.png' " + options.substr(0, colon + 1), options.substr(colon + 1) + file);
        std::string why;
        std::optional<Image> image = LoadBmp(dir + "/" + file, &why);
        ASSERT_TRUE(image) << file << ": " << why;
        EXPECT_EQ(image->width, 37) << file;
        EXPECT_EQ(image->height, 23) << file;
        EXPECT_EQ(image->pixels, Reference(file)) << file;
    }
}

// A BMP header: 54 bytes, 24 bits a pixel, no pixel data behind it.
std::vector<std::uint8_t> Header(std::int32_t width, std::int32_t height) {
    std::vector<std::uint8_t> b(54, 0);
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    b[26] = 1;
    b[28] = 24;
    return b;
}

TEST(TextureLoader, HeadersThatClaimMoreThanTheFileHoldsAreRefused) {
    std::string why;
    EXPECT_FALSE(DecodeBmp(Header(20000, 20000), &why));
    EXPECT_EQ(why, "it claims 20000 x 20000 pixels; a side must be 1 to 16384");
    EXPECT_FALSE(DecodeBmp(Header(4000, 4000), &why));
    EXPECT_EQ(why, "it claims 4000 x 4000 pixels but holds only 0 bytes of them");
    EXPECT_FALSE(DecodeBmp(Header(0, 5), &why));
    std::vector<std::uint8_t> notBmp = {'P', 'K', 3, 4};
    EXPECT_FALSE(DecodeBmp(notBmp, &why));
    EXPECT_EQ(why, "it is not a BMP file");
    // A file that does not exist says so.
    EXPECT_FALSE(LoadBmp("/nonexistent/floor.bmp", &why));
    EXPECT_EQ(why, "No such file or directory");
}

}  // namespace
}  // namespace qm
