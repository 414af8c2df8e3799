#pragma once
// The rows of a sweep's results.csv, each checked field by field against the
// sweep's header before it is kept as a run's result.

#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace qm::sim {

// Where field `n` (from 0) of a CSV row begins; npos when it has fewer fields.
std::size_t FieldStart(const std::string& row, std::size_t n);

struct SweepRows {
    std::map<std::size_t, std::string> rows;  // by run, each ending in a line feed
    std::size_t dropped = 0;                  // rows that are no whole result of a run
    std::optional<std::string> otherHeader;   // the first line, when it is not `header`
};

// The rows of `text` under `header` (the sweep's first line, with its line
// feed). `runs` gives each run's name (its settings and seed fields, as the
// rows write them) its place; `settings` is the number of settings columns.
// Lines ended by CR LF (a table saved on another system) read as lines. A row
// whose name is no run, whose fields are not those of a result (their count
// and kinds), or that names a run a row before it named is dropped and counted.
SweepRows ReadSweepRows(const std::string& text, const std::string& header,
                        const std::map<std::string, std::size_t>& runs, std::size_t settings);

}  // namespace qm::sim
