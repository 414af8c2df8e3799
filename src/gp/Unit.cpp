#include "gp/Unit.h"

#include <algorithm>
#include <sstream>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "gp/GPmanager.h"
#include "gp/GeneLimits.h"
#include "gp/SubUnit.h"

namespace qm {
namespace {

// Highest index of each arity class, and the draw that picks one.
int RandomIndex(Random& random, int kind) {
    switch (kind) {
        case 0:
            return random.RandRoundScaled(kRandScale5);
        case 1:
            return random.RandRoundScaled(kRandScale13);
        case 2:
            return random.RandRoundScaled(kRandScale18);
        default:
            return random.RandRound(2);
    }
}

// Reads a whole field as T; false when the field is not exactly one number.
template <class T>
bool ReadField(const std::string& field, T& out) {
    std::istringstream in(field);
    T value{};
    if (!(in >> value)) return false;
    if (in.peek() != std::char_traits<char>::eof()) return false;
    out = value;
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::istringstream in(text);
    std::string piece;
    while (std::getline(in, piece, separator)) pieces.push_back(piece);
    return pieces;
}

enum class ItemRead { Loaded, KindOutOfRange, Malformed };

// One item of a code string: "kind,index", or "0,0,number" for a constant.
ItemRead ReadItem(const std::string& piece, GeneElement& e) {
    std::vector<std::string> fields = Split(piece, ',');
    if (fields.size() < 2 || !ReadField(fields[0], e.kind) || !ReadField(fields[1], e.index))
        return ItemRead::Malformed;
    if (e.kind < 0 || e.kind > 3) return ItemRead::KindOutOfRange;
    const std::size_t expected = e.IsConstant() ? 3 : 2;
    if (fields.size() != expected || (e.IsConstant() && !ReadField(fields[2], e.value)))
        return ItemRead::Malformed;
    return ItemRead::Loaded;
}

}  // namespace

bool IsCodeString(const std::string& text) {
    if (text.find(',') == std::string::npos || text.find('+') == std::string::npos) return false;
    bool any = false;
    for (const std::string& piece : Split(text, '+')) {
        if (piece.empty()) continue;
        GeneElement e;
        if (ReadItem(piece, e) != ItemRead::Loaded) return false;
        any = true;
    }
    return any;
}

int WalkSubtreeLength(const std::vector<GeneElement>& code, int from) {
    int count = 0;
    int balance = 0;
    for (std::size_t i = static_cast<std::size_t>(from); i < code.size(); ++i) {
        ++count;
        balance += 1 - code[i].kind;
        if (balance == 1) break;
    }
    return count;
}

Unit::Unit() : Unit(nullptr) {}

Unit::Unit(GeneHost* node) : gp(GPmanager::GetInstance()), node(node), shared(std::make_shared<Shared>()) {}

Unit::Shared& Unit::Own() {
    if (shared.use_count() > 1) {
        auto copy = std::make_shared<Shared>();
        copy->code = shared->code;
        shared = std::move(copy);
    }
    shared->cacheValid = false;
    return *shared;
}

void Unit::Clear() {
    // A fresh, empty code: nothing to copy first.
    if (shared.use_count() > 1) {
        shared = std::make_shared<Shared>();
        return;
    }
    shared->code.clear();
    shared->code.shrink_to_fit();
    shared->cacheValid = false;
}

void Unit::Append(const GeneElement& element) { Own().code.push_back(element); }

// Items are separated by "+"; empty items are skipped. Items that are not of
// the form the compiler writes ("kind,index" or "0,0,number") are refused
// rather than read as garbage, and so are codes beyond the compiler's limits:
// evaluating and printing recurse once per level of nesting.
void Unit::Parse(const std::string& codeString) {
    Clear();
    NestingCounter nesting;
    for (const std::string& piece : Split(codeString, '+')) {
        if (piece.empty()) continue;
        GeneElement e;
        const ItemRead read = ReadItem(piece, e);
        if (read == ItemRead::KindOutOfRange) {
            throw ErrorText{
                FormatString("Unit::Parse; element kind %d out of range 0..3 in code item \"%s\"\n", e.kind,
                             Printable(piece).c_str())};
        }
        if (read == ItemRead::Malformed)
            throw ErrorText{"Unit::Parse; malformed code item: \"" + Printable(piece) + "\"\n"};
        AppendWithinLimits(e, nesting, "Unit::Parse");
    }
}

void Unit::AppendWithinLimits(const GeneElement& e, NestingCounter& nesting, const char* who) {
    std::vector<GeneElement>& code = shared->code;
    if (code.size() == static_cast<std::size_t>(kMaxGeneElements)) {
        Clear();
        throw ErrorText{
            FormatString("%s; the code has more than %d elements, the limit\n", who, kMaxGeneElements)};
    }
    if (nesting.Add(e.kind) > kMaxGeneDepth) {
        Clear();
        throw ErrorText{
            FormatString("%s; the code nests more than %d calls deep, the limit\n", who, kMaxGeneDepth)};
    }
    code.push_back(e);
}

// The elements as they are, values included, under the loader's rules.
void Unit::Assign(const std::vector<GeneElement>& elements) {
    Clear();
    NestingCounter nesting;
    for (const GeneElement& e : elements) {
        if (e.kind < 0 || e.kind > 3) {
            Clear();
            throw ErrorText{FormatString("Unit::Assign; element kind %d out of range 0..3\n", e.kind)};
        }
        AppendWithinLimits(e, nesting, "Unit::Assign");
    }
}

// A copy holds the kind and index of every element and the value of the
// constants only; a code whose other elements carry no value is shared as it is.
void Unit::CopyFrom(const Unit& other) {
    if (&other == this) return;
    bool plain = true;
    for (const GeneElement& e : other.shared->code) plain = plain && (e.IsConstant() || e.value == 0.0);
    if (plain) {
        shared = other.shared;
        return;
    }
    Clear();
    std::vector<GeneElement>& code = shared->code;
    code.reserve(other.shared->code.size());
    for (const GeneElement& e : other.shared->code) {
        GeneElement copy;
        copy.kind = e.kind;
        copy.index = e.index;
        if (e.IsConstant()) copy.value = e.value;
        code.push_back(copy);
    }
}

double Unit::Evaluate() {
    SubUnit root(this, 0, static_cast<int>(shared->code.size()));
    return root.Operate();
}

std::string Unit::ToString() {
    SubUnit root(this, 0, static_cast<int>(shared->code.size()));
    return root.ToString();
}

// Computes every subtree length in one backward pass: `complete` holds the
// lengths of the consecutive complete subtrees that start right after the
// current position, nearest last. An element that finds fewer complete
// subtrees than its arity never completes, and neither does any walk through it.
void Unit::BuildCache() const {
    const std::vector<GeneElement>& code = shared->code;
    std::vector<int>& subtreeLengths = shared->subtreeLengths;
    std::vector<GPfunction*>& functions = shared->functions;
    const int n = static_cast<int>(code.size());
    subtreeLengths.assign(static_cast<std::size_t>(n) + 1, 0);
    functions.assign(static_cast<std::size_t>(n), nullptr);
    bool negativeKind = false;
    std::vector<int> complete;
    complete.reserve(static_cast<std::size_t>(n));
    for (int i = n - 1; i >= 0; --i) {
        const GeneElement& e = code[static_cast<std::size_t>(i)];
        functions[static_cast<std::size_t>(i)] = gp->FindByCode(e.kind, e.index);
        negativeKind = negativeKind || e.kind < 0;
        int length = 1;
        if (static_cast<int>(complete.size()) >= e.kind) {
            for (int k = 0; k < e.kind; ++k) {
                length += complete.back();
                complete.pop_back();
            }
            complete.push_back(length);
        } else {
            length = n - i;
            complete.clear();
        }
        subtreeLengths[static_cast<std::size_t>(i)] = length;
    }
    // A negative kind (only ever appended by hand) breaks the stack argument: walk instead.
    if (negativeKind) {
        for (int i = 0; i < n; ++i) subtreeLengths[static_cast<std::size_t>(i)] = WalkSubtreeLength(code, i);
    }
    shared->cacheValid = true;
}

GeneElement Unit::RandomElement(Random& random, int maxKind) const {
    GeneElement e;
    e.kind = random.RandRound(maxKind);
    e.index = RandomIndex(random, e.kind);
    if (e.IsConstant()) e.value = random.RandSymmetric1();
    return e;
}

void Unit::RandomTree(Random& random, int budget, std::vector<GeneElement>& out) const {
    for (;;) {
        out.clear();
        int balance = 0;
        for (int i = 0; i < budget; ++i) {
            int need = 1 - balance;
            int remaining = budget - i;
            int maxKind = remaining <= need ? 0 : (remaining == need + 1 ? 1 : 3);
            GeneElement e = RandomElement(random, maxKind);
            out.push_back(e);
            balance += 1 - e.kind;
            if (balance == 1) return;
        }
    }
}

// One random change. An empty code has nothing to change and is left alone
// without a draw; a code longer than maxLength gets a replacement subtree of
// at least one element, so the tree can only shrink back towards the limit.
void Unit::Mutate(Random& random) {
    if (shared->code.empty()) return;
    std::vector<GeneElement>& code = Own().code;
    const int n = static_cast<int>(code.size());
    double r = random.RandUniform1p8();
    int op = r <= 1.0 ? 0 : (r <= 1.7 ? 1 : 2);
    if (op < 2) {
        int t = random.RandRound(maxLength);
        GeneElement& e = code[static_cast<std::size_t>(t == 0 ? 0 : (t - 1) % n)];
        if (op == 0) {
            if (e.IsConstant()) e.value = random.RandSymmetric1();
        } else {
            e.index = RandomIndex(random, e.kind);
            if (e.IsConstant()) e.value = random.RandSymmetric1();
        }
        return;
    }
    int p = random.RandRound(n - 1);
    int length = WalkSubtreeLength(code, p);
    int budget = std::max(1, length + maxLength - n);
    std::vector<GeneElement> fresh;
    RandomTree(random, budget, fresh);
    auto at = code.begin() + p;
    at = code.erase(at, at + length);
    code.insert(at, fresh.begin(), fresh.end());
}

}  // namespace qm
