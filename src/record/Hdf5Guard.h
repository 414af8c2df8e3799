#pragma once
// What the readers of checkpoints and traces let HDF5 do with a file they did
// not write themselves. The programs read only what they write, so a file is
// held to the writers' own format before any of it is used:
//
//   - its superblock is of the version the writers make (HDF5 1.10's newest,
//     whose metadata carries checksums), checked on the raw bytes before HDF5
//     parses anything: the oldest formats have no checksums, and damage in
//     them has made the library read out of bounds;
//   - every object is reached by a plain link (no external or soft link, which
//     would lead into other files) and has a header of the writers' version;
//   - a dataset's data lies in this file, as the writers lay it out
//     (contiguous for a checkpoint, chunked and compressed for a trace): no
//     external files (which may name any file of the machine, a device or a
//     FIFO), no virtual mapping, no filter the writers do not use, and no more
//     rows than the bytes it stores can hold.
//
// Each check throws h5::Failure saying, in the readers' words, what is wrong.

#include <hdf5.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "record/Hdf5.h"

namespace qm::record::h5 {

// Versions of the writers' format (H5F_LIBVER_LATEST in HDF5 1.10).
inline constexpr unsigned kOwnSuperblockVersion = 3;
inline constexpr unsigned kOwnObjectHeaderVersion = 2;

// Deflate turns at most 258 repeated bytes into a code of two bits (about
// 1032 to 1): no chunk the writer compressed unpacks to more than this many
// times its stored bytes.
inline constexpr unsigned long long kMaxDeflateRatio = 1032;

// The largest chunk, in bytes of the file's rows, a trace table may use (its
// writer's are below 512 KiB): each is unpacked whole when read.
inline constexpr std::size_t kMaxChunkBytes = std::size_t{1} << 20;

// Refuses the file at `path` unless the first HDF5 superblock in it (HDF5
// looks at offsets 0, 512, 1024, 2048, ...) is of the writers' version. Reads
// the bytes itself: HDF5 has not seen the file yet.
void RequireOwnSuperblock(const std::string& path);
// The same for an image in memory.
void RequireOwnSuperblock(const char* bytes, std::size_t size);

// After HDF5 opened the file: the superblock it uses and the root group's
// header are the writers' versions.
void RequireOwnFile(hid_t file);

// `name` in `parent` is a plain link to an object of this file.
void RequireHardLink(hid_t parent, const char* name, std::string_view what);

// The object's header is of the writers' version (`version` is the one found
// when `object` is H5I_INVALID_HID).
void RequireOwnHeader(hid_t object, std::string_view what, unsigned version = 0);

// `name` in `parent` is a dataset whose layout is not virtual, read from its
// header before HDF5 opens it: opening a virtual dataset decodes its mappings
// from the global heap, which no checksum covers, and damage there has made
// libhdf5 1.10 read out of bounds (H5HG_read from H5Dopen2).
void RequireNoVirtualLayout(hid_t parent, const char* name, std::string_view what);

// How a dataset's data must be laid out.
enum class Layout { Contiguous, Chunked };

// Checks where `dataset` keeps its data (see above) and returns how many of
// its `rows` rows of `rowSize` bytes in the file that data can hold at most:
// all of them for a contiguous dataset (which is refused unless its bytes lie
// within the file), and for a chunked one no more than its allocated chunks
// hold or its stored bytes unpack to.
unsigned long long CheckStorage(hid_t dataset, Layout layout, unsigned long long rows, std::size_t rowSize,
                                std::string_view what);

}  // namespace qm::record::h5
