#pragma once
// One received segment's data (at most 780 bytes of room).
#include <array>
#include <cstdint>

class KVRVideoFrame {
public:
    static constexpr uint32_t kRoom = 780;

    // Both copy at most kRoom bytes; a longer size is cut, never overrun.
    void initWidthData(const uint8_t* data, uint32_t size) { setFrame(data, size); }
    void setFrame(const uint8_t* data, uint32_t size);
    const uint8_t* getFrame() const { return frame.data(); }
    uint32_t getSize() const { return frameSize; }

private:
    std::array<uint8_t, kRoom> frame{};
    uint32_t frameSize = 0;
};
