#include "record/TraceWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "base/Diagnostics.h"
#include "base/RegularFile.h"
#include "record/Manifest.h"
#include "record/RecordError.h"
#include "record/TraceHdf5.h"
#include "record/TraceJson.h"
#include "world/NodeManager.h"

namespace qm::record {
namespace {

hid_t NativeType(ColumnType type) {
    switch (type) {
        case ColumnType::kInt32:
            return H5T_NATIVE_INT32;
        case ColumnType::kUInt8:
            return H5T_NATIVE_UINT8;
        case ColumnType::kFloat32:
            return H5T_NATIVE_FLOAT;
        case ColumnType::kFloat64:
            return H5T_NATIVE_DOUBLE;
    }
    return H5T_NATIVE_INT32;
}

}  // namespace

TraceTypes::TraceTypes() {
    step.Add("step", offsetof(StepRow, step), H5T_NATIVE_INT64)
        .Add("node_start", offsetof(StepRow, nodeStart), H5T_NATIVE_UINT64)
        .Add("node_count", offsetof(StepRow, nodeCount), H5T_NATIVE_UINT64)
        .Add("link_start", offsetof(StepRow, linkStart), H5T_NATIVE_UINT64)
        .Add("link_count", offsetof(StepRow, linkCount), H5T_NATIVE_UINT64);
    node.Add("step", offsetof(NodeRow, step), H5T_NATIVE_INT64);
    nodeV1.Add("step", offsetof(NodeRow, step), H5T_NATIVE_INT64);
    for (const NodeColumn& column : NodeColumns()) {
        const std::size_t size = ColumnSize(column.type);
        for (std::size_t i = 0; i < column.names.size(); ++i) {
            const std::size_t at = column.offset + i * size;
            node.Add(column.names[i], at, NativeType(column.type));
            if (column.sinceFormat <= 1) nodeV1.Add(column.names[i], at, NativeType(column.type));
        }
    }
    link.Add("step", offsetof(LinkRow, step), H5T_NATIVE_INT64)
        .Add("a", offsetof(LinkRow, a), H5T_NATIVE_INT32)
        .Add("b", offsetof(LinkRow, b), H5T_NATIVE_INT32);
}

const TraceTypes& TheTraceTypes() {
    h5::Quiet();
    static const TraceTypes types;
    return types;
}

bool IsHdf5Name(const std::string& path) {
    return path.size() > 3 && path.compare(path.size() - 3, 3, ".h5") == 0;
}

namespace {

// A trace that the system refuses to write is named with the system's reason
// ("No space left on device"); any other failure with HDF5's.
RecordError Failed(const std::string& path, const h5::Failure& f) {
    if (f.systemError != 0) {
        return RecordError{Printable(path, 400) +
                           ": cannot write the trace: " + std::strerror(f.systemError)};
    }
    return RecordError{Printable(path, 400) + ": " + Printable(f.what, 400)};
}

class JsonTraceWriter final : public TraceWriter {
  public:
    JsonTraceWriter(std::FILE* file, bool owned, std::string name)
        : file(file), owned(owned), name(std::move(name)) {}
    ~JsonTraceWriter() override {
        if (owned && file) std::fclose(file);
    }
    JsonTraceWriter(const JsonTraceWriter&) = delete;
    JsonTraceWriter& operator=(const JsonTraceWriter&) = delete;

    void Header(const TraceHeader& header) {
        line.Clear();
        line.Raw("{\"manifest\":").Raw(header.manifestJson.c_str());
        if (!header.resumedFrom.empty()) {
            line.Raw(",\"resumed_from\":{\"checkpoint\":").Raw(JsonString(header.resumedFrom).c_str());
            line.Raw(",\"step\":").Int(header.resumedStep).Raw("}");
        }
        line.Raw("}\n");
        Put();
    }
    void Write(long long step, const NodeManager& world) override {
        line.Clear();
        AppendTraceLine(line, step, world);
        Put();
    }
    void Flush() override {
        if (std::fflush(file) != 0 || std::ferror(file)) Fail();
    }
    void Close() override {
        if (broken) return;
        Flush();
        if (!owned) return;
        std::FILE* closing = file;
        file = nullptr;
        if (std::fclose(closing) != 0) Fail();
    }

