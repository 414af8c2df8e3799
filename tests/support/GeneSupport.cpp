#include "support/GeneSupport.h"

#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "support/DebugCapture.h"
#include "support/TestFiles.h"

namespace qm::test {

std::string CompileSource(const std::string& source) {
    TempFile file(source);
    DebugCapture quiet;
    return GPmanager::GetInstance()->GetCode(file.Path(), quiet.Target());
}

std::uint32_t SeedForDraw(int r) {
    // The multiplier is odd, so it has an inverse modulo 2^32 (Newton's iteration
    // doubles the number of correct low bits each round).
    const std::uint32_t a = 214013u;
    std::uint32_t inverse = a;
    for (int i = 0; i < 5; ++i) inverse *= 2u - a * inverse;
    const std::uint32_t after = static_cast<std::uint32_t>(r) << 16;
    return (after - 2531011u) * inverse;
}

int IndexDraw(int r, int kind) {
    switch (kind) {
        case 0:
            return RoundScaled(r, kScale5);
        case 1:
            return RoundScaled(r, kScale13);
        case 2:
            return RoundScaled(r, kScale18);
        default:
            return RoundDraw(r, 2);
    }
}

bool IsOneTree(const std::vector<GeneElement>& code) {
    long balance = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
        balance += 1 - code[i].kind;
        if (balance == 1) return i + 1 == code.size();
    }
    return false;
}

GeneNode::GeneNode() : node(nullptr, 0) { node.ResetParams(); }

double GeneNode::Run(const std::string& source) {
    node.unit->Parse(CompileSource(source));
    return node.unit->Evaluate();
}

std::string BalancedSum(int leaves) {
    if (leaves == 1) return "1 ";
    int left = leaves / 2;
    return "ADD " + BalancedSum(left) + BalancedSum(leaves - left);
}

}  // namespace qm::test
