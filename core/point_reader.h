#pragma once
// Reading one pixel of a picture file without decoding all of it. The
// meteor search needs a single point of every frame of a night; decoding
// whole 24-megapixel frames for that wastes most of the work.
//
// A JPEG is decoded only down to the band of rows holding the point and only
// in the columns around it (the entropy data above the point still has to be
// read); a PNG stops after the point's row (after the point's pass when it is
// interlaced); a TIFF reads only the strip or tile holding it (a strip down
// to the point's row); a BMP reads only the pixel. Files are read with
// ordinary reads, never mapped, so a frame rewritten meanwhile is an error
// and not a fault. Other formats and unusual layouts are decoded whole. The
// size and the pixel are exactly those LoadImageFile gives.

#include <cstddef>
#include <cstdint>
#include <string>

namespace nocturo {

/// What a point read found.
struct PointSample {
    int width = 0;
    int height = 0;
    /// The point lies inside the picture; only then do the channels count.
    bool inside = false;
    /// Channel values at the depth asked for: 0..255, or 0..65535 at 16.
    uint16_t blue = 0;
    uint16_t green = 0;
    uint16_t red = 0;
};

/// Reads the size of fileName and its pixel at (x, y), column from the left,
/// row from the top, at depth 8 or 16 bits per channel: the pixel LoadImageFile
/// gives at that depth (an 8-bit file's values widened, v * 257, at 16).
/// False, with sample unspecified, when the file cannot be loaded: a name
/// that LoadImageFile refuses, a file that does not exist, or data that
/// fails to decode down to the point. Data damaged only after the rows the
/// point needs is not noticed. Safe on several threads.
bool ReadPicturePoint(const std::string& fileName, int x, int y, PointSample& sample,
                      int depth = 8);

namespace codecs {
/// The point readers of the formats that have one, over a file's bytes. They
/// follow the decoders' contract (bounded sizes, library errors give false)
/// and, like them, never look at the file's name. Unsupported: the layout is
/// left to the decoder, which then answers for the file.
enum class PointResult { Read, Failed, Unsupported };
PointResult ReadJpegPoint(const uint8_t* data, size_t size, int x, int y, PointSample& sample);
PointResult ReadPngPoint(const uint8_t* data, size_t size, int x, int y, PointSample& sample);

/// Bytes read where they are needed: a TIFF or BMP point needs only a few
/// parts of its file. Reads are ordinary reads, never a memory map, so a
/// file that shrinks while it is read gives a failed read, not a fault.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual int64_t Size() const = 0;
    /// Reads exactly count bytes at offset; false when they are not there.
    virtual bool ReadAt(int64_t offset, void* buffer, size_t count) const = 0;
};

/// A ByteSource over bytes in memory.
class MemorySource final : public ByteSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int64_t Size() const override { return static_cast<int64_t>(size_); }
    bool ReadAt(int64_t offset, void* buffer, size_t count) const override;

  private:
    const uint8_t* data_;
    size_t size_;
};

PointResult ReadTiffPoint(const ByteSource& source, int x, int y, PointSample& sample);
PointResult ReadBmpPoint(const ByteSource& source, int x, int y, PointSample& sample);
}  // namespace codecs

}  // namespace nocturo
