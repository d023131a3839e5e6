#include "core/codecs/jpeg_guard.h"

// jerror.h names some codes only once jpeglib.h has set the library version.
#include <jerror.h>

namespace nocturo::codecs {

namespace {

// A progressive file can repeat scans without end; each one costs a pass over
// the whole coefficient buffer, so a few kilobytes could keep us busy for
// minutes. No real encoder writes more than a few dozen scans.
constexpr int kMaxScans = 500;

JpegGuard& GuardOf(j_common_ptr cinfo) {
    return *reinterpret_cast<JpegGuard*>(cinfo->err);
}

// libjpeg calls error_exit for fatal errors; it must not return. We jump
// back to the caller's setjmp; only libjpeg's C frames and the caller's
// frames that own nothing needing destruction are skipped.
[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    std::longjmp(GuardOf(cinfo).jump, 1);
}

void SilentMessage(j_common_ptr) {}

void NoteScan(const jpeg_decompress_struct& cinfo, JpegGuard& guard) {
    for (int i = 0; i < cinfo.comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i) {
        const jpeg_component_info* component = cinfo.cur_comp_info[i];
        if (component != nullptr && component->component_index >= 0 &&
            component->component_index < 32) {
            guard.componentsWithScan |= 1u << component->component_index;
        }
    }
}

void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) {
        return;  // trace messages
    }
    switch (cinfo->err->msg_code) {
        case JWRN_ARITH_BAD_CODE:
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_MUST_RESYNC:
            ErrorExit(cinfo);
        case JWRN_JPEG_EOF:
            GuardOf(cinfo).ranOut = true;
            if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->arith_code) {
                ErrorExit(cinfo);  // nothing could tell it from a cut file
            }
            break;
        default:
            break;
    }
}

void OnProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) {
        return;
    }
    const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->progressive_mode && dinfo->input_scan_number > kMaxScans) {
        ERREXIT(cinfo, JERR_NOT_COMPILED);  // any fatal code: we only need the jump
    }
    NoteScan(*dinfo, GuardOf(cinfo));
}

}  // namespace

void UseJpegGuard(jpeg_decompress_struct& cinfo, JpegGuard& guard) {
    cinfo.err = jpeg_std_error(&guard.errors);
    guard.errors.error_exit = ErrorExit;
    guard.errors.output_message = SilentMessage;
    guard.errors.emit_message = OnMessage;
    guard.ranOut = false;
    guard.componentsWithScan = 0;
}

void WatchJpegProgress(jpeg_decompress_struct& cinfo, JpegGuard& guard) {
    guard.progress = jpeg_progress_mgr{};
    guard.progress.progress_monitor = OnProgress;
    cinfo.progress = &guard.progress;
}

bool JpegDataComplete(const jpeg_decompress_struct& cinfo, JpegGuard& guard) {
    if (!guard.ranOut) {
        return true;
    }
    if (cinfo.arith_code) {
        return false;
    }
    NoteScan(cinfo, guard);
    const int components = cinfo.num_components;
    if (components <= 0 || components > 32) {
        return false;
    }
    if (!cinfo.progressive_mode) {
        return guard.componentsWithScan == (components == 32 ? ~0u : (1u << components) - 1);
    }
    if (cinfo.coef_bits == nullptr) {
        return false;
    }
    for (int c = 0; c < components; ++c) {
        for (int k = 0; k < DCTSIZE2; ++k) {
            if (cinfo.coef_bits[c][k] != 0) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace nocturo::codecs
