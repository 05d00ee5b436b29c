#include "audio/ui/KVRDeviceSettingController.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QMetaObject>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRStrings.h"
#include "audio/KVRSoundCardDevice.h"
#include "audio/ui/KVRDeviceSettingAudio.h"
#include "platform/qt/KVRQtAlerts.h"
#include "video/ui/KVRDeviceSettingCamera.h"

namespace {
QString tr_(const char* key) { return QString::fromStdString(KVRStrings::text(key)); }
}  // namespace

KVRDeviceSettingController::KVRDeviceSettingController(std::shared_ptr<KVRSoundCardDevice> device,
                                                       QWidget* cameraPage, QWidget* parent)
    : QDialog(parent), device_(std::move(device)), deviceSettingCamera(cameraPage) {
    if (!device_) device_ = KVRGlobalData::sharedGlobalData()->soundCardDevice();
    setObjectName(QStringLiteral("DeviceSettingController"));
    setWindowTitle(tr_("IDS_DEVICE_CHECK"));
    setWindowModality(Qt::ApplicationModal);

    tabView_ = new QTabWidget(this);
    if (!deviceSettingCamera) deviceSettingCamera = new KVRDeviceSettingCamera;
    tabViewCamera = deviceSettingCamera;
    deviceSettingAudio = new KVRDeviceSettingAudio(device_);
    tabViewAudio = deviceSettingAudio;
    tabView_->addTab(tabViewCamera, tr_("IDS_CAMERA"));
    tabView_->addTab(tabViewAudio, tr_("IDS_AUDIO"));

    notShowButton = new QCheckBox(tr_("IDS_NEXT_NOT_RUN"), this);
    notShowButton->setObjectName(QStringLiteral("notshow"));
    notShowButton->setChecked(false);
    closeButton = new QPushButton(tr_("IDS_CLOSE"), this);
    closeButton->setObjectName(QStringLiteral("close"));
    closeButton->setDefault(true);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(notShowButton);
    bottom->addStretch(1);
    bottom->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabView_, 1);
    layout->addLayout(bottom);
    resize(480, 320);

    connect(closeButton, &QPushButton::clicked, this, [this] { buttonClick(QStringLiteral("close")); });
    connect(notShowButton, &QCheckBox::toggled, this, [this] { buttonClick(QStringLiteral("notshow")); });
}

KVRDeviceSettingController::~KVRDeviceSettingController() = default;

void KVRDeviceSettingController::runModal() {
    closed_ = false;
    exec();
}

void KVRDeviceSettingController::buttonClick(const QString& identifier) {
    if (identifier == QLatin1String("notshow")) return;  // its state is taken on close
    if (identifier != QLatin1String("close") || closed_) return;
    closed_ = true;
    if (device_) device_->setNotShowDeviceSetting(notShowButton->isChecked());
    if (deviceSettingCamera && deviceSettingCamera->metaObject()->indexOfMethod("saveConfig()") >= 0)
        QMetaObject::invokeMethod(deviceSettingCamera, "saveConfig", Qt::DirectConnection);
    deviceSettingAudio->saveConfig();
    // The play-through monitor lives only while the dialog is open.
    deviceSettingAudio->stop();
    done(QDialog::Accepted);
}

void KVRDeviceSettingController::reject() {
    // Escape or the title bar's close: the user's choices are kept as on the close button.
    buttonClick(QStringLiteral("close"));
}

bool KVRDeviceSettingController::runAtStartUp(std::shared_ptr<KVRSoundCardDevice> device) {
    if (!device) device = KVRGlobalData::sharedGlobalData()->soundCardDevice();
    const bool interactive = KVRQtAlerts::hasInteractiveDisplay();
    if (!shouldShowAtStartUp(device.get(), interactive)) {
        if (!interactive) KVRLog("Device check skipped : no interactive display");
        return false;
    }
    KVRDeviceSettingController dialog(std::move(device));
    dialog.runModal();
    return true;
}

bool KVRDeviceSettingController::shouldShowAtStartUp(const KVRSoundCardDevice* device, bool interactiveDisplay) {
    // Nobody could close a modal dialog without a display; it would hold the join for ever.
    if (!interactiveDisplay) return false;
    return !(device && device->isNotShowDeviceSetting());
}
