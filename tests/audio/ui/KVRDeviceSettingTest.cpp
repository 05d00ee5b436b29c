// The device check dialog's audio page and the volume pop-up on the synthetic sound card, offscreen.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>

#include <fstream>
#include <sstream>

#include "app/KVRStrings.h"
#include "audio/KVRSoundCardDevice.h"
#include "audio/ui/KVRDeviceSettingAudio.h"
#include "audio/ui/KVRDeviceSettingController.h"
#include "audio/ui/KVRVolumeControlView.h"
#include "platform/synthetic/KVRSyntheticAudioBackend.h"
#include "support/KVRTempDir.h"

namespace {
std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

QString text(const char* key) { return QString::fromStdString(KVRStrings::text(key)); }

struct Rig {
    KVRTempDir dir;
    std::shared_ptr<KVRSyntheticAudioBackend> backend =
        std::make_shared<KVRSyntheticAudioBackend>(KVRSyntheticAudioBackend::tone(440, 0.4));
    std::shared_ptr<KVRSoundCardDevice> device;
    explicit Rig(const char* savedConfig = nullptr) {
        KVRStrings::load("en");
        if (savedConfig) std::ofstream(dir.path() / KVRSoundCardDevice::kConfigFileName) << savedConfig;
        device = std::make_shared<KVRSoundCardDevice>(backend, dir.str());
    }
    bool playedSound() {
        backend->clearPlayed();
        backend->tick(2);
        for (int16_t s : backend->playedSamples())
            if (s != 0) return true;
        return false;
    }
};
}  // namespace

TEST(KVRDeviceSettingAudio, ListsDevicesAndWritesTheChoiceAndFlagOnClose) {
    Rig rig;
    KVRDeviceSettingController dialog(rig.device);
    EXPECT_EQ(dialog.windowTitle(), text("IDS_DEVICE_CHECK"));
    ASSERT_EQ(dialog.tabs()->count(), 2);
    EXPECT_EQ(dialog.tabs()->tabText(1), text("IDS_AUDIO"));
    auto* page = dialog.audioPage();
    ASSERT_EQ(page->inputCombo()->count(), 2);
    ASSERT_EQ(page->outputCombo()->count(), 2);
    EXPECT_EQ(page->inputCombo()->itemText(0), "Synthetic Microphone");
    EXPECT_EQ(page->outputCombo()->itemText(1), "Synthetic Headset");
    EXPECT_EQ(page->inputCombo()->currentIndex(), 0);
    EXPECT_FALSE(dialog.notShowCheckBox()->isChecked());

    // The second input and the first output, check box left off.
    page->inputCombo()->setCurrentIndex(1);
    emit page->inputCombo()->activated(1);
    dialog.closeButtonWidget()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(slurp(rig.device->configPath()), "1|0|0|");

    // Once more with the check box on, closed from the title bar: nothing chosen is lost.
    KVRDeviceSettingController again(rig.device);
    EXPECT_EQ(again.audioPage()->inputCombo()->currentIndex(), 1);
    again.audioPage()->outputCombo()->setCurrentIndex(1);
    again.notShowCheckBox()->setChecked(true);
    again.reject();
    EXPECT_EQ(slurp(rig.device->configPath()), "1|1|1|");
    EXPECT_TRUE(rig.device->isNotShowDeviceSetting());
}

TEST(KVRDeviceSettingAudio, SavedChoiceIsSelectedAndAnIndexBeyondTheListIsKept) {
    {
        Rig rig("1|1|1|");
        KVRDeviceSettingAudio page(rig.device);
        EXPECT_EQ(page.inputCombo()->currentIndex(), 1);
        EXPECT_EQ(page.outputCombo()->currentIndex(), 1);
    }
    {
        // A device removed since: nothing is selected, and saving does not overwrite its index.
        Rig rig("5|0|0|");
        KVRDeviceSettingAudio page(rig.device);
        EXPECT_EQ(page.inputCombo()->currentIndex(), -1);
        page.saveConfig();
        EXPECT_EQ(slurp(rig.device->configPath()), "5|0|0|");
    }
}

TEST(KVRDeviceSettingController, StartUpHonoursTheNotShowFlagAndNeedsADisplay) {
    Rig shown("0|0|0|"), hidden("0|0|1|");
    struct Case {
        KVRSoundCardDevice* device;
        bool interactive, expected;
    } cases[] = {{shown.device.get(), true, true},   {hidden.device.get(), true, false},
                 {shown.device.get(), false, false}, {hidden.device.get(), false, false},
                 {nullptr, true, true}};
    for (const auto& c : cases)
        EXPECT_EQ(KVRDeviceSettingController::shouldShowAtStartUp(c.device, c.interactive), c.expected);
    // Offscreen, the start-up run returns at once instead of waiting for a click that cannot come.
    EXPECT_FALSE(KVRDeviceSettingController::runAtStartUp(shown.device));
}

