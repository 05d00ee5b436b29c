// Two kelvara-bot children exchange test-pattern video through a kelvara-server child on loopback; the
// pictures each one saved must show the other's pattern.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "KVRBotOptions.h"
#include "KVRBotVideo.h"
#include "platform/synthetic/KVRTestPatternCamera.h"
#include "support/KVRTestLaunch.h"
#include "support/KVRChildProcess.h"
#include "support/KVRTempDir.h"
#include "video/KVRPngWriter.h"
#include "video_test_util.h"

namespace {
using namespace std::chrono_literals;

using Child = kvrtest::ChildProcess;
using kvrtest::readFile;


std::optional<long> jsonNumber(const std::string& text, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(text, m, std::regex("\"" + key + "\":([0-9]+)"))) return std::nullopt;
    return std::stol(m[1]);
}

// A PNG file decoded with FFmpeg's PNG decoder into packed RGB24.
struct DecodedPng {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    KVRVideoImage image() const { return {rgb.data(), width, height, width * 3}; }
};

std::optional<DecodedPng> decodePng(const std::filesystem::path& path) {
    const std::string bytes = readFile(path);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PNG);
    AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::optional<DecodedPng> out;
    if (ctx && pkt && frame && avcodec_open2(ctx, codec, nullptr) >= 0 &&
        av_new_packet(pkt, static_cast<int>(bytes.size())) >= 0) {
        std::memcpy(pkt->data, bytes.data(), bytes.size());
        if (avcodec_send_packet(ctx, pkt) >= 0 && avcodec_receive_frame(ctx, frame) >= 0 &&
            frame->format == AV_PIX_FMT_RGB24) {
            DecodedPng png;
            png.width = frame->width;
            png.height = frame->height;
            png.rgb.resize(static_cast<size_t>(png.width) * png.height * 3);
            for (int y = 0; y < png.height; ++y)
                std::memcpy(png.rgb.data() + static_cast<size_t>(y) * png.width * 3,
                            frame->data[0] + static_cast<size_t>(y) * frame->linesize[0], png.width * 3u);
            out = std::move(png);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return out;
}

// The camera's picture numbers run ahead of the sender's frame numbers (the camera films faster than
// the sender sends), so a saved picture is compared with every pattern picture up to well past its
// frame number, and the best match counts.
std::pair<double, uint32_t> bestPatternMatch(const KVRVideoImage& img, uint32_t frameIndex) {
    std::pair<double, uint32_t> best{-1, 0};
    for (uint32_t n = 1; n <= frameIndex * 4 + 40; ++n) {
        const double p = kvrtest::psnr(KVRTestPatternCamera::render(n, img.width, img.height), img);
        if (p > best.first) best = {p, n};
    }
    return best;
}

TEST(KVRBotVideo, FileSafeUserIDs) {
    const std::pair<const char*, const char*> cases[] = {
        {"stud1", "stud1"}, {"../../etc/x", "_._.._etc_x"}, {".hidden", "_hidden"}, {"", "_"}, {"a b/c\\d", "a_b_c_d"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(KVRBotVideo::fileSafe(in), out) << in;
}

TEST(KVRBotVideo, Options) {
    std::string error;
    auto o = KVRBotOptions::parse({"--url", "u", "--video", "--video-fps", "12", "--save-frames", "/tmp/f",
                                   "--save-every", "3"},
                                  error);
    ASSERT_TRUE(o) << error;
    EXPECT_TRUE(o->video);
    EXPECT_EQ(o->videoFps, 12);
    EXPECT_EQ(o->saveFrames, "/tmp/f");
    EXPECT_EQ(o->saveEvery, 3);
    auto d = KVRBotOptions::parse({"--url", "u"}, error);
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->video);
    EXPECT_EQ(d->saveEvery, 10);
    for (std::vector<std::string> bad : {std::vector<std::string>{"--video-fps", "0"}, {"--video-fps", "31"},
                                         {"--save-every", "0"}, {"--save-every", "x"}, {"--save-frames", ""},
                                         {"--video=1"}}) {
        bad.insert(bad.begin(), {"--url", "u"});
        EXPECT_FALSE(KVRBotOptions::parse(bad, error)) << bad[2];
    }
}

TEST(KVRBotVideo, HostileDatagramsAreCountedNotDecoded) {
    KVRTempDir dir;
    KVRBotVideo::Options o;
    o.saveFolder = dir.str();
    o.saveEvery = 1;
    KVRBotVideo video(o, "me", nullptr);
    const std::vector<uint8_t> tooShort(10, 0);
    video.receivedVideoData(tooShort);
    // A header announcing more payload than arrived.
    std::vector<uint8_t> truncated(34, 0);
    truncated[0] = 42;
    truncated[8] = 'x';
    truncated[32] = 0xff;
    video.receivedVideoData(truncated);
    // A well-formed relay datagram with a garbage video payload, from a user whose id is a path.
    std::vector<uint8_t> garbage(34 + 20, 0x5a);
    std::fill(garbage.begin() + 8, garbage.begin() + 32, 0);
    std::memcpy(garbage.data() + 8, "../evil", 7);
    garbage[32] = 20;
    garbage[33] = 0;
    video.receivedVideoData(garbage);
    video.stop();
    video.receivedVideoData(garbage);  // after stop: ignored
    const std::string json = video.reportJson();
    EXPECT_EQ(jsonNumber(json, "malformed"), 2) << json;
    EXPECT_NE(json.find("\"_._evil\":{\"payloads\":1,"), std::string::npos) << json;
    EXPECT_EQ(jsonNumber(json, "decoded"), 0) << json;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(KVRBotVideo, TwoBotsExchangeTestPatternThroughTheServer) {
    KVRTempDir dir;
    Child server({KVR_SERVER_EXE, "--data", (dir.path() / "data").string()}, (dir.path() / "server.out").string());
    std::optional<long> mainPort, relayPort;
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         !(mainPort && relayPort) && std::chrono::steady_clock::now() < deadline;) {
        const std::string status = readFile(dir.path() / "server.out");
        mainPort = jsonNumber(status, "main");
        relayPort = jsonNumber(status, "relay");
        if (!(mainPort && relayPort)) std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(mainPort && relayPort) << readFile(dir.path() / "server.out");

    auto url = [&](const std::string& uid, int role) {
        return kvrtest::launchUrl(*mainPort, *relayPort, uid, role);
    };
    const std::vector<std::string> ids = {"lect1", "stud1"};
    std::vector<std::unique_ptr<Child>> bots;
    for (size_t i = 0; i < ids.size(); ++i) {
        std::filesystem::create_directories(dir.path() / ids[i]);
        bots.push_back(std::make_unique<Child>(
            std::vector<std::string>{KVR_BOT_EXE, "--url", url(ids[i], i == 0 ? 1 : 0), "--duration", "4", "--video",
                                     "--video-fps", "10", "--save-frames", (dir.path() / ids[i]).string(),
                                     "--save-every", "5"},
            (dir.path() / (ids[i] + ".out")).string()));
    }
    for (size_t i = 0; i < ids.size(); ++i) {
        const auto out = dir.path() / (ids[i] + ".out");
        EXPECT_EQ(bots[i]->wait(30s), 0) << readFile(out);
    }
    server.terminate();
    EXPECT_EQ(server.wait(10s), 0);

    for (size_t i = 0; i < ids.size(); ++i) {
        const std::string& other = ids[1 - i];
        const std::string text = readFile(dir.path() / (ids[i] + ".out"));
        const std::string json = text.substr(text.rfind("{\"user\""));
        SCOPED_TRACE(ids[i] + ": " + json);
        EXPECT_GT(jsonNumber(json, "sent").value_or(0), 10);
        const auto remote = json.find("\"remote\":{\"" + other + "\":{");
        ASSERT_NE(remote, std::string::npos);
        const std::string theirs = json.substr(remote);
        const long decoded = jsonNumber(theirs, "decoded").value_or(0);
        EXPECT_GE(decoded, 5);
        EXPECT_GE(jsonNumber(theirs, "frames").value_or(0), decoded);

        // Every saved picture shows the pattern, and the pattern moves on from one to the next.
        std::vector<std::filesystem::path> pngs;
        for (const auto& e : std::filesystem::directory_iterator(dir.path() / ids[i])) pngs.push_back(e.path());
        std::sort(pngs.begin(), pngs.end());
        ASSERT_GE(pngs.size(), 1u);
        EXPECT_EQ(static_cast<long>(pngs.size()), jsonNumber(theirs, "saved").value_or(-1));
        uint32_t lastMatch = 0;
        for (const auto& png : pngs) {
            std::smatch m;
            const std::string name = png.filename().string();
            ASSERT_TRUE(std::regex_match(name, m, std::regex(other + "_([0-9]+)\\.png"))) << name;
            auto picture = decodePng(png);
            ASSERT_TRUE(picture) << name;
            ASSERT_EQ(picture->width, 160);
            ASSERT_EQ(picture->height, 120);
            auto [psnr, n] = bestPatternMatch(picture->image(), static_cast<uint32_t>(std::stoul(m[1])));
            // The right pattern comes through at about 40 dB; its neighbours (2 px shift) match at about 20.
            EXPECT_GT(psnr, 30.0) << name << " best match: pattern " << n;
            EXPECT_GT(n, lastMatch) << name;
            lastMatch = n;
        }
    }
}

}  // namespace
