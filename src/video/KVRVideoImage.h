#pragma once
// A packed RGB24 picture that shares an adapter's frame buffer (no copy): it shows whatever the buffer
// holds when it is drawn. Views that keep a picture copy it.
#include <cstddef>
#include <cstdint>

struct KVRVideoImage {
    const uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int bytesPerRow = 0;

    bool isNull() const { return data == nullptr || width <= 0 || height <= 0; }
    size_t byteCount() const { return static_cast<size_t>(bytesPerRow) * static_cast<size_t>(height); }
};

namespace kvr {
// Size of each adapter's RGB frame buffer; no picture larger than this is ever copied into it.
inline constexpr size_t kVideoFrameBufferSize = 4194304;
// Extra bytes after the buffer: SIMD scaler paths may touch a little past the last row.
inline constexpr size_t kVideoFrameBufferSlack = 64;

// True for a size whose packed RGB picture fits the frame buffer: positive, even (YUV 4:2:0), W × H × 3 ≤ 4 MiB.
inline bool videoSizeFits(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 || (width & 1) || (height & 1)) return false;
    if (width > 65535 || height > 65535) return false;
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3u <= kVideoFrameBufferSize;
}
}  // namespace kvr
