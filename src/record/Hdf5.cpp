#include "record/Hdf5.h"

#include "record/Hdf5Guard.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "base/RegularFile.h"

namespace qm::record::h5 {
namespace {

herr_t KeepInnermost(unsigned depth, const H5E_error2_t* error, void* data) {
    // The stack is walked from the innermost call outward: the first entry says most.
    if (depth == 0 && error && error->desc) *static_cast<std::string*>(data) = error->desc;
    return 0;
}

}  // namespace

// HDF5 stamps every object with the time it was made unless told not to; a
// file of the same state then has the same bytes.
Handle ObjectCreation(hid_t propertyClass) {
    Handle list = Check(H5Pcreate(propertyClass), "cannot make a property list");
    Check(H5Pset_obj_track_times(list.Get(), false), "cannot make a property list");
    return list;
}

namespace {

// The error number in HDF5's reason for a failed read or write of a file
// ("file write failed: ..., errno = 28, error message = ..."), or 0.
int SystemError(const std::string& reason) {
    const std::string key = "errno = ";
    const std::size_t at = reason.find(key);
    return at == std::string::npos ? 0 : std::atoi(reason.c_str() + at + key.size());
}

[[noreturn]] void Fail(std::string_view what) {
    std::string text(what);
    const std::string reason = LastReason();
    if (!reason.empty()) text += " (HDF5: " + reason + ")";
    throw Failure{text, SystemError(reason)};
}

}  // namespace

void Quiet() {
    static const bool done = [] {
        // A file or dataset whose close failed (its last writes did not reach
        // a full disk) stays half closed, and HDF5's own closing of it at exit
        // crashes; every object here is closed by its owner before then.
        H5dont_atexit();
        H5open();
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
        return true;
    }();
    (void)done;
}

std::string LastReason() {
    std::string reason;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, KeepInnermost, &reason);
    return reason;
}

void Handle::Reset() {
    if (id >= 0) H5Idec_ref(id);
    id = H5I_INVALID_HID;
}

void Handle::Close(std::string_view what) {
    if (id < 0) return;
    const int left = H5Idec_ref(id);
    id = H5I_INVALID_HID;  // not released again, whatever happened
    Check(static_cast<herr_t>(left < 0 ? -1 : 0), what);
}

Handle Check(hid_t id, std::string_view what) {
    if (id < 0) Fail(what);
    return Handle(id);
}

void Check(herr_t status, std::string_view what) {
    if (status < 0) Fail(what);
}

Handle CreateFile(const std::string& path, hsize_t userBlock) {
    Quiet();
    Handle create = Check(H5Pcreate(H5P_FILE_CREATE), "cannot make a file property list");
    Check(H5Pset_obj_track_times(create.Get(), false),
          "cannot make a file property list");  // the root group's
    if (userBlock) Check(H5Pset_userblock(create.Get(), userBlock), "cannot reserve the file's header");
    Handle access = Check(H5Pcreate(H5P_FILE_ACCESS), "cannot make a file property list");
    Check(H5Pset_libver_bounds(access.Get(), H5F_LIBVER_LATEST, H5F_LIBVER_LATEST),
          "cannot choose the format");
    return Check(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, create.Get(), access.Get()),
                 "cannot create the file");
}

Handle OpenFile(const std::string& path, bool concurrent) {
    Quiet();
    if (auto why = NotRegularFile(path)) throw Failure{*why};
    RequireOwnSuperblock(path);
    const unsigned mode = concurrent ? H5F_ACC_RDONLY | H5F_ACC_SWMR_READ : H5F_ACC_RDONLY;
    Handle file = Check(H5Fopen(path.c_str(), mode, H5P_DEFAULT), "HDF5 cannot open it");
    RequireOwnFile(file.Get());
    return file;
}

