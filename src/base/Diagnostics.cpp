#include "base/Diagnostics.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace qm {
namespace {

constexpr std::size_t kBufferSize = 10000;  // texts are cut to 9999 characters

std::string VFormat(const char* format, va_list args) {
    char buffer[kBufferSize];
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n < 0) return std::string();
    return std::string(buffer, static_cast<std::size_t>(n) < kBufferSize ? n : kBufferSize - 1);
}

// Length of the valid UTF-8 sequence of a printable character at the start of
// `text`, or 0. C0 and C1 controls and DEL are not printable.
std::size_t PrintableLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead >= 0x20 && lead < 0x7F) return 1;
    std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
    }
    // Overlong forms, surrogates and code points past U+10FFFF; C1 controls.
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;
    if (lead == 0xED && byte(1) >= 0xA0) return 0;
    if (lead == 0xF0 && byte(1) < 0x90) return 0;
    if (lead == 0xF4 && byte(1) >= 0x90) return 0;
    if (lead == 0xC2 && byte(1) < 0xA0) return 0;
    return length;
}

}  // namespace

std::string Printable(std::string_view text, std::size_t maxBytes) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        if (at >= maxBytes) {
            out += "…";
            break;
        }
        const std::size_t length = PrintableLength(text.substr(at));
        if (length > 0) {
            out.append(text.substr(at, length));
            at += length;
        } else {
            out += FormatString("\\x%02X", static_cast<unsigned char>(text[at]));
            ++at;
        }
    }
    return out;
}

std::string FormatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    return text;
}

void Diagnostics::Emit(DebugLevel textLevel, std::string_view text) const {
    if (textLevel > level) return;
    if (sink) {
        sink(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
}

void Diagnostics::DebugPrint(const char* format, ...) const {
    if (DebugLevel::Normal > level) return;
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    Emit(DebugLevel::Normal, text);
}

void Diagnostics::DetailPrint(const char* format, ...) const {
    if (DebugLevel::Detail > level) return;  // the code string of a long gene is not formatted for nothing
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    Emit(DebugLevel::Detail, text);
}

void Diagnostics::ErrorPrint(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    Emit(DebugLevel::Errors, text);
}

bool Diagnostics::WriteErrorLog(const std::string& text, DebugLevel echo, std::string* why) const {
    int error = 0;  // the system's reason when the log is not written whole
    const auto failed = [&error] {
        if (error == 0) error = errno != 0 ? errno : EIO;
    };
    if (!logPath.empty()) {
        // Binary mode: the text carries its own line ends and is written byte for byte.
        std::FILE* log = std::fopen(logPath.c_str(), "wb");
        if (!log) {
            failed();
        } else {
            if (std::fwrite(text.data(), 1, text.size(), log) != text.size() || std::fflush(log) != 0)
                failed();
            if (std::fclose(log) != 0) failed();
        }
    }
    Emit(echo, FormatString("%s\n", text.c_str()));
    if (error != 0 && why) *why = std::strerror(error);
    return error == 0;
}

}  // namespace qm
