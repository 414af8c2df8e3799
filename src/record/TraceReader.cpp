#include "record/TraceReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "base/Diagnostics.h"
#include "base/RegularFile.h"
#include "record/Hdf5.h"
#include "record/Hdf5Guard.h"
#include "record/TraceHdf5.h"
#include "record/TraceJson.h"

namespace qm::record {

class TraceReader::Source {
  public:
    virtual ~Source() = default;
    virtual bool Read(std::size_t index, TraceFrame& frame) = 0;
    virtual std::size_t Found() const = 0;

    std::string format;
    std::string manifest;
    std::string stopped;
    bool finished = false;

  protected:
    explicit Source(const std::string& path) : name(Printable(path, 400)) {}

    // Ends the trace at a fault after `found` whole steps, the last of them `lastStep`.
    void Stop(const std::string& why, std::size_t found, long long lastStep) {
        stopped =
            name + ": " + why + "; the trace stops " +
            (found ? "after step " + std::to_string(lastStep) : std::string("before its first whole step"));
        finished = true;
    }

    std::string name;
};

namespace {

constexpr std::size_t kMaxLineBytes = std::size_t{1} << 30;

class JsonSource final : public TraceReader::Source {
  public:
    JsonSource(const std::string& path, std::FILE* file) : Source(path), file(file) {
        format = "json";
        std::string line;
        bool ended = false;
        if (!ReadLine(0, line, ended)) return;
        TraceLineKind kind{};
        std::string error;
        if (ParseTraceLine(line, kind, scratch, manifest, error) && kind == TraceLineKind::Header) {
            scanFrom = static_cast<long long>(line.size()) + 1;
            lineNumber = 2;
        }
    }
    ~JsonSource() override { std::fclose(file); }
    JsonSource(const JsonSource&) = delete;
    JsonSource& operator=(const JsonSource&) = delete;

    std::size_t Found() const override { return offsets.size(); }

    bool Read(std::size_t index, TraceFrame& frame) override {
        if (index < offsets.size()) return Reread(index, frame);
        while (offsets.size() <= index && !finished) {
            if (!Scan()) return false;
        }
        if (index >= offsets.size()) return false;
        frame = scratch;  // Scan stopped at the step asked for: it was just read
        return true;
    }

  private:
    // The line starting at `offset`, without its line end. False at the end
    // of the file or at a line too long; `ended` tells whether a line end
    // closed it.
    bool ReadLine(long long offset, std::string& line, bool& ended) {
        line.clear();
        ended = false;
        if (fseeko(file, offset, SEEK_SET) != 0) return false;
        char piece[1 << 16];
        while (std::fgets(piece, sizeof piece, file)) {
            const std::size_t n = std::strlen(piece);  // a zero byte in the line shows as a shorter piece
            line.append(piece, n);
            if (n > 0 && piece[n - 1] == '\n') {
                line.pop_back();
                ended = true;
                return true;
            }
            if (line.size() > kMaxLineBytes) {
                tooLong = true;
                return false;
            }
            if (n + 1 < sizeof piece && !std::feof(file)) {
                zeroByte = true;  // fgets stopped early without a line end: a zero byte
                return false;
            }
        }
        return !line.empty();
    }

    // Reads the next line after the known steps; false when the trace ends there.
    bool Scan() {
        std::string line;
        bool ended = false;
        const long long at = scanFrom;
        if (!ReadLine(at, line, ended)) {
            if (tooLong) {
                Stop("line " + std::to_string(lineNumber) + " is longer than " +
                         std::to_string(kMaxLineBytes) + " bytes",
                     offsets.size(), lastStep);
            } else if (zeroByte) {
                Stop("line " + std::to_string(lineNumber) + " holds a zero byte", offsets.size(), lastStep);
            } else if (std::ferror(file)) {
                Stop("it cannot be read further", offsets.size(), lastStep);
            } else {
                finished = true;  // the end, after a line end
            }
            return false;
        }
        TraceLineKind kind{};
        std::string error, ignored;
        if (!ParseTraceLine(line, kind, scratch, ignored, error)) {
            Stop("line " + std::to_string(lineNumber) +
                     (ended ? " is not a whole step (" : " is cut short (") + error + ")",
                 offsets.size(), lastStep);
            return false;
        }
        if (kind != TraceLineKind::Step) {
            Stop("line " + std::to_string(lineNumber) + " is a second header", offsets.size(), lastStep);
            return false;
        }
        if (!offsets.empty() && scratch.step <= lastStep) {
            Stop("line " + std::to_string(lineNumber) + " goes back to step " + std::to_string(scratch.step) +
                     " after step " + std::to_string(lastStep),
                 offsets.size(), lastStep);
            return false;
        }
        offsets.push_back(at);
        lastStep = scratch.step;
        scanFrom = at + static_cast<long long>(line.size()) + 1;
        ++lineNumber;
        return true;
    }

