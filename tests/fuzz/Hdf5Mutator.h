#pragma once
// A libFuzzer mutator for HDF5 files that changes them as an attacker would:
// through the HDF5 library itself, so every checksum of its metadata and
// every chunk's Fletcher-32 sum is right, and only the content is hostile.
// Half the time it leaves the input to libFuzzer's byte mutations instead.
//
// Changes: the rows of a dataset overwritten with random bytes (a column
// of the file's own row, or the whole row), a chunked table grown or shrunk,
// an integer attribute set to an edge value, a dataset's data moved to an
// external file or a virtual mapping, a link made soft or external.

#include <hdf5.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace qm::fuzz {

struct Objects {
    std::vector<std::string> datasets, groups;
};

inline herr_t Collect(hid_t, const char* name, const H5O_info_t* info, void* out) {
    Objects& o = *static_cast<Objects*>(out);
    if (info->type == H5O_TYPE_DATASET) o.datasets.push_back(name);
    if (info->type == H5O_TYPE_GROUP && std::string(name) != ".") o.groups.push_back(name);
    return 0;
}

inline void ChangeRows(hid_t file, const std::string& name, std::mt19937& random) {
    const hid_t d = H5Dopen2(file, name.c_str(), H5P_DEFAULT);
    if (d < 0) return;
    const hid_t type = H5Dget_type(d);
    const hid_t space = H5Dget_space(d);
    const hssize_t rows = H5Sget_simple_extent_npoints(space);
    const std::size_t rowSize = H5Tget_size(type);
    if (rows > 0 && rows < (1 << 20) && rowSize > 0 && rowSize < 4096) {
        std::vector<unsigned char> bytes(rowSize * static_cast<std::size_t>(rows));
        if (H5Dread(d, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, bytes.data()) >= 0) {
            const int changes = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < changes; ++i) {
                const std::size_t row = random() % static_cast<std::size_t>(rows);
                std::size_t from = 0, length = rowSize;
                if (H5Tget_class(type) == H5T_COMPOUND && random() % 4 != 0) {  // one column
                    const unsigned member = static_cast<unsigned>(random()) %
                                            static_cast<unsigned>(std::max(1, H5Tget_nmembers(type)));
                    from = H5Tget_member_offset(type, member);
                    const hid_t memberType = H5Tget_member_type(type, member);
                    length = H5Tget_size(memberType);
                    H5Tclose(memberType);
                }
                static const std::uint64_t kEdges[] = {0, 1, 0x7fffffffu, 0x80000000u, ~0ull, 1ull << 40};
                const std::uint64_t value =
                    random() % 2 ? kEdges[random() % 6] : (std::uint64_t{random()} << 32) | random();
                for (std::size_t k = 0; k < length && from + k < rowSize; ++k) {
                    bytes[row * rowSize + from + k] = static_cast<unsigned char>(value >> (8 * (k % 8)));
                }
            }
            H5Dwrite(d, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, bytes.data());
        }
    }
    H5Sclose(space);
    H5Tclose(type);
    H5Dclose(d);
}

inline void Resize(hid_t file, const std::string& name, std::mt19937& random) {
    const hid_t d = H5Dopen2(file, name.c_str(), H5P_DEFAULT);
    if (d < 0) return;
    static const hsize_t kSizes[] = {0, 1, 1000, 1u << 20, 0x7fffffffu, hsize_t{1} << 40};
    const hsize_t size[1] = {kSizes[random() % 6]};
    H5Dset_extent(d, size);  // fails, harmlessly, on a contiguous dataset
    H5Dclose(d);
}

inline void SetAttribute(hid_t file, const std::string& object, std::mt19937& random) {
    const hid_t o = H5Oopen(file, object.c_str(), H5P_DEFAULT);
    if (o < 0) return;
    H5O_info_t info{};
    if (H5Oget_info2(o, &info, H5O_INFO_NUM_ATTRS) >= 0 && info.num_attrs > 0) {
        const hid_t a = H5Aopen_by_idx(o, ".", H5_INDEX_NAME, H5_ITER_INC, random() % info.num_attrs,
                                       H5P_DEFAULT, H5P_DEFAULT);
        if (a >= 0) {
            const hid_t type = H5Aget_type(a);
            if (H5Tget_class(type) == H5T_INTEGER) {
                static const std::int64_t kEdges[] = {
                    -1, 0, 1, 0x7fffffff, -0x7fffffffll - 1, 0x7fffffffffffffffll};
                const std::int64_t v = kEdges[random() % 6];
                H5Awrite(a, H5T_NATIVE_INT64, &v);
            }
            H5Tclose(type);
            H5Aclose(a);
        }
    }
    H5Oclose(o);
}

