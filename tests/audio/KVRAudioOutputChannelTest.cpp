// Playback channels: silence when idle, the backlog rule, mute, header flag, hostile payloads, the
// per-user manager, and a channel under loss, duplication, reordering and bursts.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "app/KVRGlobalData.h"
#include "audio/CCodecG711.h"
#include "audio/KVRAudioOutputChannelManager.h"
#include "audio/KVRAudioTestSupport.h"
#include "audio/KVRSoundCardDevice.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"
#include "support/KVRTempDir.h"

using namespace kvrtest;

namespace {
std::array<uint8_t, 160> codedRamp(uint8_t start) {
    std::array<uint8_t, 160> g{};
    for (size_t i = 0; i < g.size(); ++i) g[i] = static_cast<uint8_t>(start + i);
    return g;
}

std::vector<uint8_t> decoded(std::span<const uint8_t> coded) {
    std::vector<uint8_t> out(coded.size() * 2);
    CCodecG711(true).Decode(coded, out);
    return out;
}

struct OutputRig {
    KVRTempDir dir;
    std::shared_ptr<KVRSyntheticAudioBackend> backend = std::make_shared<KVRSyntheticAudioBackend>();
    std::shared_ptr<KVRSoundCardDevice> device = std::make_shared<KVRSoundCardDevice>(backend, dir.str());
    std::shared_ptr<CollectingRecorder> recorder = std::make_shared<CollectingRecorder>();
    OutputRig() { KVRGlobalData::sharedGlobalData()->setSoundCardDevice(device); }
    std::vector<uint8_t> playedBytes() const {
        auto s = backend->playedSamples();
        std::vector<uint8_t> out;
        for (int16_t v : s) {
            out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v)));
            out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
        }
        return out;
    }
};
}  // namespace

TEST(KVRAudioOutputChannel, IdleChannelPlaysAndRecordsSilence) {
    OutputRig rig;
    KVRAudioOutputChannel channel(rig.backend);
    channel.setRecordSink(rig.recorder);
    ASSERT_TRUE(channel.startPlay("u1"));
    rig.backend->tick(3);
    EXPECT_EQ(rig.playedBytes(), std::vector<uint8_t>(960, 0));
    ASSERT_EQ(rig.recorder->count(), 3u);
    for (auto& [user, pcm] : rig.recorder->frames) {
        EXPECT_EQ(user, "u1");
        EXPECT_EQ(pcm, std::vector<uint8_t>(320, 0));
    }
    channel.stopPlay();
    EXPECT_EQ(rig.backend->openOutputCount(), 0u);
    // Stopped: frames are discarded.
    auto p = KVRAudioPayload::build(1, 0, codedRamp(0));
    channel.putAudioPayload(p, "u1");
    EXPECT_EQ(channel.queuedFrames(), 0u);
}

TEST(KVRAudioOutputChannel, BacklogAboveFiftyFramesIsDropped) {
    OutputRig rig;
    KVRAudioOutputChannel channel(rig.backend);
    ASSERT_TRUE(channel.startPlay("u1"));
    for (uint8_t i = 0; i < 51; ++i) channel.putAudioPayload(KVRAudioPayload::build(i + 1, 0, codedRamp(i)), "u1");
    EXPECT_EQ(channel.queuedFrames(), 51u);
    channel.putAudioPayload(KVRAudioPayload::build(52, 0, codedRamp(200)), "u1");
    EXPECT_EQ(channel.queuedFrames(), 1u);
    EXPECT_EQ(channel.backlogDrops(), 1u);
    rig.backend->tick(1);
    auto g = codedRamp(200);
    EXPECT_EQ(rig.playedBytes(), decoded(g));
}

TEST(KVRAudioOutputChannel, HeaderFlagAndMute) {
    OutputRig rig;
    KVRAudioOutputChannel channel(rig.backend);
    channel.setRecordSink(rig.recorder);
    ASSERT_TRUE(channel.startPlay("u1"));
    auto g = codedRamp(7);
    // Flag 0: RTP header skipped.
    ASSERT_TRUE(channel.putAudioPayload(KVRAudioPayload::build(1, 50, g), "u1"));
    EXPECT_EQ(channel.lastLevel(), 50);
    // Flag set: the frame starts right after the prefix (media length 160, no RTP header).
    std::vector<uint8_t> media(g.begin(), g.end());
    ASSERT_TRUE(channel.putDataEx(1, media, 160, "u1"));
    rig.backend->tick(2);  // one output buffer takes both frames
    EXPECT_EQ(rig.recorder->count(), 2u);
    auto expect = decoded(g);
    expect.insert(expect.end(), expect.begin(), expect.end());
    EXPECT_EQ(rig.playedBytes(), expect);

    // Muted speaker: a whole silent frame per payload, for playback and recorder alike.
    rig.device->setSpkMute(true);
    rig.recorder->frames.clear();
    rig.backend->clearPlayed();
    ASSERT_TRUE(channel.putAudioPayload(KVRAudioPayload::build(2, 50, g), "u1"));
    rig.backend->tick(1);
    EXPECT_EQ(rig.playedBytes(), std::vector<uint8_t>(320, 0));
    ASSERT_EQ(rig.recorder->count(), 1u);
    EXPECT_EQ(rig.recorder->frames[0].second, std::vector<uint8_t>(320, 0));
}

