// Writes the art the window reads at run time: floor.bmp, sky.bmp, goal.bmp
// and goal.x, into the folder given (data/ in the repository):
//
//     quillmoth-artgen data
//
// Everything is computed here from fixed seeds, so the same program always
// writes the same files, byte for byte.
//
// How the scene uses them:
// - floor.bmp covers 200 x 200 world units and repeats, mirrored, five times
//   along each side of the 1000-unit floor: a mossy meadow with a faint
//   grid line every 25 units to read distances by.
// - sky.bmp is laid on the sky sphere by direction: u = asin(x) / pi + 0.5,
//   v = asin(y) / pi + 0.5, so the middle row is the horizon, the bottom row
//   the zenith and the top half lies below the horizon (seen only in the
//   strip beyond the floor's edge).
// - goal.x is a faceted crystal, an eight-sided double pyramid 5 units tall
//   that the scene draws three times that size, unlit: goal.bmp gives each
//   facet its own shade so the spinning shows.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    double r, g, b;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(const Rgb& c, double s) { return {c.r * s, c.g * s, c.b * s}; }

double Smooth(double t) { return t * t * (3.0 - 2.0 * t); }

// Value noise on an integer lattice, periodic with `period` cells so that
// textures can wrap without a seam.
double Lattice(int x, int y, int period, std::uint32_t seed) {
    x = ((x % period) + period) % period;
    y = ((y % period) + period) % period;
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u +
                      static_cast<std::uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return static_cast<double>(h & 0xFFFFFF) / static_cast<double>(0xFFFFFF);
}

double ValueNoise(double x, double y, int period, std::uint32_t seed) {
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const double fx = Smooth(x - x0), fy = Smooth(y - y0);
    const double a = Lattice(x0, y0, period, seed), b = Lattice(x0 + 1, y0, period, seed);
    const double c = Lattice(x0, y0 + 1, period, seed), d = Lattice(x0 + 1, y0 + 1, period, seed);
    return (a + (b - a) * fx) * (1.0 - fy) + (c + (d - c) * fx) * fy;
}

// Sum of octaves, each twice the frequency and half the weight; about 0..1.
// Over (x, y) in [0, 1) it tiles: the right edge meets the left, the bottom the top.
double Fbm(double x, double y, int baseCells, int octaves, std::uint32_t seed) {
    double sum = 0.0, weight = 0.5, total = 0.0;
    int cells = baseCells;
    for (int i = 0; i < octaves; ++i) {
        sum += weight * ValueNoise(x * cells, y * cells, cells, seed + static_cast<std::uint32_t>(i) * 101u);
        total += weight;
        weight *= 0.5;
        cells *= 2;
    }
    return sum / total;
}

class Bitmap {
  public:
    Bitmap(int width, int height)
        : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height)) {}
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Row 0 is the top of the image.
    void Set(int x, int y, const Rgb& c) { pixels_[static_cast<std::size_t>(y * width_ + x)] = c; }

    // A 24-bit uncompressed BMP, rows bottom-up as the format stores them.
    bool Write(const std::filesystem::path& path) const {
        const int rowBytes = (width_ * 3 + 3) & ~3;
        const std::uint32_t imageBytes = static_cast<std::uint32_t>(rowBytes * height_);
        std::vector<std::uint8_t> out;
        auto put16 = [&out](std::uint32_t v) {
            out.push_back(static_cast<std::uint8_t>(v));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        };
        auto put32 = [&](std::uint32_t v) {
            put16(v & 0xFFFF);
            put16(v >> 16);
        };
        out.push_back('B');
        out.push_back('M');
        put32(54 + imageBytes);
        put32(0);
        put32(54);
        put32(40);
        put32(static_cast<std::uint32_t>(width_));
        put32(static_cast<std::uint32_t>(height_));
        put16(1);
        put16(24);
        put32(0);
        put32(imageBytes);
        put32(2835);  // 72 dpi
        put32(2835);
        put32(0);
        put32(0);
        for (int y = height_ - 1; y >= 0; --y) {
            for (int x = 0; x < width_; ++x) {
                const Rgb& c = pixels_[static_cast<std::size_t>(y * width_ + x)];
                out.push_back(Byte(c.b));
                out.push_back(Byte(c.g));
                out.push_back(Byte(c.r));
            }
            for (int pad = width_ * 3; pad < rowBytes; ++pad) out.push_back(0);
        }
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
        return static_cast<bool>(file);
    }

  private:
    static std::uint8_t Byte(double v) {
        return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    }
    int width_, height_;
    std::vector<Rgb> pixels_;
};

