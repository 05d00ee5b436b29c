#pragma once
// One remote participant's packets (MPEG-4 Part 2, or H.264 when the sender says so) in, packed RGB24 out.
// Driven by one thread at a time (the tile's lock).
#include <cstdint>
#include <memory>
#include <vector>

#include "video/KVRBitmapInfo.h"
#include "video/KVRVideoImage.h"

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

class KVRFFMPEGDecoder {
public:
    KVRFFMPEGDecoder();
    ~KVRFFMPEGDecoder();
    KVRFFMPEGDecoder(const KVRFFMPEGDecoder&) = delete;
    KVRFFMPEGDecoder& operator=(const KVRFFMPEGDecoder&) = delete;

    void init();
    // Nonzero: MPEG-4 Part 2; zero: H.264.
    bool video_decode_init(int32_t flag);
    // The size comes from the network: refused unless positive, even and within the 4 MiB frame buffer.
    bool video_decode_open(int32_t width, int32_t height);
    // One whole packet. True only when a picture came out and was converted to RGB.
    bool video_decode(const uint8_t* data, uint32_t length);

    KVRVideoImage getCurrentCGImage();
    KVRVideoImage getCurrentImage() { return getCurrentCGImage(); }
    const uint8_t* get_cur_data() const;
    uint32_t get_cur_length() const;
    // Size of the last decoded picture (the bitstream's, which may differ from the size opened with).
    int pictureWidth() const { return m_picWidth; }
    int pictureHeight() const { return m_picHeight; }

    const KVRBitmapInfo* get_bmp_header() const { return &m_bmiDec; }
    bool IsOpend() const { return m_bOpened; }
    uint32_t GetFrameIdx() const { return m_nFrameIdx; }
    void SetFrameIdx(uint32_t idx) { m_nFrameIdx = idx; }
    int32_t GetCamIdx() const { return m_nCamIdx; }
    void SetCamIdx(int32_t idx) { m_nCamIdx = idx; }
    bool IsRcvKeyFrame() const { return m_bRcvKeyFrame; }
    void SetRcvKeyFrame(bool v) { m_bRcvKeyFrame = v; }
    bool isH264() const { return m_bH264; }

    void video_close();
    void video_release();

private:
    bool convertPicture();

    const AVCodec* codec = nullptr;
    AVCodecContext* ctx = nullptr;
    AVFrame* frame_yuv = nullptr;
    AVFrame* frame_rgb = nullptr;
    std::unique_ptr<uint8_t[]> buffer_rgb;
    AVPacket* pkt = nullptr;
    SwsContext* toRGB_ctx = nullptr;
    // The decoder reads a little past a packet's end, so input is copied into this padded buffer.
    std::vector<uint8_t> m_input;
    KVRBitmapInfo m_bmiDec;
    uint32_t m_nFrameIdx = 0;
    int32_t m_nCamIdx = -1;
    bool m_bRcvKeyFrame = false;
    bool m_bOpened = false;
    bool m_bH264 = false;
    bool m_bLoggedOversize = false;
    int m_picWidth = 0;
    int m_picHeight = 0;
    int m_scalerWidth = 0;
    int m_scalerHeight = 0;
    int m_scalerFormat = -1;
    KVRVideoImage currentCGImage;
};
