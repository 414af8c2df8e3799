#include "gp/GPmanager.h"

#include <algorithm>
#include <sstream>

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
    return Compile(ReadGeneFile(fileName, diagnostics).value_or(std::string()), diagnostics);
}

std::string GPmanager::Compile(const std::string& source, const Diagnostics& diagnostics) const {
    std::istringstream in(source);
    bool comment = false;
    long long balance = 0;
    double number = 0.0;
    std::string output;
    NestingCounter nesting;
    int elements = 0;
    std::string token;
    while (in >> token) {
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
                throw ErrorText{"GPmanager::GetCode; 不正な関数名が検出されました: " + Printable(token) +
                                "\n"};
            }
            output += std::to_string(f->kind) + "," + std::to_string(f->index);
            kind = f->kind;
        }
        balance += 1 - kind;
        nesting.Add(kind);
        output += "+";
    }
    diagnostics.DetailPrint("%s\n", output.c_str());
    if (balance != 1) throw ErrorText{"GPmanager::GetCode; 不正なコードです\n"};
    if (nesting.Deepest() > kMaxGeneDepth) {
        throw ErrorText{FormatString("GPmanager::GetCode; the gene nests %d calls deep; the limit is %d\n",
                                     nesting.Deepest(), kMaxGeneDepth)};
    }
    return output;
}

}  // namespace qm
