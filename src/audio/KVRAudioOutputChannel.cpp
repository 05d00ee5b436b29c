#include "audio/KVRAudioOutputChannel.h"

#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "audio/KVRSoundCardDevice.h"

KVRAudioOutputChannel::KVRAudioOutputChannel(std::shared_ptr<KVRAudioBackend> backend)
    : KVRAudioPlayer(std::move(backend)) {}

bool KVRAudioOutputChannel::putDataEx(int headerFlag, std::span<const uint8_t> media, int mediaLength,
                                      const std::string& userID) {
    return play(KVRAudioPayload::parseMedia(headerFlag, media, mediaLength), userID);
}

bool KVRAudioOutputChannel::putAudioPayload(std::span<const uint8_t> payload, const std::string& userID) {
    auto parsed = KVRAudioPayload::parse(payload);
    if (parsed.result == KVRAudioPayload::ParseResult::Frame || parsed.result == KVRAudioPayload::ParseResult::Silence)
        lastLevel_ = parsed.level > 100 ? 100 : parsed.level;
    return play(parsed, userID);
}

bool KVRAudioOutputChannel::play(const KVRAudioPayload::Parsed& parsed, const std::string& userID) {
    using R = KVRAudioPayload::ParseResult;
    // A silent frame is a whole 20 ms frame, so playback and a recorded track keep time.
    static const uint8_t nullBuffer[KVRAudioPayload::kPCMFrameBytes] = {};
    if (parsed.result == R::Short || parsed.result == R::BadLength) {
        const uint64_t n = ++dropped_;
        if (n == 1 || n % 100 == 0)
            KVRLog("Audio payload dropped from %s : %s (media length %d, %llu dropped)", userID.c_str(),
                   parsed.result == R::Short ? "too short" : "media length does not match the datagram",
                   static_cast<int>(parsed.mediaLength), static_cast<unsigned long long>(n));
        return false;
    }
    std::lock_guard lock(decodeMutex_);
    if (!_g711Decoder) _g711Decoder = std::make_unique<CCodecG711>(true);
    auto device = KVRGlobalData::sharedGlobalData()->soundCardDevice();
    if (parsed.result == R::Silence || (device && device->isSpkMute())) {
        putData(nullBuffer, sizeof nullBuffer);
        return true;
    }
    const int n = _g711Decoder->Decode(parsed.coded, buffer);
    putData(buffer.data(), static_cast<uint32_t>(n));
    return true;
}
