#include "gp/GeneFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/RegularFile.h"
#include "gp/GPmanager.h"
#include "gp/GeneLimits.h"
#include "gp/Unit.h"

namespace qm {
namespace {

std::nullopt_t Unreadable(const Diagnostics& diagnostics, const char* fileName, const char* why) {
    diagnostics.ErrorPrint("cannot read gene file %s: %s\n", Printable(fileName).c_str(), why);
    return std::nullopt;
}

bool StartsWith(const std::string& text, const char* prefix, std::size_t length) {
    return text.size() >= length && std::memcmp(text.data(), prefix, length) == 0;
}

}  // namespace

bool HoldsOnlyCodeStrings(const std::string& text) {
    std::istringstream words(text);
    std::string word;
    bool any = false;
    while (words >> word) {
        if (!IsCodeString(word)) return false;
        any = true;
    }
    return any;
}

GeneBytes ReadGeneBytes(const char* fileName) {
    // Only a regular file, opened without waiting for a writer: a FIFO or a
    // device would hang the reader or never end.
    std::string why;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenRegularFile(fileName, why), &std::fclose);
    if (!file) return {{}, why};
    // Read in pieces up to one byte past the limit: a file that grows, or a
    // device that never ends, is caught as surely as one whose size says so.
    GeneBytes read;
    char piece[65536];
    std::size_t got = 0;
    while (read.bytes.size() <= kMaxGeneFileBytes &&
           (got = std::fread(piece, 1, sizeof piece, file.get())) > 0) {
        read.bytes.append(piece, got);
    }
    // Past the limit the file is refused for its size, whatever else went wrong.
    if (read.bytes.size() <= kMaxGeneFileBytes && std::ferror(file.get())) return {{}, std::strerror(errno)};
    return read;
}

std::optional<std::string> GeneText(const GeneBytes& read, const char* fileName,
                                    const Diagnostics& diagnostics) {
    if (!read.Read()) return Unreadable(diagnostics, fileName, read.unreadable.c_str());
    std::string text = read.bytes;
    if (text.size() > kMaxGeneFileBytes) {
        throw ErrorText{
            FormatString("GPmanager::GetCode; the gene file %s is larger than %zu bytes, the limit\n",
                         Printable(fileName).c_str(), kMaxGeneFileBytes)};
    }
    if (text.empty()) return Unreadable(diagnostics, fileName, "it is empty");
    // A byte-order mark, or a zero byte in either of the first two (ASCII text in 16-bit units).
    if (StartsWith(text, "\xFF\xFE", 2) || StartsWith(text, "\xFE\xFF", 2) || text[0] == '\0' ||
        (text.size() > 1 && text[1] == '\0')) {
        return Unreadable(diagnostics, fileName, "it is UTF-16 text; save it as UTF-8");
    }
    if (StartsWith(text, "\xEF\xBB\xBF", 3)) text.erase(0, 3);
    if (HoldsOnlyCodeStrings(text)) {
        const std::string name = Printable(fileName, 400);
        throw ErrorText{"GPmanager::GetCode; " + name +
                        " holds a code string, not gene source: quillmoth-sim decode " + name +
                        " writes it as gene source\n"};
    }
    return text;
}

std::optional<std::string> ReadGeneFile(const char* fileName, const Diagnostics& diagnostics) {
    return GeneText(ReadGeneBytes(fileName), fileName, diagnostics);
}

std::string CompileGeneFile(const GeneBytes& read, const char* fileName, const Diagnostics& diagnostics) {
    return GPmanager::GetInstance()->Compile(GeneText(read, fileName, diagnostics).value_or(std::string()),
                                             diagnostics, fileName);
}

}  // namespace qm
