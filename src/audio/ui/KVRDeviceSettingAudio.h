#pragma once
// The audio page of the device check: choose the input and output device whose volume the controls
// act on, and hear the microphone back through the speakers (the play-through test). The monitor
// lives only while the page does.
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "platform/KVRAudioBackend.h"

class QComboBox;
class QLabel;
class QPushButton;
class KVRSoundCardDevice;

class KVRDeviceSettingAudio : public QWidget {
    Q_OBJECT
public:
    // Without a device, the registry's sound card device is used.
    explicit KVRDeviceSettingAudio(std::shared_ptr<KVRSoundCardDevice> device = {}, QWidget* parent = nullptr);
    ~KVRDeviceSettingAudio() override;

    void initAudio();
    void buttonClick();
    void deviceSelected();
    void start();
    void stop();
    void resetPlayThrough();
    void saveConfig();

    bool isPlayThroughRunning() const { return playThroughHost != nullptr; }
    const std::string& playThroughInput() const { return inputDevice; }
    const std::string& playThroughOutput() const { return outputDevice; }

    QComboBox* inputCombo() const { return comboBoxInputDeviceList; }
    QComboBox* outputCombo() const { return comboBoxOutputDeviceList; }
    QPushButton* testButton() const { return startStopButton; }
    QLabel* statusLabel() const { return statusLabel_; }

private:
    std::shared_ptr<KVRSoundCardDevice> device_;
    std::shared_ptr<KVRAudioBackend> backend_;
    QLabel* textFieldInput = nullptr;
    QLabel* textFieldOutput = nullptr;
    QComboBox* comboBoxInputDeviceList = nullptr;
    QComboBox* comboBoxOutputDeviceList = nullptr;
    QPushButton* startStopButton = nullptr;
    QLabel* statusLabel_ = nullptr;
    std::vector<KVRAudioDeviceInfo> mInputDeviceList, mOutputDeviceList;
    std::string inputDevice, outputDevice;
    // Set up once devices are known; running while the stream exists.
    bool playThroughReady_ = false;
    std::unique_ptr<KVRAudioStream> playThroughHost;
};
