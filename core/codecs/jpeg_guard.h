#pragma once
// How the JPEG decoder and the JPEG point reader judge what libjpeg reports,
// so that both load exactly the same files.
//
// libjpeg only warns when the compressed data is damaged or ends early, and
// then fills what it could not decode with grey. Such a picture is not what
// the camera took, so those warnings end the decode as errors do. The others
// (extra bytes before a marker, an odd scan sequence, an unknown Adobe
// transform) leave every block decoded; cameras and editors write such
// files.
//
// Running out of data alone is judged once all the data is read. A file
// that lacks only its end marker is complete: the entropy decoder reads
// ahead and meets the end, but no block misses a bit. Rows that really lack
// data bring "premature end of data segment" as well, except where nothing
// is decoded past the end:
// - a sequential file that stores its components in separate scans may
//   lack whole scans: every component must have had one;
// - a progressive file may lack its later scans (or be cut in a scan's
//   header): every coefficient of every component must have been refined
//   to its last bit, as every encoder's progression ends;
// - arithmetic coding reads zeros past the end of the data without a word,
//   so an arithmetic file that runs out of data cannot be told from a cut
//   one: it needs its end marker.

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace nocturo::codecs {

/// The error manager and progress monitor of one decompressor. Fatal
/// errors, warnings that mean lost pixels and endless progressive scans
/// longjmp to `jump`; nothing is printed.
struct JpegGuard {
    jpeg_error_mgr errors;  // first: libjpeg hands it back as cinfo->err
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    bool ranOut = false;              // the data ended without an end marker
    unsigned componentsWithScan = 0;  // bit per component index
};

/// Sets cinfo.err; call before jpeg_create_decompress.
void UseJpegGuard(jpeg_decompress_struct& cinfo, JpegGuard& guard);
/// Sets cinfo.progress; call after jpeg_create_decompress.
void WatchJpegProgress(jpeg_decompress_struct& cinfo, JpegGuard& guard);

/// Once the rows wanted are read: false when the data the decoder has read
/// so far does not hold every pixel (see above).
bool JpegDataComplete(const jpeg_decompress_struct& cinfo, JpegGuard& guard);

}  // namespace nocturo::codecs
