// G.711 mu-law encode+decode of 10 s of speech-like 8 kHz audio in 20 ms frames: ours against
// FFmpeg's pcm_mulaw codec on the same samples, with the throughput ratio printed at the end.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "audio/CCodecG711.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"

namespace {
constexpr size_t kFrameSamples = 160;
constexpr size_t kFrames = 500;  // 10 s

const std::vector<uint8_t>& speech() {
    static const std::vector<uint8_t> pcm = [] {
        auto gen = KVRSyntheticAudioBackend::speechLike(3);
        std::vector<uint8_t> out;
        int16_t s[kFrameSamples];
        for (size_t f = 0; f < kFrames; ++f) {
            gen(s, kFrameSamples, f);
            for (int16_t v : s) {
                out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v)));
                out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
            }
        }
        return out;
    }();
    return pcm;
}

void BM_G711_Ours(benchmark::State& state) {
    const auto& pcm = speech();
    CCodecG711 codec(true);
    std::vector<uint8_t> coded(kFrameSamples), back(2 * kFrameSamples);
    for (auto _ : state) {
        for (size_t f = 0; f < kFrames; ++f) {
            std::span<const uint8_t> in(pcm.data() + f * 2 * kFrameSamples, 2 * kFrameSamples);
            codec.Encode(in, coded);
            codec.Decode(coded, back);
            benchmark::DoNotOptimize(back.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pcm.size()));
}

void BM_G711_FFmpeg(benchmark::State& state) {
    const auto& pcm = speech();
    const AVCodec* enc = avcodec_find_encoder(AV_CODEC_ID_PCM_MULAW);
    const AVCodec* dec = avcodec_find_decoder(AV_CODEC_ID_PCM_MULAW);
    AVCodecContext* ec = avcodec_alloc_context3(enc);
    AVCodecContext* dc = avcodec_alloc_context3(dec);
    for (AVCodecContext* c : {ec, dc}) {
        c->sample_rate = 8000;
        c->sample_fmt = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&c->ch_layout, 1);
    }
    if (avcodec_open2(ec, enc, nullptr) < 0 || avcodec_open2(dc, dec, nullptr) < 0) {
        state.SkipWithError("pcm_mulaw not available");
        return;
    }
    AVFrame* frame = av_frame_alloc();
    frame->nb_samples = kFrameSamples;
    frame->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&frame->ch_layout, 1);
    av_frame_get_buffer(frame, 0);
    AVFrame* out = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    for (auto _ : state) {
        for (size_t f = 0; f < kFrames; ++f) {
            av_frame_make_writable(frame);
            std::memcpy(frame->data[0], pcm.data() + f * 2 * kFrameSamples, 2 * kFrameSamples);
            avcodec_send_frame(ec, frame);
            while (avcodec_receive_packet(ec, pkt) == 0) {
                avcodec_send_packet(dc, pkt);
                while (avcodec_receive_frame(dc, out) == 0) benchmark::DoNotOptimize(out->data[0]);
                av_packet_unref(pkt);
            }
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pcm.size()));
    av_packet_free(&pkt);
    av_frame_free(&out);
    av_frame_free(&frame);
    avcodec_free_context(&ec);
    avcodec_free_context(&dc);
}

BENCHMARK(BM_G711_Ours);
BENCHMARK(BM_G711_FFmpeg);

// Keeps each run's time per iteration so that the ratio can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};
}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ours = reporter.times.find("BM_G711_Ours"), theirs = reporter.times.find("BM_G711_FFmpeg");
    if (ours != reporter.times.end() && theirs != reporter.times.end() && ours->second > 0)
        std::printf("G.711 encode+decode throughput, ours / FFmpeg pcm_mulaw: %.2fx (goal >= 1.0x)\n",
                    theirs->second / ours->second);
    benchmark::Shutdown();
    return 0;
}
