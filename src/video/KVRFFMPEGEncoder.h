#pragma once
// Packed RGB24 camera frames in, MPEG-4 Part 2 packets out. Driven by one thread at a time (the owner's lock).
#include <cstdint>
#include <memory>

#include "video/KVRBitmapInfo.h"
#include "video/KVRVideoImage.h"

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

class KVRFFMPEGEncoder {
public:
    KVRFFMPEGEncoder();
    ~KVRFFMPEGEncoder();
    KVRFFMPEGEncoder(const KVRFFMPEGEncoder&) = delete;
    KVRFFMPEGEncoder& operator=(const KVRFFMPEGEncoder&) = delete;

    void init();
    bool video_encode_init(int32_t flag);
    // Refuses sizes that are not positive and even or whose RGB picture exceeds the 4 MiB frame buffer.
    bool video_encode_open(int32_t width, int32_t height);
    // `length` bytes of packed RGB, rows top to bottom. True only when a packet came out.
    bool video_encode(const uint8_t* data, uint32_t length);

    const uint8_t* get_cur_data() const;
    uint32_t get_cur_length() const;
    bool IsKeyFrame() const;
    const KVRBitmapInfo* get_bmp_header() const { return &m_bmi; }
    bool IsOpend() const { return m_bOpened; }
    uint32_t GetFrameIdx() const { return m_nFrameIdx; }
    void SetFrameIdx(uint32_t idx) { m_nFrameIdx = idx; }
    // The next picture given to video_encode is coded as a key frame.
    void requestKeyFrame() { m_bForceKeyFrame = true; }

    KVRVideoImage getCurrentCGImage();
    KVRVideoImage getCurrentImage() { return getCurrentCGImage(); }

    void video_close();
    void video_release();

private:
    const AVCodec* codec = nullptr;
    AVCodecContext* ctx = nullptr;
    AVFrame* frame_yuv = nullptr;
    AVFrame* frame_rgb = nullptr;
    std::unique_ptr<uint8_t[]> buffer_rgb;
    AVPacket* pkt = nullptr;
    SwsContext* to420P_ctx = nullptr;
    KVRBitmapInfo m_bmi;
    uint32_t m_nFrameIdx = 0;
    bool m_bOpened = false;
    bool m_bForceKeyFrame = false;
    bool m_bHavePacket = false;
    int m_width = 0;
    int m_height = 0;
    KVRVideoImage currentCGImage;
};
