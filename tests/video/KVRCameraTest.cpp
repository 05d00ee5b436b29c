// Camera settings file, the camera registry and the capture pipeline with the test-pattern camera.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/synthetic/KVRTestPatternCamera.h"
#include "relay/KVRVideoDataSender.h"
#include "relay/KVRVideoPayloadSink.h"
#include "support/KVRTempDir.h"
#include "video/KVRCameraDevice.h"
#include "video/KVRCameraInterface.h"
#include "video/KVRLocalVideoViewDelegate.h"

namespace {
std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
void spit(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<KVRCameraDescription> oneCamera() {
    return {{"c0", "Cam", {{160, 120}, {640, 480}, {640, 480}}}};
}

struct CountingSink : KVRVideoPayloadSink {
    std::atomic<int> payloads{0};
    bool sendVideo(std::span<const uint8_t>) override {
        ++payloads;
        return true;
    }
};
struct CountingView : KVRLocalVideoViewDelegate {
    int frames = 0;
    void onVideoFrame(const KVRCameraFrame&) override { ++frames; }
};
}  // namespace

TEST(KVRCameraDevice, ConfigFileRoundTrip) {
    KVRTempDir dir;
    const std::string path = dir.str() + "/kelvara_camera_config.txt";
    {
        KVRCameraDevice dev(oneCamera(), path);
        EXPECT_EQ(dev.camIndex(), -1);  // no file: defaults
        EXPECT_EQ(dev.camWidth(), 160);
        EXPECT_EQ(dev.camHeight(), 120);
        EXPECT_EQ(dev.camFPS(), 5);
        dev.setInfo(0, 160, 120, 5);
        EXPECT_EQ(slurp(path), "0|160|120|5|");
    }
    struct Case {
        std::string content;
        int64_t index, width, height, fps;
    } cases[] = {
        {"1|640|480|15|", 1, 640, 480, 15},
        {"0|320|240|", 0, 320, 240, 5},  // three pieces leave the rate alone
        {" 2| 800x|abc|7|9|", 2, 800, 0, 7},
        {"", -1, 160, 120, 5},
    };
    for (const auto& c : cases) {
        spit(path, c.content);
        KVRCameraDevice dev(oneCamera(), path);
        EXPECT_EQ(dev.camIndex(), c.index) << c.content;
        EXPECT_EQ(dev.camWidth(), c.width) << c.content;
        EXPECT_EQ(dev.camHeight(), c.height) << c.content;
        EXPECT_EQ(dev.camFPS(), c.fps) << c.content;
    }
    // Camera 1 does not exist: the first camera is used, at the stored size.
    spit(path, "1|640|480|15|");
    KVRCameraDevice dev(oneCamera(), path);
    EXPECT_EQ(dev.chosenCamera(), 0);
    // Written atomically: no temporary file is left beside it.
    dev.setInfo(0, 320, 240, 10);
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST(KVRCameraDevice, FormatsAndResolutionChoice) {
    KVRTempDir dir;
    KVRCameraDevice dev(oneCamera(), dir.str() + "/cfg");
    ASSERT_EQ(dev.count(), 1u);
    auto info = dev.getAt(0);
    ASSERT_TRUE(info);
    EXPECT_FALSE(dev.getAt(1));
    EXPECT_FALSE(dev.getAt(-1));
    EXPECT_EQ(info->formatCount(), 3u);  // duplicates stay
    EXPECT_EQ(*info->format(1), "640 x 480");
    EXPECT_EQ(info->formatWORD(1), (480u << 16) | 640u);
    EXPECT_EQ(info->formatWORD(9), 0u);
    dev.setInfoRes(0, 1, 15);
    EXPECT_EQ(dev.camWidth(), 640);
    EXPECT_EQ(dev.camHeight(), 480);
    dev.setInfoRes(0, 7, 10);  // no such format: size unchanged, rate stored
    EXPECT_EQ(dev.camWidth(), 640);
    EXPECT_EQ(dev.camFPS(), 10);
    EXPECT_FALSE(dev.isPauseVideo());
    dev.tooglePauseVideo();
    EXPECT_TRUE(dev.isPauseVideo());
}

TEST(KVRCameraInterface, PipelineSendsPreviewsAndPauses) {
    KVRTempDir dir;
    auto cam = std::make_shared<KVRTestPatternCamera>(0);  // driven by hand
    auto dev = std::make_shared<KVRCameraDevice>(cam->devices(), dir.str() + "/cfg");
    dev->setInfo(0, 160, 120, 15);
    KVRCameraInterface iface(cam, dev);
    auto sink = std::make_shared<CountingSink>();
    int64_t now = 1'000'000;
    iface.videoDataSender().setSink(sink);
    iface.videoDataSender().setClock([&] { return now; });
    iface.videoDataSender().setSegmentPause(std::chrono::microseconds(0));
    CountingView view;
    iface.setDelegateLocalView(&view);
    iface.setPassInterval(std::chrono::hours(1));  // passes are run by hand below
    ASSERT_TRUE(iface.start());

    iface.precessVideoPacket();  // no frame yet
    EXPECT_EQ(view.frames, 0);
    for (int i = 0; i < 4; ++i) {
        cam->deliverFrame();
        iface.precessVideoPacket();
        now += 100;
    }
    EXPECT_GE(view.frames, 4);
    EXPECT_GT(sink->payloads.load(), 0);

    dev->pauseVideo(true);
    const int sent = sink->payloads.load(), shown = view.frames;
    cam->deliverFrame();
    iface.precessVideoPacket();
    now += 100;
    EXPECT_EQ(sink->payloads.load(), sent);
    EXPECT_EQ(view.frames, shown);
    dev->pauseVideo(false);
    iface.precessVideoPacket();
    EXPECT_EQ(view.frames, shown + 1);

    // A slow camera: the same frame handed on again, yet the sender still keeps to the rate.
    const uint64_t idx = iface.videoDataSender().frameIndex();
    for (int i = 0; i < 5; ++i) iface.precessVideoPacket();  // same instant
    EXPECT_LE(iface.videoDataSender().frameIndex(), idx + 1);
    iface.stop();
    EXPECT_EQ(iface.videoDataSender().frameIndex(), 1u);
}

TEST(KVRCameraInterface, NoCameraMeansNoStart) {
    struct NoCameras : KVRTestPatternCamera {
        std::vector<KVRCameraDescription> devices() override { return {}; }
    };
    KVRTempDir dir;
    auto cam = std::make_shared<NoCameras>();
    auto dev = std::make_shared<KVRCameraDevice>(cam->devices(), dir.str() + "/cfg");
    KVRCameraInterface iface(cam, dev);
    EXPECT_FALSE(iface.start());
    EXPECT_FALSE(iface.isRunning());
}

TEST(KVRCameraInterface, ThreadedCaptureDelivers) {
    KVRTempDir dir;
    auto cam = std::make_shared<KVRTestPatternCamera>(30);
    auto dev = std::make_shared<KVRCameraDevice>(cam->devices(), dir.str() + "/cfg");
    KVRCameraInterface iface(cam, dev);
    iface.setPassInterval(std::chrono::milliseconds(5));
    struct Waiter : KVRLocalVideoViewDelegate {
        std::mutex m;
        std::condition_variable cv;
        int frames = 0;
        void onVideoFrame(const KVRCameraFrame&) override {
            std::lock_guard l(m);
            ++frames;
            cv.notify_all();
        }
    } view;
    iface.setDelegateLocalView(&view);
    ASSERT_TRUE(iface.start());
    {
        std::unique_lock l(view.m);
        EXPECT_TRUE(view.cv.wait_for(l, std::chrono::seconds(10), [&] { return view.frames >= 3; }));
    }
    iface.stop();
    iface.setDelegateLocalView(nullptr);
}