Handle OpenImage(const std::vector<char>& image) {
    Quiet();
    RequireOwnSuperblock(image.data(), image.size());
    Handle access = Check(H5Pcreate(H5P_FILE_ACCESS), "cannot make a file property list");
    Check(H5Pset_fapl_core(access.Get(), 1 << 20, 0), "cannot read from memory");
    Check(H5Pset_file_image(access.Get(), const_cast<char*>(image.data()), image.size()),
          "cannot read from memory");
    Handle file = Check(H5Fopen("in-memory image", H5F_ACC_RDONLY, access.Get()), "HDF5 cannot open it");
    RequireOwnFile(file.Get());
    return file;
}

bool Exists(hid_t parent, const char* name) { return H5Lexists(parent, name, H5P_DEFAULT) > 0; }

Handle CreateGroup(hid_t parent, const char* name) {
    Handle create = ObjectCreation(H5P_GROUP_CREATE);
    return Check(H5Gcreate2(parent, name, H5P_DEFAULT, create.Get(), H5P_DEFAULT),
                 std::string("cannot create the group ") + name);
}

Handle OpenGroup(hid_t parent, const char* name) {
    if (!Exists(parent, name)) throw Failure{std::string("it has no group '") + name + "'"};
    const std::string what = std::string("its group '") + name + "'";
    RequireHardLink(parent, name, what);
    Handle group = Check(H5Gopen2(parent, name, H5P_DEFAULT), std::string("cannot open the group ") + name);
    RequireOwnHeader(group.Get(), what);
    return group;
}

void WriteString(hid_t object, const char* name, std::string_view value) {
    Handle type = Check(H5Tcopy(H5T_C_S1), "cannot make a string type");
    Check(H5Tset_size(type.Get(), value.empty() ? 1 : value.size()), "cannot size a string type");
    Check(H5Tset_cset(type.Get(), H5T_CSET_UTF8), "cannot make a string type");
    Handle space = Check(H5Screate(H5S_SCALAR), "cannot make a dataspace");
    Handle attribute = Check(H5Acreate2(object, name, type.Get(), space.Get(), H5P_DEFAULT, H5P_DEFAULT),
                             std::string("cannot create the attribute ") + name);
    const std::string padded = value.empty() ? std::string(1, '\0') : std::string(value);
    Check(H5Awrite(attribute.Get(), type.Get(), padded.data()),
          std::string("cannot write the attribute ") + name);
}

void WriteInt(hid_t object, const char* name, std::int64_t value) {
    Handle space = Check(H5Screate(H5S_SCALAR), "cannot make a dataspace");
    Handle attribute = Check(H5Acreate2(object, name, H5T_STD_I64LE, space.Get(), H5P_DEFAULT, H5P_DEFAULT),
                             std::string("cannot create the attribute ") + name);
    Check(H5Awrite(attribute.Get(), H5T_NATIVE_INT64, &value),
          std::string("cannot write the attribute ") + name);
}

void WriteFloats(hid_t object, const char* name, const float* values, int count) {
    const hsize_t dims[1] = {static_cast<hsize_t>(count)};
    Handle space = Check(H5Screate_simple(1, dims, nullptr), "cannot make a dataspace");
    Handle attribute = Check(H5Acreate2(object, name, H5T_IEEE_F32LE, space.Get(), H5P_DEFAULT, H5P_DEFAULT),
                             std::string("cannot create the attribute ") + name);
    Check(H5Awrite(attribute.Get(), H5T_NATIVE_FLOAT, values),
          std::string("cannot write the attribute ") + name);
}

void WriteDouble(hid_t object, const char* name, double value) {
    Handle space = Check(H5Screate(H5S_SCALAR), "cannot make a dataspace");
    Handle attribute = Check(H5Acreate2(object, name, H5T_IEEE_F64LE, space.Get(), H5P_DEFAULT, H5P_DEFAULT),
                             std::string("cannot create the attribute ") + name);
    Check(H5Awrite(attribute.Get(), H5T_NATIVE_DOUBLE, &value),
          std::string("cannot write the attribute ") + name);
}

