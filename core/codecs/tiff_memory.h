#pragma once
// libtiff over bytes in memory, through handles that keep quiet: what the
// TIFF decoder, the TIFF encoder and the TIFF point reader share.

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace nocturo::codecs::tiff {

/// No single libtiff allocation may exceed this. It bounds what a hostile
/// directory (a strip count of millions, a huge strip) can make libtiff
/// allocate, and still leaves room for a 40-megapixel 16-bit single strip.
inline constexpr tmsize_t kMaxLibtiffAlloc = tmsize_t{256} << 20;

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
using TiffOptions = std::unique_ptr<TIFFOpenOptions, OptionsDeleter>;

/// Open options that drop every error and warning of the handle and refuse
/// any single libtiff allocation above maxAlloc. Null when out of memory.
TiffOptions QuietOptions(tmsize_t maxAlloc = kMaxLibtiffAlloc);

/// Position arithmetic of a client stream: pos moves to offset from whence
/// (SEEK_SET, SEEK_CUR, SEEK_END of a stream of size bytes). Returns the new
/// position, or -1 for a position beyond any real file.
toff_t SeekTo(uint64_t& pos, uint64_t size, toff_t offset, int whence);

/// Client stream procedures for what a stream does not do.
int CloseNothing(thandle_t);
int MapNothing(thandle_t, void**, toff_t*);
void UnmapNothing(thandle_t, void*, toff_t);

/// Bytes read in place.
struct MemoryReader {
    const uint8_t* data;
    uint64_t size;
    uint64_t pos;
};

/// Opens reader's bytes and reads the first directory; null when libtiff
/// refuses them.
TiffHandle OpenMemoryReader(MemoryReader& reader, TIFFOpenOptions* options);

/// A file written at the end of a vector.
struct MemoryWriter {
    std::vector<uint8_t>* out;
    size_t start;  // where our file begins in *out
    uint64_t pos;
    bool failed;  // the vector could not grow
};

/// Opens writer's vector for writing; null when libtiff refuses.
TiffHandle OpenMemoryWriter(MemoryWriter& writer, TIFFOpenOptions* options);

}  // namespace nocturo::codecs::tiff