TEST(KVRAudioOutputChannel, HostilePayloadsAreDroppedAndCounted) {
    OutputRig rig;
    KVRAudioOutputChannel channel(rig.backend);
    ASSERT_TRUE(channel.startPlay("u1"));
    auto good = KVRAudioPayload::build(1, 0, codedRamp(0));
    auto withLength = [&](int16_t len, size_t size, uint8_t flag = 0) {
        auto p = good;
        p[5] = flag;
        p[6] = static_cast<uint8_t>(len);
        p[7] = static_cast<uint8_t>(static_cast<uint16_t>(len) >> 8);
        p.resize(size);
        return p;
    };
    const std::vector<std::vector<uint8_t>> hostile = {
        {},                         // empty
        {1, 2, 3},                  // shorter than the prefix
        withLength(172, 100),       // claims a frame, datagram holds 92 bytes after the prefix
        withLength(100, 180),       // media length too short for RTP header and frame
        withLength(159, 180, 1),    // flagged: too short for a frame
        withLength(-1000, 8) ,      // negative: a silent frame, not a drop
    };
    for (size_t i = 0; i + 1 < hostile.size(); ++i) EXPECT_FALSE(channel.putAudioPayload(hostile[i], "u1")) << i;
    EXPECT_EQ(channel.droppedPayloads(), hostile.size() - 1);
    EXPECT_EQ(channel.queuedFrames(), 0u);
    EXPECT_TRUE(channel.putAudioPayload(hostile.back(), "u1"));
    EXPECT_EQ(channel.queuedFrames(), 1u);
    // The raw entry point checks against the bytes it is given, not the claimed length.
    std::vector<uint8_t> few(40);
    EXPECT_FALSE(channel.putDataEx(0, few, 172, "u1"));
}

TEST(KVRAudioOutputChannelManager, ChannelsFollowAudioPermission) {
    OutputRig rig;
    KVRAudioOutputChannelManager manager(rig.backend);
    manager.changedAudioPermission({"me", "a", "b", "c"}, "me");
    auto users = manager.users();
    std::sort(users.begin(), users.end());
    EXPECT_EQ(users, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(manager.getAudioChannel("me"), nullptr);
    EXPECT_EQ(rig.backend->openOutputCount(), 3u);

    manager.changedAudioPermission({"c"}, "me");  // two users lose the microphone at once
    EXPECT_EQ(manager.users(), std::vector<std::string>{"c"});
    EXPECT_EQ(rig.backend->openOutputCount(), 1u);

    auto p = KVRAudioPayload::build(1, 0, codedRamp(0));
    EXPECT_FALSE(manager.putAudioPayload(p, "a"));  // no channel: dropped
    EXPECT_TRUE(manager.putAudioPayload(p, "c"));
    EXPECT_TRUE(manager.putAudioPayload(p, "d", true));  // the bot hears anyone who speaks
    EXPECT_NE(manager.getAudioChannel("d"), nullptr);
    manager.removeAtUser("c");
    EXPECT_EQ(manager.getAudioChannel("c"), nullptr);
    manager.addUser("d");
    EXPECT_EQ(manager.users().size(), 1u);
}

// What UDP does to a voice: losses, duplicates, reordering, late bursts. The queue stays bounded and
// the output never stops; after the sender goes quiet the channel settles on silence.
TEST(KVRAudioOutputChannel, NeitherGrowsNorStallsUnderJitter) {
    OutputRig rig;
    KVRAudioOutputChannel channel(rig.backend);
    ASSERT_TRUE(channel.startPlay("u1"));
    std::mt19937 rng(7);
    uint32_t counter = 0;
    uint32_t maxQueued = 0;
    for (int step = 0; step < 2000; ++step) {
        const int roll = static_cast<int>(rng() % 100);
        std::vector<std::vector<uint8_t>> arriving;
        auto next = [&] { return KVRAudioPayload::build(++counter, 10, codedRamp(static_cast<uint8_t>(counter))); };
        if (roll < 10) {
            ++counter;                                            // lost
        } else if (roll < 20) {
            auto p = next();
            arriving = {p, p};                                    // duplicated
        } else if (roll < 30) {
            auto a = next(), b = next();
            arriving = {b, a};                                    // reordered
        } else if (roll < 33) {
            for (int k = 0; k < 60; ++k) arriving.push_back(next());  // a late burst
        } else {
            arriving = {next()};
        }
        for (auto& p : arriving) channel.putAudioPayload(p, "u1");
        maxQueued = std::max(maxQueued, channel.queuedFrames());
        rig.backend->tick(1);
    }
    EXPECT_LE(maxQueued, KVRAudioPlayer::kMaxQueuedFrames + 1);
    EXPECT_EQ(rig.backend->playedSamples().size(), 2000u * 160u);
    EXPECT_EQ(channel.droppedPayloads(), 0u);
    // Quiet sender: within a few buffers the queue is empty and silence plays.
    rig.backend->tick(60);
    EXPECT_EQ(channel.queuedFrames(), 0u);
    rig.backend->clearPlayed();
    rig.backend->tick(5);
    EXPECT_EQ(rig.backend->playedSamples(), std::vector<int16_t>(800, 0));
}
