#include "record/RunCheckpoint.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "base/Diagnostics.h"
#include "base/RegularFile.h"
#include "gp/GeneLimits.h"
#include "record/FileDescriptor.h"
#include "record/Hdf5.h"
#include "record/NodeFields.h"
#include "record/RunStateGuard.h"
#include "record/Sha256.h"

namespace qm::record {
namespace {

constexpr const char* kMagic = "QUILLMOTH CHECKPOINT\n";
constexpr const char* kHdf5Signature = "\x89HDF\r\n\x1a\n";
constexpr const char* kFormatName = "quillmoth-checkpoint";
// What a checkpoint being written is called: its name and this, then six letters.
constexpr const char* kPartial = ".partial-";
constexpr std::size_t kMaxIds = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kMaxText = 1 << 16;

// The file's type of a node field's values.
template <class T>
hid_t NativeType() {
    if constexpr (std::is_same_v<T, std::int32_t>) {
        return H5T_NATIVE_INT32;
    } else if constexpr (std::is_same_v<T, std::uint8_t>) {
        return H5T_NATIVE_UINT8;
    } else if constexpr (std::is_same_v<T, float>) {
        return H5T_NATIVE_FLOAT;
    } else if constexpr (std::is_same_v<T, double>) {
        return H5T_NATIVE_DOUBLE;
    } else {
        static_assert(sizeof(T) == 0, "a node field of a type the checkpoint has no HDF5 type for");
    }
}

// The file's types of the tables, built once; the nodes' from their list of fields.
struct Types {
    h5::Compound node{sizeof(NodeRecord)};
    h5::Compound cell{sizeof(CellRecord)};
    h5::Compound element{sizeof(ElementRecord)};

