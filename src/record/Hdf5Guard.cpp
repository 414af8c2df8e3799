#include "record/Hdf5Guard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "record/FileDescriptor.h"

namespace qm::record::h5 {
namespace {

constexpr char kSignature[8] = {'\x89', 'H', 'D', 'F', '\r', '\n', '\x1a', '\n'};

std::string Text(std::string_view what) { return std::string(what); }

// The version byte of the first superblock among `read`'s bytes; -1 when
// there is none. `read(offset, out, n)` returns the bytes it got.
template <class Read>
int SuperblockVersion(unsigned long long size, Read read) {
    // HDF5 looks at 0, then at every power of two from 512 on.
    for (unsigned long long at = 0; at + sizeof kSignature < size; at = at == 0 ? 512 : at * 2) {
        char head[9] = {};
        if (read(at, head, sizeof head) != sizeof head) return -1;
        if (std::memcmp(head, kSignature, sizeof kSignature) == 0) return static_cast<unsigned char>(head[8]);
    }
    return -1;
}

void RequireVersion(int version) {
    if (version < 0) throw Failure{"it holds no HDF5 superblock"};
    if (static_cast<unsigned>(version) != kOwnSuperblockVersion) {
        throw Failure{"its HDF5 superblock is of version " + std::to_string(version) + ", not the version " +
                      std::to_string(kOwnSuperblockVersion) +
                      " this program writes (an older HDF5 format, without checksums, is not read)"};
    }
}

}  // namespace

void RequireOwnSuperblock(const std::string& path) {
    // Not blocking: a FIFO named as a file must not hang the reader.
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK));
    if (fd.Get() < 0) throw Failure{std::string("cannot read it: ") + std::strerror(errno)};
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0) throw Failure{std::string("cannot read it: ") + std::strerror(errno)};
    if (!S_ISREG(info.st_mode)) throw Failure{"it is not a regular file"};
    RequireVersion(SuperblockVersion(static_cast<unsigned long long>(info.st_size),
                                     [&](unsigned long long at, char* out, std::size_t n) {
                                         const ssize_t got = pread(fd.Get(), out, n, static_cast<off_t>(at));
                                         return got < 0 ? std::size_t{0} : static_cast<std::size_t>(got);
                                     }));
}

void RequireOwnSuperblock(const char* bytes, std::size_t size) {
    RequireVersion(SuperblockVersion(size, [&](unsigned long long at, char* out, std::size_t n) {
        const std::size_t got = std::min<std::size_t>(n, size - at);
        std::memcpy(out, bytes + at, got);
        return got;
    }));
}

void RequireOwnFile(hid_t file) {
    H5F_info2_t info{};
    Check(H5Fget_info2(file, &info), "cannot read the file's format");
    RequireVersion(static_cast<int>(info.super.version));
    RequireOwnHeader(file, "its root group");
}

void RequireHardLink(hid_t parent, const char* name, std::string_view what) {
    H5L_info_t info{};
    Check(H5Lget_info(parent, name, &info, H5P_DEFAULT), "cannot look up " + Text(what));
    if (info.type == H5L_TYPE_HARD) return;
    const char* kind = info.type == H5L_TYPE_EXTERNAL ? "a link into another file"
                       : info.type == H5L_TYPE_SOFT   ? "a soft link"
                                                      : "a link of a kind this program does not write";
    throw Failure{Text(what) + " is " + kind + ", which this program does not follow"};
}

void RequireOwnHeader(hid_t object, std::string_view what, unsigned version) {
    if (object != H5I_INVALID_HID) {
        H5O_info_t info{};
        Check(H5Oget_info2(object, &info, H5O_INFO_HDR), "cannot read the header of " + Text(what));
        version = info.hdr.version;
    }
    if (version != kOwnObjectHeaderVersion) {
        throw Failure{Text(what) + " has an object header of version " + std::to_string(version) +
                      ", not the version " + std::to_string(kOwnObjectHeaderVersion) +
                      " this program writes"};
    }
}

