#pragma once
// The toolbar's microphone or speaker pop-up: a mute button over a vertical volume slider. The
// button flips the mute switch the audio pipeline obeys; the slider sets the chosen device's volume
// as it moves.
#include <QWidget>

#include <memory>

class QSlider;
class QToolButton;
class KVRSoundCardDevice;

// The toolbar that owns the pop-ups; it redraws its microphone and speaker buttons on a mute change.
class KVRVolumeControlToolbar {
public:
    virtual ~KVRVolumeControlToolbar() = default;
    virtual void setMicSpkButtonImage() = 0;
};

class KVRVolumeControlView : public QWidget {
    Q_OBJECT
public:
    enum Type { Microphone = 0, Speaker = 1 };

    // Without a device, the registry's sound card device is used.
    explicit KVRVolumeControlView(QWidget* parent = nullptr, std::shared_ptr<KVRSoundCardDevice> device = {});
    void initEx(KVRVolumeControlToolbar* toolbar, int type);
    void createControls();
    void buttonClick();
    void sliderChanged(int value);
    // Takes the mute state and volume from the device again (the pop-up is shown anew).
    void refresh();

    int type() const { return _type; }
    // The image the button shows: "client_mic_a1", "client_mic_d1", "client_spk_a1" or "client_spk_d1".
    QString imageName() const;
    QToolButton* button() const { return _buttonOnOff; }
    QSlider* slider() const { return _sliderVolume; }

    static constexpr int kSliderSteps = 100;

private:
    bool isMuted() const;
    void updateButtonImage();

    std::shared_ptr<KVRSoundCardDevice> device_;
    int _type = Microphone;
    QToolButton* _buttonOnOff = nullptr;
    QSlider* _sliderVolume = nullptr;
    KVRVolumeControlToolbar* _delegateToolbarMain = nullptr;
    bool updating_ = false;
};
