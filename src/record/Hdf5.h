#pragma once
// A thin layer over the HDF5 C library for the checkpoint and trace files:
// owned handles, attributes, one-dimensional datasets, and HDF5's errors
// turned into one line of text. HDF5 prints its error stack to standard error
// by default; nothing here lets it: the files' readers say what went wrong in
// their own words, with HDF5's innermost reason appended.
//
// Used only inside record/, which links HDF5 privately: its users see the
// files' own APIs and never HDF5's headers. A test that includes this header
// links PkgConfig::HDF5 itself.

#include <hdf5.h>

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace qm::record::h5 {

// Turns off HDF5's printing of its error stack, and its closing of what is
// still open when the process exits (once per process, before any other call).
void Quiet();

// HDF5's own reason for the last failure: the innermost message of its error
// stack (for example "truncated file: eof = 4096, ... stored_eof = 8192"), or "".
std::string LastReason();

// Thrown by the helpers below; `what` says which step failed.
struct Failure {
    std::string what;
    // The system's error number when the failure was a read or write of the
    // file itself that the system refused (ENOSPC, EFBIG, EIO), or 0.
    int systemError = 0;
};

// An HDF5 identifier of any kind, released when the handle goes.
class Handle {
  public:
    Handle() = default;
    explicit Handle(hid_t id) : id(id) {}
    ~Handle() { Reset(); }
    Handle(Handle&& other) noexcept : id(other.id) { other.id = H5I_INVALID_HID; }
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Reset();
            id = other.id;
            other.id = H5I_INVALID_HID;
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    hid_t Get() const { return id; }
    bool Valid() const { return id >= 0; }
    void Reset();
    // Releases the identifier now and checks it: closing a file or dataset
    // writes what HDF5 still holds of it. Failure{what} when that fails.
    void Close(std::string_view what);
    // Gives the identifier up unreleased, so HDF5 writes nothing more for it:
    // a file whose writing failed is left as a killed writer leaves it.
    void Abandon() { id = H5I_INVALID_HID; }

  private:
    hid_t id = H5I_INVALID_HID;
};

// `id` as a handle; Failure{what} (with HDF5's reason) when it is negative.
Handle Check(hid_t id, std::string_view what);
// Failure{what} when `status` is negative.
void Check(herr_t status, std::string_view what);

// Creation properties of a group or dataset (H5P_GROUP_CREATE,
// H5P_DATASET_CREATE) without the time stamps HDF5 adds by default.
Handle ObjectCreation(hid_t propertyClass);

// A new file (replacing any at `path`) whose first `userBlock` bytes (0, or a
// power of two from 512) are left to the caller, in the newest format, whose
// metadata carries checksums.
Handle CreateFile(const std::string& path, hsize_t userBlock);
// A file opened for reading; `concurrent` opens one that a writer in
// single-writer/multiple-reader mode has open, or left open when it died.
Handle OpenFile(const std::string& path, bool concurrent = false);
// The same from an image in memory (a copy is taken).
Handle OpenImage(const std::vector<char>& image);

bool Exists(hid_t parent, const char* name);
Handle CreateGroup(hid_t parent, const char* name);
Handle OpenGroup(hid_t parent, const char* name);

// Attributes on a file, group or dataset.
void WriteString(hid_t object, const char* name, std::string_view value);
void WriteInt(hid_t object, const char* name, std::int64_t value);
void WriteFloats(hid_t object, const char* name, const float* values, int count);
void WriteDouble(hid_t object, const char* name, double value);
std::string ReadString(hid_t object, const char* name, std::size_t maxBytes);
std::int64_t ReadInt(hid_t object, const char* name);
void ReadFloats(hid_t object, const char* name, float* values, int count);
double ReadDouble(hid_t object, const char* name);

// A one-dimensional dataset of `count` elements of `type`, written whole,
// contiguous (so its storage is its size, which the reader checks).
void WriteArray(hid_t parent, const char* name, hid_t type, const void* data, std::size_t count);

// Reads a one-dimensional dataset into elements of `type` (a native type or a
// compound of them: the file's type must hold every member of it by name).
// Refused when it holds more than `maxCount` elements or when the file holds
// less data than it claims.
template <class T>
std::vector<T> ReadArray(hid_t parent, const char* name, hid_t type, std::size_t maxCount);

// The dataset `name` of `parent` checked for ReadArray; `count` is its length.
Handle OpenArray(hid_t parent, const char* name, hid_t type, std::size_t elementSize, std::size_t maxCount,
                 std::size_t& count);
void ReadWhole(hid_t dataset, hid_t type, void* out, std::string_view name);

template <class T>
std::vector<T> ReadArray(hid_t parent, const char* name, hid_t type, std::size_t maxCount) {
    std::size_t count = 0;
    Handle dataset = OpenArray(parent, name, type, sizeof(T), maxCount, count);
    std::vector<T> out;
    try {
        out.resize(count);
    } catch (const std::bad_alloc&) {
        throw Failure{std::string("its dataset '") + name + "' of " + std::to_string(count) +
                      " entries does not fit in memory"};
    }
    if (count > 0) ReadWhole(dataset.Get(), type, out.data(), name);
    return out;
}

// A compound type built member by member, closed with its handle.
class Compound {
  public:
    explicit Compound(std::size_t size);
    Compound& Add(const char* name, std::size_t offset, hid_t type);
    // An array member of `count` elements of `type`.
    Compound& AddArray(const char* name, std::size_t offset, hid_t type, hsize_t count);
    hid_t Get() const { return handle.Get(); }

  private:
    Handle handle;
};

}  // namespace qm::record::h5
