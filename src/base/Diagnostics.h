#pragma once
// Debug text, formatted strings and the error log.

#include <functional>
#include <string>
#include <string_view>

namespace qm {

// printf-style formatting, cut at 9999 characters like every debug text.
std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Text from outside (a token of a gene file, a file name) made safe to quote
// in a message: cut after `maxBytes` bytes with "…", and every byte that is not
// printable UTF-8 (control bytes, NUL, escape sequences, broken sequences)
// written as \xNN.
std::string Printable(std::string_view text, std::size_t maxBytes = 64);

// What the debug output carries, from the least to the most. Every text has
// one of these levels and reaches the sink only when the output is set to
// show it: a headless run that was told to be quiet shows errors only.
enum class DebugLevel {
    Errors,  // why something failed: the text of an error, a gene file that cannot be read
    Normal,  // the run's own notes: the seed, a goal reached, a texture drawn without
    Detail,  // what the compiler made of the gene: the code string, the program printed
};

// Where a text goes; an empty function is stderr.
using DebugSink = std::function<void(std::string_view)>;

// Where one run's debug text and error log go. A run owns one (in its
// RunContext), so runs side by side each write to their own sink and log.
class Diagnostics {
  public:
    // The most detailed level that reaches the sink (Detail, everything, by default).
    void SetLevel(DebugLevel shown) { level = shown; }
    DebugLevel Level() const { return level; }
    void SetSink(DebugSink sink) { this->sink = std::move(sink); }

    // Formats like FormatString and hands the text to the sink at the Normal level.
    void DebugPrint(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    // The same at the Detail and the Errors level.
    void DetailPrint(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void ErrorPrint(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    // Hands an already formatted text to the sink at `textLevel`.
    void Emit(DebugLevel textLevel, std::string_view text) const;

    // The file the top-level handlers write ("error.lot.txt" in the working
    // directory by default); an empty name writes no file.
    void SetErrorLogPath(std::string path) { logPath = std::move(path); }
    const std::string& ErrorLogPath() const { return logPath; }

    // Replaces the error log with text, exactly, then writes text once more to
    // the debug output at `echo` (a goal reached is no error). A log that
    // cannot be opened or written loses the text without a word (the window
    // goes on); the caller learns of it: false, and `why` (when given) holds
    // the system's reason. True when the whole text is in the log, or no log
    // is asked for.
    bool WriteErrorLog(const std::string& text, DebugLevel echo = DebugLevel::Errors,
                       std::string* why = nullptr) const;

  private:
    DebugSink sink;
    DebugLevel level = DebugLevel::Detail;
    std::string logPath = "error.lot.txt";
};

}  // namespace qm
