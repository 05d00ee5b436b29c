// The device check's camera page on the synthetic test-pattern camera, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QStandardItemModel>
#include <QTabWidget>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/KVRGlobalData.h"
#include "app/KVRStrings.h"
#include "audio/ui/KVRDeviceSettingController.h"
#include "platform/KVRAlerts.h"
#include "platform/synthetic/KVRTestPatternCamera.h"
#include "support/KVRTempDir.h"
#include "video/KVRCameraDevice.h"
#include "video/ui/KVRDeviceSettingCamera.h"

namespace {
std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The test pattern with a configurable device list, and a switch that makes opening fail.
class ScriptedCamera : public KVRTestPatternCamera {
public:
    ScriptedCamera() : KVRTestPatternCamera(0) {}
    std::vector<KVRCameraDescription> devices() override { return list; }
    bool start(int index, int width, int height, FrameCallback cb) override {
        ++starts;
        if (failOpen) return false;
        lastWidth = width;
        lastHeight = height;
        return KVRTestPatternCamera::start(0, width, height, std::move(cb)) && index >= 0;
    }
    std::string lastError() const override { return "device busy"; }
    std::vector<KVRCameraDescription> list = KVRTestPatternCamera().devices();
    bool failOpen = false;
    int starts = 0, lastWidth = 0, lastHeight = 0;
};

class RecordingAlerts : public KVRAlerts {
public:
    int showAlert(const std::string& message, const std::vector<std::string>&, int) override {
        messages.push_back(message);
        return 0;
    }
    std::optional<std::string> openFile(const std::vector<std::string>&) override { return std::nullopt; }
    std::vector<std::string> messages;
};

struct Rig {
    KVRTempDir dir;
    std::filesystem::path cfg = dir.path() / KVRCameraDevice::kConfigFileName;
    std::shared_ptr<ScriptedCamera> camera = std::make_shared<ScriptedCamera>();
    std::shared_ptr<KVRCameraDevice> device;
    explicit Rig(const char* saved = nullptr) {
        KVRStrings::load("en");
        if (saved) std::ofstream(cfg) << saved;
    }
    std::unique_ptr<KVRDeviceSettingCamera> page() {
        device = std::make_shared<KVRCameraDevice>(camera->devices(), cfg.string());
        return std::make_unique<KVRDeviceSettingCamera>(device, camera);
    }
};
}  // namespace

TEST(KVRDeviceSettingCamera, ListsTheSavedChoiceAndSavesTheNewOne) {
    Rig rig("0|320|240|15|");
    auto page = rig.page();
    ASSERT_EQ(page->cameraCombo()->count(), 1);
    EXPECT_EQ(page->cameraCombo()->currentText(), "Test pattern");
    ASSERT_EQ(page->resolutionCombo()->count(), 3);
    EXPECT_EQ(page->resolutionCombo()->currentText(), "320 x 240");
    ASSERT_EQ(page->frameCombo()->count(), 30);
    EXPECT_EQ(page->frameCombo()->itemText(0), "1 Frame");
    EXPECT_EQ(page->frameCombo()->currentText(), "15 Frame");

    page->resolutionCombo()->setCurrentIndex(2);
    page->frameCombo()->setCurrentIndex(9);
    page->saveConfig();
    EXPECT_EQ(slurp(rig.cfg), "0|640|480|10|");
    EXPECT_EQ(rig.device->camWidth(), 640);
    EXPECT_EQ(rig.device->camFPS(), 10);
}

TEST(KVRDeviceSettingCamera, DefaultsWithoutSettingsFileAndOkWithoutChangesKeepsThem) {
    // No file: the first camera, 160 × 120, 5 frames per second; a stored index past the list and an
    // impossible rate select the same entries.
    for (const char* saved : {static_cast<const char*>(nullptr), "7|160|120|0|"}) {
        Rig rig(saved);
        auto page = rig.page();
        EXPECT_EQ(page->cameraCombo()->currentIndex(), 0);
        EXPECT_EQ(page->resolutionCombo()->currentText(), "160 x 120");
        EXPECT_EQ(page->frameCombo()->currentText(), "5 Frame");
        page->saveConfig();
        EXPECT_EQ(slurp(rig.cfg), "0|160|120|5|");
    }
}

