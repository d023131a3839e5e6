#pragma once
// Every picture enters and leaves the program through LoadImageFile and
// SaveImageFile. Whether a name can be loaded is decided by its extension;
// how it is decoded is decided by its content.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo {

/// Extensions that can be loaded, searched as one text.
inline constexpr std::string_view kLoadExtensions =
    ".EMF.WMF.ICO.BMP.PNG.GIF.TIF.TIFF.JPG.JPEG.JPS";
/// Extensions of camera RAW files, which load as well. Unlike the list
/// above they match only whole: a prefix such as ".C" or ".M" must not make
/// source files and notes look like pictures. ".RAW", which names raw
/// dumps of every kind, is left out.
inline constexpr std::string_view kRawExtensions =
    ".3FR.ARI.ARW.BAY.CAP.CR2.CR3.CRW.DCR.DCS.DNG.DRF.EIP.ERF.FFF.IIQ.K25.KDC.MDC.MEF.MOS.MRW.NEF."
    "NRW.ORF.ORI.PEF.RAF.RW2.RWL.SR2.SRF.SRW.STI.X3F.";
/// The RAW extensions as the patterns of a file dialog's filter or of the
/// folder browser's extension filter ("*.3FR;*.ARI;...;*.X3F"): a macro, so
/// that the filters stay single string literals.
#define NOCTURO_RAW_PATTERNS                                       \
    "*.3FR;*.ARI;*.ARW;*.BAY;*.CAP;*.CR2;*.CR3;*.CRW;*.DCR;*.DCS;" \
    "*.DNG;*.DRF;*.EIP;*.ERF;*.FFF;*.IIQ;*.K25;*.KDC;*.MDC;*.MEF;" \
    "*.MOS;*.MRW;*.NEF;*.NRW;*.ORF;*.ORI;*.PEF;*.RAF;*.RW2;*.RWL;" \
    "*.SR2;*.SRF;*.SRW;*.STI;*.X3F"
/// Extensions that select a save format, searched as one text.
inline constexpr std::string_view kSaveExtensions = ".BMP.PNG.GIF.TIF.JPG.JPE.JPS";
/// Name a processing result is saved under when no name is given.
inline constexpr std::string_view kDefaultOutputName = "proc.jpg";

/// The extension of a file name: from the last dot after the last folder
/// separator to the end, dot included; empty when there is no such dot.
std::string FileExtension(std::string_view fileName);

/// True when the upper-cased extension occurs anywhere in kLoadExtensions
/// (so ".TI" passes too) or is one of kRawExtensions; false for an empty
/// name or no extension.
bool IsLoadableName(std::string_view fileName);

/// True when the upper-cased extension is one of kRawExtensions.
bool IsRawName(std::string_view fileName);

/// How a picture is loaded.
struct LoadOptions {
    /// Bits per channel of the loaded picture, 8 or 16. At 16, 16-bit PNG and
    /// TIFF files and RAW files keep 16 bits, 8-bit pictures are widened
    /// exactly (v * 257) and wider TIFF samples are scaled onto 0..65535.
    int depth = 8;
};

/// Loads a picture file into an existing image, as 24 bits.
/// - Loadable extension and the file exists: decoded by content; on failure
///   the result is false and destination keeps what it held.
/// - Otherwise (extension not loadable, or no such file, or a folder):
///   destination becomes the empty image and the result is false.
/// formatCode, when given, receives the destination's format code.
/// Safe to call from several threads at once on different destinations.
bool LoadImageFile(RgbImage& destination, const std::string& fileName, int* formatCode = nullptr);
/// As above at the options' depth; a 16-bit picture has format code 9.
bool LoadImageFile(RgbImage& destination, const std::string& fileName, const LoadOptions& options,
                   int* formatCode = nullptr);

/// As LoadImageFile, but the picture is decoded straight into buffer, whose
/// pixels (and size) are undefined after a false result. For buffers whose
/// old contents do not matter, such as frames decoded ahead of a run: it
/// spares the second frame-sized buffer that keeping the old contents needs.
bool LoadImageFileInto(RgbImage& buffer, const std::string& fileName);
/// As above at the options' depth. A 16-bit buffer that receives 8-bit frames
/// of its size widens them in place, without a second buffer.
bool LoadImageFileInto(RgbImage& buffer, const std::string& fileName, const LoadOptions& options);

/// A quick picture of a camera RAW file, for a view that must not wait for
/// a RAW decode: its embedded preview, or else a half-size development, at
/// 8 bits (codecs::DecodeRawPreview). fullWidth and fullHeight receive the
/// frame's own size. False, with buffer undefined, for a name that is not
/// loadable, a missing file, a file that is no RAW file (load those in
/// full: they decode fast enough) and a RAW file that does not decode. Safe
/// on several threads.
bool LoadRawPreview(RgbImage& buffer, const std::string& fileName, int& fullWidth, int& fullHeight);

