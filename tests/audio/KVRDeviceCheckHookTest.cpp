// The start-up's device check asks the window for the dialog unless the saved settings say not to,
// and the join still follows it.
#include <gtest/gtest.h>

#include <fstream>

#include "app/KVRGlobalData.h"
#include "audio/KVRSoundCardDevice.h"
#include "conference/KVRMainView.h"
#include "conference/KVRMainViewDelegate.h"
#include "platform/synthetic/KVRManualRunLoop.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"
#include "support/KVRTempDir.h"

namespace {
struct Window : KVRMainViewDelegate {
    int checks = 0;
    void setWindowTitle(const std::string&) override {}
    void runDeviceCheck() override { ++checks; }
};
}  // namespace

TEST(KVRMainViewDeviceCheck, DialogRunsUnlessTheNotShowFlagIsSaved) {
    struct Case {
        const char* name;
        const char* saved;  // null: no sound card device registered
        int expected;
    } cases[] = {{"no device", nullptr, 1}, {"flag off", "1|0|0|", 1}, {"flag on", "1|0|1|", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KVRGlobalData::sharedGlobalData()->resetForTesting();
        KVRTempDir dir;
        if (c.saved) {
            std::ofstream(dir.path() / KVRSoundCardDevice::kConfigFileName) << c.saved;
            KVRGlobalData::sharedGlobalData()->setSoundCardDevice(
                std::make_shared<KVRSoundCardDevice>(std::make_shared<KVRSyntheticAudioBackend>(), dir.str()));
        }
        KVRManualRunLoop loop;
        Window window;
        KVRMainView view(loop);
        view.setDelegate(&window);
        view.deviceCheck();
        EXPECT_EQ(window.checks, c.expected);
        view.setDelegate(nullptr);
    }
}
