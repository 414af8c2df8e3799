// quillmoth-sim decode: code strings back to gene source, so that any gene a
// search recorded (a line of a file, a row of its tables) can be run and watched.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/RegularFile.h"
#include "evolve/GeneCode.h"
#include "gp/GeneLimits.h"
#include "sim/Commands.h"
#include "sim/SameFile.h"

namespace qm::sim {
namespace {

// Why nothing is decoded: one line on standard error, status 2.
struct Refusal {
    std::string message;
};

// A write the system refused: status 1.
struct WriteFailure {
    std::string message;
};

// One gene to write: its text (a comment naming where it came from, then
// the source) and the name of its file under --out.
struct Decoded {
    std::string text;
    std::string fileName;
};

std::string Shown(const std::string& name) { return "'" + Printable(name, 400) + "'"; }

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The gene source of a code string, or why there is none: the loader's
// reason, or the shape that source text could not give back exactly.
struct Source {
    std::string text;
    std::string why;  // empty when there is a text
    bool loaded = false;
};

Source SourceOf(const std::string& code) {
    Source source;
    evolve::GeneCode gene;
    try {
        gene = evolve::ParseCode(code);
    } catch (const ErrorText& e) {
        source.why = FirstLine(e.text);
        return source;
    }
    source.loaded = true;
    source.why = evolve::ShapeProblem(gene, kMaxGeneElements);
    if (source.why.empty()) source.text = evolve::SourceText(gene);
    if (source.text.size() > kMaxGeneFileBytes) {
        source.why =
            FormatString("its gene source would be %zu bytes, more than the %zu a gene file may hold",
                         source.text.size(), kMaxGeneFileBytes);
        source.text.clear();
    }
    return source;
}

// A gene comment holding `text`: a lone ">" would end it early.
std::string Comment(const std::string& text) {
    std::istringstream words(Printable(text, 400));
    std::string out = "<";
    std::string word;
    while (words >> word) out += " " + (word == ">" ? std::string("'>'") : word);
    return out + " >\n";
}

std::string ReadWhole(const std::string& path) {
    std::string why;
    std::optional<std::string> text = ReadRegularFile(path, why);
    if (!text) throw Refusal{"cannot read " + Shown(path) + ": " + why};
    return *text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// The fields of one CSV row; a field in double quotes may hold commas, and
// "" inside it stands for one quote. A quote left open (a field that held a
// line break, or a broken quote) or a quote inside an unquoted field makes
// the row ambiguous: `broken` says so, and the row is not read.
std::vector<std::string> CsvFields(const std::string& row, bool* broken = nullptr) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    bool bad = false;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (quoted && c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            // A quote opens a field or closes it before a comma or the end.
            if (!quoted && !Trimmed(fields.back()).empty()) bad = true;
            if (quoted && i + 1 < row.size() && row.find_first_not_of(" \t\r", i + 1) != std::string::npos &&
                row[row.find_first_not_of(" \t\r", i + 1)] != ',')
                bad = true;
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    if (broken) *broken = bad || quoted;
    for (std::string& field : fields) field = Trimmed(field);
    return fields;
}

bool Skipped(const std::string& line) { return line.empty() || line[0] == '#'; }

// A file of code strings, one a line.
std::vector<Decoded> FromLines(const std::string& path, const std::string& text) {
    std::vector<Decoded> genes;
    const std::vector<std::string> lines = Lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string line = Trimmed(lines[i]);
        if (Skipped(line)) continue;
        const std::string where = Printable(path, 400) + " line " + std::to_string(i + 1);
        const Source source = SourceOf(line);
        if (!source.why.empty()) {
            const std::vector<std::string> header = CsvFields(line);
            const auto has = [&header](const char* name) {
                return std::find(header.begin(), header.end(), name) != header.end();
            };
            if (genes.empty() && has("id") && has("code")) {
                throw Refusal{Shown(path) +
                              " is a table (its header has id and code columns): name the rows "
                              "to decode with --id N"};
            }
            throw Refusal{where + ": " + source.why};
        }
        genes.push_back({Comment(where) + source.text, "gene-" + std::to_string(i + 1) + ".txt"});
    }
    if (genes.empty()) {
        throw Refusal{Shown(path) +
                      " holds no code string (blank lines and lines starting with # are skipped)"};
    }
    return genes;
}

// The rows of a table (individuals.csv, archive.csv) whose ids are asked for.
std::vector<Decoded> FromTable(const std::string& path, const std::string& text,
                               const std::vector<std::string>& ids) {
    const std::vector<std::string> lines = Lines(text);
    std::size_t at = 0;
    while (at < lines.size() && Skipped(Trimmed(lines[at]))) ++at;
    if (at == lines.size()) throw Refusal{Shown(path) + " has no header line"};
    const std::vector<std::string> header = CsvFields(lines[at]);
    const auto column = [&header](const char* name) {
        return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    const std::size_t idColumn = column("id");
    const std::size_t codeColumn = column("code");
    if (idColumn == header.size() || codeColumn == header.size()) {
        throw Refusal{Shown(path) + " is no table of genes: its header '" + Printable(lines[at], 200) +
                      "' lacks an id or a code column"};
    }
    std::map<std::string, std::pair<std::size_t, std::string>> wanted;  // id: line, code
    for (const std::string& id : ids) wanted[id] = {0, {}};
    for (std::size_t i = at + 1; i < lines.size(); ++i) {
        if (Skipped(Trimmed(lines[i]))) continue;
        bool broken = false;
        const std::vector<std::string> row = CsvFields(lines[i], &broken);
        // Which row is which is no longer sure: refuse rather than decode part of one.
        if (broken) {
            throw Refusal{Shown(path) + " line " + std::to_string(i + 1) +
                          " has a quote left open or out of place (a field holding a line break?): the table "
                          "is not read"};
        }
        if (idColumn >= row.size()) continue;
        auto it = wanted.find(row[idColumn]);
        if (it == wanted.end()) continue;
        if (it->second.first != 0) {
            throw Refusal{Shown(path) + " has two rows with id " + Printable(it->first, 40) + " (lines " +
                          std::to_string(it->second.first) + " and " + std::to_string(i + 1) +
                          "): which one is meant is not sure"};
        }
        it->second = {i + 1, codeColumn < row.size() ? row[codeColumn] : std::string()};
    }
    std::string missing;
    for (const auto& [id, row] : wanted) {
        if (row.first == 0) missing += (missing.empty() ? "" : ", ") + id;
    }
    if (!missing.empty()) throw Refusal{Shown(path) + " has no row with id " + missing};
    std::vector<Decoded> genes;
    for (const std::string& id : ids) {
        const auto& [line, code] = wanted[id];
        const std::string where = Printable(path, 400) + " id " + id;
        const Source source = SourceOf(code);
        if (!source.why.empty()) throw Refusal{where + " (line " + std::to_string(line) + "): " + source.why};
        genes.push_back({Comment(where) + source.text, "gene-" + id + ".txt"});
    }
    return genes;
}

// Every gene the command line names, checked whole before anything is written.
std::vector<Decoded> Genes(const DecodeOptions& o) {
    struct stat info {};
    if (stat(o.input.c_str(), &info) != 0) {
        const int error = errno;
        const Source source = SourceOf(o.input);
        if (source.loaded && !source.why.empty())
            throw Refusal{"the code string " + Shown(o.input) + " is no whole gene: " + source.why};
        if (!source.loaded && o.input.find(',') == std::string::npos)
            throw Refusal{"cannot read " + Shown(o.input) + ": " + std::strerror(error)};
        if (!source.loaded) {
            throw Refusal{Shown(o.input) + " is neither a readable file (" + std::strerror(error) +
                          ") nor a code string: " + source.why};
        }
        if (!o.ids.empty())
            throw Refusal{"--id picks rows of a table; " + Shown(o.input) + " is a code string"};
        if (!o.outDir.empty())
            throw Refusal{"--out writes a file per line of a FILE; for one code string give -o FILE"};
        return {{source.text, "gene.txt"}};
    }
    if (S_ISDIR(info.st_mode)) throw Refusal{"cannot read " + Shown(o.input) + ": it is a folder"};
    const std::string text = ReadWhole(o.input);
    return o.ids.empty() ? FromLines(o.input, text) : FromTable(o.input, text, o.ids);
}

void Write(std::FILE* file, const std::string& text, const std::string& name) {
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0)
        throw WriteFailure{"cannot write " + name + ": " + std::strerror(errno)};
}

// Each gene into its own file under `dir`, whole: written beside it, then renamed.
void WriteFiles(const std::string& dir, const std::vector<Decoded>& genes, std::FILE* out) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error || !std::filesystem::is_directory(dir)) {
        throw Refusal{"cannot write into " + Shown(dir) + ": " +
                      (error ? error.message() : "it is not a folder")};
    }
    for (const Decoded& gene : genes) {
        const std::string path = (std::filesystem::path(dir) / gene.fileName).string();
        const std::string temporary = path + ".tmp";
        std::FILE* file = std::fopen(temporary.c_str(), "wb");
        if (!file) throw WriteFailure{"cannot write " + Shown(temporary) + ": " + std::strerror(errno)};
        try {
            Write(file, gene.text, Shown(temporary));
        } catch (...) {
            std::fclose(file);
            std::remove(temporary.c_str());
            throw;
        }
        std::string why;
        if (std::fclose(file) != 0 ? (why = std::strerror(errno), true)
                                   : !ReplaceWith(temporary, path, why)) {
            std::remove(temporary.c_str());
            throw WriteFailure{"cannot write " + Shown(path) + ": " + why};
        }
        Write(out, path + "\n", "standard output");
    }
}

}  // namespace