/// While it lives, camera RAW files decoded on the constructing thread use
/// at most `threads` cores: LibRaw develops with OpenMP threads of its own,
/// so threads that each decode a frame (a run's decode-ahead workers) would
/// otherwise start one OpenMP team each and fight over the cores. Restores
/// what the thread had before. Other threads and other formats are not
/// affected. Create and destroy it on one thread.
class RawDecodeThreads {
  public:
    explicit RawDecodeThreads(int threads);
    ~RawDecodeThreads();
    RawDecodeThreads(const RawDecodeThreads&) = delete;
    RawDecodeThreads& operator=(const RawDecodeThreads&) = delete;

  private:
    int previous_;
};

/// Loads a picture for measuring it, not for merging it: a JPEG is decoded
/// at 1/scale of its size in each direction (scale 2, 4 or 8; in the DCT
/// domain, so each pixel is the mean of a block), a camera RAW file at half
/// its size (each pixel a 2 x 2 block of the sensor), every other format at
/// full size. fullWidth and fullHeight receive the picture's own size, from which
/// the caller can tell how many pixels the last column and row of blocks
/// stand for. False when the name is not loadable, the file is missing or it
/// does not decode; buffer's pixels are then undefined. Safe on several
/// threads.
bool LoadImageFileReduced(RgbImage& buffer, const std::string& fileName, int scale, int& fullWidth,
                          int& fullHeight);

/// Save formats, in the order of their entries in kSaveExtensions.
enum class SaveFormat { Bmp, Png, Gif, Tiff, Jpeg };

/// The format a file name's extension selects: the first four characters of
/// the extension, upper-cased, searched in kSaveExtensions; entry p div 4.
/// Anything not found is BMP.
SaveFormat SaveFormatForName(std::string_view fileName);

/// True when the format a name selects holds 16 bits per channel (PNG and
/// TIFF). A 16-bit picture saved under any other name is written at 8 bits,
/// each channel rounded to the nearest value.
bool SaveFormatHolds16Bits(std::string_view fileName);

/// What a thread that saves picture after picture (a run's step files)
/// keeps from one save to the next: the encoder, the buffer of the encoded
/// file, and the 8-bit copy of a 16-bit picture saved in an 8-bit format.
/// Fresh, each is several megabytes that the kernel pages in and zeroes anew
/// for every picture. Used by one thread at a time; the memory goes with the
/// object. A save with a scratch, one of a series, is not flushed to disk
/// before its rename (see atomic_file.h); a result is.
class SaveScratch {
  public:
    SaveScratch() noexcept;
    ~SaveScratch();
    SaveScratch(const SaveScratch&) = delete;
    SaveScratch& operator=(const SaveScratch&) = delete;

    struct Buffers;  // known to SaveImageFile only
    /// Made on first use (may throw std::bad_alloc).
    Buffers& buffers();

    /// JPEG files are written past the page cache (O_DIRECT) where the file
    /// system allows it: the disk reads them from the encoder's buffer, with
    /// no copy into the cache. For writers that run behind the work, which
    /// may wait for the disk; a thread that waits for each save does better
    /// with the cache.
    bool pastPageCache = false;

  private:
    std::unique_ptr<Buffers> buffers_;
};

/// Writes image to fileName in the format its extension selects, at the
/// picture's depth where the format holds it (SaveFormatHolds16Bits) and at
/// 8 bits otherwise. An empty
/// name is first replaced by defaultName, and the caller sees the replaced
/// name. The bytes go to a temporary file in the same folder that is renamed
/// into place, so a failed save never leaves a half-written file under the
/// target name. Returns false when the file cannot be encoded or written;
/// reason, when given, then receives why in a few words ("No space left on
/// device", "Is a directory", ...).
///
/// Saving over a symbolic link writes the file the link points to and keeps
/// the link. A file that is replaced keeps its permission bits; a new file
/// gets those the user's umask allows. The temporary name is never longer
/// than the target's for names of 16 characters or more, so every name the
/// file system accepts can be saved.
///
/// encodeThreads above 1 lets a large JPEG be encoded in bands on that many
/// threads; it decodes to exactly the same pixels. With scratch the save
/// reuses its memory; the file is the same.
bool SaveImageFile(const RgbImage& image, std::string& fileName,
                   std::string_view defaultName = kDefaultOutputName, std::string* reason = nullptr,
                   int encodeThreads = 1, SaveScratch* scratch = nullptr);

/// Writes bytes to fileName the way SaveImageFile writes a picture: through
/// a temporary file renamed into place. False when it cannot be written.
bool SaveFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);

}  // namespace nocturo
