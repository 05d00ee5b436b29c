#pragma once
// The device check dialog shown before the join: a camera page and an audio page, a close button and
// the "do not show next time" check box. Closing it, by its button or by the window's own close,
// keeps what the user chose.
#include <QDialog>

#include <memory>

class QCheckBox;
class QPushButton;
class QTabWidget;
class KVRDeviceSettingAudio;
class KVRSoundCardDevice;

class KVRDeviceSettingController : public QDialog {
    Q_OBJECT
public:
    // `cameraPage` (owned by the dialog once given) is saved on close through its invokable
    // saveConfig(), when it has one; without it the dialog makes the camera page on the machine's cameras.
    explicit KVRDeviceSettingController(std::shared_ptr<KVRSoundCardDevice> device = {},
                                        QWidget* cameraPage = nullptr, QWidget* parent = nullptr);
    ~KVRDeviceSettingController() override;

    // Application-modal; returns once the dialog is closed.
    void runModal();
    // The buttons by their identifiers: "close" and "notshow".
    void buttonClick(const QString& identifier);

    // Runs the dialog at start-up unless the user asked not to see it again or there is nobody to
    // answer it (no interactive display). True when it was shown.
    static bool runAtStartUp(std::shared_ptr<KVRSoundCardDevice> device = {});
    static bool shouldShowAtStartUp(const KVRSoundCardDevice* device, bool interactiveDisplay);

    KVRDeviceSettingAudio* audioPage() const { return deviceSettingAudio; }
    QCheckBox* notShowCheckBox() const { return notShowButton; }
    QPushButton* closeButtonWidget() const { return closeButton; }
    QTabWidget* tabs() const { return tabView_; }

    // Escape or the title bar's close: kept as on the close button.
    void reject() override;

private:
    std::shared_ptr<KVRSoundCardDevice> device_;
    QWidget* deviceSettingCamera = nullptr;
    KVRDeviceSettingAudio* deviceSettingAudio = nullptr;
    QTabWidget* tabView_ = nullptr;
    QWidget* tabViewCamera = nullptr;
    QWidget* tabViewAudio = nullptr;
    QPushButton* closeButton = nullptr;
    QCheckBox* notShowButton = nullptr;
    bool closed_ = false;
};
