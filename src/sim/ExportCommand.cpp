// quillmoth-sim export: a trace as one web page (src/share). The trace is
// read as the window's replay reads it, with the same messages for a trace
// that cannot be read; the page is made whole in memory and written at once.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/Diagnostics.h"
#include "record/RecordError.h"
#include "record/TraceReader.h"
#include "record/Writable.h"
#include "share/RunPage.h"
#include "sim/Commands.h"
#include "sim/SameFile.h"

namespace qm::sim {

namespace {

int Say(const std::string& text, int status) {
    std::fprintf(stderr, "quillmoth-sim: %s\n", text.c_str());
    return status;
}

std::string Quoted(const std::string& name) { return "'" + Printable(name, 400) + "'"; }

std::string Megabytes(std::size_t bytes) { return FormatString("%.2f MB", static_cast<double>(bytes) / 1e6); }

// Every recorded step the page keeps, read through; the trace's fault, if
// any, said on standard error as the replay says it. False, with `why`, when
// there is nothing to show.
bool ReadFrames(const ExportOptions& o, std::string& manifest, share::PageFrames& frames, std::string& why) {
    try {
        record::TraceReader reader(o.trace);
        manifest = reader.ManifestJson();
        record::TraceFrame frame;
        std::size_t read = 0;
        while (reader.Read(read, frame)) {
            ++read;
            frames.Add(frame);
        }
        if (read == 0) {
            why = reader.Stopped().empty() ? Printable(o.trace, 400) + ": the trace holds no recorded step"
                                           : reader.Stopped();
            return false;
        }
        if (!reader.Stopped().empty()) Say(reader.Stopped(), 0);
        if (frames.Frames().empty()) {
            why = Printable(o.trace, 400) + ": none of its " + std::to_string(read) +
                  " recorded steps is a multiple of --every " + std::to_string(o.every);
            return false;
        }
        return true;
    } catch (const record::RecordError& e) {
        why = e.message;
        return false;
    }
}

}  // namespace

int Export(const Options& options) {
    const ExportOptions& o = options.exportPage;
    if (SameFile(o.output, o.trace))
        return Say("-o " + Quoted(o.output) + " would replace the trace", kExitUsage);
    if (auto why = CannotWrite(o.output))
        return Say("cannot write the page " + Quoted(o.output) + ": " + *why, kExitUsage);

    std::string manifest, why;
    share::PageFrames frames(o.every);
    if (!ReadFrames(o, manifest, frames, why)) return Say("cannot export: " + why, kExitUsage);

    const auto maxBytes = static_cast<std::size_t>(std::floor(o.maxMb * 1e6));
    const share::PageFit fit = share::FitPage(manifest, frames, maxBytes);
    if (!fit.fits) {
        const std::string over = "the page of " + std::to_string(frames.Frames().size()) +
                                 " steps would take " + Megabytes(fit.bytes) + ", more than --max-mb " +
                                 FormatString("%g", o.maxMb);
        return Say(over + (fit.everyThatFits > 0 ? "; --every " + std::to_string(fit.everyThatFits) + " fits"
                                                 : "; not even one step of the trace fits"),
                   kExitUsage);
    }

    std::FILE* file = std::fopen(o.output.c_str(), "wb");
    if (!file)
        return Say("cannot write the page " + Quoted(o.output) + ": " + std::strerror(errno), kExitUsage);
    const bool written = std::fwrite(fit.html.data(), 1, fit.html.size(), file) == fit.html.size();
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        std::remove(o.output.c_str());  // a page cut short would only fail in the browser
        return Say(
            "cannot write the page " + Quoted(o.output) + ": " + std::strerror(written ? errno : error),
            kExitError);
    }
    std::fprintf(stderr, "wrote %s: %zu steps, %s\n", Printable(o.output, 400).c_str(),
                 frames.Frames().size(), Megabytes(fit.bytes).c_str());
    return kExitCompleted;
}

}  // namespace qm::sim
