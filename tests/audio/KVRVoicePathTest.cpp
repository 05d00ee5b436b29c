// A voice end to end without the network: a 440 Hz tone captured, coded and sent by one side, played
// by a channel of the other side and written to a WAV file that must carry the tone.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <thread>

#include "audio/KVRAudioInputChannel.h"
#include "audio/KVRAudioOutputChannelManager.h"
#include "audio/KVRSoundCardDevice.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"
#include "relay/KVRRelayPacket.h"
#include "support/KVRTempDir.h"

namespace {
// Hands each payload to the listener's manager wrapped in a relay datagram, as the relay forwards it.
struct LoopbackSender : KVRAudioSender {
    KVRAudioOutputChannelManager* listener = nullptr;
    std::atomic<int> sent{0};
    void sendAudio(std::span<const uint8_t> payload) override {
        auto datagram = KVRRelayPacket::encode(41, 1, 12, "talker", payload);
        if (datagram && listener) listener->receivedAudioData(*datagram, true);
        ++sent;
    }
};

// Dominant frequency by counting rising zero crossings over the non-silent part.
double zeroCrossingHz(const std::vector<int16_t>& s) {
    size_t first = 0, last = s.size();
    while (first < s.size() && std::abs(s[first]) < 500) ++first;
    while (last > first && std::abs(s[last - 1]) < 500) --last;
    int crossings = 0;
    for (size_t i = first + 1; i < last; ++i) crossings += s[i - 1] < 0 && s[i] >= 0;
    return last > first ? crossings * 8000.0 / static_cast<double>(last - first) : 0.0;
}
}  // namespace

TEST(KVRVoicePath, ToneArrivesAsToneInTheRecordedWave) {
    KVRTempDir dir;
    KVRAudioInputChannel::resetForTesting();
    auto talker = std::make_shared<KVRSyntheticAudioBackend>(KVRSyntheticAudioBackend::tone(440, 0.4));
    auto listener = std::make_shared<KVRSyntheticAudioBackend>();
    KVRAudioOutputChannelManager voices(listener);
    auto sender = std::make_shared<LoopbackSender>();
    sender->listener = &voices;
    KVRAudioInputChannel channel(talker, sender);
    channel.setPermissionQuery([] { return true; });
    const std::string wave = (dir.path() / "heard.wav").string();
    ASSERT_TRUE(listener->recordToWave(wave));

    ASSERT_TRUE(channel.startAudio());
    for (int i = 0; i < 100; ++i) {
        talker->tick(1);
        for (int k = 0; k < 400 && sender->sent < i + 1; ++k) std::this_thread::sleep_for(std::chrono::microseconds(250));
        listener->tick(1);
    }
    channel.stopAudio();
    listener->closeWave();
    ASSERT_EQ(sender->sent.load(), 100);
    EXPECT_EQ(voices.users(), std::vector<std::string>{"talker"});

    SF_INFO info{};
    SNDFILE* f = sf_open(wave.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, 8000);
    EXPECT_EQ(info.channels, 1);
    std::vector<int16_t> samples(static_cast<size_t>(info.frames));
    sf_read_short(f, samples.data(), info.frames);
    sf_close(f);
    EXPECT_EQ(samples.size(), 100u * 160u);
    EXPECT_NEAR(zeroCrossingHz(samples), 440.0, 5.0);
}
