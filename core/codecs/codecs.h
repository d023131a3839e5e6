#pragma once
// One file per picture format behind one interface. Decoders are chosen by
// the file's content, never by its name.
//
// Contract of every decoder:
// - It reads only the given bytes and never trusts a declared size: sizes
//   above kMaxPixels, or larger than the data can hold, are refused before
//   anything is allocated.
// - Every library error (longjmp, error callbacks) ends in a false result;
//   nothing escapes and nothing is printed.
// - On success `out` holds the picture at 24 bits (palette, grey, 16-bit,
//   wider and floating-point samples and alpha pictures are brought to
//   8-bit BGR, alpha dropped), or at 48 bits for the decoders that take a
//   depth and are asked for 16 (16-bit samples kept as they are, narrower
//   ones widened exactly, v * 257, wider ones scaled onto 0..65535). A file
//   whose data is cut short or damaged fails rather than loading with gaps.
//   On failure
//   `out` is in an unspecified but valid state; callers decode into a scratch
//   image so that their destination stays untouched.
// - Decoders keep no state between calls and may run on several threads.
//
// Encoders append the complete file to `out` and return false on any error.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo::codecs {

enum class ImageKind { Unknown, Jpeg, Png, Gif, Tiff, Bmp, Ico };

/// Recognises a picture format from the first bytes of a file.
ImageKind DetectKind(const uint8_t* data, size_t size);

bool DecodeJpeg(const uint8_t* data, size_t size, RgbImage& out);
bool DecodePng(const uint8_t* data, size_t size, RgbImage& out);
/// At depth 8 or 16 bits per channel.
bool DecodePng(const uint8_t* data, size_t size, RgbImage& out, int depth);
bool DecodeGif(const uint8_t* data, size_t size, RgbImage& out);
bool DecodeTiff(const uint8_t* data, size_t size, RgbImage& out);
/// At depth 8 or 16 bits per channel.
bool DecodeTiff(const uint8_t* data, size_t size, RgbImage& out, int depth);
bool DecodeBmp(const uint8_t* data, size_t size, RgbImage& out);
bool DecodeIco(const uint8_t* data, size_t size, RgbImage& out);

/// What LibRaw made of a file.
enum class RawResult {
    kNotRaw,   ///< LibRaw does not know it (or its sizes are impossible)
    kFailed,   ///< a RAW file, but damaged, cut short or too large
    kDecoded,  ///< developed into the picture
};

/// Develops a camera RAW file (NEF, CR2, CR3, ARW, RAF, ORF, RW2, PEF, DNG
/// and the rest LibRaw knows) at depth 8 or 16 bits per channel, always the
/// same way: the camera's white balance, no automatic brightening, sRGB with
/// LibRaw's default tone curve and demosaic, the frame in the shape it was
/// stored (the orientation tag is not applied). The same pixels as
/// `dcraw_emu -w -W -t 0` (with `-6` at 16 bits).
RawResult DecodeRawFile(const uint8_t* data, size_t size, RgbImage& out, int depth);
/// DecodeRawFile at 8 bits: true when decoded.
bool DecodeRaw(const uint8_t* data, size_t size, RgbImage& out);
/// A quick picture of a RAW file for the view: the embedded preview when
/// LibRaw finds a JPEG or bitmap one at least a quarter of the frame's
/// width, else a half-size development (same rules, no demosaic), at 8
/// bits. fullWidth and fullHeight receive the frame's own size, so that the
/// view can scale the preview to it. False for anything that is no RAW file
/// or does not decode.
bool DecodeRawPreview(const uint8_t* data, size_t size, RgbImage& out, int& fullWidth,
                      int& fullHeight);
/// The half-size development of a RAW file (the same rules, each 2 x 2
/// block of the sensor one pixel, no demosaic), at 8 bits, never the
/// embedded preview: what measuring a frame's brightness needs, in a
/// fraction of a full development's time. fullWidth and fullHeight receive
/// the frame's own size.
RawResult DecodeRawHalfSize(const uint8_t* data, size_t size, RgbImage& out, int& fullWidth,
                            int& fullHeight);