  private:
    void Put() {
        if (std::fwrite(line.Text().data(), 1, line.Text().size(), file) != line.Text().size()) Fail();
    }
    [[noreturn]] void Fail() {
        broken = true;
        throw RecordError{Printable(name, 400) + ": cannot write the trace: " + std::strerror(errno)};
    }

    std::FILE* file;
    bool owned;
    std::string name;
    JsonOut line;
    bool broken = false;
};

// One growing table of the HDF5 trace.
class Table {
  public:
    Table(hid_t file, const char* name, hid_t type, hsize_t chunkRows) : type(type), name(name) {
        const hsize_t dims[1] = {0};
        const hsize_t maxDims[1] = {H5S_UNLIMITED};
        h5::Handle space = h5::Check(H5Screate_simple(1, dims, maxDims), "cannot make a dataspace");
        h5::Handle create = h5::ObjectCreation(H5P_DATASET_CREATE);
        const hsize_t chunk[1] = {chunkRows};
        h5::Check(H5Pset_chunk(create.Get(), 1, chunk), "cannot set the chunks");
        h5::Check(H5Pset_fletcher32(create.Get()), "cannot set the checksums");
        h5::Check(H5Pset_shuffle(create.Get()), "cannot set the compression");
        h5::Check(H5Pset_deflate(create.Get(), 4), "cannot set the compression");
        // The last chunk is written to a little at every step: keep a few whole in memory.
        h5::Handle access = h5::Check(H5Pcreate(H5P_DATASET_ACCESS), "cannot make a property list");
        h5::Check(H5Pset_chunk_cache(access.Get(), 521, 16u << 20, 1.0), "cannot set the chunk cache");
        dataset =
            h5::Check(H5Dcreate2(file, name, type, space.Get(), H5P_DEFAULT, create.Get(), access.Get()),
                      std::string("cannot create the table ") + name);
    }

    std::uint64_t Rows() const { return rows; }
    void Close() { dataset.Close(std::string("cannot write the table ") + name); }
    void Abandon() { dataset.Abandon(); }

    void Append(const void* data, std::size_t count) {
        if (count == 0) return;
        const hsize_t grown[1] = {rows + count};
        h5::Check(H5Dset_extent(dataset.Get(), grown), std::string("cannot grow the table ") + name);
        h5::Handle fileSpace = h5::Check(H5Dget_space(dataset.Get()), "cannot select rows");
        const hsize_t start[1] = {rows};
        const hsize_t n[1] = {count};
        h5::Check(H5Sselect_hyperslab(fileSpace.Get(), H5S_SELECT_SET, start, nullptr, n, nullptr),
                  "cannot select rows");
        h5::Handle memory = h5::Check(H5Screate_simple(1, n, nullptr), "cannot make a dataspace");
        h5::Check(H5Dwrite(dataset.Get(), type, memory.Get(), fileSpace.Get(), H5P_DEFAULT, data),
                  std::string("cannot write the table ") + name);
        rows += count;
    }

  private:
    h5::Handle dataset;
    hid_t type;
    const char* name;
    std::uint64_t rows = 0;
};

class Hdf5TraceWriter final : public TraceWriter {
  public:
    Hdf5TraceWriter(const std::string& path, const TraceHeader& header)
        : Hdf5TraceWriter(path, path, header) {}
    // Writes the file at `path`, named `shown` in messages.
    Hdf5TraceWriter(const std::string& path, const std::string& shown, const TraceHeader& header) try
        : name(shown),
          file(h5::CreateFile(path, 0)),
          steps(file.Get(), "steps", TheTraceTypes().step.Get(), 1024),
          nodes(file.Get(), "nodes", TheTraceTypes().node.Get(), 2048),
          links(file.Get(), "links", TheTraceTypes().link.Get(), 8192) {
        h5::WriteString(file.Get(), "format", kTraceFormatName);
        h5::WriteInt(file.Get(), "format_version", kTraceFormat);
        h5::WriteString(file.Get(), "manifest", header.manifestJson);
        if (!header.resumedFrom.empty()) {
            h5::WriteString(file.Get(), "resumed_from", header.resumedFrom);
            h5::WriteInt(file.Get(), "resumed_step", header.resumedStep);
        }
        // From here on the file only grows, in HDF5's single-writer mode: what
        // a flush wrote stays readable, also while the run goes on and after it
        // was killed (the readers open such a file in the matching mode).
        h5::Check(H5Fstart_swmr_write(file.Get()), "cannot start writing the tables");
        Flush();
    } catch (const h5::Failure& f) {
        throw Failed(path, f);
    }
    // After a failed write, closing would write the file's end and its closed
    // state over what the last flush left: the file stays as a run killed then
    // leaves it, readable up to that flush.
    ~Hdf5TraceWriter() override {
        if (!broken) return;
        steps.Abandon();
        nodes.Abandon();
        links.Abandon();
        file.Abandon();
    }

