#include "platform/TtfFont.h"

#include <GL/gl.h>
#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <vector>

#include "platform/GlDevice.h"

namespace qm {

namespace {

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        std::string line(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::string FindFontFile(const std::string& family) {
    if (!FcInit()) return {};
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    // Listed after the requested family, so it only counts when that is missing.
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);

    std::string path;
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
            path = reinterpret_cast<const char*>(file);
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return path;
}

std::unique_ptr<TtfFont> TtfFont::Create(GlDevice& device, const std::string& family, int cellHeight,
                                         std::string* why) {
    if (TTF_Init() != 0) {
        if (why) *why = TTF_GetError();
        return nullptr;
    }
    const std::string path = FindFontFile(family);
    TTF_Font* font = path.empty() ? nullptr : TTF_OpenFont(path.c_str(), cellHeight);
    if (!font) {
        if (why) *why = path.empty() ? std::string("no font installed") : std::string(TTF_GetError());
        TTF_Quit();
        return nullptr;
    }
    // A GDI font height is the cell height, ascent plus descent, not the em
    // size: scale the point size until the cell is the height asked for.
    const int measured = TTF_FontHeight(font);
    if (measured > 0 && measured != cellHeight) {
        int size = std::max(1, cellHeight * cellHeight / measured);
        TTF_SetFontSize(font, size);
        while (TTF_FontHeight(font) < cellHeight && TTF_SetFontSize(font, size + 1) == 0) ++size;
        while (TTF_FontHeight(font) > cellHeight && size > 1) TTF_SetFontSize(font, --size);
    }
    return std::unique_ptr<TtfFont>(new TtfFont(device, font));
}

TtfFont::TtfFont(GlDevice& device, TTF_Font* font) : device_(device), font_(font) {}

TtfFont::~TtfFont() {
    TTF_CloseFont(font_);
    TTF_Quit();
}

int TtfFont::CellHeight() const { return TTF_FontHeight(font_); }

int TtfFont::DrawText(std::string_view text, Rect& rect, std::uint32_t format, std::uint32_t color) {
    const std::vector<std::string> lines = SplitLines(text);
    const int lineHeight = TTF_FontHeight(font_);
    const int lineSkip = std::max(lineHeight, TTF_FontLineSkip(font_));
    int width = 0;
    for (const std::string& line : lines) {
        int w = 0, h = 0;
        if (!line.empty() && TTF_SizeUTF8(font_, line.c_str(), &w, &h) == 0) width = std::max(width, w);
    }
    const int height = lineHeight + static_cast<int>(lines.size() - 1) * lineSkip;

    if (format & kDtCalcRect) {
        rect.right = rect.left + width;
        rect.bottom = rect.top + height;
        return height;
    }
    // Bottom alignment applies to single lines only, as for GDI text.
    int top = rect.top;
    if ((format & kDtBottom) && lines.size() == 1) top = rect.bottom - height;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        DrawLine(lines[i], rect.left, top + static_cast<int>(i) * lineSkip, rect, color);
    }
    return height;
}

void TtfFont::DrawLine(const std::string& line, int left, int top, const Rect& clip, std::uint32_t color) {
    if (line.empty()) return;
    SDL_Surface* rendered = TTF_RenderUTF8_Blended(font_, line.c_str(), SDL_Color{255, 255, 255, 255});
    if (!rendered) return;
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ABGR8888, 0);  // R, G, B, A bytes
    SDL_FreeSurface(rendered);
    if (!rgba) return;

    int drawableWidth = 0, drawableHeight = 0;
    device_.DrawableSize(drawableWidth, drawableHeight);
    const double sx = static_cast<double>(drawableWidth) / std::max(1, device_.BackBufferWidth());
    const double sy = static_cast<double>(drawableHeight) / std::max(1, device_.BackBufferHeight());

    // Draw in back-buffer pixels, y down, leaving every state as it was.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, device_.BackBufferWidth(), device_.BackBufferHeight(), 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    glViewport(0, 0, drawableWidth, drawableHeight);
    glEnable(GL_SCISSOR_TEST);
    glScissor(static_cast<GLint>(clip.left * sx), static_cast<GLint>(drawableHeight - clip.bottom * sy),
              static_cast<GLsizei>((clip.right - clip.left) * sx),
              static_cast<GLsizei>((clip.bottom - clip.top) * sy));
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);

    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rgba->pitch / 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, rgba->w, rgba->h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba->pixels);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    glColor4ub(static_cast<GLubyte>(color >> 16), static_cast<GLubyte>(color >> 8),
               static_cast<GLubyte>(color), static_cast<GLubyte>(color >> 24));
    const float x0 = static_cast<float>(left), y0 = static_cast<float>(top);
    const float x1 = x0 + static_cast<float>(rgba->w), y1 = y0 + static_cast<float>(rgba->h);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(x0, y0);
    glTexCoord2f(1, 0);
    glVertex2f(x1, y0);
    glTexCoord2f(1, 1);
    glVertex2f(x1, y1);
    glTexCoord2f(0, 1);
    glVertex2f(x0, y1);
    glEnd();

    glDeleteTextures(1, &texture);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    SDL_FreeSurface(rgba);
}

}  // namespace qm
