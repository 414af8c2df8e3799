#pragma once
// The text drawer on SDL2_ttf: a font file found through fontconfig by family
// name, sized so that its cell height (ascent plus descent) matches the
// requested height in pixels, drawn over the scene with OpenGL.

#include <memory>
#include <string>

#include "device/Font.h"

typedef struct _TTF_Font TTF_Font;

namespace qm {

class GlDevice;

// The file of the installed font that best matches `family`, regular weight,
// upright; any sans-serif font when the family is not installed. Empty when
// there is no font at all.
std::string FindFontFile(const std::string& family);

class TtfFont : public Font {
  public:
    // Null when SDL2_ttf cannot start or no font file opens; `why` says which.
    static std::unique_ptr<TtfFont> Create(GlDevice& device, const std::string& family, int cellHeight,
                                           std::string* why);
    ~TtfFont() override;

    TtfFont(const TtfFont&) = delete;
    TtfFont& operator=(const TtfFont&) = delete;

    int DrawText(std::string_view text, Rect& rect, std::uint32_t format, std::uint32_t color) override;

    int CellHeight() const;

  private:
    TtfFont(GlDevice& device, TTF_Font* font);
    void DrawLine(const std::string& line, int left, int top, const Rect& clip, std::uint32_t color);

    GlDevice& device_;
    TTF_Font* font_;
};

}  // namespace qm
