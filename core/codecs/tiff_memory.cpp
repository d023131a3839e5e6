#include "core/codecs/tiff_memory.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <exception>

namespace nocturo::codecs::tiff {

namespace {

// Errors and warnings are dropped per handle (several decoders may run on
// different threads); returning 1 keeps libtiff's global handlers, which
// print to stderr, from running as well.
int SilentHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

}  // namespace

TiffOptions QuietOptions(tmsize_t maxAlloc) {
    TiffOptions options(TIFFOpenOptionsAlloc());
    if (options) {
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), SilentHandler, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), SilentHandler, nullptr);
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), maxAlloc);
    }
    return options;
}

// libtiff passes negative offsets as wrapped unsigned values, so plain wrapping addition
// gives the right answer; results beyond any real file are refused.
toff_t SeekTo(uint64_t& pos, uint64_t size, toff_t offset, int whence) {
    uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = pos;
    } else if (whence == SEEK_END) {
        base = size;
    } else if (whence != SEEK_SET) {
        return static_cast<toff_t>(-1);
    }
    const uint64_t target = base + offset;
    if (target > static_cast<uint64_t>(INT64_MAX)) {
        return static_cast<toff_t>(-1);
    }
    pos = target;
    return target;
}

int CloseNothing(thandle_t) {
    return 0;
}

int MapNothing(thandle_t, void**, toff_t*) {
    return 0;
}
void UnmapNothing(thandle_t, void*, toff_t) {}

namespace {

tmsize_t ReaderRead(thandle_t handle, void* buffer, tmsize_t count) {
    auto* reader = static_cast<MemoryReader*>(handle);
    if (count <= 0 || reader->pos >= reader->size) {
        return 0;
    }
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), reader->size - reader->pos);
    std::memcpy(buffer, reader->data + reader->pos, n);
    reader->pos += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t ReaderWrite(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t ReaderSeek(thandle_t handle, toff_t offset, int whence) {
    auto* reader = static_cast<MemoryReader*>(handle);
    return SeekTo(reader->pos, reader->size, offset, whence);
}

toff_t ReaderSize(thandle_t handle) {
    return static_cast<MemoryReader*>(handle)->size;
}

// Handing libtiff the bytes as a mapped file lets it decode strips in place
// instead of copying each one first. libtiff never writes to a mapping that
// it opened for reading.
int ReaderMap(thandle_t handle, void** base, toff_t* size) {
    auto* reader = static_cast<MemoryReader*>(handle);
    *base = const_cast<uint8_t*>(reader->data);
    *size = reader->size;
    return 1;
}

uint64_t WrittenSize(const MemoryWriter& writer) {
    return writer.out->size() - writer.start;
}

tmsize_t WriterWrite(thandle_t handle, void* buffer, tmsize_t count) {
    auto* writer = static_cast<MemoryWriter*>(handle);
    if (count < 0 || writer->failed) {
        return -1;
    }
    const uint64_t end = writer->pos + static_cast<uint64_t>(count);
    try {
        if (end > WrittenSize(*writer)) {
            writer->out->resize(writer->start + end);
        }
    } catch (const std::exception&) {
        // Exceptions must not cross libtiff's C frames.
        writer->failed = true;
        return -1;
    }
    std::memcpy(writer->out->data() + writer->start + writer->pos, buffer,
                static_cast<size_t>(count));
    writer->pos = end;
    return count;
}

tmsize_t WriterRead(thandle_t handle, void* buffer, tmsize_t count) {
    auto* writer = static_cast<MemoryWriter*>(handle);
    const uint64_t size = WrittenSize(*writer);
    if (count <= 0 || writer->pos >= size) {
        return 0;
    }
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), size - writer->pos);
    std::memcpy(buffer, writer->out->data() + writer->start + writer->pos, n);
    writer->pos += n;
    return static_cast<tmsize_t>(n);
}

toff_t WriterSeek(thandle_t handle, toff_t offset, int whence) {
    auto* writer = static_cast<MemoryWriter*>(handle);
    return SeekTo(writer->pos, WrittenSize(*writer), offset, whence);
}

toff_t WriterSize(thandle_t handle) {
    return WrittenSize(*static_cast<MemoryWriter*>(handle));
}

}  // namespace

TiffHandle OpenMemoryReader(MemoryReader& reader, TIFFOpenOptions* options) {
    return TiffHandle(TIFFClientOpenExt("memory", "r", &reader, ReaderRead, ReaderWrite, ReaderSeek,
                                        CloseNothing, ReaderSize, ReaderMap, UnmapNothing,
                                        options));
}

TiffHandle OpenMemoryWriter(MemoryWriter& writer, TIFFOpenOptions* options) {
    return TiffHandle(TIFFClientOpenExt("memory", "w", &writer, WriterRead, WriterWrite, WriterSeek,
                                        CloseNothing, WriterSize, MapNothing, UnmapNothing,
                                        options));
}

}  // namespace nocturo::codecs::tiff