    void Write(long long step, const NodeManager& world) override {
        try {
            nodeRows.clear();
            for (const auto& [id, node] : world.NodeMap()) nodeRows.push_back(NodeRowOf(step, *node));
            linkRows.clear();
            for (const auto& [pair, one] : world.Links().Pairs()) {
                linkRows.push_back({step, pair.first->id, pair.second->id});
            }
            const StepRow row{step, nodes.Rows(), nodeRows.size(), links.Rows(), linkRows.size()};
            nodes.Append(nodeRows.data(), nodeRows.size());
            links.Append(linkRows.data(), linkRows.size());
            steps.Append(&row, 1);  // last: a step in this table is whole
            const auto now = std::chrono::steady_clock::now();
            if (now - lastFlush >= std::chrono::seconds(1)) Flush();
        } catch (const h5::Failure& f) {
            broken = true;
            throw Failed(name, f);
        }
    }

    // Takes the first rows of each table of the trace `from` (as kept).
    void CopyRows(hid_t from, const TraceContinuation& kept) {
        try {
            CopyTable<StepRow>(from, "steps", TheTraceTypes().step.Get(), kept.steps, steps);
            CopyTable<NodeRow>(from, "nodes", TheTraceTypes().node.Get(), kept.nodes, nodes);
            CopyTable<LinkRow>(from, "links", TheTraceTypes().link.Get(), kept.links, links);
        } catch (const h5::Failure& f) {
            broken = true;
            throw Failed(name, f);
        }
    }

    void Flush() override {
        try {
            h5::Check(H5Fflush(file.Get(), H5F_SCOPE_LOCAL), "cannot write the trace");
        } catch (const h5::Failure& f) {
            broken = true;
            throw Failed(name, f);
        }
        lastFlush = std::chrono::steady_clock::now();
    }

    void Close() override {
        if (broken) return;
        try {
            steps.Close();
            nodes.Close();
            links.Close();
            file.Close("cannot write the trace");
        } catch (const h5::Failure& f) {
            broken = true;
            throw Failed(name, f);
        }
    }

  private:
    template <class Row>
    static void CopyTable(hid_t from, const char* table, hid_t type, std::uint64_t count, Table& to) {
        h5::Handle dataset =
            h5::Check(H5Dopen2(from, table, H5P_DEFAULT), std::string("cannot open the table ") + table);
        std::vector<Row> rows;
        constexpr std::uint64_t kBlock = 16384;
        for (std::uint64_t at = 0; at < count; at += kBlock) {
            const hsize_t n[1] = {std::min(kBlock, count - at)};
            const hsize_t start[1] = {at};
            rows.resize(n[0]);
            h5::Handle space = h5::Check(H5Dget_space(dataset.Get()), "cannot select rows");
            h5::Check(H5Sselect_hyperslab(space.Get(), H5S_SELECT_SET, start, nullptr, n, nullptr),
                      "cannot select rows");
            h5::Handle memory = h5::Check(H5Screate_simple(1, n, nullptr), "cannot select rows");
            h5::Check(H5Dread(dataset.Get(), type, memory.Get(), space.Get(), H5P_DEFAULT, rows.data()),
                      std::string("cannot read the table ") + table);
            to.Append(rows.data(), rows.size());
        }
    }

