// Camera RAW files through LibRaw (the thread-safe libraw_r), read from
// memory.
//
// Development is fixed, so that a night develops the same way every time and
// a frame is what LibRaw's own dcraw_emu makes of it with `-w -W` (and `-6`
// at 16 bits):
//   use_camera_wb = 1    the camera's white balance, as shot (-w)
//   no_auto_bright = 1   no brightening from the histogram (-W)
//   output_bps = 8 / 16  8 or 16 bits per channel (-6)
//   user_flip = 0        the sensor's own shape (-t 0), see below
// and LibRaw's defaults for everything else: sRGB colours (output_color 1)
// with its default tone curve (gamma 0.45, toe slope 4.5), its default
// demosaic (user_qual -1, AHD), no highlight recovery, no noise reduction.
//
// Orientation: a frame keeps the shape it was stored in, as every other
// picture the program reads does; the camera's orientation tag is never
// applied. dcraw_emu applies it, so for a frame from a camera held upright
// (or one whose tilt sensor flipped while it pointed at the zenith) the
// frame is dcraw_emu's picture turned back: `dcraw_emu -w -W -t 0`. A night
// then keeps one size from the first frame to the last.
//
// LibRaw reports errors by return codes (it catches its own exceptions
// inside). Its data-error and memory-error callbacks, which print to stderr,
// are switched off; data errors it counts (a damaged compressed stream) fail
// the frame like a cut file does. One message cannot be silenced from here:
// LibRaw hands embedded JPEG data (lossy DNG, some previews) to libjpeg with
// libjpeg's default error handler, which prints a warning such as "Premature
// end of JPEG file" to stderr for a damaged file.

#include <dlfcn.h>
#include <libraw.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/codecs/codecs.h"

