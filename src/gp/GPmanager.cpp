#include "gp/GPmanager.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "gp/GeneFile.h"

namespace qm {
namespace {

// Reads the longest numeric prefix of a token into number; leaves number as it
// was when the token has none. The stream alone takes in an exponent mark that
// no digit follows ("1e", "2.5E+x") and then fails, although the digits before
// the mark are a number; an exponent with digits that fails is out of range
// and stays unreadable.
void ReadNumberPrefix(const std::string& token, double& number) {
    std::istringstream in(token);
    double read = 0.0;
    if (in >> read) {
        number = read;
        return;
    }
    std::size_t mark = token.find_first_of("eE");
    if (mark == std::string::npos) return;
    std::size_t next = mark + 1;
    if (next < token.size() && (token[next] == '+' || token[next] == '-')) ++next;
    if (next < token.size() && token[next] >= '0' && token[next] <= '9') return;
    std::istringstream mantissa(token.substr(0, mark));
    if (mantissa >> read) number = read;
}

// Edit distance with letter case ignored: insertions, deletions and changes.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    const auto upper = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min(
                {row[j] + 1, row[j - 1] + 1, diagonal + (upper(a[i - 1]) == upper(b[j - 1]) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Where a token starts, as "name:line:column" (1-based; columns in bytes),
// counted on from the last place asked for.
class Places {
  public:
    Places(const std::string& text, std::string_view name) : text(text), name(name) {}
    std::string At(std::size_t offset) {
        for (; scanned < offset && scanned < text.size(); ++scanned) {
            if (text[scanned] == '\n') {
                ++line;
                lineStart = scanned + 1;
            }
        }
        const std::string place = std::to_string(line) + ":" + std::to_string(offset - lineStart + 1);
        return name.empty() ? "line " + place : Printable(name, 400) + ":" + place;
    }

  private:
    const std::string& text;
    std::string_view name;
    std::size_t scanned = 0, line = 1, lineStart = 0;
};

}  // namespace

GPmanager* GPmanager::GetInstance() {
    static GPmanager instance;
    return &instance;
}

GPmanager::GPmanager() : functions(CreatePrimitives()) {
    for (const auto& f : functions) {
        byCode[{f->kind, f->index}] = f.get();
        byName[f->Name()] = f.get();
    }
}

GPfunction* GPmanager::FindByCode(int kind, int index) const {
    auto it = byCode.find({kind, index});
    return it == byCode.end() ? nullptr : it->second;
}

GPfunction* GPmanager::FindByName(const std::string& name) const {
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

std::optional<std::string> GPmanager::ClosestName(std::string_view name) const {
    const GPfunction* best = nullptr;
    std::size_t bestDistance = 0;
    for (const auto& f : functions) {
        const std::size_t d = EditDistance(name, f->Name());
        if (!best || d < bestDistance) {
            best = f.get();
            bestDistance = d;
        }
    }
    // Two slips at most, and fewer than the name has letters.
    if (!best || bestDistance > 2 || bestDistance >= name.size()) return std::nullopt;
    return best->Name();
}

std::string FormatCodeNumber(double value) {
    std::ostringstream out;
    out << value;
    std::string text = out.str();
    std::size_t plus = text.find("e+");
    if (plus != std::string::npos) text.erase(plus + 1, 1);
    return text;
}

std::string CodeString(const std::vector<GeneElement>& code) {
    std::string text;
    for (const GeneElement& e : code) {
        text += std::to_string(e.kind) + "," + std::to_string(e.index);
        if (e.IsConstant()) text += "," + FormatCodeNumber(e.value);
        text += '+';
    }
    return text;
}

// An unreadable file compiles like an empty one, into the balance error.
std::string GPmanager::GetCode(const char* fileName, const Diagnostics& diagnostics) const {
    return Compile(ReadGeneFile(fileName, diagnostics).value_or(std::string()), diagnostics, fileName);
}

std::string GPmanager::Compile(const std::string& source, const Diagnostics& diagnostics,
                               std::string_view name) const {
    std::istringstream in(source);
    Places places(source, name);
    std::streamoff start = 0;
    std::string extra;  // where the first element after a whole program is
    bool comment = false;
    long long balance = 0;
    double number = 0.0;
    std::string output;
    NestingCounter nesting;
    int elements = 0;
    std::string token;
    while ((in >> std::ws) && (start = in.tellg()) >= 0 && in >> token) {
        if (token == ">") {
            comment = false;
            continue;
        }
        if (token == "<") {
            comment = true;
            continue;
        }
        if (comment || token == "(" || token == ")") continue;
        // Past the limit nothing more needs reading.
        if (++elements > kMaxGeneElements) {
            throw ErrorText{FormatString(
                "GPmanager::GetCode; the gene has more than %d elements, the limit\n", kMaxGeneElements)};
        }
        int kind = 0;
        signed char first = static_cast<signed char>(token[0]);
        if (first < 'A' || first > 'z') {
            ReadNumberPrefix(token, number);
            output += "0,0," + FormatCodeNumber(number);
        } else {
            GPfunction* f = FindByName(token);
            if (!f) {
                ErrorText error{"GPmanager::GetCode; 不正な関数名が検出されました: " + Printable(token) +
                                "\n"};
                error.hint = "unknown primitive " + Printable(token) + " at " +
                             places.At(static_cast<std::size_t>(start));
                if (auto near = ClosestName(token)) error.hint += "; did you mean " + *near + "?";
                throw error;
            }
            output += std::to_string(f->kind) + "," + std::to_string(f->index);
            kind = f->kind;
        }
        if (balance == 1 && extra.empty())
            extra = Printable(token) + " at " + places.At(static_cast<std::size_t>(start));
        balance += 1 - kind;
        nesting.Add(kind);
        output += "+";
    }
    diagnostics.DetailPrint("%s\n", output.c_str());
    if (balance != 1) {
        ErrorText error{"GPmanager::GetCode; 不正なコードです\n"};
        const std::string where = name.empty() ? "the gene" : Printable(name, 400);
        if (elements == 0) {
            error.hint =
                "no gene in " + where + ": it holds no element (only comments, or nothing it could read)";
        } else if (balance > 1) {
            error.hint = "more than one expression in " + where + ": " + extra +
                         " follows a whole program; join expressions with PROG2 or PROG3";
        } else {
            error.hint = "the gene in " + where + " ends with " + std::to_string(1 - balance) +
                         " argument(s) missing; check how many each primitive takes (docs/genes.md)";
        }
        throw error;
    }
    if (nesting.Deepest() > kMaxGeneDepth) {
        throw ErrorText{FormatString("GPmanager::GetCode; the gene nests %d calls deep; the limit is %d\n",
                                     nesting.Deepest(), kMaxGeneDepth)};
    }
    return output;
}

}  // namespace qm