void RequireNoVirtualLayout(hid_t parent, const char* name, std::string_view what) {
    // HDF5 decodes a virtual dataset's mappings from the file's global heap,
    // which no checksum covers, as it opens the dataset: the layout is read
    // here, from the object header's first chunk, before that can happen.
    H5O_info_t info{};
    Check(H5Oget_info_by_name2(parent, name, &info, H5O_INFO_BASIC | H5O_INFO_HDR, H5P_DEFAULT),
          "cannot read the header of " + Text(what));  // loads the header and checks its checksum
    if (info.type != H5O_TYPE_DATASET) throw Failure{Text(what) + " is not a dataset"};
    if (info.hdr.version != kOwnObjectHeaderVersion)
        RequireOwnHeader(H5I_INVALID_HID, what, info.hdr.version);
    Handle file = Check(H5Iget_file_id(parent), "cannot read " + Text(what));
    Handle create = Check(H5Fget_create_plist(file.Get()), "cannot read " + Text(what));
    hsize_t base = 0;
    Check(H5Pget_userblock(create.Get(), &base), "cannot read " + Text(what));
    void* handle = nullptr;
    if (H5Fget_vfd_handle(file.Get(), H5P_DEFAULT, &handle) < 0 || !handle) return;  // not a file on disk
    const int fd = *static_cast<int*>(handle);
    // Version 2 header: "OHDR", version, flags, [times], [attribute limits], size of chunk 0,
    // messages; a continuation message (0x10: address, length) leads to an "OCHK" chunk.
    auto read = [&](std::uint64_t address, std::uint64_t length, std::vector<unsigned char>& out) {
        out.assign(static_cast<std::size_t>(std::min<std::uint64_t>(length, 1 << 16)), 0);
        const ssize_t got = pread(fd, out.data(), out.size(), static_cast<off_t>(base + address));
        out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    };
    auto number = [](const std::vector<unsigned char>& b, std::size_t at, std::size_t width) {
        std::uint64_t v = 0;
        for (std::size_t k = 0; k < width && at + k < b.size(); ++k) v |= std::uint64_t{b[at + k]} << (8 * k);
        return v;
    };
    std::vector<unsigned char> head;
    read(info.addr, 4096, head);
    if (head.size() < 8 || std::memcmp(head.data(), "OHDR", 4) != 0 || head[4] != 2) {
        throw Failure{Text(what) + " has an object header this program cannot read"};
    }
    const unsigned flags = head[5];
    std::size_t at = 6 + ((flags & 0x20) ? 16 : 0) + ((flags & 0x10) ? 4 : 0);
    const std::size_t widthOfSize = std::size_t{1} << (flags & 3);
    const std::uint64_t chunk0 = number(head, at, widthOfSize);
    at += widthOfSize;
    read(info.addr, at + chunk0, head);
    std::size_t end = head.size();
    const std::size_t messageHead = 4 + ((flags & 0x04) ? 2 : 0);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> more;  // continuation chunks still to read
    for (std::size_t chunks = 0; chunks < 64;) {
        if (at + messageHead > end) {
            if (chunks >= more.size()) break;
            read(more[chunks].first, more[chunks].second, head);
            ++chunks;
            if (head.size() < 8 || std::memcmp(head.data(), "OCHK", 4) != 0) break;
            at = 4;
            end = head.size() - 4;  // its checksum
            continue;
        }
        const unsigned type = head[at];
        const std::size_t length = static_cast<std::size_t>(number(head, at + 1, 2));
        at += messageHead;
        if (type == 8 && at + 2 <= end) {  // the layout message: version, class (3: virtual)
            if (head[at + 1] == 3) {
                throw Failure{Text(what) +
                              " is a virtual dataset (its data maps to other datasets or files), "
                              "which this program does not read"};
            }
            return;
        }
        if (type == 0x10 && at + 16 <= end) more.emplace_back(number(head, at, 8), number(head, at + 8, 8));
        at += length;
    }
    throw Failure{Text(what) + " keeps its layout where this program does not write it"};
}

