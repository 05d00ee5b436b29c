#include "video/KVRFFMPEGDecoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "app/KVRLog.h"

KVRFFMPEGDecoder::KVRFFMPEGDecoder()
    : buffer_rgb(new uint8_t[kvr::kVideoFrameBufferSize + kvr::kVideoFrameBufferSlack]()) {
    init();
}

KVRFFMPEGDecoder::~KVRFFMPEGDecoder() { video_release(); }

void KVRFFMPEGDecoder::init() {
    video_release();
    codec = nullptr;
    m_bmiDec = KVRBitmapInfo{};
    m_nFrameIdx = 0;
    m_nCamIdx = -1;
    m_bRcvKeyFrame = false;
    m_bOpened = false;
    currentCGImage = {};
}

bool KVRFFMPEGDecoder::video_decode_init(int32_t flag) {
    m_bH264 = flag == 0;
    const AVCodec* wanted = avcodec_find_decoder(m_bH264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4);
    if (!wanted) return false;
    if (ctx && codec != wanted) avcodec_free_context(&ctx);
    codec = wanted;
    if (!ctx) ctx = avcodec_alloc_context3(codec);
    return ctx != nullptr;
}

bool KVRFFMPEGDecoder::video_decode_open(int32_t width, int32_t height) {
    if (!ctx) return false;
    if (!kvr::videoSizeFits(width, height)) {
        KVRLog("video decoder: refused picture size %d x %d", width, height);
        return false;
    }
    if (avcodec_is_open(ctx)) video_close();
    if (!ctx) return false;
    ctx->width = width;
    ctx->height = height;
    if (avcodec_open2(ctx, codec, nullptr) < 0) return false;
    frame_yuv = av_frame_alloc();
    frame_rgb = av_frame_alloc();
    pkt = av_packet_alloc();
    if (!frame_yuv || !frame_rgb || !pkt) return false;
    frame_rgb->format = AV_PIX_FMT_RGB24;
    frame_rgb->width = width;
    frame_rgb->height = height;
    frame_rgb->data[0] = buffer_rgb.get();
    frame_rgb->linesize[0] = width * 3;
    m_picWidth = width;
    m_picHeight = height;
    m_bLoggedOversize = false;
    m_bmiDec = KVRBitmapInfo::forPicture(width, height, 0);
    m_bOpened = true;
    return true;
}

bool KVRFFMPEGDecoder::video_decode(const uint8_t* data, uint32_t length) {
    if (!m_bOpened || !data || length == 0) return false;
    if (length > kvr::kVideoFrameBufferSize) return false;
    m_input.resize(static_cast<size_t>(length) + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(m_input.data(), data, length);
    std::memset(m_input.data() + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    av_packet_unref(pkt);
    pkt->data = m_input.data();
    pkt->size = static_cast<int>(length);

    int rc = avcodec_send_packet(ctx, pkt);
    if (rc == AVERROR(EAGAIN)) {
        // A picture is waiting: take it, then feed this packet.
        if (avcodec_receive_frame(ctx, frame_yuv) >= 0) {
            bool ok = convertPicture();
            avcodec_send_packet(ctx, pkt);
            pkt->data = nullptr;
            pkt->size = 0;
            return ok;
        }
        rc = avcodec_send_packet(ctx, pkt);
    }
    pkt->data = nullptr;
    pkt->size = 0;
    if (rc < 0) return false;
    if (avcodec_receive_frame(ctx, frame_yuv) < 0) return false;
    return convertPicture();
}

bool KVRFFMPEGDecoder::convertPicture() {
    const int w = frame_yuv->width;
    const int h = frame_yuv->height;
    // The bitstream, not the open size, decides the picture size: check it against the buffer every time.
    if (w <= 0 || h <= 0 || static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 3u > kvr::kVideoFrameBufferSize) {
        if (!m_bLoggedOversize) {
            KVRLog("video decoder: dropped decoded picture of %d x %d (larger than the frame buffer)", w, h);
            m_bLoggedOversize = true;
        }
        av_frame_unref(frame_yuv);
        return false;
    }
    if (!toRGB_ctx || w != m_scalerWidth || h != m_scalerHeight || frame_yuv->format != m_scalerFormat) {
        sws_freeContext(toRGB_ctx);
        toRGB_ctx = sws_getContext(w, h, static_cast<AVPixelFormat>(frame_yuv->format), w, h, AV_PIX_FMT_RGB24,
                                   SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
        if (!toRGB_ctx) {
            m_scalerWidth = m_scalerHeight = 0;
            av_frame_unref(frame_yuv);
            return false;
        }
        m_scalerWidth = w;
        m_scalerHeight = h;
        m_scalerFormat = frame_yuv->format;
        frame_rgb->width = w;
        frame_rgb->height = h;
        frame_rgb->linesize[0] = w * 3;
    }
    sws_scale(toRGB_ctx, frame_yuv->data, frame_yuv->linesize, 0, h, frame_rgb->data, frame_rgb->linesize);
    m_picWidth = w;
    m_picHeight = h;
    av_frame_unref(frame_yuv);
    return true;
}

KVRVideoImage KVRFFMPEGDecoder::getCurrentCGImage() {
    if (!m_bOpened || !frame_rgb) return {};
    currentCGImage = KVRVideoImage{buffer_rgb.get(), m_picWidth, m_picHeight, m_picWidth * 3};
    return currentCGImage;
}

const uint8_t* KVRFFMPEGDecoder::get_cur_data() const { return frame_rgb ? buffer_rgb.get() : nullptr; }

uint32_t KVRFFMPEGDecoder::get_cur_length() const {
    if (!ctx || !frame_rgb) return 0;
    return static_cast<uint32_t>(m_picHeight) * static_cast<uint32_t>(m_picWidth * 3);
}

void KVRFFMPEGDecoder::video_close() {
    m_bOpened = false;
    // A context cannot be opened twice: closing swaps in a fresh one, so the decoder can be opened again.
    if (ctx && avcodec_is_open(ctx)) {
        avcodec_free_context(&ctx);
        if (codec) ctx = avcodec_alloc_context3(codec);
    }
    av_frame_free(&frame_yuv);
    if (frame_rgb) frame_rgb->data[0] = nullptr;
    av_frame_free(&frame_rgb);
    if (pkt) {
        pkt->data = nullptr;
        pkt->size = 0;
    }
    av_packet_free(&pkt);
    sws_freeContext(toRGB_ctx);
    toRGB_ctx = nullptr;
    m_scalerWidth = m_scalerHeight = 0;
    m_scalerFormat = -1;
    m_bRcvKeyFrame = false;
    m_nCamIdx = -1;
    m_picWidth = m_picHeight = 0;
    currentCGImage = {};
}

void KVRFFMPEGDecoder::video_release() {
    video_close();
    avcodec_free_context(&ctx);
}
