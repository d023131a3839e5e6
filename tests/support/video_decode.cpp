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
    SwsContext* sws = sws_getContext(
        frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
        frame->height, AV_PIX_FMT_BGR24, SWS_LANCZOS | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
        nullptr, nullptr, nullptr);
    const bool ok = sws != nullptr && out.Resize(frame->width, frame->height);
    if (ok) {
        const int* matrix = sws_getCoefficients(
            frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
        sws_setColorspaceDetails(sws, matrix, frame->color_range == AVCOL_RANGE_JPEG, matrix, 1, 0,
                                 1 << 16, 1 << 16);
        uint8_t* rows[4] = {out.Row(0), nullptr, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(out.Stride()), 0, 0, 0};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, rows, strides);
    }
    sws_freeContext(sws);
    return ok;
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
    const int index = avformat_find_stream_info(format, nullptr) < 0
                          ? -1
                          : av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        return video;
    }
    const AVStream* stream = format->streams[index];
    const AVCodecParameters* par = stream->codecpar;
    video.width = par->width;
    video.height = par->height;
    video.fps = av_q2d(stream->avg_frame_rate);
    video.seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
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
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool ok = codec != nullptr && packet != nullptr && frame != nullptr &&
              avcodec_parameters_to_context(codec, par) >= 0 &&
              avcodec_open2(codec, decoder, nullptr) >= 0;
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

RgbImage NightFrame(int width, int height, int k) {
    RgbImage image;
    image.Resize(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const bool band = (x - 8 * k % width + width) % width < 6;
            p[0] = p[1] = p[2] = static_cast<uint8_t>(20 + 50 * x / width + 30 * y / height +
                                                      10 * (k % 8) + 80 * band);
        }
    }
    return image;
}

std::vector<int> FrameOrder(const std::string& fileName, const std::vector<RgbImage>& pictures) {
    std::vector<int> order;
    for (const RgbImage& frame : DecodeVideo(fileName).frames) {
        int best = -1;
        double bestPsnr = 40;
        for (size_t k = 0; k < pictures.size(); ++k) {
            if (const double psnr = Psnr(pictures[k], frame); psnr >= bestPsnr) {
                bestPsnr = psnr;
                best = static_cast<int>(k);
            }
        }
        order.push_back(best);
    }
    return order;
}

}  // namespace nocturo::test
