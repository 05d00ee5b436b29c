#include "KVRBotAudio.h"

#include "app/KVRGlobalData.h"
#include "audio/KVRAudioInputChannel.h"
#include "audio/KVRAudioOutputChannelManager.h"
#include "audio/KVRAudioRelaySender.h"
#include "audio/KVRSoundCardDevice.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"

KVRBotAudio::KVRBotAudio(Options options, LineOut line) : options_(std::move(options)), line_(std::move(line)) {
    backend_ = std::make_shared<KVRSyntheticAudioBackend>(options_.toneHz
                                                              ? KVRSyntheticAudioBackend::tone(*options_.toneHz, 0.4)
                                                              : KVRSyntheticAudioBackend::silence());
    // Only the file (or nothing) keeps what was played; a long run must not grow in memory.
    backend_->setKeepPlayed(false);
}

KVRBotAudio::~KVRBotAudio() { stop(); }

bool KVRBotAudio::start(const std::shared_ptr<KVRRelayServer>& relay) {
    if (started_) return true;
    started_ = true;
    KVRGlobalData::sharedGlobalData()->setSoundCardDevice(std::make_shared<KVRSoundCardDevice>(backend_));
    bool ok = true;
    if (!options_.recordPath.empty()) {
        recording_ = backend_->recordToWave(options_.recordPath);
        if (!recording_) {
            line_("kelvara-bot: cannot write the voice recording " + options_.recordPath);
            ok = false;
        }
    }
    voices_ = std::make_unique<KVRAudioOutputChannelManager>(backend_);
    if (options_.toneHz) {
        if (!relay) {
            line_("kelvara-bot: no relay client; the tone is not sent");
            ok = false;
        } else {
            input_ = std::make_unique<KVRAudioInputChannel>(backend_, std::make_shared<KVRAudioRelaySender>(relay));
            if (!input_->startAudio()) {
                line_("kelvara-bot: the microphone did not start; the tone is not sent");
                ok = false;
            }
        }
    }
    backend_->startRealTime();
    return ok;
}

void KVRBotAudio::receivedAudioData(std::span<const uint8_t> datagram) {
    // Everyone who speaks gets a channel: the bot hears the whole room.
    if (voices_) voices_->receivedAudioData(datagram, true);
}

void KVRBotAudio::stop() {
    if (!started_) return;
    started_ = false;
    if (input_) input_->stopAudio();
    backend_->stopRealTime();
    backend_->closeWave();
}

std::string KVRBotAudio::reportJson() const {
    std::string out = "{\"tone\":" + (options_.toneHz ? std::to_string(*options_.toneHz) : std::string("null"));
    out += ",\"framesSent\":" + std::to_string(input_ ? KVRAudioInputChannel::frameCounter() : 0);
    out += ",\"voices\":[";
    if (voices_) {
        bool first = true;
        for (const auto& id : voices_->users()) {
            // Identifiers come off the wire: keep only what needs no escaping in JSON.
            std::string safe;
            for (unsigned char c : id) safe += (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') ? char(c) : '?';
            out += (first ? "\"" : ",\"") + safe + "\"";
            first = false;
        }
    }
    out += "],\"recorded\":" + std::string(recording_ ? "true" : "false") + "}";
    return out;
}