    bool Reread(std::size_t index, TraceFrame& frame) {
        std::string line, ignored, error;
        bool ended = false;
        TraceLineKind kind{};
        if (ReadLine(offsets[index], line, ended) && ParseTraceLine(line, kind, scratch, ignored, error) &&
            kind == TraceLineKind::Step) {
            frame = scratch;
            return true;
        }
        return false;  // the file changed under the reader
    }

    std::FILE* file;
    std::vector<long long> offsets;  // where each whole step's line begins
    long long scanFrom = 0;
    long long lineNumber = 1;
    long long lastStep = -1;
    bool tooLong = false;
    bool zeroByte = false;
    TraceFrame scratch;
};

// One table of an HDF5 trace, opened and checked.
struct TableReader {
    h5::Handle dataset;
    hsize_t rows = 0;
    hsize_t readable = 0;  // rows the file's stored bytes can hold at most
    bool lineage = false;  // it has the columns parent and born (nodes of format 2)

    TableReader(hid_t file, const char* name, hid_t type) {
        if (!h5::Exists(file, name)) throw h5::Failure{std::string("it has no table '") + name + "'"};
        const std::string what = std::string("its table '") + name + "'";
        h5::RequireHardLink(file, name, what);
        h5::RequireNoVirtualLayout(file, name, what);
        dataset = h5::Check(H5Dopen2(file, name, H5P_DEFAULT), std::string("cannot open its table ") + name);
        h5::RequireOwnHeader(dataset.Get(), what);
        h5::Handle fileType = h5::Check(H5Dget_type(dataset.Get()), "cannot read a table's type");
        if (H5Tget_class(fileType.Get()) != H5T_COMPOUND) throw h5::Failure{what + " is not a table"};
        const int n = H5Tget_nmembers(type);
        for (int i = 0; i < n; ++i) {
            char* member = H5Tget_member_name(type, static_cast<unsigned>(i));
            const bool found = member && H5Tget_member_index(fileType.Get(), member) >= 0;
            H5free_memory(member);
            if (!found) throw h5::Failure{what + " lacks a column"};
        }
        h5::Handle space = h5::Check(H5Dget_space(dataset.Get()), "cannot read a table's size");
        if (H5Sget_simple_extent_ndims(space.Get()) != 1) throw h5::Failure{what + " is not a list"};
        hsize_t dims[1] = {0};
        h5::Check(H5Sget_simple_extent_dims(space.Get(), dims, nullptr), "cannot read a table's size");
        rows = dims[0];
        lineage = H5Tget_member_index(fileType.Get(), "parent") >= 0 &&
                  H5Tget_member_index(fileType.Get(), "born") >= 0;
        // A table that claims more rows than its chunks hold, or than its stored
        // bytes unpack to, would otherwise ask for any amount of memory and time.
        readable =
            h5::CheckStorage(dataset.Get(), h5::Layout::Chunked, rows, H5Tget_size(fileType.Get()), what);
    }

    // Rows [start, start + count) into `out` as `type`.
    void ReadRows(hid_t type, hsize_t start, hsize_t count, void* out) const {
        if (count == 0) return;
        h5::Handle space = h5::Check(H5Dget_space(dataset.Get()), "cannot select rows");
        const hsize_t from[1] = {start};
        const hsize_t n[1] = {count};
        h5::Check(H5Sselect_hyperslab(space.Get(), H5S_SELECT_SET, from, nullptr, n, nullptr),
                  "cannot select rows");
        h5::Handle memory = h5::Check(H5Screate_simple(1, n, nullptr), "cannot select rows");
        h5::Check(H5Dread(dataset.Get(), type, memory.Get(), space.Get(), H5P_DEFAULT, out),
                  "cannot read rows");
    }
};

// Rows read from a table at once: what the reader holds of a trace besides
// the step on show is a block of each table, however long the trace. The
// blocks of nodes and links span whole chunks of the writer's (2,048 and
// 8,192 rows), each unpacked once, and stay within a few megabytes.
constexpr hsize_t kBlockRows = 1024;      // of the table of steps
constexpr hsize_t kRowBlockRows = 16384;  // of the nodes and the links

class Hdf5Source final : public TraceReader::Source {
  public:
    explicit Hdf5Source(const std::string& path)
        : Source(path),
          file(Open(path)),
          stepTable(file.Get(), "steps", TheTraceTypes().step.Get()),
          nodeTable(file.Get(), "nodes", TheTraceTypes().nodeV1.Get()),
          linkTable(file.Get(), "links", TheTraceTypes().link.Get()) {
        format = "hdf5";
        try {
            manifest = h5::ReadString(file.Get(), "manifest", 1 << 20);
        } catch (const h5::Failure&) {
            manifest.clear();  // a trace may be written without one
        }
    }

