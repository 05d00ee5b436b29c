#pragma once
// G.711 by table lookup: 16-bit PCM is cut to 14 bits (rounded toward zero) and looked up in a
// 16384-entry table; each code byte expands through a 256-entry table. Stateless beyond the law.
#include "audio/CCodec.h"

class CCodecG711 : public CCodec {
public:
    // true: mu-law (what the system sends), false: A-law.
    explicit CCodecG711(bool muLaw);

    void Reset() override {}
    int Encode(std::span<const uint8_t> input, std::span<uint8_t> output) override;
    int Decode(std::span<const uint8_t> input, std::span<uint8_t> output) override;

    bool isMuLaw() const { return m_bMuLaw; }

    // Single-value forms, for tests and tools.
    static uint8_t encodeSample(bool muLaw, int16_t sample);
    static int16_t decodeSample(bool muLaw, uint8_t code);

private:
    bool m_bMuLaw;
};