// The meadow: soft patches of moss and dry grass, a little fine grain, and a
// faint lighter line every 25 world units (64 pixels of 512 per 200 units).
Bitmap MakeFloor() {
    constexpr int kSize = 512;
    Bitmap bmp(kSize, kSize);
    const Rgb moss{0.42, 0.58, 0.33}, dryGrass{0.66, 0.68, 0.42}, earth{0.47, 0.44, 0.32};
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double u = static_cast<double>(x) / kSize, v = static_cast<double>(y) / kSize;
            const double patches = Fbm(u, v, 4, 4, 11);
            const double soil = Fbm(u, v, 8, 3, 23);
            const double grain = Fbm(u, v, 64, 2, 37);
            Rgb c = Mix(moss, dryGrass, Smooth(std::clamp((patches - 0.35) * 2.2, 0.0, 1.0)));
            c = Mix(c, earth, std::clamp((soil - 0.62) * 3.0, 0.0, 0.6));
            c = Scale(c, 0.9 + 0.2 * grain);
            const int gx = x % 64, gy = y % 64;
            const bool line = gx == 0 || gx == 63 || gy == 0 || gy == 63;
            if (line) c = Mix(c, Rgb{0.86, 0.88, 0.74}, 0.25);
            bmp.Set(x, y, c);
        }
    }
    return bmp;
}

// The sky by elevation: a pale horizon deepening to blue overhead, drifting
// clouds, low blue hills standing on the horizon, and their slopes running on
// below it, where the sky shows beyond the floor's edge.
Bitmap MakeSky() {
    constexpr int kSize = 512;
    constexpr double kTexelsPerRadian = kSize / kPi;
    Bitmap bmp(kSize, kSize);
    const Rgb zenith{0.20, 0.42, 0.78}, midSky{0.42, 0.64, 0.90}, horizon{0.80, 0.88, 0.95};
    const Rgb ridgeBlue{0.55, 0.66, 0.78}, slopeGreen{0.36, 0.50, 0.42}, lowland{0.40, 0.52, 0.36};
    for (int x = 0; x < kSize; ++x) {
        const double u = (x + 0.5) / kSize;
        // The hills' crest, 1 to 4 degrees above the horizon, with a few nearer rises.
        const double crest = 0.018 + 0.04 * Fbm(u, 0.31, 6, 5, 91) + 0.012 * Fbm(u, 0.77, 29, 2, 97);
        for (int y = 0; y < kSize; ++y) {
            // v = (y + 0.5) / size: 0 at the top row (straight down) to 1 at the bottom (straight up).
            const double v = (y + 0.5) / kSize;
            const double elevation = (v - 0.5) * kPi;  // radians above the horizon
            const double t = std::max(elevation, 0.0) / (kPi / 2.0);
            Rgb c = t < 0.35 ? Mix(horizon, midSky, Smooth(t / 0.35))
                             : Mix(midSky, zenith, Smooth((t - 0.35) / 0.65));
            // Clouds: stretched sideways, thinning toward the zenith and the horizon.
            const double n = Fbm(u, v * 2.0, 6, 5, 71);
            const double band = std::sin(std::clamp(t / 0.7, 0.0, 1.0) * kPi);
            const double cover = std::clamp((n - 0.52) * 4.0, 0.0, 1.0) * band;
            const Rgb cloud =
                Mix(Rgb{0.97, 0.98, 1.0}, Rgb{0.78, 0.82, 0.90}, std::clamp((n - 0.6) * 3.0, 0.0, 1.0));
            c = Mix(c, cloud, cover * 0.9);
            // The hills, hazy blue at the crest and greener down their slopes,
            // with an edge one texel soft so the crest does not stair-step.
            const double belowCrest = (crest - elevation) * kTexelsPerRadian;
            if (belowCrest > -1.0) {
                const double depth = std::clamp((crest - elevation) / (crest + 0.12), 0.0, 1.0);
                Rgb land = Mix(ridgeBlue, slopeGreen, Smooth(depth));
                land = Mix(land, lowland, std::clamp(-elevation / 0.5, 0.0, 1.0));
                land = Scale(land, 0.94 + 0.1 * Fbm(u, v, 48, 2, 113));
                c = Mix(c, land, std::clamp(belowCrest + 1.0, 0.0, 1.0));
            }
            bmp.Set(x, y, c);
        }
    }
    return bmp;
}