    std::size_t Found() const override { return found; }

    bool Read(std::size_t index, TraceFrame& frame) override {
        while (found <= index && !finished) {
            if (!ScanBlock()) break;
        }
        if (index >= found) {
            if (unfinished && !finished) {
                Stop(
                    "the run that wrote it had not closed it (it is still running, or it was killed); what "
                    "it had flushed reads",
                    found, lastStep);
            }
            finished = true;
            return false;
        }
        StepRow s{};
        if (!Row(index, s))
            return Fault(index, "step record " + std::to_string(index) + " cannot be read again");
        TraceFrame read;
        read.step = s.step;
        try {
            for (hsize_t at = 0; at < s.nodeCount; at += kRowBlockRows) {
                const hsize_t n = std::min(kRowBlockRows, s.nodeCount - at);
                nodes.resize(n);
                const h5::Compound& type = nodeTable.lineage ? TheTraceTypes().node : TheTraceTypes().nodeV1;
                nodeTable.ReadRows(type.Get(), s.nodeStart + at, n, nodes.data());
                for (const NodeRow& r : nodes) {
                    if (r.step != s.step || (!read.nodes.empty() && r.id <= read.nodes.back().id) ||
                        r.id < 0) {
                        return Fault(index, StepText(s) + "has nodes of another step or out of order");
                    }
                    TraceNode& node = read.nodes.emplace_back();
                    node.id = r.id;
                    node.pos = {r.pos[0], r.pos[1], r.pos[2]};
                    node.color = {r.color[0], r.color[1], r.color[2]};
                    node.parent = nodeTable.lineage ? r.parent : -1;
                    node.born = nodeTable.lineage ? r.born : -1;
                    for (std::size_t i = 0; i < node.param.size(); ++i)
                        node.param[i] = static_cast<float>(r.p[i]);
                }
            }
            for (hsize_t at = 0; at < s.linkCount; at += kRowBlockRows) {
                const hsize_t n = std::min(kRowBlockRows, s.linkCount - at);
                links.resize(n);
                linkTable.ReadRows(TheTraceTypes().link.Get(), s.linkStart + at, n, links.data());
                for (const LinkRow& r : links) {
                    const std::pair<std::int32_t, std::int32_t> link{r.a, r.b};
                    if (r.step != s.step || r.a >= r.b ||
                        (!read.links.empty() && link <= read.links.back()) || !Has(read, r.a) ||
                        !Has(read, r.b)) {
                        return Fault(
                            index,
                            StepText(s) +
                                "has links of another step, out of order or to nodes it does not list");
                    }
                    read.links.push_back(link);
                }
            }
        } catch (const h5::Failure& f) {
            return Fault(index, StepText(s) + "cannot be read (" + f.what + ")");
        } catch (const std::bad_alloc&) {
            return Fault(index, StepText(s) + "does not fit in memory");
        }
        frame = std::move(read);
        return true;
    }

  private:
    h5::Handle Open(const std::string& path) {
        h5::Handle file;
        try {
            try {
                file = h5::OpenFile(path);
            } catch (const h5::Failure& f) {
                // A trace whose run still writes it, or died before closing it.
                if (f.what.find("already open for write") == std::string::npos) throw;
                file = h5::OpenFile(path, true);
                unfinished = true;
            }
        } catch (const h5::Failure& f) {
            const std::string name = Printable(path, 400);
            if (f.what.find("truncated file") != std::string::npos) {
                throw RecordError{name + ": cut short: an HDF5 file cannot be read without its end (" +
                                  f.what + ")"};
            }
            throw RecordError{name + ": " + f.what};
        }
        std::string format;
        try {
            format = h5::ReadString(file.Get(), "format", 64);
        } catch (const h5::Failure&) {
        }
        if (format != kTraceFormatName)
            throw RecordError{Printable(path, 400) + ": an HDF5 file, but not a Quillmoth trace"};
        return file;
    }

    // Reads the next block of the table of steps and takes its rows while they
    // are whole steps; false when the trace ends or stops there.
    bool ScanBlock() {
        const hsize_t n = std::min<hsize_t>(kBlockRows, stepTable.rows - found);
        if (n == 0) return false;
        if (found + n > stepTable.readable) {
            Stop("its table of steps claims more rows than the file holds", found, lastStep);
            return false;
        }
        if (!ReadBlock(found, n)) {
            Stop("its table of steps cannot be read past row " + std::to_string(found) + " (" + blockError +
                     ")",
                 found, lastStep);
            return false;
        }
        for (const StepRow& r : block) {
            if (!Plausible(r) || (found > 0 && r.step <= lastStep)) {
                Stop("step record " + std::to_string(found) + " does not fit the tables", found, lastStep);
                return false;
            }
            ++found;
            lastStep = r.step;
        }
        return true;
    }

