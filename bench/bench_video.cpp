// Video send path against a bare FFmpeg encode loop with the same settings, and the receive path of a
// full wall of 49 remote streams. Prints the send ratio and the fraction of one core the wall needs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include "app/KVRLog.h"
#include "platform/synthetic/KVRTestPatternCamera.h"
#include "relay/KVRVideoDataSender.h"
#include "relay/KVRVideoPayloadSink.h"
#include "video/KVRVideoReceiver.h"

namespace {
constexpr int kPatternFrames = 30;

std::vector<KVRCameraFrame> pattern(int w, int h) {
    std::vector<KVRCameraFrame> frames;
    for (int i = 1; i <= kPatternFrames; ++i) frames.push_back(KVRTestPatternCamera::render(i, w, h));
    return frames;
}

struct NullSink : KVRVideoPayloadSink {
    size_t bytes = 0;
    bool sendVideo(std::span<const uint8_t> p) override {
        bytes += p.size();
        return true;
    }
};

void BM_SendPath(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    auto frames = pattern(w, h);
    auto sink = std::make_shared<NullSink>();
    KVRVideoDataSender sender(sink);
    sender.setGateEnabled(false);
    sender.setSegmentPause(std::chrono::microseconds(0));  // a sleep, not work: left out of the comparison
    size_t i = 0;
    for (auto _ : state) sender.putData(frames[i++ % frames.size()]);
    benchmark::DoNotOptimize(sink->bytes);
}

// The same work with FFmpeg alone: RGB→YUV bicubic, MPEG-4 encode with the adapter's settings.
void BM_BareEncode(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    auto frames = pattern(w, h);
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->bit_rate = 400000;
    ctx->width = w;
    ctx->height = h;
    ctx->time_base = AVRational{1, 25};
    ctx->gop_size = 10;
    ctx->max_b_frames = 1;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    avcodec_open2(ctx, codec, nullptr);
    AVFrame* yuv = av_frame_alloc();
    yuv->format = AV_PIX_FMT_YUV420P;
    yuv->width = w;
    yuv->height = h;
    av_frame_get_buffer(yuv, 32);
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_RGB24, w, h, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr,
                                     nullptr);
    AVPacket* pkt = av_packet_alloc();
    size_t i = 0, bytes = 0;
    for (auto _ : state) {
        const auto& f = frames[i++ % frames.size()];
        const uint8_t* src[1] = {f.baseAddress()};
        int stride[1] = {w * 3};
        av_frame_make_writable(yuv);
        sws_scale(sws, src, stride, 0, h, yuv->data, yuv->linesize);
        if (avcodec_send_frame(ctx, yuv) >= 0 && avcodec_receive_packet(ctx, pkt) >= 0) {
            bytes += static_cast<size_t>(pkt->size);
            av_packet_unref(pkt);
        }
    }
    benchmark::DoNotOptimize(bytes);
    av_packet_free(&pkt);
    sws_freeContext(sws);
    av_frame_free(&yuv);
    avcodec_free_context(&ctx);
}

// Ten seconds of one 320x240 stream at 15 fps, as the payloads a receiver gets.
constexpr int kWallStreams = 49;
constexpr int kWallSeconds = 10;
constexpr int kWallFps = 15;

std::vector<std::vector<uint8_t>> wallPayloads() {
    struct Keep : KVRVideoPayloadSink {
        std::vector<std::vector<uint8_t>> all;
        bool sendVideo(std::span<const uint8_t> p) override {
            all.emplace_back(p.begin(), p.end());
            return true;
        }
    };
    auto keep = std::make_shared<Keep>();
    KVRVideoDataSender sender(keep);
    sender.setGateEnabled(false);
    sender.setSegmentPause(std::chrono::microseconds(0));
    for (int i = 1; i <= kWallSeconds * kWallFps; ++i) sender.putData(KVRTestPatternCamera::render(i, 320, 240));
    return std::move(keep->all);
}

void BM_ReceiveWall(benchmark::State& state) {
    static const auto payloads = wallPayloads();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<KVRVideoReceiver>> wall;
        for (int s = 0; s < kWallStreams; ++s) wall.push_back(std::make_unique<KVRVideoReceiver>());
        state.ResumeTiming();
        uint64_t pictures = 0;
        // Interleaved as they arrive: every stream's datagrams of one moment before the next moment's.
        for (const auto& p : payloads)
            for (auto& rx : wall) pictures += rx->receivedVideoPayload(p);
        benchmark::DoNotOptimize(pictures);
        state.PauseTiming();
        wall.clear();
        state.ResumeTiming();
    }
    state.counters["video_seconds"] = kWallSeconds;
}

BENCHMARK(BM_SendPath)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_BareEncode)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ReceiveWall)->Unit(benchmark::kMillisecond)->Iterations(2)->MeasureProcessCPUTime();

// Keeps each run's CPU time per iteration so main can print the figures.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> cpuSeconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs)
            if (r.iterations > 0) cpuSeconds[r.benchmark_name()] = r.cpu_accumulated_time / static_cast<double>(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};
}  // namespace

int main(int argc, char** argv) {
    KVRLogSettings::setEnabled(false);
    av_log_set_level(AV_LOG_QUIET);
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    for (const char* size : {"320/240", "640/480"}) {
        auto ours = collector.cpuSeconds.find(std::string("BM_SendPath/") + size + "/process_time");
        auto bare = collector.cpuSeconds.find(std::string("BM_BareEncode/") + size + "/process_time");
        if (ours != collector.cpuSeconds.end() && bare != collector.cpuSeconds.end() && bare->second > 0)
            std::printf("video send path %s: ratio to bare FFmpeg %.3f (goal <= 1.10)\n", size,
                        ours->second / bare->second);
    }
    for (const auto& [name, secs] : collector.cpuSeconds)
        if (name.rfind("BM_ReceiveWall", 0) == 0)
            std::printf("video receive wall: %d streams of 320x240 at %d fps use %.2f of one core (real time needs < 2.00 on 2 cores)\n",
                        kWallStreams, kWallFps, secs / kWallSeconds);
    benchmark::Shutdown();
    return 0;
}