constexpr int kFacets = 8;

// The crystal's texture: one column per facet around, the upper facets in the
// top half and the lower ones in the bottom half. Each facet has its own shade
// as if lit from one side, brightest toward the girdle, with fine glints.
Bitmap MakeGoalTexture() {
    constexpr int kSize = 256;
    Bitmap bmp(kSize, kSize);
    const Rgb deep{0.55, 0.16, 0.05}, gold{1.0, 0.74, 0.18}, pale{1.0, 0.95, 0.70};
    for (int y = 0; y < kSize; ++y) {
        const double v = (y + 0.5) / kSize;
        const bool upper = v < 0.5;
        const double towardGirdle = upper ? v / 0.5 : (1.0 - v) / 0.5;  // 0 at a tip, 1 at the girdle
        for (int x = 0; x < kSize; ++x) {
            const double u = (x + 0.5) / kSize;
            const int facet = static_cast<int>(u * kFacets);
            const double angle = (facet + 0.5) * 2.0 * kPi / kFacets;
            double light = 0.55 + 0.45 * std::cos(angle - 0.8);  // a light from one side
            if (!upper) light *= 0.75;                           // the underside is darker
            Rgb c = Mix(deep, gold, light);
            c = Mix(c, pale, std::pow(towardGirdle, 4.0) * 0.6);
            const double inFacet = u * kFacets - facet;
            if (inFacet < 0.03 || inFacet > 0.97) c = Mix(c, pale, 0.7);  // bright edges between facets
            const double glint = Fbm(u, v, 32, 2, 131);
            if (glint > 0.72) c = Mix(c, pale, (glint - 0.72) * 2.5);
            bmp.Set(x, y, c);
        }
    }
    return bmp;
}