namespace {

Handle OpenAttribute(hid_t object, const char* name) {
    if (H5Aexists(object, name) <= 0) throw Failure{std::string("it has no attribute '") + name + "'"};
    return Check(H5Aopen(object, name, H5P_DEFAULT), std::string("cannot open the attribute ") + name);
}

// The number of elements of an attribute's dataspace (1 for a scalar).
hssize_t Elements(hid_t attribute, const char* name) {
    Handle space = Check(H5Aget_space(attribute), std::string("cannot read the attribute ") + name);
    return H5Sget_simple_extent_npoints(space.Get());
}

}  // namespace

std::string ReadString(hid_t object, const char* name, std::size_t maxBytes) {
    Handle attribute = OpenAttribute(object, name);
    Handle type = Check(H5Aget_type(attribute.Get()), std::string("cannot read the attribute ") + name);
    if (H5Tget_class(type.Get()) != H5T_STRING || H5Tis_variable_str(type.Get()) != 0 ||
        Elements(attribute.Get(), name) != 1) {
        throw Failure{std::string("its attribute '") + name + "' is not a text"};
    }
    const std::size_t size = H5Tget_size(type.Get());
    if (size == 0 || size > maxBytes) {
        throw Failure{std::string("its attribute '") + name + "' is longer than " + std::to_string(maxBytes) +
                      " bytes"};
    }
    std::string text(size, '\0');
    // Read as the file's own string type: no conversion, whatever its padding and character set.
    Check(H5Aread(attribute.Get(), type.Get(), text.data()),
          std::string("cannot read the attribute ") + name);
    text.resize(std::min(text.size(), text.find('\0')));  // fixed-size strings may be padded with zeros
    return text;
}

std::int64_t ReadInt(hid_t object, const char* name) {
    Handle attribute = OpenAttribute(object, name);
    Handle type = Check(H5Aget_type(attribute.Get()), std::string("cannot read the attribute ") + name);
    if (H5Tget_class(type.Get()) != H5T_INTEGER || Elements(attribute.Get(), name) != 1) {
        throw Failure{std::string("its attribute '") + name + "' is not a whole number"};
    }
    std::int64_t value = 0;
    Check(H5Aread(attribute.Get(), H5T_NATIVE_INT64, &value),
          std::string("cannot read the attribute ") + name);
    return value;
}

void ReadFloats(hid_t object, const char* name, float* values, int count) {
    Handle attribute = OpenAttribute(object, name);
    Handle type = Check(H5Aget_type(attribute.Get()), std::string("cannot read the attribute ") + name);
    if (H5Tget_class(type.Get()) != H5T_FLOAT || Elements(attribute.Get(), name) != count) {
        throw Failure{std::string("its attribute '") + name + "' is not " + std::to_string(count) +
                      " numbers"};
    }
    Check(H5Aread(attribute.Get(), H5T_NATIVE_FLOAT, values),
          std::string("cannot read the attribute ") + name);
}

double ReadDouble(hid_t object, const char* name) {
    Handle attribute = OpenAttribute(object, name);
    Handle type = Check(H5Aget_type(attribute.Get()), std::string("cannot read the attribute ") + name);
    if (H5Tget_class(type.Get()) != H5T_FLOAT || Elements(attribute.Get(), name) != 1) {
        throw Failure{std::string("its attribute '") + name + "' is not a number"};
    }
    double value = 0;
    Check(H5Aread(attribute.Get(), H5T_NATIVE_DOUBLE, &value),
          std::string("cannot read the attribute ") + name);
    return value;
}

