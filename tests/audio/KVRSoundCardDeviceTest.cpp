// Sound devices: the settings file round trip, mute switches, volumes of chosen devices.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "audio/KVRSoundCardDevice.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"
#include "support/KVRTempDir.h"

namespace {
std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
}  // namespace

TEST(KVRSoundCardDevice, SettingsFileRoundTrip) {
    KVRTempDir dir;
    auto backend = std::make_shared<KVRSyntheticAudioBackend>();
    {
        KVRSoundCardDevice device(backend, dir.str());
        EXPECT_EQ(device.inputIndex(), 0);
        EXPECT_FALSE(device.isNotShowDeviceSetting());
        device.setInfo(1, 0);
        EXPECT_EQ(slurp(device.configPath()), "1|0|0|");
    }
    std::ofstream(dir.path() / "kelvara_audio_config.txt", std::ios::trunc) << "2|1|1|";
    KVRSoundCardDevice device(backend, dir.str());
    EXPECT_EQ(device.inputIndex(), 2);
    EXPECT_EQ(device.outputIndex(), 1);
    EXPECT_TRUE(device.isNotShowDeviceSetting());
    device.setNotShowDeviceSetting(false);
    EXPECT_EQ(slurp(device.configPath()), "2|1|0|");
    // No temporary file is left beside it.
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1u);
}

TEST(KVRSoundCardDevice, DamagedOrPartialFilesKeepDefaults) {
    struct Case {
        const char* text;
        int64_t in, out;
        bool notShow;
    } cases[] = {{"", 0, 0, false},           {"3", 3, 0, false},         {"|5|", 0, 5, false},
                 {"x|y|z|", 0, 0, false},     {"1|1|YES|", 1, 1, true},   {"\x01\x02\xff", 0, 0, false},
                 {"-4|9|0|junk|", -4, 9, false}};
    auto backend = std::make_shared<KVRSyntheticAudioBackend>();
    for (const auto& c : cases) {
        KVRTempDir dir;
        std::ofstream(dir.path() / "kelvara_audio_config.txt") << c.text;
        KVRSoundCardDevice device(backend, dir.str());
        EXPECT_EQ(device.inputIndex(), c.in) << c.text;
        EXPECT_EQ(device.outputIndex(), c.out) << c.text;
        EXPECT_EQ(device.isNotShowDeviceSetting(), c.notShow) << c.text;
    }
}

TEST(KVRSoundCardDevice, VolumesActOnTheChosenDeviceOnly) {
    KVRTempDir dir;
    auto backend = std::make_shared<KVRSyntheticAudioBackend>();
    KVRSoundCardDevice device(backend, dir.str());
    ASSERT_EQ(device.inputDeviceCount(), 2);
    EXPECT_EQ(device.inputDeviceName(1), "Synthetic Line In");
    EXPECT_EQ(device.outputDeviceName(2), std::nullopt);
    EXPECT_EQ(device.inputDeviceName(-1), std::nullopt);

    device.setInfo(1, 0);
    device.setMicVolume(0.25);
    EXPECT_DOUBLE_EQ(device.getMicVolume(), 0.25);
    EXPECT_DOUBLE_EQ(*backend->volume(true, "synthetic_in2"), 0.25);
    EXPECT_DOUBLE_EQ(*backend->volume(true, "synthetic_in"), 1.0);
    device.setSpkVolume(7.0);  // clamped
    EXPECT_DOUBLE_EQ(device.getSpkVolume(), 1.0);

    device.setInfo(0, 5);  // a saved output that no longer exists
    device.setSpkVolume(0.1);
    EXPECT_DOUBLE_EQ(device.getSpkVolume(), 1.0);
    EXPECT_DOUBLE_EQ(*backend->volume(false, "synthetic_out"), 1.0);
    EXPECT_DOUBLE_EQ(*backend->volume(false, "synthetic_out2"), 1.0);

    EXPECT_FALSE(device.isMicMute());
    device.setMicMute(true);
    EXPECT_TRUE(device.isMicMute());
    EXPECT_EQ(slurp(device.configPath()), "0|5|0|");  // mute switches are never saved
}
