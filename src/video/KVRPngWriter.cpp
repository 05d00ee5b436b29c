#include "video/KVRPngWriter.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "app/KVRLog.h"

bool KVRPngWriter::write(const KVRVideoImage& image, const std::string& path) {
    if (image.isNull() || image.bytesPerRow < image.width * 3) return false;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec) {
        KVRLog("png: no encoder");
        return false;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    bool ok = false;
    if (ctx && frame && pkt) {
        ctx->width = image.width;
        ctx->height = image.height;
        ctx->pix_fmt = AV_PIX_FMT_RGB24;
        ctx->time_base = AVRational{1, 1};
        frame->format = AV_PIX_FMT_RGB24;
        frame->width = image.width;
        frame->height = image.height;
        if (avcodec_open2(ctx, codec, nullptr) >= 0 && av_frame_get_buffer(frame, 0) >= 0) {
            for (int y = 0; y < image.height; ++y)
                std::memcpy(frame->data[0] + static_cast<size_t>(frame->linesize[0]) * y,
                            image.data + static_cast<size_t>(image.bytesPerRow) * y, static_cast<size_t>(image.width) * 3);
            if (avcodec_send_frame(ctx, frame) >= 0 && avcodec_receive_packet(ctx, pkt) >= 0) {
                const std::string temp = path + ".part";
                if (FILE* f = std::fopen(temp.c_str(), "wb")) {
                    bool written = std::fwrite(pkt->data, 1, static_cast<size_t>(pkt->size), f) ==
                                   static_cast<size_t>(pkt->size);
                    written = std::fclose(f) == 0 && written;
                    ok = written && std::rename(temp.c_str(), path.c_str()) == 0;
                    if (!ok) std::remove(temp.c_str());
                }
            }
        }
    }
    if (!ok) KVRLog("png: cannot write %s", path.c_str());
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return ok;
}