    Types() {
        ForEachNodeField([&]<class F, class N>(const char* name, F NodeRecord::*field, N, NodeFieldUse) {
            if constexpr (std::is_array_v<F>) {
                node.AddArray(name, NodeFieldOffset(field), NativeType<std::remove_extent_t<F>>(),
                              std::extent_v<F>);
            } else {
                node.Add(name, NodeFieldOffset(field), NativeType<F>());
            }
        });
        cell.Add("ix", offsetof(CellRecord, ix), H5T_NATIVE_INT32)
            .Add("iy", offsetof(CellRecord, iy), H5T_NATIVE_INT32)
            .Add("iz", offsetof(CellRecord, iz), H5T_NATIVE_INT32)
            .Add("count", offsetof(CellRecord, count), H5T_NATIVE_UINT32);
        element.Add("kind", offsetof(ElementRecord, kind), H5T_NATIVE_INT32)
            .Add("index", offsetof(ElementRecord, index), H5T_NATIVE_INT32)
            .Add("value", offsetof(ElementRecord, value), H5T_NATIVE_DOUBLE);
    }
};

const Types& TheTypes() {
    h5::Quiet();
    static const Types types;
    return types;
}

void WriteVector(hid_t parent, const char* name, const Vector3& v) {
    const float values[3] = {v.x, v.y, v.z};
    h5::WriteFloats(parent, name, values, 3);
}

Vector3 ReadVector(hid_t parent, const char* name) {
    float v[3];
    h5::ReadFloats(parent, name, v, 3);
    return {v[0], v[1], v[2]};
}

void WriteManifest(hid_t file, const Manifest& m) {
    h5::WriteString(file, "manifest", m.Json());
    h5::Handle g = h5::CreateGroup(file, "manifest");
    h5::WriteString(g.Get(), "program", m.program);
    h5::WriteString(g.Get(), "version", m.version);
    h5::WriteString(g.Get(), "gene_file", m.geneFile);
    h5::WriteString(g.Get(), "gene_sha256", m.geneSha256);
    h5::WriteInt(g.Get(), "seed", m.seed);
    h5::WriteInt(g.Get(), "steps", m.steps);
    WriteVector(g.Get(), "goal", m.goal);
    h5::WriteInt(g.Get(), "max_nodes", m.maxNodes);
    h5::WriteInt(g.Get(), "trace_every", m.traceEvery);
    h5::WriteInt(g.Get(), "physics_override", m.physicsOverride ? 1 : 0);
}

void WritePhysics(hid_t parent, const Physics& physics) {
    h5::Handle g = h5::CreateGroup(parent, "physics");
    ForEachPhysicsKey([&](const char* key, auto member, double, double) {
        h5::WriteDouble(g.Get(), key, static_cast<double>(physics.*member));
    });
}

Physics ReadPhysics(hid_t parent) {
    h5::Handle g = h5::OpenGroup(parent, "physics");
    Physics physics;
    ForEachPhysicsKey([&](const char* key, auto member, double, double) {
        using T = std::remove_reference_t<decltype(physics.*member)>;
        physics.*member = static_cast<T>(h5::ReadDouble(g.Get(), key));
    });
    const std::string fault = PhysicsFault(physics);
    if (!fault.empty()) throw h5::Failure{"its physics is unsound: " + fault};
    return physics;
}

void WriteState(hid_t file, const RunState& s) {
    const Types& types = TheTypes();
    h5::WriteString(file, "format", kFormatName);
    h5::WriteInt(file, "format_version", kCheckpointFormat);
    WriteManifest(file, s.manifest);

    h5::Handle run = h5::CreateGroup(file, "run");
    h5::WriteInt(run.Get(), "step", s.step);
    h5::WriteInt(run.Get(), "random_state", s.randomState);
    h5::WriteInt(run.Get(), "next_node_id", s.nextNodeId);
    h5::WriteFloats(run.Get(), "closest", &s.closest, 1);

    h5::Handle driver = h5::CreateGroup(file, "driver");
    h5::WriteString(driver.Get(), "file_name", s.driver.fileName);
    h5::WriteString(driver.Get(), "reset_name", s.driver.resetName);
    h5::WriteInt(driver.Get(), "has_goal", s.driver.goal ? 1 : 0);
    WriteVector(driver.Get(), "goal", s.driver.goal.value_or(Vector3{}));
    h5::WriteInt(driver.Get(), "node_limit", s.driver.nodeLimit.value_or(-1));
    std::vector<ElementRecord> gene;
    for (const GeneElement& e : s.driver.gene) gene.push_back({e.kind, e.index, e.value});
    h5::WriteArray(driver.Get(), "gene", types.element.Get(), gene.data(), gene.size());
    h5::WriteArray(driver.Get(), "gene_source", H5T_NATIVE_UINT8, s.geneSource.data(), s.geneSource.size());
    WritePhysics(driver.Get(), s.driver.physics);

    h5::Handle world = h5::CreateGroup(file, "world");
    h5::WriteInt(world.Get(), "running", s.running ? 1 : 0);
    h5::WriteInt(world.Get(), "selected", s.selected);
    WriteVector(world.Get(), "centroid", s.centroid);
    WriteVector(world.Get(), "goal", s.goal);
    h5::WriteInt(world.Get(), "node_limit", s.nodeLimit);
    h5::WriteArray(world.Get(), "nodes", types.node.Get(), s.nodes.data(), s.nodes.size());
    h5::WriteArray(world.Get(), "partners", H5T_NATIVE_INT32, s.partners.data(), s.partners.size());
    h5::WriteArray(world.Get(), "cells", types.cell.Get(), s.cells.data(), s.cells.size());
    h5::WriteArray(world.Get(), "cell_nodes", H5T_NATIVE_INT32, s.cellNodes.data(), s.cellNodes.size());
    h5::WriteArray(world.Get(), "dying", H5T_NATIVE_INT32, s.dying.data(), s.dying.size());
    h5::WriteArray(world.Get(), "gene_starts", H5T_NATIVE_UINT64, s.geneStarts.data(), s.geneStarts.size());
    h5::WriteArray(world.Get(), "gene_elements", types.element.Get(), s.geneElements.data(),
                   s.geneElements.size());
    h5::WriteArray(world.Get(), "parents", H5T_NATIVE_INT32, s.parents.data(), s.parents.size());
    h5::WriteArray(world.Get(), "births", H5T_NATIVE_INT32, s.births.data(), s.births.size());
}

std::int64_t ReadIntIn(hid_t object, const char* name, std::int64_t low, std::int64_t high) {
    const std::int64_t v = h5::ReadInt(object, name);
    if (v < low || v > high) {
        throw h5::Failure{std::string("its attribute '") + name + "' is out of range (" + std::to_string(v) +
                          ")"};
    }
    return v;
}

Manifest ReadManifest(hid_t file) {
    h5::Handle g = h5::OpenGroup(file, "manifest");
    Manifest m;
    m.program = h5::ReadString(g.Get(), "program", kMaxText);
    m.version = h5::ReadString(g.Get(), "version", kMaxText);
    m.geneFile = h5::ReadString(g.Get(), "gene_file", kMaxText);
    m.geneSha256 = h5::ReadString(g.Get(), "gene_sha256", kMaxText);
    m.seed =
        static_cast<std::uint32_t>(ReadIntIn(g.Get(), "seed", 0, std::numeric_limits<std::uint32_t>::max()));
    m.steps = ReadIntIn(g.Get(), "steps", 0, std::numeric_limits<std::int64_t>::max());
    m.goal = ReadVector(g.Get(), "goal");
    m.maxNodes = static_cast<int>(ReadIntIn(g.Get(), "max_nodes", 1, std::numeric_limits<int>::max()));
    m.traceEvery = static_cast<int>(ReadIntIn(g.Get(), "trace_every", 1, std::numeric_limits<int>::max()));
    return m;
}

RunState ReadState(hid_t file, int headerFormat) {
    const Types& types = TheTypes();
    if (h5::ReadString(file, "format", kMaxText) != kFormatName)
        throw h5::Failure{"not a Quillmoth checkpoint"};
    const std::int64_t version = h5::ReadInt(file, "format_version");
    if (version != headerFormat) {
        throw h5::Failure{"damaged: its header says format " + std::to_string(headerFormat) +
                          ", its contents format " + std::to_string(version)};
    }
    RunState s;
    s.manifest = ReadManifest(file);
    if (version >= 2)
        s.manifest.physicsOverride =
            ReadIntIn(h5::OpenGroup(file, "manifest").Get(), "physics_override", 0, 1) != 0;

    h5::Handle run = h5::OpenGroup(file, "run");
    s.step = ReadIntIn(run.Get(), "step", 0, std::numeric_limits<std::int64_t>::max());
    s.randomState = static_cast<std::uint32_t>(
        ReadIntIn(run.Get(), "random_state", 0, std::numeric_limits<std::uint32_t>::max()));
    s.nextNodeId = static_cast<std::int32_t>(ReadIntIn(run.Get(), "next_node_id", 0, kMaxIds));

    h5::Handle driver = h5::OpenGroup(file, "driver");
    s.driver.fileName = h5::ReadString(driver.Get(), "file_name", kMaxText);
    s.driver.resetName = h5::ReadString(driver.Get(), "reset_name", kMaxText);
    if (ReadIntIn(driver.Get(), "has_goal", 0, 1)) s.driver.goal = ReadVector(driver.Get(), "goal");
    const std::int64_t limit = ReadIntIn(driver.Get(), "node_limit", -1, kMaxIds);
    if (limit != -1) s.driver.nodeLimit = static_cast<int>(limit);
    for (const ElementRecord& e : h5::ReadArray<ElementRecord>(driver.Get(), "gene", types.element.Get(),
                                                               static_cast<std::size_t>(kMaxGeneElements))) {
        s.driver.gene.push_back({e.kind, e.index, e.value});
    }
    std::vector<char> source =
        h5::ReadArray<char>(driver.Get(), "gene_source", H5T_NATIVE_UINT8, kMaxGeneFileBytes);
    s.geneSource.assign(source.begin(), source.end());
    if (version >= 2) s.driver.physics = ReadPhysics(driver.Get());
    s.manifest.physics = s.driver.physics;

    h5::Handle world = h5::OpenGroup(file, "world");
    s.running = ReadIntIn(world.Get(), "running", 0, 1) != 0;
    s.selected = static_cast<std::int32_t>(ReadIntIn(world.Get(), "selected", -1, kMaxIds));
    s.centroid = ReadVector(world.Get(), "centroid");
    s.goal = ReadVector(world.Get(), "goal");
    s.nodeLimit = static_cast<std::int32_t>(ReadIntIn(world.Get(), "node_limit", 1, kMaxIds));
    // Each table is bounded by what the ones read before it allow (ids below
    // the counter, links as the nodes count them, ...) before it is allocated.
    s.nodes = h5::ReadArray<NodeRecord>(world.Get(), "nodes", types.node.Get(),
                                        static_cast<std::size_t>(s.nextNodeId));
    const std::size_t nodes = s.nodes.size();
    s.partners =
        h5::ReadArray<std::int32_t>(world.Get(), "partners", H5T_NATIVE_INT32, PartnerEntries(s.nodes));
    s.cells = h5::ReadArray<CellRecord>(world.Get(), "cells", types.cell.Get(), nodes);
    s.cellNodes = h5::ReadArray<std::int32_t>(world.Get(), "cell_nodes", H5T_NATIVE_INT32, nodes);
    s.dying = h5::ReadArray<std::int32_t>(world.Get(), "dying", H5T_NATIVE_INT32, nodes);
    s.geneStarts = h5::ReadArray<std::uint64_t>(world.Get(), "gene_starts", H5T_NATIVE_UINT64, nodes + 1);
    s.geneElements = h5::ReadArray<ElementRecord>(
        world.Get(), "gene_elements", types.element.Get(),
        (std::max<std::size_t>(s.geneStarts.size(), 1) - 1) * static_cast<std::size_t>(kMaxGeneElements));
    if (version >= 2) {
        h5::ReadFloats(run.Get(), "closest", &s.closest, 1);
        if (!(s.closest >= 0.0f)) throw h5::Failure{"its attribute 'closest' is out of range"};
        s.parents = h5::ReadArray<std::int32_t>(world.Get(), "parents", H5T_NATIVE_INT32, nodes);
        s.births = h5::ReadArray<std::int32_t>(world.Get(), "births", H5T_NATIVE_INT32, nodes);
    }
    return s;
}

std::string Header(std::uint64_t bytes, const std::string& sha) {
    std::string header = std::string(kMagic) + "format " + std::to_string(kCheckpointFormat) + "\nbytes " +
                         std::to_string(bytes) + "\nsha256 " + sha + "\n";
    header.resize(kCheckpointHeaderBytes, '\0');
    return header;
}

// The SHA-256 of the file from `from` to its end, and its size.
std::string HashFrom(int fd, std::uint64_t from, std::uint64_t& size) {
    Sha256 sha;
    std::vector<char> piece(1 << 20);
    std::uint64_t at = from;
    for (;;) {
        const ssize_t got = pread(fd, piece.data(), piece.size(), static_cast<off_t>(at));
        if (got < 0) throw h5::Failure{std::string("cannot read it: ") + std::strerror(errno)};
        if (got == 0) break;
        sha.Update(piece.data(), static_cast<std::size_t>(got));
        at += static_cast<std::uint64_t>(got);
    }
    size = at;
    return sha.FinishHex();
}

// The value of "key VALUE" on its line of the header, or "".
std::string HeaderField(const std::string& header, const std::string& key) {
    const std::string start = "\n" + key + " ";
    const std::size_t at = header.find(start);
    if (at == std::string::npos) return "";
    const std::size_t from = at + start.size();
    const std::size_t end = header.find('\n', from);
    return end == std::string::npos ? "" : header.substr(from, end - from);
}

}  // namespace

std::string CheckpointName(const std::string& dir, long long step) {
    char name[40];
    std::snprintf(name, sizeof name, "step-%08lld.h5", step);
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

void WriteCheckpoint(const std::string& path, const RunState& state) {
    // Asked first too, so nothing is written beside a device or FIFO at all.
    if (auto why = CannotReplace(path))
        throw RecordError{Printable(path, 400) + ": cannot write it: " + *why};
    std::string temporary = path + kPartial + "XXXXXX";
    const int made = mkstemp(temporary.data());
    if (made < 0) throw RecordError{Printable(path, 400) + ": cannot write it: " + std::strerror(errno)};
    // mkstemp makes the file private; a checkpoint is an ordinary file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(made, 0666 & ~mask);
    close(made);
    try {
        h5::Handle file = h5::CreateFile(temporary, kCheckpointHeaderBytes);
        WriteState(file.Get(), state);
        file.Close("cannot write it");  // every byte is in the file, or the system said why not
        FileDescriptor fd(open(temporary.c_str(), O_RDWR));
        if (fd.Get() < 0) throw h5::Failure{std::string("cannot reopen it: ") + std::strerror(errno)};
        std::uint64_t size = 0;
        const std::string sha = HashFrom(fd.Get(), kCheckpointHeaderBytes, size);
        const std::string header = Header(size, sha);
        if (pwrite(fd.Get(), header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()) ||
            fsync(fd.Get()) != 0) {
            throw h5::Failure{std::string("cannot write it: ") + std::strerror(errno)};
        }
        std::string why;
        if (!ReplaceWith(temporary, path, why)) throw h5::Failure{"cannot give it its name: " + why};
    } catch (const h5::Failure& f) {
        std::remove(temporary.c_str());
        throw RecordError{Printable(path, 400) + ": " +
                          (f.systemError != 0
                               ? std::string("cannot write it: ") + std::strerror(f.systemError)
                               : Printable(f.what, 400))};
    }
}

void RemovePartialCheckpoints(const std::string& dir) {
    DIR* folder = opendir(dir.empty() ? "." : dir.c_str());
    if (!folder) return;
    const std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    const std::string tail = std::string(".h5") + kPartial;  // then the six letters mkstemp chose
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.rfind("step-", 0) == 0 && name.size() > tail.size() + 6 &&
            name.compare(name.size() - 6 - tail.size(), tail.size(), tail) == 0) {
            std::remove((prefix + name).c_str());
        }
    }
    closedir(folder);
}

