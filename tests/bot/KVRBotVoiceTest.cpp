// kelvara-bot's voice: the command line of --tone and --record-audio, and two bots as child processes
// in one room of the development server, one speaking a tone that the other records.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "KVRBotOptions.h"
#include "KVRDevServer.h"
#include "support/KVRTestLaunch.h"
#include "support/KVRChildProcess.h"
#include "support/KVRTempDir.h"

namespace {

using namespace std::chrono_literals;

TEST(BotVoiceOptions, ToneAndRecordingTable) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        std::string errorPart;
    } cases[] = {
        {{"--url", "u", "--tone", "440"}, true, ""},
        {{"--url", "u", "--tone=1000.5", "--record-audio", "/tmp/x.wav"}, true, ""},
        {{"--url", "u", "--tone"}, false, "needs HZ"},
        {{"--url", "u", "--tone", "abc"}, false, "from 20 to 3900"},
        {{"--url", "u", "--tone", "5000"}, false, "from 20 to 3900"},  // beyond what 8 kHz carries
        {{"--url", "u", "--tone", "nan"}, false, "from 20 to 3900"},
        {{"--url", "u", "--record-audio", ""}, false, "needs a file name"},
    };
    for (const auto& c : cases) {
        std::string error;
        auto o = KVRBotOptions::parse(c.args, error);
        EXPECT_EQ(o.has_value(), c.ok) << ::testing::PrintToString(c.args) << " " << error;
        if (!c.ok) EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
    }
    std::string error;
    auto o = KVRBotOptions::parse({"--url", "u", "--tone", "440", "--record-audio", "a.wav"}, error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->toneHz, 440.0);
    EXPECT_EQ(o->recordAudio, "a.wav");
}

using Child = kvrtest::ChildProcess;
using kvrtest::readFile;


std::optional<std::vector<int16_t>> readWave(const std::string& path, int& rate) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return std::nullopt;
    rate = info.samplerate;
    std::vector<int16_t> samples(static_cast<size_t>(info.frames * info.channels));
    sf_read_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    if (info.channels != 1) return std::nullopt;
    return samples;
}

class VoiceRoom : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
    }
    void TearDown() override { server.stop(); }
    std::string url(const std::string& uid, int role) {
        return kvrtest::launchUrl(server.ports().main, server.ports().relay, uid, role);
    }
    std::string path(const std::string& name) const { return (dir.path() / name).string(); }

    KVRTempDir dir;
    KVRDevServer server;
};

// The lecturer owns the room and so may speak in it without the push-to-talk key; the student only
// listens and records.
TEST_F(VoiceRoom, StudentRecordsTheLecturersToneAt440Hz) {
    const std::string wav = path("heard.wav");
    Child listener({KVR_BOT_EXE, "--url", url("stud1", 0), "--record-audio", wav, "--duration", "5"},
                   path("listener.out"));
    std::this_thread::sleep_for(500ms);  // the listener is in before the tone starts
    Child talker({KVR_BOT_EXE, "--url", url("lect1", 1), "--tone", "440", "--duration", "3"}, path("talker.out"));
    EXPECT_EQ(talker.wait(20s), 0) << readFile(path("talker.out"));
    EXPECT_EQ(listener.wait(20s), 0) << readFile(path("listener.out"));
    const std::string talkerOut = readFile(path("talker.out")), listenerOut = readFile(path("listener.out"));
    EXPECT_NE(talkerOut.find("\"voice\":{\"tone\":440"), std::string::npos) << talkerOut;
    EXPECT_NE(listenerOut.find("\"voices\":[\"lect1\"],\"recorded\":true"), std::string::npos) << listenerOut;

    int rate = 0;
    auto samples = readWave(wav, rate);
    ASSERT_TRUE(samples) << "no readable WAV at " << wav;
    EXPECT_EQ(rate, 8000);
    // The loud stretch is the tone: count its zero crossings.
    size_t first = 0, last = samples->size();
    while (first < last && std::abs((*samples)[first]) < 2000) ++first;
    while (last > first && std::abs((*samples)[last - 1]) < 2000) --last;
    ASSERT_GT(last - first, static_cast<size_t>(rate)) << "less than a second of the tone was recorded";
    // Frames the relay lost or the channel padded are short silences inside; skip them in the count.
    size_t crossings = 0, voiced = 0;
    for (size_t f = first; f + 160 <= last; f += 160) {
        int peak = 0;
        for (size_t i = f; i < f + 160; ++i) peak = std::max(peak, std::abs(int((*samples)[i])));
        if (peak < 2000) continue;
        voiced += 160;
        for (size_t i = f + 1; i < f + 160; ++i) crossings += ((*samples)[i - 1] < 0) != ((*samples)[i] < 0);
    }
    ASSERT_GT(voiced, static_cast<size_t>(rate));
    const double hz = static_cast<double>(crossings) / 2.0 * rate / static_cast<double>(voiced) * 160.0 / 159.0;
    EXPECT_NEAR(hz, 440.0, 8.0);
}

TEST_F(VoiceRoom, UnwritableRecordingIsReportedNotClaimed) {
    Child bot({KVR_BOT_EXE, "--url", url("stud1", 0), "--record-audio", path("no/such/folder/x.wav"), "--duration", "1"},
              path("bot.out"));
    EXPECT_EQ(bot.wait(20s), 0);
    const std::string out = readFile(path("bot.out"));
    EXPECT_NE(out.find("cannot write the voice recording"), std::string::npos) << out;
    EXPECT_NE(out.find("\"recorded\":false"), std::string::npos) << out;
}

}  // namespace
