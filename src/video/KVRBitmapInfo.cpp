#include "video/KVRBitmapInfo.h"

#include <cstring>

#include "app/KVRByteReader.h"
#include "app/KVRByteWriter.h"

KVRBitmapInfo KVRBitmapInfo::forPicture(int32_t width, int32_t height, uint32_t compression) {
    KVRBitmapInfo bmi;
    bmi.biSize = kSize;
    bmi.biWidth = width;
    bmi.biHeight = height;
    bmi.biPlanes = 1;
    bmi.biBitCount = 24;
    bmi.biCompression = compression;
    bmi.biSizeImage = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 3u;
    return bmi;
}

std::array<uint8_t, KVRBitmapInfo::kSize> KVRBitmapInfo::encode() const {
    KVRByteWriter w(kSize);
    w.u32(biSize).i32(biWidth).i32(biHeight).u16(biPlanes).u16(biBitCount).u32(biCompression).u32(biSizeImage)
        .i32(biXPelsPerMeter).i32(biYPelsPerMeter).u32(biClrUsed).u32(biClrImportant).bytes(bmiColors);
    std::array<uint8_t, kSize> out{};
    std::memcpy(out.data(), w.data().data(), kSize);
    return out;
}

std::optional<KVRBitmapInfo> KVRBitmapInfo::decode(std::span<const uint8_t> bytes) {
    KVRByteReader r(bytes);
    KVRBitmapInfo b;
    auto size = r.u32();
    auto width = r.i32();
    auto height = r.i32();
    auto planes = r.u16();
    auto bits = r.u16();
    auto compression = r.u32();
    auto image = r.u32();
    auto xppm = r.i32();
    auto yppm = r.i32();
    auto used = r.u32();
    auto important = r.u32();
    auto colors = r.bytes(4);
    if (!colors) return std::nullopt;  // every earlier read succeeded if the last one did
    b.biSize = *size;
    b.biWidth = *width;
    b.biHeight = *height;
    b.biPlanes = *planes;
    b.biBitCount = *bits;
    b.biCompression = *compression;
    b.biSizeImage = *image;
    b.biXPelsPerMeter = *xppm;
    b.biYPelsPerMeter = *yppm;
    b.biClrUsed = *used;
    b.biClrImportant = *important;
    for (size_t i = 0; i < 4; ++i) b.bmiColors[i] = (*colors)[i];
    return b;
}
