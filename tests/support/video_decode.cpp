#include "tests/support/video_decode.h"

#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace nocturo::test {

namespace {

std::string Text(const char* name) {
    return name != nullptr ? name : "";
}

bool ToBgr(const AVFrame* frame, RgbImage& out) {
    const int matrix = frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    SwsContext* sws = sws_getContext(
        frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
        frame->height, AV_PIX_FMT_BGR24, SWS_LANCZOS | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
        nullptr, nullptr, nullptr);
    if (sws == nullptr || !out.Resize(frame->width, frame->height)) {
        sws_freeContext(sws);
        return false;
    }
    const int* coefficients = sws_getCoefficients(matrix);
    sws_setColorspaceDetails(sws, coefficients, frame->color_range == AVCOL_RANGE_JPEG,
                             coefficients, 1, 0, 1 << 16, 1 << 16);
    uint8_t* rows[4] = {out.Row(0), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(out.Stride()), 0, 0, 0};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, rows, strides);
    sws_freeContext(sws);
    return true;
}

}  // namespace

DecodedVideo DecodeVideo(const std::string& fileName) {
    DecodedVideo video;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, fileName.c_str(), nullptr, nullptr) < 0) {
        return video;
    }
    std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> closeFormat(
        &format, avformat_close_input);
    if (avformat_find_stream_info(format, nullptr) < 0) {
        return video;
    }
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        return video;
    }
    const AVStream* stream = format->streams[index];
    const AVCodecParameters* par = stream->codecpar;
    video.width = par->width;
    video.height = par->height;
    video.fpsNum = stream->avg_frame_rate.num;
    video.fpsDen = stream->avg_frame_rate.den;
    video.seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
    video.codec = Text(avcodec_get_name(par->codec_id));
    video.profile = Text(avcodec_profile_name(par->codec_id, par->profile));
    video.pixelFormat = Text(av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format)));
    video.primaries = Text(av_color_primaries_name(par->color_primaries));
    video.transfer = Text(av_color_transfer_name(par->color_trc));
    video.matrix = Text(av_color_space_name(par->color_space));
    video.range = Text(av_color_range_name(par->color_range));

    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    AVCodecContext* codec = decoder != nullptr ? avcodec_alloc_context3(decoder) : nullptr;
    std::unique_ptr<AVCodecContext*, void (*)(AVCodecContext**)> freeCodec(&codec,
                                                                           avcodec_free_context);
    if (codec == nullptr || avcodec_parameters_to_context(codec, par) < 0 ||
        avcodec_open2(codec, decoder, nullptr) < 0) {
        return video;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool ok = packet != nullptr && frame != nullptr;
    auto receive = [&] {
        while (ok && avcodec_receive_frame(codec, frame) == 0) {
            video.frames.emplace_back();
            ok = ToBgr(frame, video.frames.back());
        }
    };
    while (ok && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index) {
            ok = avcodec_send_packet(codec, packet) >= 0;
            receive();
        }
        av_packet_unref(packet);
    }
    if (ok) {
        avcodec_send_packet(codec, nullptr);
        receive();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    video.ok = ok;
    return video;
}

double Psnr(const RgbImage& a, const RgbImage& b) {
    if (!a.SameSize(b) || a.Width() == 0) {
        return 0;
    }
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (size_t x = 0; x < a.Stride(); ++x) {
            const double d = static_cast<double>(a.Row(y)[x]) - b.Row(y)[x];
            sum += d * d;
        }
    }
    const double mse = sum / (static_cast<double>(a.Stride()) * a.Height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace nocturo::test
