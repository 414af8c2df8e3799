#include "api/Gene.h"

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "gp/GPmanager.h"
#include "gp/GeneFile.h"
#include "gp/Unit.h"
#include "record/Sha256.h"

namespace qm {
namespace {

// Elements of a code string, or GeneError with the loader's text.
std::vector<GeneElement> Load(const std::string& code) {
    try {
        Unit unit;
        unit.Parse(code);
        return unit.Code();
    } catch (const ErrorText& e) {
        throw GeneError{e.text, {}, e.hint};
    }
}

// Runs `compile` with the compiler's error-level texts (why a file cannot
// be read) kept for the GeneError and the rest sent to `diagnostics`.
template <class Compile>
std::vector<GeneElement> Compiled(const Diagnostics& diagnostics, Compile&& compile) {
    std::string said;
    Diagnostics kept;
    kept.SetLevel(DebugLevel::Errors);
    kept.SetSink([&](std::string_view text) {
        said.append(text);
        diagnostics.Emit(DebugLevel::Errors, text);
    });
    try {
        std::string code = compile(kept);
        diagnostics.Emit(DebugLevel::Detail, code + "\n");
        return Load(code);
    } catch (const ErrorText& e) {
        throw GeneError{e.text, said, e.hint};
    }
}

Diagnostics Silent() {
    Diagnostics quiet;
    quiet.SetSink([](std::string_view) {});
    return quiet;
}

}  // namespace

Gene Gene::FromFile(const std::string& path) { return FromFile(path, Silent()); }

GeneSource GeneSource::Read(const std::string& path) {
    GeneSource source{path, ReadGeneBytes(path.c_str()), {}};
    if (source.read.Read()) source.sha256 = record::Sha256Hex(source.read.bytes);
    return source;
}

const std::string Gene::kNoFile;

Gene Gene::FromFile(const std::string& path, const Diagnostics& diagnostics) {
    Gene gene;
    gene.source = GeneSource::Read(path);
    gene.elements = Compiled(diagnostics, [&](const Diagnostics& compiler) {
        return CompileGeneFile(gene.source->read, path.c_str(), compiler);
    });
    return gene;
}

Gene Gene::FromSource(const std::string& text) {
    // As a file of them is refused: compiled, it would be its first number alone.
    if (HoldsOnlyCodeStrings(text)) {
        throw GeneError{"GPmanager::GetCode; 不正なコードです\n",
                        {},
                        "the text holds a code string, not gene source: read it with Gene.from_code, or "
                        "write it as gene source with quillmoth-sim decode"};
    }
    Gene gene;
    gene.elements = Compiled(Silent(), [&](const Diagnostics& compiler) {
        return GPmanager::GetInstance()->Compile(text, compiler);
    });
    return gene;
}

Gene Gene::FromCode(const std::string& code) {
    Gene gene;
    gene.elements = Load(code);
    return gene;
}

std::string Gene::Code() const { return CodeString(elements); }

std::string Gene::Dump() const {
    try {
        Unit unit;
        unit.Assign(elements);
        return unit.ToString();
    } catch (const ErrorText& e) {
        throw GeneError{e.text, {}};
    }
}

}  // namespace qm
