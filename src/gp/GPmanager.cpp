#include "gp/GPmanager.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "base/Diagnostics.h"
#include "base/Errors.h"

namespace qm {
namespace {

// Deepest nesting of a prefix sequence: the number of open calls an element
// sits in, itself included.
int NestingDepth(const std::vector<int>& kinds) {
    std::vector<int> open;  // arguments still missing, per open call
    int deepest = 0;
    for (int kind : kinds) {
        deepest = std::max(deepest, static_cast<int>(open.size()) + 1);
        if (kind > 0) {
            open.push_back(kind);
            continue;
        }
        while (!open.empty() && --open.back() == 0) open.pop_back();
    }
    return deepest;
}

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

std::string GPmanager::GetCode(const char* fileName) const {
    std::ifstream in(fileName);
    bool comment = false;
    long long balance = 0;
    double number = 0.0;
    std::string output;
    std::vector<int> kinds;
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
        signed char first = static_cast<signed char>(token[0]);
        if (first < 'A' || first > 'z') {
            ReadNumberPrefix(token, number);
            output += "0,0," + FormatCodeNumber(number);
            balance += 1;
            kinds.push_back(0);
        } else {
            GPfunction* f = FindByName(token);
            if (!f) throw ErrorText{"GPmanager::GetCode; 不正な関数名が検出されました: " + token + "\n"};
            output += std::to_string(f->kind) + "," + std::to_string(f->index);
            balance += 1 - f->kind;
            kinds.push_back(f->kind);
        }
        output += "+";
    }
    DebugPrint("%s\n", output.c_str());
    if (balance != 1) throw ErrorText{"GPmanager::GetCode; 不正なコードです\n"};
    if (kinds.size() > static_cast<std::size_t>(kMaxGeneElements)) {
        throw ErrorText{FormatString("GPmanager::GetCode; the gene has %zu elements; the limit is %d\n",
                                     kinds.size(), kMaxGeneElements)};
    }
    int depth = NestingDepth(kinds);
    if (depth > kMaxGeneDepth) {
        throw ErrorText{FormatString("GPmanager::GetCode; the gene nests %d calls deep; the limit is %d\n",
                                     depth, kMaxGeneDepth)};
    }
    return output;
}

}  // namespace qm
