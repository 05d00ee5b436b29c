#pragma once
// The 44-byte picture description (BITMAPINFO layout: 40-byte header plus one colour entry) that each
// codec adapter keeps and that travels inside every video payload.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

struct KVRBitmapInfo {
    static constexpr size_t kSize = 44;
    // "DIVX" read as a little-endian 32-bit value (bytes D, I, V, X in that order).
    static constexpr uint32_t kFourCCDivx = 0x58564944u;

    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
    std::array<uint8_t, 4> bmiColors{};  // rgbBlue, rgbGreen, rgbRed, rgbReserved

    // The record as an adapter fills it after a successful open of width × height.
    static KVRBitmapInfo forPicture(int32_t width, int32_t height, uint32_t compression);

    std::array<uint8_t, kSize> encode() const;
    // Nothing when fewer than 44 bytes are given.
    static std::optional<KVRBitmapInfo> decode(std::span<const uint8_t> bytes);

    bool operator==(const KVRBitmapInfo&) const = default;
};
