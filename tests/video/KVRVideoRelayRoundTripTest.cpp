// Test-pattern video from one client through the development relay to another, decoded and compared.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "KVRDevRelay.h"
#include "platform/synthetic/KVRTestPatternCamera.h"
#include "relay/KVRRelayPacket.h"
#include "relay/KVRRelayServer.h"
#include "relay/KVRRelayVideoSink.h"
#include "relay/KVRVideoDataSender.h"
#include "video/KVRVideoReceiver.h"
#include "video_test_util.h"

using namespace std::chrono_literals;

namespace {
struct VideoWall : KVRRelayDataSink {
    std::mutex m;
    std::condition_variable cv;
    KVRVideoReceiver rx;
    std::vector<double> psnrs;
    const std::vector<KVRCameraFrame>* sources = nullptr;
    std::string senderSeen;

    VideoWall() {
        rx.setPictureCallback([this](const KVRVideoImage& img, uint32_t) {
            double best = -1;  // whichever source frame it is: robust to display-order delay
            for (const auto& s : *sources) best = std::max(best, kvrtest::psnr(s, img));
            psnrs.push_back(best);
            cv.notify_all();
        });
    }
    void receivedVideoData(std::span<const uint8_t> d, const KVRRelayAddress&) override {
        auto decoded = KVRRelayPacket::decode(d);
        if (!decoded) return;
        std::lock_guard l(m);
        senderSeen = decoded->header.userID;
        rx.receivedVideoPayload(decoded->payload);
    }
    void receivedAudioData(std::span<const uint8_t>, const KVRRelayAddress&) override {}
    void receivedDocmentData(std::span<const uint8_t>, const KVRRelayAddress&) override {}
    void receivedTextData(std::span<const uint8_t>, const KVRRelayAddress&) override {}
};

std::shared_ptr<KVRRelayServer> join(const std::string& id, uint16_t port) {
    KVRRelayServer::Options o;
    o.bindAddress = "127.0.0.1";
    o.replyWait = 2000ms;
    auto client = KVRRelayServer::initWithDelegateEx(o);
    if (!client) return nullptr;
    client->setInfo(id, "127.0.0.1", port);
    if (!client->getNATInfo() || !client->enterRoom(5)) return nullptr;
    return client;
}
}  // namespace

TEST(KVRVideoRelay, PatternArrivesThroughTheDevelopmentRelay) {
    KVRDevRelay::Options ro;
    ro.log = [](const std::string&) {};
    KVRDevRelay relay(ro);
    ASSERT_TRUE(relay.start());
    auto alice = join("alice", relay.port());
    auto bob = join("bob", relay.port());
    ASSERT_TRUE(alice && bob);

    std::vector<KVRCameraFrame> sources;
    for (uint32_t i = 1; i <= 20; ++i) sources.push_back(KVRTestPatternCamera::render(i, 320, 240));
    auto wall = std::make_shared<VideoWall>();
    wall->sources = &sources;
    bob->setDataSink(wall);

    KVRVideoDataSender sender(std::make_shared<KVRRelayVideoSink>(alice));
    sender.setGateEnabled(false);
    for (const auto& f : sources) sender.putData(f);
    ASSERT_GT(sender.framesSent(), 15u);

    std::unique_lock l(wall->m);
    ASSERT_TRUE(wall->cv.wait_for(l, 10s, [&] { return wall->psnrs.size() >= 15; })) << wall->psnrs.size();
    EXPECT_EQ(wall->senderSeen, "alice");
    for (double p : wall->psnrs) EXPECT_GT(p, 25.0);
    EXPECT_EQ(wall->rx.payloadsRefused(), 0u);
    l.unlock();
    // A late datagram may still be decoding on the receive thread; ending the client joins that thread
    // before the source pictures the callback compares against go out of scope.
    bob->setDataSink({});
    bob.reset();
}