unsigned long long CheckStorage(hid_t dataset, Layout layout, unsigned long long rows, std::size_t rowSize,
                                std::string_view what) {
    Handle create = Check(H5Dget_create_plist(dataset), "cannot read how " + Text(what) + " is stored");
    const int external = H5Pget_external_count(create.Get());
    if (external != 0) {
        throw Failure{Text(what) + " keeps its data in " +
                      (external > 0 ? std::to_string(external) : std::string("some")) +
                      " external file(s) named inside the file, which this program does not read"};
    }
    const H5D_layout_t found = H5Pget_layout(create.Get());
    if (found == H5D_VIRTUAL) {
        throw Failure{Text(what) +
                      " is a virtual dataset (its data maps to other datasets or files), "
                      "which this program does not read"};
    }
    const H5D_layout_t wanted = layout == Layout::Contiguous ? H5D_CONTIGUOUS : H5D_CHUNKED;
    if (found != wanted) {
        throw Failure{Text(what) + " is stored in another layout than this program writes (" +
                      (layout == Layout::Contiguous ? "contiguous" : "chunked") + ")"};
    }
    if (rowSize == 0) throw Failure{Text(what) + " has rows of no size"};
    const unsigned long long stored = H5Dget_storage_size(dataset);

    if (layout == Layout::Contiguous) {
        // One block of the file: it must lie within the file, whole.
        if (rows == 0) return 0;
        if (stored / rowSize < rows) {
            throw Failure{Text(what) + " claims " + std::to_string(rows) +
                          " entries but holds data for fewer"};
        }
        Handle file = Check(H5Iget_file_id(dataset), "cannot read the size of " + Text(what));
        hsize_t fileSize = 0;
        Check(H5Fget_filesize(file.Get(), &fileSize), "cannot read the file's size");
        const haddr_t offset = H5Dget_offset(dataset);
        if (offset == HADDR_UNDEF || offset > fileSize || stored > fileSize - offset) {
            throw Failure{Text(what) + " claims " + std::to_string(rows) + " entries (" +
                          std::to_string(stored) + " bytes), more than the file of " +
                          std::to_string(fileSize) + " bytes holds"};
        }
        return rows;
    }

    // Chunked: only the filters the trace writer sets, chunks of its shape.
    bool deflate = false;
    const int filters = H5Pget_nfilters(create.Get());
    for (int i = 0; i < filters; ++i) {
        unsigned flags = 0;
        std::size_t count = 0;
        const H5Z_filter_t id = H5Pget_filter2(create.Get(), static_cast<unsigned>(i), &flags, &count,
                                               nullptr, 0, nullptr, nullptr);
        if (id != H5Z_FILTER_DEFLATE && id != H5Z_FILTER_SHUFFLE && id != H5Z_FILTER_FLETCHER32) {
            throw Failure{Text(what) + " uses an HDF5 filter (" + std::to_string(id) +
                          ") this program does not write"};
        }
        deflate = deflate || id == H5Z_FILTER_DEFLATE;
    }
    hsize_t chunk[2] = {0, 0};
    if (H5Pget_chunk(create.Get(), 2, chunk) != 1 || chunk[0] == 0 || chunk[0] > kMaxChunkBytes / rowSize) {
        throw Failure{Text(what) + " is cut into chunks of another shape than this program writes"};
    }
    Handle space = Check(H5Dget_space(dataset), "cannot read the size of " + Text(what));
    hsize_t chunks = 0;
    Check(H5Dget_num_chunks(dataset, space.Get(), &chunks), "cannot count the chunks of " + Text(what));
    // Rows past the allocated chunks read as zeros the file does not hold;
    // a chunk unpacks to at most kMaxDeflateRatio times its stored bytes.
    const unsigned long long inChunks = chunks > rows / chunk[0] + 1 ? rows : chunks * chunk[0];
    const unsigned long long ratio = deflate ? kMaxDeflateRatio : 1;
    const unsigned long long unpacked = stored > ~0ull / ratio ? ~0ull : stored * ratio / rowSize + 1;
    return std::min({rows, inChunks, unpacked});
}

}  // namespace qm::record::h5