namespace nocturo::codecs {

namespace {

// Sizes a hostile header may declare are checked against the bytes that
// can hold them: no RAW format stores 1024 pixels in less than a byte
// (lossless JPEG needs a bit per sample; Deflate, used by some DNG writers,
// goes no further than about 1000:1 on a black frame).
constexpr uint64_t kMaxPixelsPerByte = 1024;

// What LibRaw may allocate for one frame: a 100-megapixel camera needs
// about 1 GB (raw data, and four 16-bit channels per pixel while it
// develops).
constexpr unsigned kMaxLibRawMegabytes = 2048;

struct ProcessedImage {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};
using ProcessedHandle = std::unique_ptr<libraw_processed_image_t, ProcessedImage>;

// A LibRaw object with the fixed development. Heap-allocated: the object is
// several hundred kilobytes, too much for a decode-ahead thread's stack.
std::unique_ptr<LibRaw> NewDeveloper(int depth, bool halfSize) {
    std::unique_ptr<LibRaw> raw(new (std::nothrow) LibRaw(LIBRAW_OPIONS_NO_MEMERR_CALLBACK |
                                                          LIBRAW_OPIONS_NO_DATAERR_CALLBACK));
    if (!raw) {
        return raw;
    }
    libraw_output_params_t& p = raw->imgdata.params;
    p.use_camera_wb = 1;
    p.no_auto_bright = 1;
    p.output_bps = depth;
    p.user_flip = 0;
    p.half_size = halfSize ? 1 : 0;
    p.max_raw_memory_mb = kMaxLibRawMegabytes;
    return raw;
}

// Whether a TIFF-structured file carries a directory that Debian's LibRaw
// faults on while it reads it: a CFA pattern of 36 entries (LibRaw takes
// it for an X-Trans pattern) whose repeat is not 6 x 6. Walks the first
// directory's chain and the sub-directories below them; others pass.
bool LibRawFaultsOn(const uint8_t* data, size_t size) {
    if (size < 8 || !((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))) {
        return false;
    }
    const bool little = data[0] == 'I';
    auto u16 = [&](uint64_t at) -> uint32_t {
        return at + 2 > size ? 0
                             : static_cast<uint32_t>(little ? data[at] | data[at + 1] << 8
                                                            : data[at] << 8 | data[at + 1]);
    };
    auto u32 = [&](uint64_t at) -> uint32_t {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    // LibRaw reads the directories whatever the version number says.
    std::vector<uint64_t> pending{u32(4)};
    std::vector<uint64_t> seen;
    while (!pending.empty() && seen.size() < 256) {
        const uint64_t ifd = pending.back();
        pending.pop_back();
        if (ifd < 8 || ifd + 2 > size || std::find(seen.begin(), seen.end(), ifd) != seen.end()) {
            continue;
        }
        seen.push_back(ifd);
        const uint32_t entries = u16(ifd);
        uint32_t repeat = 0;  // rows << 16 | columns
        bool thirtySix = false;
        for (uint32_t i = 0; i < entries && ifd + 2 + uint64_t{i} * 12 + 12 <= size; ++i) {
            const uint64_t at = ifd + 2 + uint64_t{i} * 12;
            const uint32_t tag = u16(at);
            const uint32_t count = u32(at + 4);
            if (tag == 33421 && count == 2) {  // CFARepeatPatternDim, two SHORTs
                repeat = u16(at + 8) << 16 | u16(at + 10);
            } else if (tag == 33422) {  // CFAPattern
                thirtySix = count == 36;
            } else if (tag == 330) {  // SubIFDs: one offset inline, more elsewhere
                for (uint32_t k = 0; k < std::min<uint32_t>(count, 64); ++k) {
                    pending.push_back(count == 1 ? u32(at + 8)
                                                 : u32(u32(at + 8) + uint64_t{k} * 4));
                }
            }
        }
        if (thirtySix && repeat != (6u << 16 | 6u)) {
            return true;
        }
        pending.push_back(u32(ifd + 2 + uint64_t{entries} * 12));
    }
    return false;
}

// Opens the file and checks the sizes its header declares. False when
// LibRaw does not know the file or the sizes cannot be.
bool Open(LibRaw& raw, const uint8_t* data, size_t size) {
    if (LibRawFaultsOn(data, size)) {
        return false;  // damaged: LibRaw would fault instead of saying so
    }
    // LibRaw only reads the buffer, but its interface takes it writable.
    if (raw.open_buffer(const_cast<uint8_t*>(data), size) != LIBRAW_SUCCESS) {
        return false;
    }
    const libraw_image_sizes_t& s = raw.imgdata.sizes;
    const uint64_t rawPixels = uint64_t{s.raw_width} * s.raw_height;
    const uint64_t pixels = uint64_t{s.width} * s.height;
    return s.width > 0 && s.height > 0 && rawPixels > 0 &&
           rawPixels <= static_cast<uint64_t>(kMaxPixels) &&
           pixels <= static_cast<uint64_t>(kMaxPixels) && size >= rawPixels / kMaxPixelsPerByte;
}

// Copies LibRaw's RGB picture into out as BGR at its depth.
bool CopyProcessed(const libraw_processed_image_t& image, int depth, RgbImage& out) {
    const int colours = image.colors;
    const size_t samples = size_t{image.width} * image.height * static_cast<size_t>(colours);
    if (image.type != LIBRAW_IMAGE_BITMAP || image.bits != depth ||
        (colours != 1 && colours != 3) || image.data_size < samples * (depth / 8) ||
        !out.Resize(image.width, image.height, depth)) {
        return false;
    }
    const int width = image.width;
    for (int y = 0; y < image.height; ++y) {
        const size_t first = size_t{static_cast<unsigned>(y)} * width * colours;
        if (depth == 16) {
            // LibRaw's 16-bit samples are in host order.
            const auto* src = reinterpret_cast<const uint16_t*>(image.data) + first;
            uint16_t* dst = out.Row16(y);
            for (int x = 0; x < width; ++x, src += colours, dst += 3) {
                dst[0] = src[colours == 3 ? 2 : 0];
                dst[1] = src[colours == 3 ? 1 : 0];
                dst[2] = src[0];
            }
        } else {
            const uint8_t* src = image.data + first;
            uint8_t* dst = out.Row(y);
            for (int x = 0; x < width; ++x, src += colours, dst += 3) {
                dst[0] = src[colours == 3 ? 2 : 0];
                dst[1] = src[colours == 3 ? 1 : 0];
                dst[2] = src[0];
            }
        }
    }
    return true;
}

// Unpacks and develops an opened file into out.
bool Develop(LibRaw& raw, int depth, RgbImage& out) {
    if (raw.unpack() != LIBRAW_SUCCESS || raw.error_count() != 0 ||
        raw.dcraw_process() != LIBRAW_SUCCESS || raw.error_count() != 0) {
        return false;
    }
    // Colour frames go straight into out's rows, in BGR: LibRaw's own
    // picture would be a second frame-sized buffer, fresh every frame (96 MB
    // for a 16-bit 16-megapixel frame), copied once more.
    int width = 0, height = 0, colours = 0, bits = 0;
    raw.get_mem_image_format(&width, &height, &colours, &bits);
    if (colours == 3 && bits == depth && width > 0 && height > 0) {
        return out.Resize(width, height, depth) &&
               (height == 1 || out.Row(1) == out.Row(0) + out.Stride()) &&
               raw.copy_mem_image(out.Row(0), static_cast<int>(out.Stride()), 1) == LIBRAW_SUCCESS;
    }
    int error = 0;
    const ProcessedHandle image(raw.dcraw_make_mem_image(&error));
    return image && error == LIBRAW_SUCCESS && CopyProcessed(*image, depth, out);
}

// The embedded preview, when LibRaw finds one it can hand over as a JPEG
// or an 8-bit bitmap at least a quarter of the frame's width: smaller ones
// (the 160 x 120 thumbnails of many cameras) show too little.
bool EmbeddedPreview(LibRaw& raw, RgbImage& out) {
    const libraw_thumbnail_t& t = raw.imgdata.thumbnail;
    const auto& s = raw.imgdata.sizes;
    // The format is known only once the preview is unpacked.
    if (t.twidth == 0 || uint64_t{t.twidth} * 4 < s.width ||
        uint64_t{t.twidth} * t.theight > static_cast<uint64_t>(kMaxPixels) ||
        raw.unpack_thumb() != LIBRAW_SUCCESS ||
        (t.tformat != LIBRAW_THUMBNAIL_JPEG && t.tformat != LIBRAW_THUMBNAIL_BITMAP)) {
        return false;
    }
    int error = 0;
    const ProcessedHandle thumb(raw.dcraw_make_mem_thumb(&error));
    if (!thumb || error != LIBRAW_SUCCESS) {
        return false;
    }
    if (thumb->type == LIBRAW_IMAGE_JPEG) {
        return DecodeJpeg(thumb->data, thumb->data_size, out);
    }
    return CopyProcessed(*thumb, 8, out);
}

}  // namespace

RawResult DecodeRawFile(const uint8_t* data, size_t size, RgbImage& out, int depth) {
    if (data == nullptr || size == 0 || (depth != 8 && depth != 16)) {
        return RawResult::kNotRaw;
    }
    try {
        const std::unique_ptr<LibRaw> raw = NewDeveloper(depth, false);
        if (!raw || !Open(*raw, data, size)) {
            return RawResult::kNotRaw;
        }
        return Develop(*raw, depth, out) ? RawResult::kDecoded : RawResult::kFailed;
    } catch (...) {
        // LibRaw catches its own exceptions; nothing else may cross into the
        // caller's frames.
        return RawResult::kFailed;
    }
}

bool DecodeRaw(const uint8_t* data, size_t size, RgbImage& out) {
    return DecodeRawFile(data, size, out, 8) == RawResult::kDecoded;
}

bool DecodeRawPreview(const uint8_t* data, size_t size, RgbImage& out, int& fullWidth,
                      int& fullHeight) {
    fullWidth = 0;
    fullHeight = 0;
    if (data == nullptr || size == 0) {
        return false;
    }
    try {
        const std::unique_ptr<LibRaw> raw = NewDeveloper(8, true);
        if (!raw || !Open(*raw, data, size)) {
            return false;
        }
        // The sensor's size: the frame's, but for the odd camera whose
        // pixels are not square or sit at 45 degrees.
        fullWidth = raw->imgdata.sizes.width;
        fullHeight = raw->imgdata.sizes.height;
        if (EmbeddedPreview(*raw, out) || Develop(*raw, 8, out)) {
            return true;
        }
    } catch (...) {
    }
    fullWidth = 0;
    fullHeight = 0;
    return false;
}

RawResult DecodeRawHalfSize(const uint8_t* data, size_t size, RgbImage& out, int& fullWidth,
                            int& fullHeight) {
    fullWidth = 0;
    fullHeight = 0;
    if (data == nullptr || size == 0) {
        return RawResult::kNotRaw;
    }
    try {
        const std::unique_ptr<LibRaw> raw = NewDeveloper(8, true);
        if (!raw || !Open(*raw, data, size)) {
            return RawResult::kNotRaw;
        }
        // Read before the development, which halves them.
        const int width = raw->imgdata.sizes.width;
        const int height = raw->imgdata.sizes.height;
        if (!Develop(*raw, 8, out)) {
            return RawResult::kFailed;
        }
        fullWidth = width;
        fullHeight = height;
        return RawResult::kDecoded;
    } catch (...) {
        return RawResult::kFailed;
    }
}

namespace {

// LibRaw's OpenMP runtime, when the library was built with one (Debian's
// is): found at run time among the libraries already loaded, so that the
// program needs no OpenMP of its own and a LibRaw without it costs nothing.
using SetThreads = void (*)(int);
using GetThreads = int (*)();

SetThreads OmpSetNumThreads() {
    static const auto set =
        reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
    return set;
}

GetThreads OmpGetMaxThreads() {
    static const auto get =
        reinterpret_cast<GetThreads>(dlsym(RTLD_DEFAULT, "omp_get_max_threads"));
    return get;
}

}  // namespace

int RawDevelopThreads() {
    const GetThreads get = OmpGetMaxThreads();
    return get != nullptr ? get() : 1;
}

void SetRawDevelopThreads(int threads) {
    if (const SetThreads set = OmpSetNumThreads(); set != nullptr && threads > 0) {
        set(threads);
    }
}

bool TiffHoldsRaw(const uint8_t* data, size_t size) {
    if (data == nullptr || size < 8) {
        return false;
    }
    const bool little = data[0] == 'I' && data[1] == 'I';
    if (!little && !(data[0] == 'M' && data[1] == 'M')) {
        return false;
    }
    auto u16 = [&](size_t at) {
        return static_cast<uint32_t>(little ? data[at] | data[at + 1] << 8
                                            : data[at] << 8 | data[at + 1]);
    };
    auto u32 = [&](size_t at) {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    if (u16(2) != 42) {
        return false;  // BigTIFF and anything else: no camera writes RAW so
    }
    const uint64_t ifd = u32(4);
    if (ifd + 2 > size) {
        return false;
    }
    const uint32_t entries = u16(static_cast<size_t>(ifd));
    for (uint32_t i = 0; i < entries; ++i) {
        const uint64_t at = ifd + 2 + uint64_t{i} * 12;
        if (at + 12 > size) {
            break;
        }
        const uint32_t tag = u16(static_cast<size_t>(at));
        constexpr uint32_t kPhotometric = 262;
        constexpr uint32_t kDngVersion = 50706;
        constexpr uint32_t kCfa = 32803;
        constexpr uint32_t kLinearRaw = 34892;
        if (tag == kDngVersion) {
            return true;
        }
        if (tag == kPhotometric) {
            // A SHORT value sits in the first two bytes of the value field.
            const uint32_t photometric = u16(static_cast<size_t>(at) + 8);
            if (photometric == kCfa || photometric == kLinearRaw) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace nocturo::codecs
