#pragma once
// Bounds-checked little-endian reader over a received buffer. Every read reports failure instead of
// reading past the end, so a short or hostile packet can never be over-read.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class KVRByteReader {
public:
    explicit KVRByteReader(std::span<const uint8_t> data) : data_(data) {}

    size_t size() const { return data_.size(); }
    size_t position() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }

    bool skip(size_t n) {
        if (n > remaining()) return false;
        pos_ += n;
        return true;
    }
    bool seek(size_t offset) {
        if (offset > data_.size()) return false;
        pos_ = offset;
        return true;
    }

    std::optional<uint8_t> u8() { return readLE<uint8_t>(); }
    std::optional<uint16_t> u16() { return readLE<uint16_t>(); }
    std::optional<uint32_t> u32() { return readLE<uint32_t>(); }
    std::optional<uint64_t> u64() { return readLE<uint64_t>(); }
    std::optional<int16_t> i16() { return asSigned<int16_t>(u16()); }
    std::optional<int32_t> i32() { return asSigned<int32_t>(u32()); }
    std::optional<int64_t> i64() { return asSigned<int64_t>(u64()); }

    // The next n bytes as a view, or nothing when fewer remain.
    std::optional<std::span<const uint8_t>> bytes(size_t n) {
        if (n > remaining()) return std::nullopt;
        auto out = data_.subspan(pos_, n);
        pos_ += n;
        return out;
    }

    // A fixed-width, zero-padded byte text: the field is consumed whole, the text ends at its first zero.
    std::optional<std::string> fixedText(size_t width) {
        auto field = bytes(width);
        if (!field) return std::nullopt;
        size_t len = 0;
        while (len < field->size() && (*field)[len] != 0) ++len;
        return std::string(reinterpret_cast<const char*>(field->data()), len);
    }

    // A fixed-width UTF-16LE field of `units` code units, zero padded; returned as UTF-8.
    std::optional<std::string> fixedUtf16(size_t units);

    // The rest of the buffer as text up to its first zero byte (or its end).
    std::string restAsText() {
        auto rest = data_.subspan(pos_);
        size_t len = 0;
        while (len < rest.size() && rest[len] != 0) ++len;
        pos_ = data_.size();
        return std::string(reinterpret_cast<const char*>(rest.data()), len);
    }

private:
    template <typename T>
    std::optional<T> readLE() {
        if (sizeof(T) > remaining()) return std::nullopt;
        T v = 0;
        for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(static_cast<T>(data_[pos_ + i]) << (8 * i));
        pos_ += sizeof(T);
        return v;
    }
    template <typename S, typename U>
    static std::optional<S> asSigned(std::optional<U> u) {
        if (!u) return std::nullopt;
        return static_cast<S>(*u);
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};
