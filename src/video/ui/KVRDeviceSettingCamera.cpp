#include "video/ui/KVRDeviceSettingCamera.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPixmap>
#include <QStandardItemModel>

#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRStrings.h"
#include "platform/KVRAlerts.h"
#include "platform/qt/KVRQtCameraBackend.h"
#include "video/KVRCameraDevice.h"
#include "video/KVRVideoImage.h"

namespace {
QString tr_(const char* key) { return QString::fromStdString(KVRStrings::text(key)); }

QString sizeText(int64_t width, int64_t height) {
    return QString::asprintf("%ld x %ld", static_cast<long>(width), static_cast<long>(height));
}
}  // namespace

KVRDeviceSettingCamera::KVRDeviceSettingCamera(std::shared_ptr<KVRCameraDevice> device,
                                               std::shared_ptr<KVRCameraBackend> backend, QWidget* parent)
    : QWidget(parent), device_(std::move(device)), backend_(std::move(backend)) {
    if (!backend_) backend_ = std::make_shared<KVRQtCameraBackend>();
    if (!device_) device_ = KVRGlobalData::sharedGlobalData()->cameraDevice();
    if (!device_) device_ = std::make_shared<KVRCameraDevice>(backend_->devices());

    textFieldDevice = new QLabel(tr_("IDS_STEP_DEVICE"), this);
    textFieldResolution = new QLabel(tr_("IDS_RESOLUTION"), this);
    textFieldFrame = new QLabel(tr_("IDS_FRAME"), this);
    comboBoxCamera = new QComboBox(this);
    comboBoxResolution = new QComboBox(this);
    comboBoxFrame = new QComboBox(this);
    previewView = new QLabel(this);
    previewView->setObjectName(QStringLiteral("cameraPreview"));
    previewView->setFixedSize(kPreviewWidth, kPreviewHeight);
    previewView->setAlignment(Qt::AlignCenter);
    previewView->setStyleSheet(QStringLiteral("background: black; color: white"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(previewView, 0, 0, 1, 2, Qt::AlignHCenter);
    grid->addWidget(textFieldDevice, 1, 0);
    grid->addWidget(comboBoxCamera, 1, 1);
    grid->addWidget(textFieldResolution, 2, 0);
    grid->addWidget(comboBoxResolution, 2, 1);
    grid->addWidget(textFieldFrame, 3, 0);
    grid->addWidget(comboBoxFrame, 3, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);

    initVideo();
    connect(comboBoxCamera, &QComboBox::activated, this, [this](int index) { deviceSelected(index); });
}

KVRDeviceSettingCamera::~KVRDeviceSettingCamera() { stopCapture(); }

void KVRDeviceSettingCamera::initVideo() {
    comboBoxCamera->clear();
    comboBoxFrame->clear();
    for (int fps = 1; fps <= 30; ++fps) comboBoxFrame->addItem(QString::asprintf("%d Frame", fps), fps);
    if (!device_ || device_->count() == 0) {
        comboBoxCamera->setEnabled(false);
        comboBoxResolution->setEnabled(false);
        previewView->setText(tr_("IDS_NO_CAMERA"));
        comboBoxFrame->setCurrentIndex(4);
        return;
    }
    for (size_t i = 0; i < device_->count(); ++i)
        comboBoxCamera->addItem(QString::fromStdString(device_->getAt(static_cast<int64_t>(i))->name()));
    const int64_t cam = device_->camIndex();
    comboBoxCamera->setCurrentIndex(cam >= 0 && cam < comboBoxCamera->count() ? static_cast<int>(cam) : 0);
    const int64_t fps = device_->camFPS();
    comboBoxFrame->setCurrentIndex(fps >= 1 && fps <= 30 ? static_cast<int>(fps - 1) : 4);
    showCameraResoulition();
}

void KVRDeviceSettingCamera::showCameraResoulition() {
    comboBoxResolution->clear();
    auto info = device_ ? device_->getAt(comboBoxCamera->currentIndex()) : std::nullopt;
    if (!info) return;
    const QString wanted = sizeText(device_->camWidth(), device_->camHeight());
    int selected = 0;
    auto* model = qobject_cast<QStandardItemModel*>(comboBoxResolution->model());
    for (size_t i = 0; i < info->formatCount(); ++i) {
        const QString text = QString::fromStdString(*info->format(i));
        comboBoxResolution->addItem(text);
        if (text == wanted) selected = static_cast<int>(i);  // the last equal entry wins
        // Shown, as the camera offers it, but not selectable: its picture would not fit the encoder's
        // frame buffer and nothing would be sent.
        auto size = KVRCameraInfo::parseFormat(text.toStdString());
        if (model && (!size || !kvr::videoSizeFits(size->first, size->second)))
            model->item(static_cast<int>(i))->setEnabled(false);
    }
    comboBoxResolution->setCurrentIndex(selected);
}

void KVRDeviceSettingCamera::start() {
    if (!device_ || comboBoxCamera->currentIndex() < 0) return;
    startCapture(comboBoxCamera->currentIndex(), kPreviewWidth, kPreviewHeight);
}

void KVRDeviceSettingCamera::stop() { stopCapture(); }

void KVRDeviceSettingCamera::deviceSelected(int index) {
    if (index < 0) return;
    showCameraResoulition();
    if (isVisible() || previewRunning_) startCapture(index, kPreviewWidth, kPreviewHeight);
}

bool KVRDeviceSettingCamera::startCapture(int index, int width, int height) {
    stopCapture();
    if (!backend_) return false;
    // The back-end calls back on its own thread until stop(); stopCapture(), which the destructor runs
    // too, stops it before this object goes away.
    const bool ok = backend_->start(index, width, height, [this](KVRCameraFrame frame) { frameArrived(frame); });
    if (!ok) {
        const std::string why = backend_->lastError();
        KVRLog("camera preview: cannot open camera %d: %s", index, why.c_str());
        auto alerts = KVRGlobalData::sharedGlobalData()->alerts();
        if (!alerts) alerts = std::make_shared<KVRHeadlessAlerts>();
        std::string message = KVRStrings::text("IDS_CAMERA_OPEN_FAILED");
        if (!why.empty()) message += "\n" + why;
        alerts->showAlert(message, {KVRStrings::text("IDS_OK")}, KVRAlerts::Warning);
        return false;
    }
    previewRunning_ = true;
    return true;
}

void KVRDeviceSettingCamera::stopCapture() {
    if (backend_ && previewRunning_) backend_->stop();
    previewRunning_ = false;
}

void KVRDeviceSettingCamera::saveConfig() {
    stopCapture();
    if (!device_ || comboBoxCamera->currentIndex() < 0 || device_->count() == 0) return;
    int64_t width = 160, height = 120;
    if (comboBoxResolution->currentIndex() >= 0) {
        if (auto size = KVRCameraInfo::parseFormat(comboBoxResolution->currentText().toStdString())) {
            width = size->first;
            height = size->second;
        }
    }
    const int64_t fps = comboBoxFrame->currentData().isValid() ? comboBoxFrame->currentData().toInt() : 5;
    device_->setInfo(comboBoxCamera->currentIndex(), width, height, fps);
    saved_ = true;
}

QImage KVRDeviceSettingCamera::previewImage() const {
    std::lock_guard lock(frameMutex_);
    return pendingFrame_;
}

void KVRDeviceSettingCamera::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!previewRunning_ && !saved_) start();
}

void KVRDeviceSettingCamera::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    stopCapture();
}

void KVRDeviceSettingCamera::frameArrived(const KVRCameraFrame& frame) {
    if (!frame.isUsable()) return;
    // Copied out of the camera's buffer: the back-end reuses it for the next frame.
    QImage image(frame.baseAddress(), frame.width, frame.height, frame.bytesPerRow, QImage::Format_RGB888);
    {
        std::lock_guard lock(frameMutex_);
        pendingFrame_ = image.copy();
    }
    // One queued repaint at a time: a slow GUI thread skips frames instead of piling them up.
    if (!updateQueued_.exchange(true))
        QMetaObject::invokeMethod(this, [this] { showPendingFrame(); }, Qt::QueuedConnection);
}

void KVRDeviceSettingCamera::showPendingFrame() {
    updateQueued_ = false;
    QImage image = previewImage();
    if (image.isNull()) return;
    previewView->setPixmap(QPixmap::fromImage(
        image.scaled(kPreviewWidth, kPreviewHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    ++framesShown_;
}
