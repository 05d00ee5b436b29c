#include "audio/ui/KVRDeviceSettingAudio.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRStrings.h"
#include "audio/KVRSoundCardDevice.h"

namespace {
QString tr_(const char* key) { return QString::fromStdString(KVRStrings::text(key)); }
}  // namespace

KVRDeviceSettingAudio::KVRDeviceSettingAudio(std::shared_ptr<KVRSoundCardDevice> device, QWidget* parent)
    : QWidget(parent), device_(std::move(device)) {
    if (!device_) device_ = KVRGlobalData::sharedGlobalData()->soundCardDevice();
    if (device_) backend_ = device_->audioBackend();

    textFieldInput = new QLabel(tr_("IDS_INPUT_DEVICE"), this);
    textFieldOutput = new QLabel(tr_("IDS_OUTPUT_DEVICE"), this);
    comboBoxInputDeviceList = new QComboBox(this);
    comboBoxOutputDeviceList = new QComboBox(this);
    startStopButton = new QPushButton(tr_("IDS_STEP_TEST"), this);
    startStopButton->setObjectName(QStringLiteral("startStopButton"));
    statusLabel_ = new QLabel(this);
    statusLabel_->setWordWrap(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(textFieldInput, 0, 0);
    grid->addWidget(comboBoxInputDeviceList, 0, 1);
    grid->addWidget(textFieldOutput, 1, 0);
    grid->addWidget(comboBoxOutputDeviceList, 1, 1);
    grid->addWidget(startStopButton, 2, 1, Qt::AlignLeft);
    grid->addWidget(statusLabel_, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);

    initAudio();
    connect(startStopButton, &QPushButton::clicked, this, [this] { buttonClick(); });
    connect(comboBoxInputDeviceList, &QComboBox::activated, this, [this] { deviceSelected(); });
    connect(comboBoxOutputDeviceList, &QComboBox::activated, this, [this] { deviceSelected(); });
}

KVRDeviceSettingAudio::~KVRDeviceSettingAudio() { stop(); }

void KVRDeviceSettingAudio::initAudio() {
    comboBoxInputDeviceList->clear();
    comboBoxOutputDeviceList->clear();
    mInputDeviceList.clear();
    mOutputDeviceList.clear();
    if (backend_) {
        mInputDeviceList = backend_->inputDevices();
        mOutputDeviceList = backend_->outputDevices();
    }
    for (const auto& d : mInputDeviceList) comboBoxInputDeviceList->addItem(QString::fromStdString(d.name));
    for (const auto& d : mOutputDeviceList) comboBoxOutputDeviceList->addItem(QString::fromStdString(d.name));
    if (device_) {
        // A saved index beyond the list selects nothing; saveConfig then keeps the saved one.
        auto pick = [](QComboBox* box, int64_t index) {
            box->setCurrentIndex(index >= 0 && index < box->count() ? static_cast<int>(index) : -1);
        };
        pick(comboBoxInputDeviceList, device_->inputIndex());
        pick(comboBoxOutputDeviceList, device_->outputIndex());
    }
    if (mInputDeviceList.empty() || mOutputDeviceList.empty()) {
        statusLabel_->setText(tr_("IDS_NO_AUDIO_DEVICE"));
        startStopButton->setEnabled(false);
    }

    // The test starts on what capture and playback really use: the system's default devices.
    inputDevice = backend_ ? backend_->defaultInputDevice().value_or("") : "";
    outputDevice = backend_ ? backend_->defaultOutputDevice().value_or("") : "";
    playThroughReady_ = !inputDevice.empty() && !outputDevice.empty();
}

void KVRDeviceSettingAudio::buttonClick() {
    if (!playThroughReady_) {
        auto chosen = [](const std::vector<KVRAudioDeviceInfo>& list, const QComboBox* box) -> std::string {
            int i = box->currentIndex();
            return i >= 0 && i < static_cast<int>(list.size()) ? list[static_cast<size_t>(i)].identifier : "";
        };
        inputDevice = chosen(mInputDeviceList, comboBoxInputDeviceList);
        outputDevice = chosen(mOutputDeviceList, comboBoxOutputDeviceList);
        playThroughReady_ = !inputDevice.empty() && !outputDevice.empty();
    }
    if (isPlayThroughRunning())
        stop();
    else
        start();
}

void KVRDeviceSettingAudio::start() {
    if (isPlayThroughRunning()) return;
    statusLabel_->clear();
    if (backend_ && playThroughReady_) playThroughHost = backend_->openPlayThrough(inputDevice, outputDevice);
    if (!playThroughHost) {
        KVRLog("Play-through test could not start : %s -> %s", inputDevice.c_str(), outputDevice.c_str());
        statusLabel_->setText(tr_("IDS_PLAYTHROUGH_FAILED"));
        startStopButton->setText(tr_("IDS_STEP_TEST"));
        return;
    }
    startStopButton->setText(tr_("IDS_STEP_CLOSE"));
}

void KVRDeviceSettingAudio::stop() {
    if (!isPlayThroughRunning()) return;
    playThroughHost->stop();
    playThroughHost.reset();
    if (startStopButton) startStopButton->setText(tr_("IDS_STEP_TEST"));
}

void KVRDeviceSettingAudio::deviceSelected() {
    auto at = [](const std::vector<KVRAudioDeviceInfo>& list, int i) -> std::string {
        return i >= 0 && i < static_cast<int>(list.size()) ? list[static_cast<size_t>(i)].identifier : "";
    };
    std::string in = at(mInputDeviceList, comboBoxInputDeviceList->currentIndex());
    std::string out = at(mOutputDeviceList, comboBoxOutputDeviceList->currentIndex());
    if (in.empty() || out.empty()) return;
    if (in == inputDevice && out == outputDevice) return;
    inputDevice = in;
    outputDevice = out;
    resetPlayThrough();
}

void KVRDeviceSettingAudio::resetPlayThrough() {
    // Torn down and set up for the new pair, left stopped: the user starts the test again.
    stop();
    playThroughReady_ = !inputDevice.empty() && !outputDevice.empty();
}

void KVRDeviceSettingAudio::saveConfig() {
    if (!device_) return;
    int64_t in = comboBoxInputDeviceList->currentIndex();
    int64_t out = comboBoxOutputDeviceList->currentIndex();
    if (in < 0) in = device_->inputIndex();
    if (out < 0) out = device_->outputIndex();
    device_->setInfo(in, out);
}