int Decode(const Options& options, std::FILE* out) {
    const DecodeOptions& o = options.decode;
    try {
        const std::vector<Decoded> genes = Genes(o);
        if (!o.outDir.empty()) {
            WriteFiles(o.outDir, genes, out);
            return kExitCompleted;
        }
        std::string text;
        for (const Decoded& gene : genes) text += (text.empty() ? "" : "\n") + gene.text;
        if (o.output.empty()) {
            Write(out, text, "standard output");
            return kExitCompleted;
        }
        if (SameFile(o.output, o.input))
            throw Refusal{"-o " + Shown(o.output) + " would replace the input: give another file"};
        std::FILE* file = std::fopen(o.output.c_str(), "wb");
        if (!file) throw Refusal{"cannot write " + Shown(o.output) + ": " + std::strerror(errno)};
        try {
            Write(file, text, Shown(o.output));
        } catch (...) {
            std::fclose(file);
            throw;
        }
        if (std::fclose(file) != 0)
            throw WriteFailure{"cannot write " + Shown(o.output) + ": " + std::strerror(errno)};
        return kExitCompleted;
    } catch (const Refusal& r) {
        std::fprintf(stderr, "quillmoth-sim decode: %s\n", r.message.c_str());
        return kExitUsage;
    } catch (const WriteFailure& e) {
        std::fprintf(stderr, "quillmoth-sim decode: %s\n", e.message.c_str());
        return kExitError;
    }
}

}  // namespace qm::sim
