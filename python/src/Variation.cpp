#include "Variation.h"

#include <pybind11/stl.h>

#include <functional>

#include "api/Gene.h"
#include "evolve/GeneCode.h"
#include "evolve/Search.h"
#include "evolve/Variation.h"

namespace py = pybind11;

namespace qm::python {
namespace {

// The generator of a caller's seed. The engine's generator is a linear
// congruence whose first draws from seeds 1, 2, 3 ... are nearly equal, so
// the seed is mixed first (MurmurHash3's finaliser): neighbouring seeds then
// give unrelated genes.
evolve::SearchRandom Drawn(std::uint32_t seed) {
    seed ^= seed >> 16;
    seed *= 0x85EBCA6Bu;
    seed ^= seed >> 13;
    seed *= 0xC2B2AE35u;
    seed ^= seed >> 16;
    return evolve::SearchRandom(seed);
}

Gene GeneOf(const evolve::GeneCode& code) { return Gene::FromCode(evolve::CodeString(code)); }

// The operators take a gene that is one complete tree within the length
// limit, as every gene the search makes is.
evolve::GeneCode Parent(const Gene& gene, int maxLength, const char* name) {
    if (maxLength < 1) throw py::value_error("max_length must be at least 1");
    const evolve::GeneCode code = gene.Elements();
    if (const std::string problem = evolve::ShapeProblem(code, maxLength); !problem.empty())
        throw py::value_error(std::string(name) + " cannot vary this gene: " + problem);
    return code;
}

Gene Random(std::uint32_t seed, const std::string& init, int maxLength) {
    const std::optional<evolve::Init> kind = evolve::ParseInit(init);
    if (!kind) throw py::value_error("init takes grow, ramped or motifs, not '" + init + "'");
    if (maxLength < 1) throw py::value_error("max_length must be at least 1");
    evolve::SearchRandom random = Drawn(seed);
    return GeneOf(evolve::MakeRandomGene(*kind, random, maxLength));
}

Gene Mutate(const Gene& gene, std::uint32_t seed, int maxLength, double constantRate, double copyRate) {
    if (!(constantRate >= 0.0 && constantRate <= 1.0))
        throw py::value_error("constant_rate must lie between 0 and 1");
    if (!(copyRate >= 0.0 && copyRate <= 1.0)) throw py::value_error("copy_rate must lie between 0 and 1");
    evolve::GeneCode code = Parent(gene, maxLength, "mutate");
    evolve::SearchRandom random = Drawn(seed);
    evolve::Vary(code, random, maxLength, constantRate, copyRate);
    return GeneOf(code);
}

Gene Crossover(const Gene& receiver, const Gene& donor, std::uint32_t seed, int maxLength) {
    const evolve::GeneCode a = Parent(receiver, maxLength, "crossover");
    const evolve::GeneCode b = Parent(donor, maxLength, "crossover");
    evolve::SearchRandom random = Drawn(seed);
    return GeneOf(evolve::Crossover(a, b, random, maxLength));
}

}  // namespace

void AddVariation(py::class_<Gene>& gene) {
    const evolve::SearchSettings defaults;
    gene.def_static("random", &Random, py::arg("seed"), py::arg("init") = "grow",
                    py::arg("max_length") = defaults.maxLength,
                    "A random gene as the search makes one: init 'grow' (the gene code's own random tree), "
                    "'ramped' or 'motifs'; the same seed gives the same gene.")
        .def("mutate", &Mutate, py::arg("seed"), py::arg("max_length") = defaults.maxLength,
             py::arg("constant_rate") = 0.0, py::arg("copy_rate") = 0.0,
             "A mutated copy, by the search's mutation: a constant moved with probability constant_rate, "
             "else a copy within the gene with probability copy_rate, otherwise one random change.")
        .def_static("crossover", &Crossover, py::arg("receiver"), py::arg("donor"), py::arg("seed"),
                    py::arg("max_length") = defaults.maxLength,
                    "Subtree crossover: receiver with one subtree replaced by one of donor's.")
        .def("__eq__",
             [](const Gene& a, const py::object& b) -> py::object {
                 if (!py::isinstance<Gene>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                 return py::bool_(a.Code() == b.cast<const Gene&>().Code());
             })
        .def("__hash__", [](const Gene& g) { return std::hash<std::string>{}(g.Code()); })
        .def(py::pickle([](const Gene& g) { return g.Code(); },
                        [](const std::string& code) { return Gene::FromCode(code); }));
}

}  // namespace qm::python
