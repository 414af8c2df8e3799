#include "record/TraceWriter.h"

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <vector>

#include "base/Diagnostics.h"
#include "record/Manifest.h"
#include "record/RecordError.h"
#include "record/TraceHdf5.h"
#include "record/TraceJson.h"
#include "world/NodeManager.h"

namespace qm::record {

TraceTypes::TraceTypes() {
    step.Add("step", offsetof(StepRow, step), H5T_NATIVE_INT64)
        .Add("node_start", offsetof(StepRow, nodeStart), H5T_NATIVE_UINT64)
        .Add("node_count", offsetof(StepRow, nodeCount), H5T_NATIVE_UINT64)
        .Add("link_start", offsetof(StepRow, linkStart), H5T_NATIVE_UINT64)
        .Add("link_count", offsetof(StepRow, linkCount), H5T_NATIVE_UINT64);
    node.Add("step", offsetof(NodeRow, step), H5T_NATIVE_INT64)
        .Add("id", offsetof(NodeRow, id), H5T_NATIVE_INT32)
        .Add("x", offsetof(NodeRow, x), H5T_NATIVE_FLOAT)
        .Add("y", offsetof(NodeRow, y), H5T_NATIVE_FLOAT)
        .Add("z", offsetof(NodeRow, z), H5T_NATIVE_FLOAT)
        .Add("vx", offsetof(NodeRow, vx), H5T_NATIVE_FLOAT)
        .Add("vy", offsetof(NodeRow, vy), H5T_NATIVE_FLOAT)
        .Add("vz", offsetof(NodeRow, vz), H5T_NATIVE_FLOAT);
    static const char* const kP[] = {"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9"};
    static const char* const kD[] = {"d0", "d1", "d2", "d3", "d4", "d5", "d6", "d7", "d8", "d9"};
    for (std::size_t i = 0; i < 10; ++i)
        node.Add(kP[i], offsetof(NodeRow, p) + i * sizeof(double), H5T_NATIVE_DOUBLE);
    for (std::size_t i = 0; i < 10; ++i)
        node.Add(kD[i], offsetof(NodeRow, d) + i * sizeof(double), H5T_NATIVE_DOUBLE);
    node.Add("edges", offsetof(NodeRow, edges), H5T_NATIVE_INT32)
        .Add("request", offsetof(NodeRow, request), H5T_NATIVE_INT32)
        .Add("ground", offsetof(NodeRow, ground), H5T_NATIVE_UINT8)
        .Add("edge_length", offsetof(NodeRow, edgeLength), H5T_NATIVE_DOUBLE)
        .Add("r", offsetof(NodeRow, r), H5T_NATIVE_FLOAT)
        .Add("g", offsetof(NodeRow, g), H5T_NATIVE_FLOAT)
        .Add("b", offsetof(NodeRow, b), H5T_NATIVE_FLOAT);
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
    Hdf5TraceWriter(const std::string& path, const TraceHeader& header) try
        : name(path),
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
            for (const auto& [id, node] : world.NodeMap()) nodeRows.push_back(RowOf(step, *node));
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
    static NodeRow RowOf(long long step, const TNode& n) {
        NodeRow r{};
        r.step = step;
        r.id = n.id;
        r.edges = n.edgeCount;
        r.request = n.request;
        r.ground = n.onGround ? 1 : 0;
        r.x = n.pos.x;
        r.y = n.pos.y;
        r.z = n.pos.z;
        r.vx = n.vel.x;
        r.vy = n.vel.y;
        r.vz = n.vel.z;
        for (int i = 0; i < paramCount; ++i) {
            r.p[i] = n.param[static_cast<std::size_t>(i)];
            r.d[i] = n.diffRate[static_cast<std::size_t>(i)];
        }
        r.edgeLength = n.edgeLength;
        r.r = n.material.Diffuse.r;
        r.g = n.material.Diffuse.g;
        r.b = n.material.Diffuse.b;
        return r;
    }

    std::string name;
    h5::Handle file;
    Table steps, nodes, links;
    std::vector<NodeRow> nodeRows;
    std::vector<LinkRow> linkRows;
    std::chrono::steady_clock::time_point lastFlush;
    bool broken = false;
};

}  // namespace

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