TEST(KVRDeviceSettingCamera, PreviewShowsCameraFramesUntilSaved) {
    Rig rig;
    auto page = rig.page();
    page->show();  // showing the page starts the preview
    ASSERT_TRUE(page->isPreviewRunning());
    EXPECT_EQ(rig.camera->lastWidth, 320);
    EXPECT_EQ(rig.camera->lastHeight, 240);

    for (int i = 0; i < 3; ++i) rig.camera->deliverFrame();
    QApplication::processEvents();
    // Three frames before the GUI thread ran: shown once, the newest, not three queued repaints.
    EXPECT_EQ(page->previewFramesShown(), 1u);
    ASSERT_FALSE(page->previewLabel()->pixmap().isNull());
    const QImage shown = page->previewImage();
    auto expected = KVRTestPatternCamera::render(rig.camera->framesDelivered(), 320, 240);
    ASSERT_EQ(shown.size(), QSize(320, 240));
    EXPECT_EQ(shown.pixelColor(100, 200), QColor(expected.baseAddress()[(200 * 320 + 100) * 3],
                                                 expected.baseAddress()[(200 * 320 + 100) * 3 + 1],
                                                 expected.baseAddress()[(200 * 320 + 100) * 3 + 2]));
    rig.camera->deliverFrame();
    QApplication::processEvents();
    EXPECT_EQ(page->previewFramesShown(), 2u);

    page->saveConfig();
    EXPECT_FALSE(page->isPreviewRunning());
    EXPECT_FALSE(rig.camera->isRunning());
}

TEST(KVRDeviceSettingCamera, CameraThatCannotOpenShowsThePlatformError) {
    Rig rig;
    auto alerts = std::make_shared<RecordingAlerts>();
    KVRGlobalData::sharedGlobalData()->setAlerts(alerts);
    rig.camera->failOpen = true;
    auto page = rig.page();
    page->show();
    EXPECT_FALSE(page->isPreviewRunning());
    ASSERT_EQ(alerts->messages.size(), 1u);
    EXPECT_NE(alerts->messages[0].find("device busy"), std::string::npos);
    // The choice can still be saved.
    page->saveConfig();
    EXPECT_EQ(slurp(rig.cfg), "0|160|120|5|");
}

TEST(KVRDeviceSettingCamera, NoCameraSavesNothingAndOversizeFormatsCannotBeChosen) {
    {
        Rig rig;
        rig.camera->list.clear();
        auto page = rig.page();
        page->show();
        EXPECT_FALSE(page->cameraCombo()->isEnabled());
        EXPECT_EQ(rig.camera->starts, 0);
        page->saveConfig();
        EXPECT_FALSE(std::filesystem::exists(rig.cfg));
    }
    {
        Rig rig;
        rig.camera->list = {{"a", "Cam A", {{640, 480}}}, {"b", "Cam B", {{1280, 720}, {1920, 1080}}}};
        auto page = rig.page();
        page->cameraCombo()->setCurrentIndex(1);
        page->deviceSelected(1);  // refills the resolutions for the chosen camera
        auto* model = qobject_cast<QStandardItemModel*>(page->resolutionCombo()->model());
        ASSERT_EQ(page->resolutionCombo()->count(), 2);
        EXPECT_TRUE(model->item(0)->isEnabled());   // 1280 × 720 × 3 fits the 4 MiB frame buffer
        EXPECT_FALSE(model->item(1)->isEnabled());  // 1920 × 1080 × 3 does not
        page->saveConfig();
        EXPECT_EQ(slurp(rig.cfg), "1|1280|720|5|");
    }
}

TEST(KVRDeviceSettingCamera, DeviceCheckDialogSavesThePageOnClose) {
    Rig rig("0|320|240|15|");
    auto page = rig.page();
    page->frameCombo()->setCurrentIndex(19);
    KVRDeviceSettingController dialog(nullptr, page.release());
    ASSERT_NE(dialog.tabs()->widget(0), nullptr);
    dialog.buttonClick("close");
    EXPECT_EQ(slurp(rig.cfg), "0|320|240|20|");
}
