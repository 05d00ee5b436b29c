#pragma once
// Abstract voice codec: frames of PCM in, coded bytes out, and back.
#include <cstdint>
#include <span>

class CCodec {
public:
    virtual void Reset() = 0;
    // Returns the bytes written to `output`, or 0 (nothing written) when the input is not a whole
    // number of coding blocks or `output` cannot hold the result.
    virtual int Encode(std::span<const uint8_t> input, std::span<uint8_t> output) = 0;
    virtual int Decode(std::span<const uint8_t> input, std::span<uint8_t> output) = 0;
    virtual ~CCodec() = default;
};
