#include "sim/SweepRows.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace qm::sim {
namespace {

// Whether `text` is a whole number (digits, a sign allowed when `signedness`).
bool IsInteger(const std::string& text, bool signedness) {
    std::size_t at = signedness && !text.empty() && text[0] == '-' ? 1 : 0;
    if (at == text.size()) return false;
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// Whether `text` is a finite number as the rows write them.
bool IsNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// Whether the fields after a run's name are those RunRow writes: the count
// and each field's kind. A row cut short or holding junk is no result.
bool IsWholeResult(const std::string& row, std::size_t settings) {
    if (row.empty() || row.back() != '\n') return false;
    std::vector<std::string> fields;
    std::size_t at = 0;
    const std::string line = row.substr(0, row.size() - 1);
    for (;;) {
        const std::size_t comma = line.find(',', at);
        fields.push_back(line.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    if (fields.size() != settings + 14) return false;
    const auto field = [&](std::size_t n) -> const std::string& { return fields[settings + 1 + n]; };
    const std::string& outcome = field(0);
    const bool goal = outcome == "goal";
    if (!goal && outcome != "completed" && outcome != "error") return false;
    if (!IsInteger(field(1), false) || !(goal ? IsInteger(field(2), false) : field(2).empty())) return false;
    // closest, the centroid and the center are empty when not finite (an empty world has neither).
    const auto numberOrNone = [&](std::size_t n) { return field(n).empty() || IsNumber(field(n)); };
    if (!numberOrNone(3) || !IsInteger(field(4), false) || !IsInteger(field(5), false)) return false;
    for (std::size_t n = 6; n < 12; ++n) {
        if (!numberOrNone(n)) return false;
    }
    return IsNumber(field(12));
}

}  // namespace

// Where field `n` (from 0) of a CSV row begins; npos when it has fewer fields.
std::size_t FieldStart(const std::string& row, std::size_t n) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < n && at != std::string::npos; ++i) {
        at = row.find(',', at);
        if (at != std::string::npos) ++at;
    }
    return at;
}

SweepRows ReadSweepRows(const std::string& text, const std::string& header,
                        const std::map<std::string, std::size_t>& runs, std::size_t settings) {
    SweepRows read;
    std::size_t at = 0;
    for (int line = 1; at < text.size(); ++line) {
        const std::size_t end = text.find('\n', at);
        std::string row = text.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (row.size() >= 2 && row.compare(row.size() - 2, 2, "\r\n") == 0) row.erase(row.size() - 2, 1);
        if (line == 1) {
            if (row != header) {
                read.otherHeader = row.substr(0, row.find('\n'));
                return read;
            }
            continue;
        }
        // The settings and seed are the first fields; the outcome follows.
        const std::size_t cut = FieldStart(row, settings + 1);
        const auto found = cut == std::string::npos ? runs.end() : runs.find(row.substr(0, cut - 1));
        if (found == runs.end() || !IsWholeResult(row, settings) || read.rows.count(found->second)) {
            ++read.dropped;
            continue;
        }
        read.rows.emplace(found->second, row);
    }
    return read;
}

}  // namespace qm::sim
