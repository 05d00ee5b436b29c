// Capture and send: the speaking-right gate, mute, frame counter across restarts, levels, failures.
#include <gtest/gtest.h>

#include <thread>

#include "audio/KVRAudioInputChannel.h"
#include "audio/KVRSoundCardDevice.h"
#include "audio/KVRAudioTestSupport.h"
#include "conference/KVRConferenceTestSupport.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"
#include "support/KVRTempDir.h"

using namespace kvrtest;

namespace {
struct InputRig {
    KVRTempDir dir;
    std::shared_ptr<KVRSyntheticAudioBackend> backend =
        std::make_shared<KVRSyntheticAudioBackend>(KVRSyntheticAudioBackend::tone(440, 0.5));
    std::shared_ptr<KVRSoundCardDevice> device = std::make_shared<KVRSoundCardDevice>(backend, dir.str());
    std::shared_ptr<CollectingSender> sender = std::make_shared<CollectingSender>();
    std::shared_ptr<CollectingRecorder> recorder = std::make_shared<CollectingRecorder>();
    std::atomic<bool> allowed{true};
    KVRAudioInputChannel channel{backend, sender};

    InputRig() {
        KVRAudioInputChannel::resetForTesting();
        KVRGlobalData::sharedGlobalData()->setSoundCardDevice(device);
        channel.setPermissionQuery([this] { return allowed.load(); });
        channel.setRecordSink(recorder);
        channel.setLocalUserID("me");
    }
    // Lets the send thread drain everything captured so far.
    void drain() {
        for (int i = 0; i < 500 && KVRAudioInputChannel::queuedFrames() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
};
}  // namespace

TEST(KVRAudioInputChannel, SendsNumberedFramesAndHonoursMute) {
    InputRig rig;
    ASSERT_TRUE(rig.channel.startAudio());
    rig.backend->tick(2);
    ASSERT_TRUE(rig.sender->waitFor(2));
    for (uint32_t i = 0; i < 2; ++i) {
        auto p = rig.sender->at(i);
        ASSERT_EQ(p.size(), 180u);
        EXPECT_EQ(le32(p, 0), i + 1);
        EXPECT_EQ(p[10] << 8 | p[11], int(1000 + i));
        EXPECT_EQ(uint32_t(p[12]) << 24 | p[13] << 16 | p[14] << 8 | p[15], 1000 + 160 * i);
        // A 0.5 sine averages 2/pi of its peak: level 31.
        EXPECT_NEAR(p[4], 31, 1);
    }
    EXPECT_EQ(rig.recorder->count(), 2u);
    EXPECT_EQ(rig.recorder->frames[0].first, "me");

    rig.device->setMicMute(true);
    rig.backend->tick(3);
    rig.drain();
    EXPECT_EQ(rig.sender->count(), 2u);
    EXPECT_EQ(rig.recorder->count(), 2u);
    EXPECT_EQ(KVRAudioInputChannel::frameCounter(), 2u);

    rig.device->setMicMute(false);
    rig.backend->tick(1);
    ASSERT_TRUE(rig.sender->waitFor(3));
    EXPECT_EQ(le32(rig.sender->at(2), 0), 3u);
}

TEST(KVRAudioInputChannel, RefusedPermissionDropsQueuedFramesAndRestartKeepsCounter) {
    InputRig rig;
    ASSERT_TRUE(rig.channel.startAudio());
    rig.backend->tick(1);
    ASSERT_TRUE(rig.sender->waitFor(1));
    rig.allowed = false;
    rig.backend->tick(4);
    rig.drain();
    EXPECT_EQ(rig.sender->count(), 1u);
    EXPECT_EQ(KVRAudioInputChannel::queuedFrames(), 0u);

    rig.channel.stopAudio();
    EXPECT_EQ(rig.backend->openInputCount(), 0u);
    rig.allowed = true;
    ASSERT_TRUE(rig.channel.startAudio());
    EXPECT_EQ(rig.backend->openInputCount(), 1u);
    rig.backend->tick(1);
    ASSERT_TRUE(rig.sender->waitFor(2));
    EXPECT_EQ(le32(rig.sender->at(1), 0), 2u);
}

TEST(KVRAudioInputChannel, StartFailsWithoutInputAndNeverSends) {
    InputRig rig;
    rig.backend->setFailOpen(true);
    EXPECT_FALSE(rig.channel.startAudio());
    rig.backend->tick(3);
    rig.drain();
    EXPECT_EQ(rig.sender->count(), 0u);
    rig.channel.stopAudio();  // harmless after a failed start
}

TEST(KVRAudioInputChannel, LevelOfKnownSignals) {
    auto frame = [](auto sample) {
        std::vector<uint8_t> f(320);
        for (size_t i = 0; i < 160; ++i) {
            auto v = static_cast<uint16_t>(static_cast<int16_t>(sample(i)));
            f[2 * i] = static_cast<uint8_t>(v);
            f[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        return f;
    };
    auto square = frame([](size_t i) { return i % 2 ? -32767 : 32767; });
    auto small = frame([](size_t i) { return i % 2 ? -328 : 328; });
    auto quiet = frame([](size_t) { return 0; });
    EXPECT_DOUBLE_EQ(KVRAudioInputChannel::GetWaveDecibel(square.data(), 320), 100.0);
    EXPECT_EQ(static_cast<int>(KVRAudioInputChannel::GetWaveDecibel(small.data(), 320)), 1);
    EXPECT_DOUBLE_EQ(KVRAudioInputChannel::GetWaveDecibel(quiet.data(), 320), 0.0);
    EXPECT_DOUBLE_EQ(KVRAudioInputChannel::GetWaveDecibel(square.data(), 1), 0.0);
}

// The gate as the conference state answers it, with no query of our own.
TEST(KVRAudioInputChannel, SpeakingRightInSeminarAndConferenceRooms) {
    struct Case {
        const char* launch;
        const char* owner;
        int maxUsers;
        const char* audioSet;
        bool pushToTalk;
        bool allowed;
    } cases[] = {
        {" /UID:me /MST:9", "own", 30, "own|", false, false},   // seminar, not in the audio set
        {" /UID:me /MST:9", "own", 30, "own|me|", false, true},  // seminar, given the microphone
        {" /UID:own /MST:9", "own", 30, "", false, true},        // seminar owner
        {" /UID:me /MST:1", "own", 9, "", false, false},         // conference above 8: push-to-talk only
        {" /UID:me /MST:1", "own", 9, "", true, true},
        {" /UID:me /MST:1", "own", 8, "", false, true},          // conference of 8: everyone but monitors
        {" /UID:me /MST:1 /NTP:2", "own", 8, "", false, false},
    };
    for (const auto& c : cases) {
        KVRGlobalData::sharedGlobalData()->resetForTesting();
        useConfig(c.launch);
        Room room(c.owner, c.maxUsers);
        room.state->setAudioIDs(c.audioSet);
        room.state->setPressedAudioSendKey(c.pushToTalk);
        KVRAudioInputChannel channel(std::make_shared<KVRSyntheticAudioBackend>());
        EXPECT_EQ(channel.isHasSendPermission(), c.allowed) << c.launch << " max " << c.maxUsers << " " << c.audioSet;
    }
}
