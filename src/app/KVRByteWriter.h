#pragma once
// Little-endian writer for wire packets; fixed-width fields are cut to their width and zero padded.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

class KVRByteWriter {
public:
    KVRByteWriter() = default;
    explicit KVRByteWriter(size_t reserve) { buf_.reserve(reserve); }

    KVRByteWriter& u8(uint8_t v) { buf_.push_back(v); return *this; }
    KVRByteWriter& u16(uint16_t v) { return le(v); }
    KVRByteWriter& u32(uint32_t v) { return le(v); }
    KVRByteWriter& u64(uint64_t v) { return le(v); }
    KVRByteWriter& i16(int16_t v) { return le(static_cast<uint16_t>(v)); }
    KVRByteWriter& i32(int32_t v) { return le(static_cast<uint32_t>(v)); }
    KVRByteWriter& i64(int64_t v) { return le(static_cast<uint64_t>(v)); }
    KVRByteWriter& zeros(size_t n) { buf_.insert(buf_.end(), n, 0); return *this; }

    KVRByteWriter& bytes(std::span<const uint8_t> b) {
        buf_.insert(buf_.end(), b.begin(), b.end());
        return *this;
    }
    KVRByteWriter& text(std::string_view s) {
        buf_.insert(buf_.end(), s.begin(), s.end());
        return *this;
    }
    // Exactly `width` bytes: the text cut to fit, the rest zero.
    KVRByteWriter& fixedText(std::string_view s, size_t width) {
        size_t n = s.size() < width ? s.size() : width;
        buf_.insert(buf_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
        return zeros(width - n);
    }
    // Exactly `units` UTF-16LE code units from UTF-8 text, cut to fit (never inside a surrogate pair), zero padded.
    KVRByteWriter& fixedUtf16(std::string_view utf8, size_t units);

    // Overwrite a 16-bit field written earlier (lengths known only at the end).
    void patchU16(size_t offset, uint16_t v) {
        if (offset + 2 > buf_.size()) return;
        buf_[offset] = static_cast<uint8_t>(v & 0xff);
        buf_[offset + 1] = static_cast<uint8_t>(v >> 8);
    }

    size_t size() const { return buf_.size(); }
    const std::vector<uint8_t>& data() const { return buf_; }
    std::vector<uint8_t> take() { return std::move(buf_); }

private:
    template <typename T>
    KVRByteWriter& le(T v) {
        for (size_t i = 0; i < sizeof(T); ++i) buf_.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xff));
        return *this;
    }
    std::vector<uint8_t> buf_;
};
