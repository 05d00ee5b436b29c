#pragma once
// Writes a packed RGB24 picture as a PNG file without Qt (FFmpeg's PNG encoder), for headless tools.
#include <string>

#include "video/KVRVideoImage.h"

class KVRPngWriter {
public:
    // Written beside the target and renamed over it; false (and a log line) on any failure.
    static bool write(const KVRVideoImage& image, const std::string& path);
};