    std::string name;
    h5::Handle file;
    Table steps, nodes, links;
    std::vector<NodeRow> nodeRows;
    std::vector<LinkRow> linkRows;
    std::chrono::steady_clock::time_point lastFlush;
    bool broken = false;
};

// An HDF5 trace as its run left it: closed, or still marked open by a run
// that was killed.
h5::Handle OpenWritten(const std::string& path) {
    try {
        return h5::OpenFile(path);
    } catch (const h5::Failure& f) {
        if (f.what.find("already open for write") == std::string::npos) throw;
        return h5::OpenFile(path, true);
    }
}

std::int64_t Rows(hid_t file, const char* table) {
    if (!h5::Exists(file, table)) throw h5::Failure{std::string("it has no table '") + table + "'"};
    h5::Handle dataset =
        h5::Check(H5Dopen2(file, table, H5P_DEFAULT), std::string("cannot open its table ") + table);
    h5::Handle space = h5::Check(H5Dget_space(dataset.Get()), "cannot read a table's size");
    hsize_t dims[1] = {0};
    if (H5Sget_simple_extent_ndims(space.Get()) != 1)
        throw h5::Failure{std::string("its table ") + table + " is not a list"};
    h5::Check(H5Sget_simple_extent_dims(space.Get(), dims, nullptr), "cannot read a table's size");
    return static_cast<std::int64_t>(dims[0]);
}

// The run's step a line of a JSON trace records ({"step":N,...), or -1.
long long StepOfLine(const std::string& line) {
    constexpr const char* kStart = "{\"step\":";
    if (line.rfind(kStart, 0) != 0) return -1;
    char* end = nullptr;
    const long long step = std::strtoll(line.c_str() + std::strlen(kStart), &end, 10);
    return end && *end == ',' ? step : -1;
}

}  // namespace

TraceContinuation CheckTraceToContinue(const std::string& path, const std::string& manifestJson,
                                       long long step, int traceEvery) {
    const std::string name = Printable(path, 400);
    TraceContinuation kept;
    kept.path = path;
    kept.hdf5 = IsHdf5Name(path);
    const long long last = step - step % traceEvery;  // the last step recorded up to the checkpoint
    auto sameRun = [&](const std::string& json) {
        if (RunIdentity(json) != RunIdentity(manifestJson)) {
            throw RecordError{name + ": the trace of another run (" + RunIdentity(json) +
                              "), not of this one (" + RunIdentity(manifestJson) + ")"};
        }
        if (TraceEveryOf(json) != traceEvery) {
            throw RecordError{name + ": recorded every " + std::to_string(TraceEveryOf(json)) +
                              " steps, not every " + std::to_string(traceEvery) + " (--trace-every)"};
        }
    };
    auto ends = [&](long long found) {
        if (found != last) {
            throw RecordError{name + ": it holds recorded steps up to " + std::to_string(found) +
                              ", not up to " + std::to_string(last) + " (the checkpoint's step is " +
                              std::to_string(step) + ")"};
        }
    };
    if (!kept.hdf5) {
        if (auto why = NotRegularFile(path)) throw RecordError{name + ": cannot read it: " + *why};
        std::ifstream in(path, std::ios::binary);
        if (!in) throw RecordError{name + ": cannot read it: " + std::strerror(errno)};
        std::string line;
        if (!std::getline(in, line) || in.eof() || line.rfind("{\"manifest\":", 0) != 0) {
            throw RecordError{name + ": not a trace (its first line is no manifest)"};
        }
        sameRun(line);
        std::uint64_t at = line.size() + 1;
        kept.bytes = at;
        long long found = -1;
        while (std::getline(in, line) && !in.eof()) {  // a last line without its end is cut short
            const long long s = StepOfLine(line);
            if (s < 0 || s > step || s <= found) break;
            found = s;
            at += line.size() + 1;
            kept.bytes = at;
        }
        ends(found);
        kept.keepThrough = found;
        return kept;
    }
    try {
        h5::Handle file = OpenWritten(path);
        if (h5::ReadString(file.Get(), "format", 64) != kTraceFormatName)
            throw h5::Failure{"not a Quillmoth trace"};
        const std::int64_t format = h5::ReadInt(file.Get(), "format_version");
        if (format != kTraceFormat) {
            throw h5::Failure{"a trace of format " + std::to_string(format) +
                              ", which has no lineage columns; " + "this program goes on with format " +
                              std::to_string(kTraceFormat) + " only"};
        }
        kept.header.manifestJson = h5::ReadString(file.Get(), "manifest", 1 << 20);
        sameRun(kept.header.manifestJson);
        if (H5Aexists(file.Get(), "resumed_from") > 0) {
            kept.header.resumedFrom = h5::ReadString(file.Get(), "resumed_from", 1 << 16);
            kept.header.resumedStep = h5::ReadInt(file.Get(), "resumed_step");
        }
        const std::int64_t stepRows = Rows(file.Get(), "steps");
        h5::Handle table =
            h5::Check(H5Dopen2(file.Get(), "steps", H5P_DEFAULT), "cannot open its table steps");
        std::vector<StepRow> rows(static_cast<std::size_t>(stepRows));
        if (stepRows > 0) {
            h5::Check(
                H5Dread(table.Get(), TheTraceTypes().step.Get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, rows.data()),
                "cannot read its table steps");
        }
        long long found = -1;
        for (const StepRow& r : rows) {
            if (r.step > step || r.step <= found) break;
            found = r.step;
            ++kept.steps;
            kept.nodes = r.nodeStart + r.nodeCount;
            kept.links = r.linkStart + r.linkCount;
        }
        if (static_cast<std::uint64_t>(Rows(file.Get(), "nodes")) < kept.nodes ||
            static_cast<std::uint64_t>(Rows(file.Get(), "links")) < kept.links) {
            throw h5::Failure{"its tables hold fewer rows than its steps list"};
        }
        ends(found);
        kept.keepThrough = found;
    } catch (const h5::Failure& f) {
        throw RecordError{name + ": " + f.what};
    }
    return kept;
}

std::unique_ptr<TraceWriter> ContinueTraceWriter(const TraceContinuation& kept) {
    const std::string name = Printable(kept.path, 400);
    if (!kept.hdf5) {
        if (truncate(kept.path.c_str(), static_cast<off_t>(kept.bytes)) != 0) {
            throw RecordError{name + ": cannot write the trace: " + std::strerror(errno)};
        }
        std::FILE* file = std::fopen(kept.path.c_str(), "a");
        if (!file) throw RecordError{name + ": cannot write the trace: " + std::strerror(errno)};
        return std::make_unique<JsonTraceWriter>(file, true, kept.path);
    }
    // The copy takes the trace's name only once it holds every kept step: a
    // run killed before then leaves the trace as it was.
    std::string temporary = kept.path + ".append-XXXXXX";
    const int made = mkstemp(temporary.data());
    if (made < 0) throw RecordError{name + ": cannot write the trace: " + std::strerror(errno)};
    // mkstemp makes the file private; a trace is an ordinary file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(made, 0666 & ~mask);
    close(made);
    try {
        auto writer = std::make_unique<Hdf5TraceWriter>(temporary, kept.path, kept.header);
        {
            h5::Handle from = OpenWritten(kept.path);
            writer->CopyRows(from.Get(), kept);
        }
        writer->Flush();
        std::string why;
        if (!ReplaceWith(temporary, kept.path, why))
            throw RecordError{name + ": cannot write the trace: " + why};
        return writer;
    } catch (const h5::Failure& f) {
        std::remove(temporary.c_str());
        throw Failed(kept.path, f);
    } catch (...) {
        std::remove(temporary.c_str());
        throw;
    }
}

std::unique_ptr<TraceWriter> OpenTraceWriter(const std::string& path, const TraceHeader& header,
                                             std::FILE* standardOut) {
    if (IsHdf5Name(path)) return std::make_unique<Hdf5TraceWriter>(path, header);
    std::unique_ptr<JsonTraceWriter> writer;
    if (path == "-") {
        writer = std::make_unique<JsonTraceWriter>(standardOut, false, "standard output");
    } else {
        std::FILE* file = std::fopen(path.c_str(), "w");
        if (!file)
            throw RecordError{Printable(path, 400) + ": cannot write the trace: " + std::strerror(errno)};
        writer = std::make_unique<JsonTraceWriter>(file, true, path);
    }
    writer->Header(header);
    return writer;
}

}  // namespace qm::record
