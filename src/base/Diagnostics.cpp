#include "base/Diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <fstream>

namespace qm {
namespace {

constexpr std::size_t kBufferSize = 10000;  // texts are cut to 9999 characters

DebugSink& Sink() {
    static DebugSink sink;
    return sink;
}

std::string& LogPath() {
    static std::string path = "error.lot.txt";
    return path;
}

std::string VFormat(const char* format, va_list args) {
    char buffer[kBufferSize];
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n < 0) return std::string();
    return std::string(buffer, static_cast<std::size_t>(n) < kBufferSize ? n : kBufferSize - 1);
}

}  // namespace

std::string FormatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    return text;
}

void DebugPrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    if (Sink()) {
        Sink()(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
}

void SetDebugSink(DebugSink sink) { Sink() = std::move(sink); }

void SetErrorLogPath(std::string path) { LogPath() = std::move(path); }

const std::string& ErrorLogPath() { return LogPath(); }

void WriteErrorLog(const std::string& text) {
    // Binary mode: the text carries its own line ends and is written byte for byte.
    std::ofstream log(LogPath(), std::ios::out | std::ios::trunc | std::ios::binary);
    if (log) {
        log << text;
    }
    log.close();
    DebugPrint("%s\n", text.c_str());
}

}  // namespace qm
