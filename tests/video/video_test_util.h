#pragma once
// Picture comparison for the video tests.
#include <cmath>

#include "platform/KVRCameraBackend.h"
#include "video/KVRVideoImage.h"

namespace kvrtest {
inline double psnr(const KVRCameraFrame& ref, const KVRVideoImage& img) {
    if (img.isNull() || img.width != ref.width || img.height != ref.height) return -1;
    double se = 0;
    const uint8_t* a = ref.baseAddress();
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width * 3; ++x) {
            double d = double(a[y * ref.bytesPerRow + x]) - double(img.data[y * img.bytesPerRow + x]);
            se += d * d;
        }
    double mse = se / (double(ref.width) * ref.height * 3);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}
}  // namespace kvrtest
