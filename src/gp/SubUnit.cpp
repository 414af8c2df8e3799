#include "gp/SubUnit.h"

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "gp/GPfunction.h"
#include "gp/Unit.h"

namespace qm {
namespace {

[[noreturn]] void Fail(const char* message) { throw ErrorText{message}; }

}  // namespace

SubUnit::SubUnit(Unit* unit, int start, int size) : unit(unit), start(start), size(size) {}

void SubUnit::SubtreeLength(int from, int& count) const { count = unit->SubtreeLengthAt(from); }

// The views of the arguments of the element at `start` follow it one after the
// other; together with the element they must fill this view exactly.
SubUnit::Arguments SubUnit::CutArguments(int kind) const {
    static const char* const kSizeMessages[] = {"", "不正な遺伝要素：OneArg\n", "不正な遺伝要素：TwoArg\n",
                                                "不正な遺伝要素：ThrArg\n"};
    Arguments args{{{unit, 0, 0}, {unit, 0, 0}, {unit, 0, 0}}};
    int at = start + 1;
    for (int k = 0; k < kind; ++k) {
        int length = 0;
        SubtreeLength(at, length);
        args[static_cast<std::size_t>(k)] = SubUnit(unit, at, length);
        at += length;
    }
    if (at - start != size) Fail(kSizeMessages[kind]);
    return args;
}

double SubUnit::Operate() {
    const GeneElement& e = unit->Code().at(static_cast<std::size_t>(start));
    if (e.kind == 0 && e.index == 0) return e.value;
    if (e.kind < 0 || e.kind > 3) {
        // Only a hand-made code string can carry such an element.
        throw ErrorText{
            FormatString("SubUnit::Operate(); invalid element kind %d (kinds are 0 to 3)\n", e.kind)};
    }
    if (e.kind == 0) {  // a terminal gets no size check
        GPfunction* f = unit->FunctionAt(start);
        if (!f) Fail("SubUnit::Operate(); 不正な関数呼び出しです\n");
        return f->Eval0(*this);
    }
    Arguments args = CutArguments(e.kind);  // checked before the lookup
    GPfunction* f = unit->FunctionAt(start);
    if (!f) Fail("SubUnit::Operate(); 不正な関数呼び出しです\n");
    switch (e.kind) {
        case 1:
            return f->Eval1(args[0]);
        case 2:
            return f->Eval2(args[0], args[1]);
        default:
            return f->Eval3(args[0], args[1], args[2]);
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
            Arguments args = CutArguments(1);
            oneArgFunc(out, start, args[0]);
            return;
        }
        case 2: {
            Arguments args = CutArguments(2);
            towArgsFunc(out, start, args[0], args[1]);
            return;
        }
        case 3: {
            Arguments args = CutArguments(3);
            thrArgsFunc(out, start, args[0], args[1], args[2]);
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