RunState ReadCheckpoint(const std::string& path) {
    const std::string name = Printable(path, 400);
    auto fail = [&](const std::string& why) -> RecordError { return RecordError{name + ": " + why}; };
    if (auto why = NotRegularFile(path)) throw fail(*why);
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) throw fail(std::string("cannot read it: ") + std::strerror(errno));
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0) throw fail(std::string("cannot read it: ") + std::strerror(errno));

    std::string header(kCheckpointHeaderBytes, '\0');
    const ssize_t got = pread(fd.Get(), header.data(), header.size(), 0);
    if (got < 0) throw fail(std::string("cannot read it: ") + std::strerror(errno));
    header.resize(static_cast<std::size_t>(got));
    if (header.empty()) throw fail("it is empty, not a checkpoint");
    if (header.rfind(kMagic, 0) != 0) {
        if (header.rfind(kHdf5Signature, 0) == 0) throw fail("an HDF5 file, but not a Quillmoth checkpoint");
        if (header.size() < std::strlen(kMagic) && std::string(kMagic).rfind(header, 0) == 0 &&
            !header.empty()) {
            throw fail("cut short: it ends inside its header");
        }
        throw fail("not a Quillmoth checkpoint");
    }
    const std::string format = HeaderField(header, "format");
    int headerFormat = 0;
    for (int known = kOldestCheckpointFormat; known <= kCheckpointFormat; ++known) {
        if (format == std::to_string(known)) headerFormat = known;
    }
    if (headerFormat == 0) {
        if (format.empty()) throw fail("cut short or damaged: its header is incomplete");
        throw fail("checkpoint format " + Printable(format, 20) + "; this program reads formats " +
                   std::to_string(kOldestCheckpointFormat) + " to " + std::to_string(kCheckpointFormat));
    }
    const std::string bytesField = HeaderField(header, "bytes");
    const std::string shaField = HeaderField(header, "sha256");
    if (bytesField.empty() || shaField.size() != 64 || header.size() < kCheckpointHeaderBytes) {
        throw fail("cut short or damaged: its header is incomplete");
    }
    const unsigned long long bytes = std::strtoull(bytesField.c_str(), nullptr, 10);
    const auto size = static_cast<unsigned long long>(info.st_size);
    if (size < bytes) {
        throw fail("cut short: it holds " + std::to_string(size) + " of its " + std::to_string(bytes) +
                   " bytes");
    }
    if (size > bytes) {
        throw fail("damaged: it holds " + std::to_string(size) + " bytes, its header says " +
                   std::to_string(bytes));
    }
    try {
        std::uint64_t hashed = 0;
        if (HashFrom(fd.Get(), kCheckpointHeaderBytes, hashed) != shaField) {
            throw fail("damaged: its contents do not match the checksum in its header");
        }
        h5::Handle file = h5::OpenFile(path);
        RunState state = ReadState(file.Get(), headerFormat);
        CheckRun(state);
        return state;
    } catch (const h5::Failure& f) {
        throw fail(f.what);
    } catch (const RecordError& e) {
        if (e.message.rfind(name + ": ", 0) == 0) throw;
        throw fail(e.message);
    } catch (const std::bad_alloc&) {
        throw fail("it asks for more memory than there is");
    }
}

}  // namespace qm::record
