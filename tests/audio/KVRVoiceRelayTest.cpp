// Voice through the development relay on loopback: a talker's 440 Hz tone reaches a listener's channel
// intact without faults, and with loss, reordering and duplication the channel stays bounded and keeps
// playing.
#include <gtest/gtest.h>

#include <thread>

#include "KVRDevRelay.h"
#include "audio/KVRAudioInputChannel.h"
#include "audio/KVRAudioOutputChannelManager.h"
#include "audio/KVRAudioRelaySender.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"
#include "relay/KVRRelayServer.h"

using namespace std::chrono_literals;

namespace {
struct VoiceSink : KVRRelayDataSink {
    KVRAudioOutputChannelManager* voices = nullptr;
    std::atomic<int> received{0};
    void receivedAudioData(std::span<const uint8_t> d, const KVRRelayAddress&) override {
        voices->receivedAudioData(d, true);
        ++received;
    }
    void receivedVideoData(std::span<const uint8_t>, const KVRRelayAddress&) override {}
    void receivedDocmentData(std::span<const uint8_t>, const KVRRelayAddress&) override {}
    void receivedTextData(std::span<const uint8_t>, const KVRRelayAddress&) override {}
};

struct CountingSender : KVRAudioSender {
    std::shared_ptr<KVRAudioSender> inner;
    std::atomic<int> sent{0};
    void sendAudio(std::span<const uint8_t> p) override {
        inner->sendAudio(p);
        ++sent;
    }
};

std::shared_ptr<KVRRelayServer> joined(const std::string& id, uint16_t port) {
    KVRRelayServer::Options o;
    o.bindAddress = "127.0.0.1";
    o.replyWait = 2000ms;
    o.aliveInterval = 3600s;
    auto client = KVRRelayServer::initWithDelegateEx(o);
    if (!client) return nullptr;
    client->setInfo(id, "127.0.0.1", port);
    if (!client->getNATInfo() || !client->enterRoom(5)) return nullptr;
    return client;
}

template <typename Pred>
void pollUpTo(std::chrono::milliseconds limit, Pred done) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(100us);
}
}  // namespace

TEST(KVRVoiceRelay, ToneSurvivesTheRelayAndFaultsNeitherGrowNorStallTheChannel) {
    struct Case {
        const char* name;
        int dropPercent;
        bool reorder, duplicate;
        double minLoudShare;
    } cases[] = {{"clean", 0, false, false, 0.95}, {"lossy", 10, true, true, 0.6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KVRAudioInputChannel::resetForTesting();
        KVRDevRelay::Options ro;
        ro.log = [](const std::string&) {};
        KVRDevRelay relay(ro);
        ASSERT_TRUE(relay.start());
        relay.setDropPercent(c.dropPercent);
        relay.setReorder(c.reorder);
        relay.setDuplicate(c.duplicate);

        auto talkerRelay = joined("talker", relay.port());
        auto listenerRelay = joined("listener", relay.port());
        ASSERT_TRUE(talkerRelay && listenerRelay);

        auto talker = std::make_shared<KVRSyntheticAudioBackend>(KVRSyntheticAudioBackend::tone(440, 0.4));
        auto listener = std::make_shared<KVRSyntheticAudioBackend>();
        KVRAudioOutputChannelManager voices(listener);
        auto sink = std::make_shared<VoiceSink>();
        sink->voices = &voices;
        listenerRelay->setDataSink(sink);
        auto sender = std::make_shared<CountingSender>();
        sender->inner = std::make_shared<KVRAudioRelaySender>(talkerRelay);
        KVRAudioInputChannel channel(talker, sender);
        channel.setPermissionQuery([] { return true; });
        ASSERT_TRUE(channel.startAudio());

        const int frames = 250;
        uint32_t maxQueued = 0;
        for (int i = 0; i < frames; ++i) {
            const int before = sink->received;
            talker->tick(1);
            pollUpTo(1s, [&] { return sender->sent > i; });
            pollUpTo(c.dropPercent || c.reorder ? 3ms : 500ms, [&] { return sink->received > before; });
            if (auto ch = voices.getAudioChannel("talker")) maxQueued = std::max(maxQueued, ch->queuedFrames());
            listener->tick(1);
        }
        channel.stopAudio();
        ASSERT_EQ(sender->sent.load(), frames);
        auto ch = voices.getAudioChannel("talker");
        ASSERT_TRUE(ch);
        EXPECT_EQ(ch->droppedPayloads(), 0u);
        EXPECT_LE(maxQueued, KVRAudioPlayer::kMaxQueuedFrames + 1);

        auto played = listener->playedSamples();
        ASSERT_EQ(played.size(), static_cast<size_t>(frames) * 160);  // one frame per tick: no stall
        int loud = 0, crossings = 0;
        for (int f = 0; f < frames; ++f) {
            int peak = 0;
            for (int k = 0; k < 160; ++k) peak = std::max(peak, std::abs(int(played[f * 160 + k])));
            loud += peak > 8000;
        }
        EXPECT_GE(loud, static_cast<int>(c.minLoudShare * frames) - 15);  // a few frames of start-up
        if (c.dropPercent == 0) {
            size_t first = 0;
            while (first < played.size() && std::abs(played[first]) < 500) ++first;
            for (size_t k = first + 1; k < played.size(); ++k) crossings += played[k - 1] < 0 && played[k] >= 0;
            EXPECT_NEAR(crossings * 8000.0 / static_cast<double>(played.size() - first), 440.0, 8.0);
        }
        // The talker falls silent: the channel drains and plays silence rather than stopping.
        listener->tick(80);
        EXPECT_EQ(ch->queuedFrames(), 0u);
        // Ending the client joins its receive thread, so no late datagram reaches `voices` once it goes.
        listenerRelay->setDataSink({});
        listenerRelay.reset();
    }
}
