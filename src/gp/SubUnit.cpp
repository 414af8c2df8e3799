#include "gp/SubUnit.h"

#include "gp/GPfunction.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "shell/Diagnostics.h"
#include "shell/Errors.h"

namespace qm {
namespace {

[[noreturn]] void Fail(const char* message) { throw ErrorText{message}; }

}  // namespace

SubUnit::SubUnit(Unit* unit, int start, int size)
    : unit(unit), gp(GPmanager::GetInstance()), start(start), size(size) {}

void SubUnit::SubtreeLength(int from, int& count) const { count = unit->SubtreeLengthAt(from); }

double SubUnit::Operate() {
    const GeneElement& e = unit->Code().at(static_cast<std::size_t>(start));
    switch (e.kind) {
        case 0: {
            if (e.index == 0) return e.value;
            GPfunction* f = unit->FunctionAt(start);
            if (!f) Fail("SubUnit::Operate(); 不正な関数呼び出しです\n");
            return f->Eval0(*this);
        }
        case 1: {
            int len1 = 0;
            SubtreeLength(start + 1, len1);
            if (len1 + 1 != size) Fail("不正な遺伝要素：OneArg\n");
            SubUnit a(unit, start + 1, len1);
            GPfunction* f = unit->FunctionAt(start);
            if (!f) Fail("SubUnit::Operate(); 不正な関数呼び出しです\n");
            return f->Eval1(a);
        }
        case 2: {
            int len1 = 0, len2 = 0;
            SubtreeLength(start + 1, len1);
            SubUnit a(unit, start + 1, len1);
            SubtreeLength(start + 1 + len1, len2);
            if (len1 + len2 + 1 != size) Fail("不正な遺伝要素：TwoArg\n");
            SubUnit b(unit, start + 1 + len1, len2);
            GPfunction* f = unit->FunctionAt(start);
            if (!f) Fail("SubUnit::Operate(); 不正な関数呼び出しです\n");
            return f->Eval2(a, b);
        }
        case 3: {
            int len1 = 0, len2 = 0, len3 = 0;
            SubtreeLength(start + 1, len1);
            SubUnit a(unit, start + 1, len1);
            SubtreeLength(start + 1 + len1, len2);
            SubUnit b(unit, start + 1 + len1, len2);
            SubtreeLength(start + 1 + len1 + len2, len3);
            if (len1 + len2 + len3 + 1 != size) Fail("不正な遺伝要素：ThrArg\n");
            SubUnit c(unit, start + 1 + len1 + len2, len3);
            GPfunction* f = unit->FunctionAt(start);
            if (!f) Fail("SubUnit::Operate(); 不正な関数呼び出しです\n");
            return f->Eval3(a, b, c);
        }
        default:
            // Only a hand-made code string can carry such an element.
            throw ErrorText{
                FormatString("SubUnit::Operate(); invalid element kind %d (kinds are 0 to 3)\n", e.kind)};
    }
}

void SubUnit::AppendIndent(std::string& out, int d) {
    for (int i = 0; i < d; ++i) out += indent;
}

std::string SubUnit::ToString() {
    std::string out;
    AppendTo(out);
    return out;
}

// Printing appends to one buffer: returning a string per level would copy
// every line once for each enclosing level.
void SubUnit::AppendTo(std::string& out) {
    const GeneElement& e = unit->Code().at(static_cast<std::size_t>(start));
    switch (e.kind) {
        case 0:
            if (e.index == 0) {
                AppendIndent(out, depth);
                out += FormatString("%lf\n", e.value);
                return;
            }
            zeroArgFunc(out, start, depth);
            return;
        case 1: {
            int len1 = 0;
            SubtreeLength(start + 1, len1);
            if (len1 + 1 != size) Fail("不正な遺伝要素：OneArg\n");
            SubUnit a(unit, start + 1, len1);
            oneArgFunc(out, start, a);
            return;
        }
        case 2: {
            int len1 = 0, len2 = 0;
            SubtreeLength(start + 1, len1);
            SubUnit a(unit, start + 1, len1);
            SubtreeLength(start + 1 + len1, len2);
            if (len1 + len2 + 1 != size) Fail("不正な遺伝要素：TwoArg\n");
            SubUnit b(unit, start + 1 + len1, len2);
            towArgsFunc(out, start, a, b);
            return;
        }
        case 3: {
            int len1 = 0, len2 = 0, len3 = 0;
            SubtreeLength(start + 1, len1);
            SubUnit a(unit, start + 1, len1);
            SubtreeLength(start + 1 + len1, len2);
            SubUnit b(unit, start + 1 + len1, len2);
            SubtreeLength(start + 1 + len1 + len2, len3);
            if (len1 + len2 + len3 + 1 != size) Fail("不正な遺伝要素：ThrArg\n");
            SubUnit c(unit, start + 1 + len1 + len2, len3);
            thrArgsFunc(out, start, a, b, c);
            return;
        }
        default:
            return;  // an element of no known kind prints as nothing
    }
}

void SubUnit::zeroArgFunc(std::string& out, int element, int d) const {
    GPfunction* f = unit->FunctionAt(element);
    if (!f) Fail("SubUnit::zeroArgFunc(); 不正な関数呼び出しです\n");
    AppendIndent(out, d);
    out += f->Name();
    out += "\n";
}

void SubUnit::OpenCall(std::string& out, const GPfunction& f) const {
    AppendIndent(out, depth);
    out += f.Name();
    out += " ( \n";
}

void SubUnit::CloseCall(std::string& out) const {
    AppendIndent(out, depth);
    out += ") \n";
}

void SubUnit::oneArgFunc(std::string& out, int element, SubUnit& a) const {
    GPfunction* f = unit->FunctionAt(element);
    if (!f) Fail("SubUnit::oneArgFunc(); 不正な関数呼び出しです\n");
    OpenCall(out, *f);
    a.depth = depth + 1;
    a.AppendTo(out);
    CloseCall(out);
}

void SubUnit::towArgsFunc(std::string& out, int element, SubUnit& a, SubUnit& b) const {
    GPfunction* f = unit->FunctionAt(element);
    if (!f) Fail("SubUnit::towArgsFunc(); 不正な関数呼び出しです\n");
    OpenCall(out, *f);
    a.depth = b.depth = depth + 1;
    a.AppendTo(out);
    b.AppendTo(out);
    CloseCall(out);
}

void SubUnit::thrArgsFunc(std::string& out, int element, SubUnit& a, SubUnit& b, SubUnit& c) const {
    GPfunction* f = unit->FunctionAt(element);
    if (!f) Fail("SubUnit::thrArgsFunc(); 不正な関数呼び出しです\n");
    OpenCall(out, *f);
    a.depth = b.depth = c.depth = depth + 1;
    a.AppendTo(out);
    b.AppendTo(out);
    c.AppendTo(out);
    CloseCall(out);
}

}  // namespace qm