void WriteArray(hid_t parent, const char* name, hid_t type, const void* data, std::size_t count) {
    const hsize_t dims[1] = {count};
    Handle space = Check(H5Screate_simple(1, dims, nullptr), "cannot make a dataspace");
    Handle create = ObjectCreation(H5P_DATASET_CREATE);
    Handle dataset =
        Check(H5Dcreate2(parent, name, type, space.Get(), H5P_DEFAULT, create.Get(), H5P_DEFAULT),
              std::string("cannot create the dataset ") + name);
    if (count > 0) {
        Check(H5Dwrite(dataset.Get(), type, H5S_ALL, H5S_ALL, H5P_DEFAULT, data),
              std::string("cannot write the dataset ") + name);
    }
}

namespace {

// Every member of the compound `wanted` is in `have` by name and of the same class.
bool HoldsMembers(hid_t have, hid_t wanted) {
    const int n = H5Tget_nmembers(wanted);
    for (int i = 0; i < n; ++i) {
        char* memberName = H5Tget_member_name(wanted, static_cast<unsigned>(i));
        if (!memberName) return false;
        const int at = H5Tget_member_index(have, memberName);
        H5free_memory(memberName);
        if (at < 0) return false;
        if (H5Tget_member_class(have, static_cast<unsigned>(at)) !=
            H5Tget_member_class(wanted, static_cast<unsigned>(i))) {
            return false;
        }
    }
    return true;
}

}  // namespace

Handle OpenArray(hid_t parent, const char* name, hid_t type, std::size_t elementSize, std::size_t maxCount,
                 std::size_t& count) {
    if (!Exists(parent, name)) throw Failure{std::string("it has no dataset '") + name + "'"};
    const std::string what = std::string("its dataset '") + name + "'";
    RequireHardLink(parent, name, what);
    RequireNoVirtualLayout(parent, name, what);
    Handle dataset = Check(H5Dopen2(parent, name, H5P_DEFAULT), "cannot open " + what);
    RequireOwnHeader(dataset.Get(), what);
    Handle fileType = Check(H5Dget_type(dataset.Get()), "cannot read the type of " + what);
    const H5T_class_t wanted = H5Tget_class(type);
    if (H5Tget_class(fileType.Get()) != wanted ||
        (wanted == H5T_COMPOUND && !HoldsMembers(fileType.Get(), type))) {
        throw Failure{what + " is not of the kind expected"};
    }
    Handle space = Check(H5Dget_space(dataset.Get()), "cannot read the size of " + what);
    if (H5Sget_simple_extent_ndims(space.Get()) != 1) throw Failure{what + " is not a list"};
    hsize_t dims[1] = {0};
    Check(H5Sget_simple_extent_dims(space.Get(), dims, nullptr), "cannot read the size of " + what);
    // A dataset may claim more than the file stores (unwritten space reads as
    // zeros, an external file as anything): the writer stores every entry in
    // the file, so anything else is damage or worse.
    CheckStorage(dataset.Get(), Layout::Contiguous, dims[0], H5Tget_size(fileType.Get()), what);
    if (dims[0] > maxCount) {
        throw Failure{what + " holds " + std::to_string(dims[0]) + " entries, more than the " +
                      std::to_string(maxCount) + " it may"};
    }
    (void)elementSize;
    count = static_cast<std::size_t>(dims[0]);
    return dataset;
}

void ReadWhole(hid_t dataset, hid_t type, void* out, std::string_view name) {
    Check(H5Dread(dataset, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, out),
          "cannot read its dataset '" + std::string(name) + "'");
}

Compound::Compound(std::size_t size) : handle(Check(H5Tcreate(H5T_COMPOUND, size), "cannot make a type")) {}

Compound& Compound::Add(const char* name, std::size_t offset, hid_t type) {
    Check(H5Tinsert(handle.Get(), name, offset, type), "cannot make a type");
    return *this;
}

Compound& Compound::AddArray(const char* name, std::size_t offset, hid_t type, hsize_t count) {
    const hsize_t dims[1] = {count};
    Handle array = Check(H5Tarray_create2(type, 1, dims), "cannot make a type");
    return Add(name, offset, array.Get());
}

}  // namespace qm::record::h5