TEST(KVRDeviceSettingAudio, PlayThroughStartsStopsAndIsRebuiltStoppedOnADeviceChange) {
    Rig rig;
    auto dialog = std::make_unique<KVRDeviceSettingController>(rig.device);
    auto* page = dialog->audioPage();
    // The test runs on the system's default devices.
    EXPECT_EQ(page->playThroughInput(), "synthetic_in");
    EXPECT_EQ(page->playThroughOutput(), "synthetic_out");
    EXPECT_FALSE(rig.playedSound());

    page->testButton()->click();
    EXPECT_TRUE(page->isPlayThroughRunning());
    EXPECT_EQ(page->testButton()->text(), text("IDS_STEP_CLOSE"));
    EXPECT_TRUE(rig.playedSound());
    page->testButton()->click();
    EXPECT_FALSE(page->isPlayThroughRunning());
    EXPECT_EQ(page->testButton()->text(), text("IDS_STEP_TEST"));
    EXPECT_FALSE(rig.playedSound());

    // Same devices chosen: the running test goes on; another device: stopped and set up for it.
    page->start();
    page->start();  // already running: nothing more
    page->inputCombo()->setCurrentIndex(0);
    page->deviceSelected();
    EXPECT_TRUE(page->isPlayThroughRunning());
    page->outputCombo()->setCurrentIndex(1);
    page->deviceSelected();
    EXPECT_FALSE(page->isPlayThroughRunning());
    EXPECT_EQ(page->playThroughOutput(), "synthetic_out2");
    page->testButton()->click();
    EXPECT_TRUE(page->isPlayThroughRunning());

    // The monitor lives only while the dialog is open.
    dialog->closeButtonWidget()->click();
    EXPECT_FALSE(page->isPlayThroughRunning());
    EXPECT_FALSE(rig.playedSound());
}

TEST(KVRDeviceSettingAudio, FailingMonitorIsReportedOnThePage) {
    Rig rig;
    rig.backend->setFailOpen(true);
    KVRDeviceSettingAudio page(rig.device);
    page.buttonClick();
    EXPECT_FALSE(page.isPlayThroughRunning());
    EXPECT_EQ(page.testButton()->text(), text("IDS_STEP_TEST"));
    EXPECT_EQ(page.statusLabel()->text(), text("IDS_PLAYTHROUGH_FAILED"));
}

namespace {
struct Toolbar : KVRVolumeControlToolbar {
    int refreshed = 0;
    void setMicSpkButtonImage() override { ++refreshed; }
};
}  // namespace

TEST(KVRVolumeControlView, MuteButtonFlipsItsSwitchAndSliderSetsTheChosenDevicesVolume) {
    Rig rig("0|1|0|");
    rig.backend->setVolume(false, "synthetic_out2", 0.25);
    Toolbar toolbar;
    struct Case {
        int type;
        const char* on;
        const char* off;
        const char* deviceID;
        double initial;
    } cases[] = {{KVRVolumeControlView::Microphone, "client_mic_a1", "client_mic_d1", "synthetic_in", 1.0},
                 {KVRVolumeControlView::Speaker, "client_spk_a1", "client_spk_d1", "synthetic_out2", 0.25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.on);
        KVRVolumeControlView view(nullptr, rig.device);
        view.initEx(&toolbar, c.type);
        EXPECT_EQ(view.button()->geometry(), QRect(10, 5, 21, 23));
        EXPECT_EQ(view.slider()->geometry(), QRect(10, 30, 20, 120));
        EXPECT_EQ(view.imageName(), c.on);
        EXPECT_FALSE(view.button()->icon().isNull());
        EXPECT_EQ(view.slider()->value(), static_cast<int>(c.initial * KVRVolumeControlView::kSliderSteps));

        const int before = toolbar.refreshed;
        view.button()->click();
        EXPECT_EQ(view.imageName(), c.off);
        EXPECT_TRUE(c.type == KVRVolumeControlView::Microphone ? rig.device->isMicMute() : rig.device->isSpkMute());
        EXPECT_EQ(toolbar.refreshed, before + 1);
        view.button()->click();
        EXPECT_EQ(view.imageName(), c.on);

        view.slider()->setValue(40);
        EXPECT_DOUBLE_EQ(*rig.backend->volume(c.type == KVRVolumeControlView::Microphone, c.deviceID), 0.4);
    }
}

TEST(KVRVolumeControlView, SpeakerVolumeWithASavedIndexBeyondTheListDoesNothing) {
    Rig rig("0|7|0|");
    KVRVolumeControlView view(nullptr, rig.device);
    view.initEx(nullptr, KVRVolumeControlView::Speaker);
    EXPECT_EQ(view.slider()->value(), KVRVolumeControlView::kSliderSteps);  // reads 1.0
    view.slider()->setValue(10);
    EXPECT_DOUBLE_EQ(*rig.backend->volume(false, "synthetic_out"), 1.0);
    EXPECT_DOUBLE_EQ(*rig.backend->volume(false, "synthetic_out2"), 1.0);
    view.button()->click();  // no toolbar: still flips the switch
    EXPECT_TRUE(rig.device->isSpkMute());
}
