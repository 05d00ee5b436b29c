#pragma once
// The bot's voice: a synthetic sound card whose microphone plays a tone (with --tone) and whose
// speaker mixes every remote voice the bot plays, written to a WAV file as it goes (with
// --record-audio). The card runs in real time from start to stop; the speaking right is the
// conference's, as for any participant.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

class KVRAudioInputChannel;
class KVRAudioOutputChannelManager;
class KVRRelayServer;
class KVRSyntheticAudioBackend;

class KVRBotAudio {
public:
    struct Options {
        std::optional<double> toneHz;  // nothing: the microphone is silent and nothing is sent
        std::string recordPath;        // empty: nothing written
    };
    using LineOut = std::function<void(const std::string&)>;

    KVRBotAudio(Options options, LineOut line);
    ~KVRBotAudio();
    KVRBotAudio(const KVRBotAudio&) = delete;
    KVRBotAudio& operator=(const KVRBotAudio&) = delete;

    // Registers the sound card device, opens the WAV file, starts capture and the card's clock.
    // False (with a report line) when the file cannot be written or capture cannot start.
    bool start(const std::shared_ptr<KVRRelayServer>& relay);
    // One relay audio datagram (header included), on the relay's receive thread.
    void receivedAudioData(std::span<const uint8_t> datagram);
    // Stops capture and the clock and closes the WAV file, so what was played is all on disk. Idempotent.
    void stop();

    // {"tone":..,"framesSent":..,"voices":[..],"recorded":..}
    std::string reportJson() const;

private:
    Options options_;
    LineOut line_;
    std::shared_ptr<KVRSyntheticAudioBackend> backend_;
    std::unique_ptr<KVRAudioInputChannel> input_;
    std::unique_ptr<KVRAudioOutputChannelManager> voices_;
    bool recording_ = false;
    bool started_ = false;
};