    // Rows [start, start + n) of the table of steps into `block`.
    bool ReadBlock(hsize_t start, hsize_t n) {
        block.resize(n);
        blockStart = start;
        try {
            stepTable.ReadRows(TheTraceTypes().step.Get(), start, n, block.data());
            return true;
        } catch (const h5::Failure& f) {
            block.clear();
            blockError = f.what;
            return false;
        }
    }

    // The row of a step already found whole, from the block it is in.
    bool Row(std::size_t index, StepRow& row) {
        if (index < blockStart || index - blockStart >= block.size()) {
            const hsize_t start = index / kBlockRows * kBlockRows;
            if (!ReadBlock(start, std::min<hsize_t>(kBlockRows, found - start))) return false;
        }
        row = block[index - blockStart];
        return Plausible(row);  // the same as when it was found, unless the file changed
    }

    bool Plausible(const StepRow& r) const {
        return r.step >= 0 && r.nodeCount <= nodeTable.readable &&
               r.nodeStart <= nodeTable.readable - r.nodeCount && r.linkCount <= linkTable.readable &&
               r.linkStart <= linkTable.readable - r.linkCount;
    }

    static bool Has(const TraceFrame& frame, std::int32_t id) {
        auto at = std::lower_bound(frame.nodes.begin(), frame.nodes.end(), id,
                                   [](const TraceNode& n, std::int32_t v) { return n.id < v; });
        return at != frame.nodes.end() && at->id == id;
    }

    static std::string StepText(const StepRow& s) { return "step " + std::to_string(s.step) + " "; }

    // Ends the trace before the `index`-th step: the steps from it on are not whole.
    bool Fault(std::size_t index, const std::string& why) {
        found = index;
        lastStep = -1;
        if (index > 0) {
            StepRow before{};
            if (Row(index - 1, before)) lastStep = before.step;
        }
        Stop(why, found, lastStep);
        return false;
    }

    bool unfinished = false;  // opened while its writer had it open
    h5::Handle file;
    TableReader stepTable, nodeTable, linkTable;
    std::size_t found = 0;       // the steps known whole: rows [0, found) of the table of steps
    long long lastStep = -1;     // the last of them
    std::vector<StepRow> block;  // rows [blockStart, blockStart + block.size()) of the table of steps
    hsize_t blockStart = 0;
    std::string blockError;
    std::vector<NodeRow> nodes;
    std::vector<LinkRow> links;
};

std::unique_ptr<TraceReader::Source> OpenSource(const std::string& path) {
    const std::string name = Printable(path, 400);
    std::string why;
    std::FILE* file = OpenRegularFile(path, why);
    if (!file) throw RecordError{name + ": cannot read it: " + why};
    char head[8] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    if (got == 0) {
        const bool error = std::ferror(file);
        std::fclose(file);
        throw RecordError{name +
                          (error ? ": cannot read it (is it a folder?)" : ": it is empty, not a trace")};
    }
    if (got == sizeof head && std::memcmp(head, "\x89HDF\r\n\x1a\n", sizeof head) == 0) {
        std::fclose(file);
        try {
            return std::make_unique<Hdf5Source>(path);
        } catch (const h5::Failure& f) {
            throw RecordError{name + ": " + f.what};
        }
    }
    if (head[0] != '{') {
        std::fclose(file);
        throw RecordError{name + ": neither a JSON-lines nor an HDF5 trace"};
    }
    return std::make_unique<JsonSource>(path, file);
}

}  // namespace

TraceReader::TraceReader(const std::string& path) : source(OpenSource(path)) {}

TraceReader::~TraceReader() = default;

const std::string& TraceReader::Format() const { return source->format; }

const std::string& TraceReader::ManifestJson() const { return source->manifest; }

bool TraceReader::Read(std::size_t index, TraceFrame& frame) { return source->Read(index, frame); }

std::size_t TraceReader::StepsFound() const { return source->Found(); }

bool TraceReader::Finished() const { return source->finished; }

const std::string& TraceReader::Stopped() const { return source->stopped; }

TraceContents ReadTrace(const std::string& path) {
    TraceReader reader(path);
    TraceContents contents;
    contents.format = reader.Format();
    contents.manifestJson = reader.ManifestJson();
    TraceFrame frame;
    while (reader.Read(contents.frames.size(), frame)) contents.frames.push_back(frame);
    contents.stopped = reader.Stopped();
    return contents;
}

}  // namespace qm::record
