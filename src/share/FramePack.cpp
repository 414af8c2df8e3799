#include "share/FramePack.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace qm::share {

namespace {

static_assert(std::endian::native == std::endian::little, "the page reads its frames as little-endian");

class Bytes {
  public:
    template <class T>
    void Put(T v) {
        const std::size_t at = out.size();
        out.resize(at + sizeof v);
        std::memcpy(out.data() + at, &v, sizeof v);
    }
    void Align() { out.resize((out.size() + 3) / 4 * 4); }
    std::vector<std::uint8_t> out;
};

// The run's bounding box over every finite position.
void Bounds(const std::vector<const record::TraceFrame*>& frames, float (&low)[3], float (&high)[3]) {
    for (int i = 0; i < 3; ++i) {
        low[i] = std::numeric_limits<float>::max();
        high[i] = std::numeric_limits<float>::lowest();
    }
    for (const record::TraceFrame* f : frames) {
        for (const record::TraceNode& n : f->nodes) {
            const float v[3] = {n.pos.x, n.pos.y, n.pos.z};
            for (int i = 0; i < 3; ++i) {
                if (!std::isfinite(v[i])) continue;
                low[i] = std::min(low[i], v[i]);
                high[i] = std::max(high[i], v[i]);
            }
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (low[i] > high[i]) low[i] = high[i] = 0.0f;  // no finite position at all
    }
}

std::uint16_t Quantise(float v, float low, float high) {
    if (!std::isfinite(v) || high <= low) return 0;  // a node gone to NaN is drawn at the box's corner
    const double t = (static_cast<double>(v) - low) / (static_cast<double>(high) - low);
    return static_cast<std::uint16_t>(std::lround(std::clamp(t, 0.0, 1.0) * 65535.0));
}

std::uint8_t ColourByte(float c) {
    if (!std::isfinite(c)) return 0;
    return static_cast<std::uint8_t>(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

std::uint16_t HalfFloat(float v) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    const std::uint16_t sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000u);
    const std::uint32_t exponent = (bits >> 23) & 0xFFu;
    std::uint32_t mantissa = bits & 0x7FFFFFu;
    if (exponent == 0xFF) return static_cast<std::uint16_t>(sign | 0x7C00u | (mantissa ? 0x200u : 0u));
    const int e = static_cast<int>(exponent) - 127 + 15;
    if (e >= 31) return static_cast<std::uint16_t>(sign | 0x7C00u);
    if (e <= 0) {
        if (e < -10) return sign;  // below the smallest subnormal half
        mantissa |= 0x800000u;
        const int shift = 14 - e;
        std::uint32_t half = mantissa >> shift;
        const std::uint32_t rest = mantissa & ((1u << shift) - 1u);
        const std::uint32_t midway = 1u << (shift - 1);
        if (rest > midway || (rest == midway && (half & 1u))) ++half;
        return static_cast<std::uint16_t>(sign | half);
    }
    std::uint32_t half = (static_cast<std::uint32_t>(e) << 10) | (mantissa >> 13);
    const std::uint32_t rest = mantissa & 0x1FFFu;
    if (rest > 0x1000u || (rest == 0x1000u && (half & 1u))) ++half;  // a carry into the exponent is right too
    return static_cast<std::uint16_t>(sign | half);
}

std::vector<std::uint8_t> PackFrames(const std::vector<const record::TraceFrame*>& frames) {
    float low[3], high[3];
    Bounds(frames, low, high);
    std::int32_t largest = -1;
    for (const record::TraceFrame* f : frames) {
        if (!f->nodes.empty()) largest = std::max(largest, f->nodes.back().id);
    }
    const std::size_t ids = static_cast<std::size_t>(largest) + 1;

    Bytes b;
    b.out.insert(b.out.end(), {'Q', 'M', 'R', 'P'});
    b.Put(kPackVersion);
    b.Put(static_cast<std::uint32_t>(frames.size()));
    b.Put(static_cast<std::uint32_t>(ids));
    for (float v : low) b.Put(v);
    for (float v : high) b.Put(v);
    for (const record::TraceFrame* f : frames) {
        b.Put(static_cast<double>(f->step));
        b.Put(static_cast<std::uint32_t>(f->nodes.size()));
        b.Put(static_cast<std::uint32_t>(f->links.size()));
    }

    // A node's lineage does not change: once per id, from the first frame that holds it.
    std::vector<std::int32_t> lineage(ids * 2, -1);
    std::vector<bool> seen(ids, false);
    for (const record::TraceFrame* f : frames) {
        for (const record::TraceNode& n : f->nodes) {
            const auto id = static_cast<std::size_t>(n.id);
            if (seen[id]) continue;
            seen[id] = true;
            lineage[id * 2] = n.parent;
            lineage[id * 2 + 1] = n.born;
        }
    }
    for (std::int32_t v : lineage) b.Put(v);

    for (const record::TraceFrame* f : frames) {
        std::int32_t before = 0;
        for (const record::TraceNode& n : f->nodes) {
            b.Put(static_cast<std::uint32_t>(n.id - before));
            before = n.id;
        }
    }
    b.Align();

    // Each value as its change since the node's last one, wrapping: the page adds them back up.
    std::vector<std::uint16_t> lastPos(ids * 3, 0);
    for (const record::TraceFrame* f : frames) {
        for (const record::TraceNode& n : f->nodes) {
            const float v[3] = {n.pos.x, n.pos.y, n.pos.z};
            for (std::size_t i = 0; i < 3; ++i) {
                const std::uint16_t q = Quantise(v[i], low[i], high[i]);
                std::uint16_t& last = lastPos[static_cast<std::size_t>(n.id) * 3 + i];
                b.Put(static_cast<std::uint16_t>(q - last));
                last = q;
            }
        }
    }
    b.Align();
    std::vector<std::uint8_t> lastColour(ids * 3, 0);
    for (const record::TraceFrame* f : frames) {
        for (const record::TraceNode& n : f->nodes) {
            const float c[3] = {n.color.x, n.color.y, n.color.z};
            for (std::size_t i = 0; i < 3; ++i) {
                const std::uint8_t q = ColourByte(c[i]);
                std::uint8_t& last = lastColour[static_cast<std::size_t>(n.id) * 3 + i];
                b.Put(static_cast<std::uint8_t>(q - last));
                last = q;
            }
        }
    }
    b.Align();
    std::vector<std::uint16_t> lastParam(ids * 10, 0);
    for (const record::TraceFrame* f : frames) {
        for (const record::TraceNode& n : f->nodes) {
            for (std::size_t i = 0; i < 10; ++i) {
                const std::uint16_t q = HalfFloat(n.param[i]);
                std::uint16_t& last = lastParam[static_cast<std::size_t>(n.id) * 10 + i];
                b.Put(static_cast<std::uint16_t>(q - last));
                last = q;
            }
        }
    }
    b.Align();

    for (const record::TraceFrame* f : frames) {
        // Links name node ids; the page wants the nodes' places in the frame.
        auto index = [f](std::int32_t id) {
            auto at = std::lower_bound(f->nodes.begin(), f->nodes.end(), id,
                                       [](const record::TraceNode& n, std::int32_t v) { return n.id < v; });
            return static_cast<std::uint32_t>(at - f->nodes.begin());
        };
        std::uint32_t before = 0;
        for (const auto& [a, c] : f->links) {
            const std::uint32_t ia = index(a), ic = index(c);
            b.Put(ia - before);
            b.Put(ic - ia);
            before = ia;
        }
    }
    return std::move(b.out);
}

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::vector<std::uint8_t> out(size);
    if (compress2(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), Z_BEST_COMPRESSION) !=
        Z_OK)
        throw std::bad_alloc();  // compress2 fails only for want of memory here
    out.resize(size);
    return out;
}

}  // namespace qm::share
