#include "video/KVRFFMPEGEncoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "app/KVRLog.h"

KVRFFMPEGEncoder::KVRFFMPEGEncoder()
    : buffer_rgb(new uint8_t[kvr::kVideoFrameBufferSize + kvr::kVideoFrameBufferSlack]()) {
    init();
}

KVRFFMPEGEncoder::~KVRFFMPEGEncoder() { video_release(); }

void KVRFFMPEGEncoder::init() {
    video_release();
    codec = nullptr;
    m_bmi = KVRBitmapInfo{};
    m_nFrameIdx = 0;
    m_bOpened = false;
    m_bForceKeyFrame = false;
    m_width = m_height = 0;
    currentCGImage = {};
}

bool KVRFFMPEGEncoder::video_encode_init(int32_t) {
    if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec) return false;
    if (!ctx) ctx = avcodec_alloc_context3(codec);
    return ctx != nullptr;
}

bool KVRFFMPEGEncoder::video_encode_open(int32_t width, int32_t height) {
    if (!kvr::videoSizeFits(width, height)) {
        KVRLog("video encoder: refused picture size %d x %d", width, height);
        return false;
    }
    if (!video_encode_init(1)) return false;
    ctx->bit_rate = 400000;
    ctx->width = width;
    ctx->height = height;
    ctx->time_base = AVRational{1, 25};
    ctx->gop_size = 10;
    ctx->max_b_frames = 1;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        KVRLog("비디오 코덱 오픈 에러 - 3");
        return false;
    }
    frame_yuv = av_frame_alloc();
    if (!frame_yuv) return false;
    frame_yuv->format = ctx->pix_fmt;
    frame_yuv->width = width;
    frame_yuv->height = height;
    if (av_frame_get_buffer(frame_yuv, 32) < 0) {
        KVRLog("비디오 코덱 오픈 에러 - 4");
        return false;
    }
    frame_rgb = av_frame_alloc();
    if (!frame_rgb) {
        KVRLog("비디오 코덱 오픈 에러 - 5");
        return false;
    }
    frame_rgb->format = AV_PIX_FMT_RGB24;
    frame_rgb->width = width;
    frame_rgb->height = height;
    frame_rgb->data[0] = buffer_rgb.get();
    frame_rgb->linesize[0] = width * 3;
    to420P_ctx = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                nullptr, nullptr, nullptr);
    if (!to420P_ctx) {
        KVRLog("비디오 코덱 오픈 에러 - 6");
        return false;
    }
    pkt = av_packet_alloc();
    if (!pkt) return false;
    m_width = width;
    m_height = height;
    m_bmi = KVRBitmapInfo::forPicture(width, height, KVRBitmapInfo::kFourCCDivx);
    m_bOpened = true;
    return true;
}

bool KVRFFMPEGEncoder::video_encode(const uint8_t* data, uint32_t length) {
    if (!m_bOpened || !data) return false;
    av_packet_unref(pkt);
    m_bHavePacket = false;
    // Never copy more than one picture of the open size (which always fits the frame buffer).
    const size_t picture = static_cast<size_t>(m_width) * static_cast<size_t>(m_height) * 3u;
    std::memcpy(buffer_rgb.get(), data, std::min<size_t>(length, picture));
    // The encoder may still hold a reference to the previous picture's planes.
    if (av_frame_make_writable(frame_yuv) < 0) return false;
    sws_scale(to420P_ctx, frame_rgb->data, frame_rgb->linesize, 0, m_height, frame_yuv->data, frame_yuv->linesize);
    frame_yuv->pict_type = m_bForceKeyFrame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    m_bForceKeyFrame = false;
    int rc = avcodec_send_frame(ctx, frame_yuv);
    if (rc == AVERROR(EAGAIN)) {
        // A packet is still waiting: hand that out now and queue this picture behind it; its packet
        // comes out on the next call.
        if (avcodec_receive_packet(ctx, pkt) < 0) return false;
        avcodec_send_frame(ctx, frame_yuv);
        m_bHavePacket = true;
        ++m_nFrameIdx;
        return true;
    }
    if (rc < 0) return false;
    if (avcodec_receive_packet(ctx, pkt) < 0) return false;
    m_bHavePacket = true;
    ++m_nFrameIdx;
    return true;
}

const uint8_t* KVRFFMPEGEncoder::get_cur_data() const { return m_bHavePacket && pkt ? pkt->data : nullptr; }

uint32_t KVRFFMPEGEncoder::get_cur_length() const {
    return m_bHavePacket && pkt ? static_cast<uint32_t>(pkt->size) : 0;
}

bool KVRFFMPEGEncoder::IsKeyFrame() const { return m_bHavePacket && pkt && (pkt->flags & AV_PKT_FLAG_KEY); }

KVRVideoImage KVRFFMPEGEncoder::getCurrentCGImage() {
    if (!m_bOpened) return {};
    currentCGImage = KVRVideoImage{buffer_rgb.get(), m_width, m_height, m_width * 3};
    return currentCGImage;
}

void KVRFFMPEGEncoder::video_close() {
    m_bOpened = false;
    m_bHavePacket = false;
    // A context cannot be opened twice: closing swaps in a fresh one, so a later open still works.
    if (ctx && avcodec_is_open(ctx)) {
        avcodec_free_context(&ctx);
        if (codec) ctx = avcodec_alloc_context3(codec);
    }
    av_frame_free(&frame_yuv);
    if (frame_rgb) frame_rgb->data[0] = nullptr;  // the plane is ours, not the library's
    av_frame_free(&frame_rgb);
    av_packet_free(&pkt);
    sws_freeContext(to420P_ctx);
    to420P_ctx = nullptr;
    currentCGImage = {};
}

void KVRFFMPEGEncoder::video_release() {
    video_close();
    avcodec_free_context(&ctx);
}
