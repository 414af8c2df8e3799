// The web page's parts that C++ makes: half floats, base64, and the packed
// frames' layout as the page's script reads it back.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "share/FramePack.h"
#include "share/RunPage.h"

namespace qm {
namespace {

TEST(PageTest, HalfFloatsAreTheNearestHalfPrecisionValues) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, std::uint16_t> cases[] = {
        {0.0f, 0x0000},
        {-0.0f, 0x8000},
        {1.0f, 0x3C00},
        {-2.0f, 0xC000},
        {0.5f, 0x3800},
        {65504.0f, 0x7BFF},  // the largest half
        {65520.0f, 0x7C00},  // rounds up to infinity
        {1e6f, 0x7C00},
        {-inf, 0xFC00},
        {0.1f, 0x2E66},                          // 0.0999755859375
        {std::ldexp(1.0f, -24), 0x0001},         // the smallest subnormal
        {std::ldexp(1.0f, -26), 0x0000},         // below half of it
        {std::ldexp(3.0f, -15), 0x0600},         // a subnormal: 3 * 2^-15
        {1.0f + std::ldexp(1.0f, -11), 0x3C00},  // a tie rounds to even
        {1.0f + std::ldexp(3.0f, -11), 0x3C02},  // and up to even
    };
    for (const auto& [v, half] : cases) EXPECT_EQ(share::HalfFloat(v), half) << v;
    EXPECT_EQ(share::HalfFloat(std::numeric_limits<float>::quiet_NaN()) & 0x7C00, 0x7C00);
    EXPECT_NE(share::HalfFloat(std::numeric_limits<float>::quiet_NaN()) & 0x03FF, 0);
}

TEST(PageTest, Base64IsThatOfRfc4648) {
    const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
    for (const auto& [text, code] : cases) {
        EXPECT_EQ(share::Base64(std::vector<std::uint8_t>(text, text + std::strlen(text))), code) << text;
    }
    EXPECT_EQ(share::Base64({0xFB, 0xFF}), "+/8=");
}

// A field of the packed bytes at `at`.
template <class T>
T At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    T v;
    std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

TEST(PageTest, PackedFramesHoldChangesSinceEachNodesLastValue) {
    record::TraceFrame a, b;
    a.step = 4;
    a.nodes = {{.id = 0, .pos = {0, -25, 0}, .color = {1, 0, 0}, .parent = -1, .born = 0},
               {.id = 2, .pos = {10, -5, 20}, .color = {0, 0.5f, 0}, .parent = 0, .born = 3}};
    a.links = {{0, 2}};
    b.step = 8;
    b.nodes = {{.id = 2, .pos = {10, -5, 20}, .color = {0, 0.5f, 0}, .parent = 0, .born = 3}};
    b.nodes[0].param[3] = 1.0f;
    const std::vector<std::uint8_t> p = share::PackFrames({&a, &b});
    ASSERT_EQ(std::string(p.begin(), p.begin() + 4), "QMRP");
    EXPECT_EQ(At<std::uint32_t>(p, 4), share::kPackVersion);
    EXPECT_EQ(At<std::uint32_t>(p, 8), 2u);   // frames
    EXPECT_EQ(At<std::uint32_t>(p, 12), 3u);  // ids 0..2
    const float box[6] = {0, -25, 0, 10, -5, 20};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(At<float>(p, 16 + 4 * i), box[i]);
    EXPECT_EQ(At<double>(p, 40), 4.0);
    EXPECT_EQ(At<std::uint32_t>(p, 48), 2u);
    EXPECT_EQ(At<std::uint32_t>(p, 52), 1u);
    EXPECT_EQ(At<double>(p, 56), 8.0);
    std::size_t at = 72;
    const std::int32_t lineage[] = {-1, 0, -1, -1, 0, 3};  // id 1 is in no frame
    for (std::int32_t v : lineage) EXPECT_EQ(At<std::int32_t>(p, (at += 4) - 4), v);
    for (std::uint32_t v : {0u, 2u, 2u}) EXPECT_EQ(At<std::uint32_t>(p, (at += 4) - 4), v);  // ids as steps
    // Node 2 sits at the box's far corner, then stays there: no change the second time.
    const std::uint16_t positions[] = {0, 0, 0, 65535, 65535, 65535, 0, 0, 0};
    for (std::uint16_t v : positions) EXPECT_EQ(At<std::uint16_t>(p, (at += 2) - 2), v);
    at = (at + 3) / 4 * 4;
    const std::uint8_t colours[] = {255, 0, 0, 0, 128, 0, 0, 0, 0};
    for (std::uint8_t v : colours) EXPECT_EQ(p[at++], v);
    at = (at + 3) / 4 * 4 + 2 * 20 + 3 * 2;  // to node 2's P3 in the second frame
    EXPECT_EQ(At<std::uint16_t>(p, at), 0x3C00);
    at += 7 * 2;
    EXPECT_EQ(At<std::uint32_t>(p, at), 0u);      // the link: node 0 of the frame
    EXPECT_EQ(At<std::uint32_t>(p, at + 4), 1u);  // to the node after it
    EXPECT_EQ(p.size(), at + 8);
}

TEST(PageTest, APageFitsUnderNoLimitAndNamesNoIntervalWhenEvenOneStepIsTooLarge) {
    share::PageFrames frames(2);
    record::TraceFrame f;
    for (f.step = 0; f.step < 10; ++f.step) frames.Add(f);
    ASSERT_EQ(frames.Frames().size(), 5u);
    const share::PageFit free = share::FitPage("{\"seed\":1}", frames, 0);
    EXPECT_TRUE(free.fits);
    EXPECT_EQ(free.bytes, free.html.size());
    const share::PageFit tiny = share::FitPage("{}", frames, 100);
    EXPECT_FALSE(tiny.fits);
    EXPECT_EQ(tiny.everyThatFits, 0);
    EXPECT_TRUE(tiny.html.empty());
}

TEST(PageTest, TheManifestCannotEndItsScriptElement) {
    const std::string page = share::RunPage("{\"gene\":{\"file\":\"</script><b>x\"}}", share::PageFrames());
    EXPECT_EQ(page.find("</script><b>"), std::string::npos);
    EXPECT_NE(page.find("<\\/script><b>"), std::string::npos);
}

}  // namespace
}  // namespace qm
