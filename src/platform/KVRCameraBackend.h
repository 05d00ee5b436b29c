#pragma once
// The camera platform layer: lists video capture devices and their formats and delivers frames as packed
// 24-bit RGB (bytes R, G, B) on the back-end's own thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One captured picture. The pixels are shared, so handing a frame on never copies it.
struct KVRCameraFrame {
    int width = 0;
    int height = 0;
    int bytesPerRow = 0;  // may exceed width × 3 when the platform pads rows
    std::shared_ptr<const std::vector<uint8_t>> pixels;

    const uint8_t* baseAddress() const { return pixels && !pixels->empty() ? pixels->data() : nullptr; }
    size_t dataSize() const { return pixels ? pixels->size() : 0; }
    bool isUsable() const {
        return width > 0 && height > 0 && baseAddress() && bytesPerRow >= width * 3 &&
               dataSize() >= static_cast<size_t>(bytesPerRow) * static_cast<size_t>(height);
    }
};

struct KVRCameraFormat {
    int width = 0;
    int height = 0;
};

struct KVRCameraDescription {
    std::string id;
    std::string name;
    std::vector<KVRCameraFormat> formats;  // in the platform's order, duplicates kept
};

class KVRCameraBackend {
public:
    using FrameCallback = std::function<void(KVRCameraFrame)>;

    virtual ~KVRCameraBackend() = default;
    virtual std::vector<KVRCameraDescription> devices() = 0;
    // Opens device `index` of devices() asking for width × height frames; false when it cannot be opened.
    // Frames arrive through `onFrame` on the back-end's thread until stop().
    virtual bool start(int index, int width, int height, FrameCallback onFrame) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // The platform's text for the last failure of start(), for an alert.
    virtual std::string lastError() const { return {}; }
};