// The crystal mesh in DirectX's text ".x" format: each facet a triangle of its
// own three vertices, so the texture gives it one flat shade.
bool WriteGoalMesh(const std::filesystem::path& path) {
    constexpr double kRadius = 1.5, kHalfHeight = 2.5;
    struct Vertex {
        double x, y, z, nx, ny, nz, u, v;
    };
    std::vector<Vertex> vertices;
    for (int half = 0; half < 2; ++half) {
        const double tipY = half == 0 ? kHalfHeight : -kHalfHeight;
        for (int k = 0; k < kFacets; ++k) {
            const double a0 = k * 2.0 * kPi / kFacets, a1 = (k + 1) * 2.0 * kPi / kFacets;
            const double x0 = kRadius * std::cos(a0), z0 = kRadius * std::sin(a0);
            const double x1 = kRadius * std::cos(a1), z1 = kRadius * std::sin(a1);
            // Facet normal: (edge a) x (edge b), pointing away from the axis.
            const double ax = x0, ay = -tipY, az = z0, bx = x1, by = -tipY, bz = z1;
            double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
            const double mid = std::cos((a0 + a1) / 2.0) * nx + std::sin((a0 + a1) / 2.0) * nz;
            if (mid < 0) nx = -nx, ny = -ny, nz = -nz;
            const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= len, ny /= len, nz /= len;
            const double u0 = static_cast<double>(k) / kFacets, u1 = static_cast<double>(k + 1) / kFacets;
            const double vTip = half == 0 ? 0.0 : 1.0, vGirdle = 0.5;
            vertices.push_back({0.0, tipY, 0.0, nx, ny, nz, (u0 + u1) / 2.0, vTip});
            vertices.push_back({x0, 0.0, z0, nx, ny, nz, u0 + 0.002, vGirdle});
            vertices.push_back({x1, 0.0, z1, nx, ny, nz, u1 - 0.002, vGirdle});
        }
    }
    const std::size_t faces = vertices.size() / 3;

    std::FILE* f = std::fopen(path.string().c_str(), "w");
    if (!f) return false;
    std::fprintf(f, "xof 0302txt 0064\n");
    std::fprintf(f, "// The goal marker: an eight-sided crystal, written by tools/artgen.\n");
    std::fprintf(f, "Mesh Crystal {\n %zu;\n", vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        std::fprintf(f, " %.6f;%.6f;%.6f;%s\n", vertices[i].x, vertices[i].y, vertices[i].z,
                     i + 1 == vertices.size() ? ";" : ",");
    }
    std::fprintf(f, " %zu;\n", faces);
    for (std::size_t i = 0; i < faces; ++i) {
        std::fprintf(f, " 3;%zu,%zu,%zu;%s\n", i * 3, i * 3 + 1, i * 3 + 2, i + 1 == faces ? ";" : ",");
    }
    std::fprintf(f, " MeshNormals {\n  %zu;\n", vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        std::fprintf(f, "  %.6f;%.6f;%.6f;%s\n", vertices[i].nx, vertices[i].ny, vertices[i].nz,
                     i + 1 == vertices.size() ? ";" : ",");
    }
    std::fprintf(f, "  %zu;\n", faces);
    for (std::size_t i = 0; i < faces; ++i) {
        std::fprintf(f, "  3;%zu,%zu,%zu;%s\n", i * 3, i * 3 + 1, i * 3 + 2, i + 1 == faces ? ";" : ",");
    }
    std::fprintf(f, " }\n MeshTextureCoords {\n  %zu;\n", vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        std::fprintf(f, "  %.6f;%.6f;%s\n", vertices[i].u, vertices[i].v,
                     i + 1 == vertices.size() ? ";" : ",");
    }
    std::fprintf(f, " }\n MeshMaterialList {\n  1;\n  %zu;\n", faces);
    for (std::size_t i = 0; i < faces; ++i) std::fprintf(f, "  0%s\n", i + 1 == faces ? ";;" : ",");
    std::fprintf(f, "  Material {\n   1.000000;0.800000;0.300000;1.000000;;\n   20.000000;\n");
    std::fprintf(f, "   0.500000;0.500000;0.500000;;\n   0.000000;0.000000;0.000000;;\n");
    std::fprintf(f, "   TextureFilename {\n    \"goal.bmp\";\n   }\n  }\n }\n}\n");
    return std::fclose(f) == 0;
}

}  // namespace

namespace {

constexpr const char* kUsage =
    "usage: quillmoth-artgen FOLDER\n"
    "\n"
    "Writes the art files the window reads, floor.bmp, sky.bmp, goal.bmp and goal.x,\n"
    "into FOLDER (an existing folder; data/ in the repository). The same program\n"
    "always writes the same files, byte for byte.\n";

}  // namespace

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 2 || first.empty() || first[0] == '-') {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::filesystem::path folder = first;
    bool ok = MakeFloor().Write(folder / "floor.bmp");
    ok = MakeSky().Write(folder / "sky.bmp") && ok;
    ok = MakeGoalTexture().Write(folder / "goal.bmp") && ok;
    ok = WriteGoalMesh(folder / "goal.x") && ok;
    if (!ok) {
        std::fprintf(stderr, "quillmoth-artgen: could not write into %s\n", folder.string().c_str());
        return 1;
    }
    std::printf("wrote floor.bmp, sky.bmp, goal.bmp and goal.x into %s\n", folder.string().c_str());
    return 0;
}