// Replaces a dataset by one of the same type whose data lies elsewhere, or by a link.
inline void Redirect(hid_t file, const std::string& name, std::mt19937& random) {
    const hid_t d = H5Dopen2(file, name.c_str(), H5P_DEFAULT);
    if (d < 0) return;
    const hid_t type = H5Dget_type(d);
    H5Dclose(d);
    if (H5Ldelete(file, name.c_str(), H5P_DEFAULT) >= 0) {
        const hsize_t dims[1] = {1 + random() % 100000};
        const hid_t space = H5Screate_simple(1, dims, nullptr);
        const hid_t create = H5Pcreate(H5P_DATASET_CREATE);
        switch (random() % 4) {
            case 0:
                H5Pset_external(create, "/dev/zero", 0, H5F_UNLIMITED);
                break;
            case 1:
                H5Pset_virtual(create, space, "/dev/null", "/x", space);
                break;
            case 2:
                H5Lcreate_soft("/", file, name.c_str(), H5P_DEFAULT, H5P_DEFAULT);
                break;
            default:
                H5Lcreate_external("/dev/null", "/x", file, name.c_str(), H5P_DEFAULT, H5P_DEFAULT);
                break;
        }
        if (H5Lexists(file, name.c_str(), H5P_DEFAULT) <= 0) {
            const hid_t made = H5Dcreate2(file, name.c_str(), type, space, H5P_DEFAULT, create, H5P_DEFAULT);
            if (made >= 0) H5Dclose(made);
        }
        H5Pclose(create);
        H5Sclose(space);
    }
    H5Tclose(type);
}

// Mutates the HDF5 file in `data` (a checkpoint's header is left to the
// harness) through the library; returns its new size, or 0 when it could not.
inline std::size_t MutateThroughHdf5(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                     unsigned seed) {
    static const std::string path = "/tmp/quillmoth-fuzz-mutate-" + std::to_string(getpid()) + ".h5";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);
    // In a child process: a mutation can leave the library a file it cannot
    // close (a flush that fails on the damage), which HDF5's own clean-up at
    // exit would then crash on. The child ends without that clean-up.
    const pid_t child = fork();
    if (child < 0) return 0;
    if (child == 0) {
        std::mt19937 random(seed);
        const hid_t access = H5Pcreate(H5P_FILE_ACCESS);
        H5Pset_libver_bounds(access, H5F_LIBVER_LATEST, H5F_LIBVER_LATEST);
        const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDWR, access);
        H5Pclose(access);
        if (file < 0) _exit(1);
        Objects objects;
        H5Ovisit2(file, H5_INDEX_NAME, H5_ITER_INC, Collect, &objects, H5O_INFO_BASIC);
        objects.groups.push_back("/");
        if (!objects.datasets.empty()) {
            const std::string& dataset = objects.datasets[random() % objects.datasets.size()];
            switch (random() % 8) {
                case 0:
                    Resize(file, dataset, random);
                    break;
                case 1:
                    SetAttribute(file, objects.groups[random() % objects.groups.size()], random);
                    break;
                case 2:
                    Redirect(file, dataset, random);
                    break;
                default:
                    ChangeRows(file, dataset, random);
                    break;
            }
        }
        _exit(H5Fclose(file) < 0 ? 1 : 0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return 0;
    const std::size_t got = std::fread(data, 1, maxSize, in);
    const bool whole = std::fgetc(in) == EOF;
    std::fclose(in);
    return whole ? got : 0;
}

// LLVMFuzzerCustomMutator of the harnesses of HDF5 files.
inline std::size_t Mutate(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed) {
    if (seed % 2 == 0) {
        if (const std::size_t n = MutateThroughHdf5(data, size, maxSize, seed)) return n;
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}

}  // namespace qm::fuzz
