#include "audio/ui/KVRVolumeControlView.h"

#include <QIcon>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <cmath>

#include "app/KVRGlobalData.h"
#include "audio/KVRSoundCardDevice.h"

// The pop-up's images are compiled into this static library; register them before first use.
static void initAudioImages() { Q_INIT_RESOURCE(audio_images); }

KVRVolumeControlView::KVRVolumeControlView(QWidget* parent, std::shared_ptr<KVRSoundCardDevice> device)
    : QWidget(parent), device_(std::move(device)) {
    initAudioImages();
    if (!device_) device_ = KVRGlobalData::sharedGlobalData()->soundCardDevice();
}

void KVRVolumeControlView::initEx(KVRVolumeControlToolbar* toolbar, int type) {
    _delegateToolbarMain = toolbar;
    _type = type == Speaker ? Speaker : Microphone;
    createControls();
}

void KVRVolumeControlView::createControls() {
    if (!_buttonOnOff) {
        _buttonOnOff = new QToolButton(this);
        _buttonOnOff->setAutoRaise(true);  // borderless
        _buttonOnOff->setGeometry(10, 5, 21, 23);
        _buttonOnOff->setIconSize(QSize(21, 23));
        connect(_buttonOnOff, &QToolButton::clicked, this, [this] { buttonClick(); });
        _sliderVolume = new QSlider(Qt::Vertical, this);
        _sliderVolume->setGeometry(10, 30, 20, 120);
        _sliderVolume->setRange(0, kSliderSteps);
        connect(_sliderVolume, &QSlider::valueChanged, this, [this](int v) { sliderChanged(v); });
        setFixedSize(41, 155);
    }
    refresh();
}

void KVRVolumeControlView::refresh() {
    if (!_sliderVolume) return;
    updating_ = true;
    double volume = 1.0;
    if (device_) volume = _type == Microphone ? device_->getMicVolume() : device_->getSpkVolume();
    _sliderVolume->setValue(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * kSliderSteps)));
    updating_ = false;
    updateButtonImage();
}

bool KVRVolumeControlView::isMuted() const {
    if (!device_) return false;
    return _type == Microphone ? device_->isMicMute() : device_->isSpkMute();
}

QString KVRVolumeControlView::imageName() const {
    const bool muted = isMuted();
    if (_type == Microphone) return muted ? QStringLiteral("client_mic_d1") : QStringLiteral("client_mic_a1");
    return muted ? QStringLiteral("client_spk_d1") : QStringLiteral("client_spk_a1");
}

void KVRVolumeControlView::updateButtonImage() {
    if (!_buttonOnOff) return;
    const QString name = imageName();
    _buttonOnOff->setIcon(QIcon(QStringLiteral(":/images/%1.svg").arg(name)));
    _buttonOnOff->setObjectName(name);
}

void KVRVolumeControlView::buttonClick() {
    if (device_) {
        if (_type == Microphone)
            device_->setMicMute(!device_->isMicMute());
        else
            device_->setSpkMute(!device_->isSpkMute());
    }
    updateButtonImage();
    if (_delegateToolbarMain) _delegateToolbarMain->setMicSpkButtonImage();
}

void KVRVolumeControlView::sliderChanged(int value) {
    if (updating_ || !device_) return;
    const double volume = static_cast<double>(value) / kSliderSteps;
    if (_type == Microphone)
        device_->setMicVolume(volume);
    else
        device_->setSpkVolume(volume);
}
