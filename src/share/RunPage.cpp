#include "share/RunPage.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "share/FramePack.h"
#include "share/PageTemplate.h"

namespace qm::share {

namespace {

// `text` with every "</" written "<\/": the same JSON, and nothing in it can
// end the script element that holds it.
std::string InScript(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '<' && i + 1 < text.size() && text[i + 1] == '/') out += '\\';
    }
    return out;
}

void Replace(std::string& page, std::string_view mark, std::string_view with) {
    const std::size_t at = page.find(mark);
    if (at != std::string::npos) page.replace(at, mark.size(), with);
}

std::vector<const record::TraceFrame*> Every(const PageFrames& frames, long long every) {
    std::vector<const record::TraceFrame*> kept;
    for (const record::TraceFrame& f : frames.Frames()) {
        if (f.step % every == 0) kept.push_back(&f);
    }
    return kept;
}

}  // namespace

bool PageFrames::Add(const record::TraceFrame& frame) {
    if (frame.step % every_ != 0) return false;
    frames_.push_back(frame);
    return true;
}

std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t v = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (n > 1) v |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (n > 2) v |= bytes[i + 2];
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += n > 1 ? kDigits[(v >> 6) & 63] : '=';
        out += n > 2 ? kDigits[v & 63] : '=';
    }
    return out;
}

std::string RunPage(const std::string& manifestJson, const std::vector<const record::TraceFrame*>& frames) {
    std::string page = kViewerHtml;
    Replace(page, "/*QM_CSS*/", kViewerCss);
    Replace(page, "/*QM_JS*/", kViewerJs);
    Replace(page, "/*QM_FRAMES*/", Base64(Deflate(PackFrames(frames))));
    // Last: the manifest is the one text from outside (a file name may hold anything).
    Replace(page, "/*QM_MANIFEST*/", manifestJson.empty() ? std::string("{}") : InScript(manifestJson));
    return page;
}

std::string RunPage(const std::string& manifestJson, const PageFrames& frames) {
    return RunPage(manifestJson, Every(frames, 1));
}

PageFit FitPage(const std::string& manifestJson, const PageFrames& frames, std::size_t maxBytes) {
    PageFit fit;
    fit.html = RunPage(manifestJson, frames);
    fit.bytes = fit.html.size();
    fit.fits = maxBytes == 0 || fit.bytes <= maxBytes;
    if (fit.fits) return fit;
    fit.html.clear();
    // The page less its frames; the frames' share shrinks about in step with their number.
    const std::size_t fixed = RunPage(manifestJson, std::vector<const record::TraceFrame*>{}).size();
    if (maxBytes <= fixed) return fit;
    const long long every = frames.Every();
    long long times =
        std::max<long long>(2, static_cast<long long>((fit.bytes - fixed) / (maxBytes - fixed)));
    // Coarser intervals from that guess on until one fits: each page is made
    // and measured, as the frames' sizes are not known before they are compressed.
    for (;; ++times) {
        const std::vector<const record::TraceFrame*> kept = Every(frames, every * times);
        if (RunPage(manifestJson, kept).size() <= maxBytes) {
            fit.everyThatFits = every * times;
            break;
        }
        if (kept.size() <= 1) break;  // one frame alone is too large
    }
    return fit;
}

}  // namespace qm::share
