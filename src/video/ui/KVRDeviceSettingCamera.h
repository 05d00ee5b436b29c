#pragma once
// The camera page of the device check: choose camera, resolution and frame rate, with a live 320 × 240
// preview of the selected camera. saveConfig() stores the choice in the camera settings file and stops
// the preview. Frames arrive on the back-end's thread; only the newest is shown, on the GUI thread.
#include <QImage>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/KVRCameraBackend.h"

class QComboBox;
class QLabel;
class KVRCameraDevice;

class KVRDeviceSettingCamera : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPreviewWidth = 320;
    static constexpr int kPreviewHeight = 240;

    // Without a back-end the page opens the machine's cameras through Qt Multimedia; without a device it
    // uses the registry's, or (before start-up made one) its own over the same settings file.
    explicit KVRDeviceSettingCamera(std::shared_ptr<KVRCameraDevice> device = {},
                                    std::shared_ptr<KVRCameraBackend> backend = {}, QWidget* parent = nullptr);
    ~KVRDeviceSettingCamera() override;

    void initVideo();
    void showCameraResoulition();
    void start();
    void stop();
    void deviceSelected(int index);
    bool startCapture(int index, int width, int height);
    void stopCapture();
    Q_INVOKABLE void saveConfig();

    bool isPreviewRunning() const { return previewRunning_; }
    uint64_t previewFramesShown() const { return framesShown_; }
    QImage previewImage() const;

    QComboBox* cameraCombo() const { return comboBoxCamera; }
    QComboBox* resolutionCombo() const { return comboBoxResolution; }
    QComboBox* frameCombo() const { return comboBoxFrame; }
    QLabel* previewLabel() const { return previewView; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void frameArrived(const KVRCameraFrame& frame);
    void showPendingFrame();

    std::shared_ptr<KVRCameraDevice> device_;
    std::shared_ptr<KVRCameraBackend> backend_;
    QLabel* textFieldDevice = nullptr;
    QLabel* textFieldResolution = nullptr;
    QLabel* textFieldFrame = nullptr;
    QComboBox* comboBoxCamera = nullptr;
    QComboBox* comboBoxResolution = nullptr;
    QComboBox* comboBoxFrame = nullptr;
    QLabel* previewView = nullptr;
    bool previewRunning_ = false;
    bool saved_ = false;

    // Hand-off from the capture thread: the newest picture and whether a repaint is already queued.
    mutable std::mutex frameMutex_;
    QImage pendingFrame_;
    std::atomic<bool> updateQueued_{false};
    std::atomic<uint64_t> framesShown_{0};
};