/// The cores LibRaw's development may use on the calling thread (its
/// OpenMP threads), and setting them for this thread alone; 1 and nothing
/// when LibRaw has no OpenMP.
int RawDevelopThreads();
void SetRawDevelopThreads(int threads);
/// True when a TIFF-structured file carries raw sensor data in its first
/// directory: a DNGVersion tag, or colour-filter-array or linear-raw
/// photometric interpretation. Such files are LibRaw's, not libtiff's.
bool TiffHoldsRaw(const uint8_t* data, size_t size);

/// Decodes a JPEG at 1/scale of its size in each direction (scale 1, 2, 4 or
/// 8, rounded up), in the DCT domain where TurboJPEG can: a pixel of the
/// result is the mean of a scale x scale block (the last column and row of
/// blocks may cover fewer pixels). Files that TurboJPEG cannot scale (CMYK,
/// unusual samplings) are decoded at full size. fullWidth and fullHeight
/// receive the picture's own size. Only for measuring a frame, never for
/// merging one.
bool DecodeJpegScaled(const uint8_t* data, size_t size, int scale, RgbImage& out, int& fullWidth,
                      int& fullHeight);

/// The 1/8-size picture of a baseline JPEG, mostly from its DC coefficients:
/// exactly the picture TurboJPEG's 1/8 decode gives, about twice as fast.
/// False for any file it leaves to the full decoder: progressive or
/// arithmetic coding, CMYK or Adobe colour, more than one scan, anything
/// after the scan but its end marker, and anything that looks damaged. A
/// file it reads is one the full decoder loads.
bool DecodeJpegDc(const uint8_t* data, size_t size, RgbImage& out, int& fullWidth, int& fullHeight);

/// Decodes a BMP info header and its pixels without the 14-byte file header,
/// as icons embed them. With iconEntry the stored height counts the colour
/// rows and the AND mask together, so only half of it is picture.
bool DecodeDib(const uint8_t* data, size_t size, bool iconEntry, RgbImage& out);

// BMP, GIF and JPEG hold 8 bits per channel: their encoders refuse a 16-bit
// picture (SaveImageFile narrows it first). PNG and TIFF keep either depth.
bool EncodeBmp(const RgbImage& image, std::vector<uint8_t>& out);
/// 8 or 16 bits per channel, as the picture has.
bool EncodePng(const RgbImage& image, std::vector<uint8_t>& out);
/// A 16-bit grey PNG of width x height samples, row after row, top first.
bool EncodePngGrey16(int width, int height, const uint16_t* samples, std::vector<uint8_t>& out);
/// Reduces the picture to at most 256 colours with a real quantiser.
bool EncodeGif(const RgbImage& image, std::vector<uint8_t>& out);
/// RGB at the picture's depth: 8 bits per channel LZW-compressed, 16 bits
/// Deflate-compressed, both with the horizontal predictor.
bool EncodeTiff(const RgbImage& image, std::vector<uint8_t>& out);
/// 4:4:4 sampling, so thin coloured trails keep their colour.
bool EncodeJpeg(const RgbImage& image, int quality, std::vector<uint8_t>& out);

/// EncodeJpeg for a thread that encodes picture after picture: the
/// compressor and its output buffer are kept for the next picture, which
/// spares a fresh buffer of several megabytes (paged in and zeroed by the
/// kernel) and its growing copies per picture. The file is the same byte for
/// byte. Used by one thread at a time.
class JpegEncoder {
  public:
    JpegEncoder() = default;
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    /// Encodes image as EncodeJpeg does; the file's bytes stay in the
    /// encoder (Data, Size) until the next call. False on any error.
    bool Encode(const RgbImage& image, int quality);
    const uint8_t* Data() const { return buffer_; }
    size_t Size() const { return size_; }

  private:
    void* handle_ = nullptr;  // the TurboJPEG compressor
    unsigned char* buffer_ = nullptr;
    unsigned long capacity_ = 0;
    size_t size_ = 0;
};

}  // namespace nocturo::codecs
