#include "audio/CCodecG711.h"

#include <array>

namespace {

// ITU-T G.711 mu-law of a 14-bit two's-complement value.
uint8_t muLawOf14(int v) {
    static constexpr int kSegEnd[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
    int mask = 0xFF;
    if (v < 0) {
        v = -v;
        mask = 0x7F;
    }
    if (v > 8159) v = 8159;
    v += 33;
    int seg = 0;
    while (seg < 8 && v > kSegEnd[seg]) ++seg;
    if (seg >= 8) return static_cast<uint8_t>(0x7F ^ mask);
    return static_cast<uint8_t>(((seg << 4) | ((v >> (seg + 1)) & 0x0F)) ^ mask);
}

// ITU-T G.711 A-law of a 13-bit two's-complement value.
uint8_t aLawOf13(int v) {
    static constexpr int kSegEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    int mask = 0xD5;
    if (v < 0) {
        mask = 0x55;
        v = -v - 1;
    }
    int seg = 0;
    while (seg < 8 && v > kSegEnd[seg]) ++seg;
    if (seg >= 8) return static_cast<uint8_t>(0x7F ^ mask);
    int a = seg << 4;
    a |= (seg < 2 ? (v >> 1) : (v >> seg)) & 0x0F;
    return static_cast<uint8_t>(a ^ mask);
}

int16_t muLawExpand(uint8_t code) {
    int u = ~code & 0xFF;
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u & 0x70) >> 4;
    return static_cast<int16_t>((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

int16_t aLawExpand(uint8_t code) {
    int a = code ^ 0x55;
    int t = (a & 0x0F) << 4;
    int seg = (a & 0x70) >> 4;
    if (seg == 0) {
        t += 8;
    } else {
        t += 0x108;
        if (seg > 1) t <<= seg - 1;
    }
    return static_cast<int16_t>((a & 0x80) ? t : -t);
}

struct Tables {
    std::array<uint8_t, 16384> encodeMu{}, encodeA{};
    std::array<int16_t, 256> decodeMu{}, decodeA{};
    Tables() {
        for (int i = 0; i < 16384; ++i) {
            int v14 = i >= 8192 ? i - 16384 : i;
            encodeMu[i] = muLawOf14(v14);
            encodeA[i] = aLawOf13(v14 >> 1);
        }
        for (int c = 0; c < 256; ++c) {
            decodeMu[c] = muLawExpand(static_cast<uint8_t>(c));
            decodeA[c] = aLawExpand(static_cast<uint8_t>(c));
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

inline unsigned index14(int16_t s) { return static_cast<unsigned>(s / 4) & 0x3FFF; }

}  // namespace

CCodecG711::CCodecG711(bool muLaw) : m_bMuLaw(muLaw) { tables(); }

int CCodecG711::Encode(std::span<const uint8_t> input, std::span<uint8_t> output) {
    const size_t inBytes = input.size();
    const size_t capacity = inBytes / 80 * 40;
    const size_t count = inBytes / 2;
    if (capacity < count || output.size() < count) return 0;
    const uint8_t* table = m_bMuLaw ? tables().encodeMu.data() : tables().encodeA.data();
    const uint8_t* in = input.data();
    uint8_t* out = output.data();
    for (size_t i = 0; i < count; ++i) {
        auto s = static_cast<int16_t>(in[2 * i] | (in[2 * i + 1] << 8));
        out[i] = table[index14(s)];
    }
    return static_cast<int>(count);
}

int CCodecG711::Decode(std::span<const uint8_t> input, std::span<uint8_t> output) {
    const size_t inBytes = input.size();
    const size_t capacity = inBytes / 40 * 80;
    if (capacity < inBytes * 2 || output.size() < inBytes * 2) return 0;
    const int16_t* table = m_bMuLaw ? tables().decodeMu.data() : tables().decodeA.data();
    const uint8_t* in = input.data();
    uint8_t* out = output.data();
    for (size_t i = 0; i < inBytes; ++i) {
        auto v = static_cast<uint16_t>(table[in[i]]);
        out[2 * i] = static_cast<uint8_t>(v & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return static_cast<int>(inBytes * 2);
}

uint8_t CCodecG711::encodeSample(bool muLaw, int16_t sample) {
    return (muLaw ? tables().encodeMu : tables().encodeA)[index14(sample)];
}

int16_t CCodecG711::decodeSample(bool muLaw, uint8_t code) {
    return (muLaw ? tables().decodeMu : tables().decodeA)[code];
}
