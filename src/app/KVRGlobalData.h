#pragma once
// The registry: one process-wide object that owns the long-lived objects and offers the shared class
// operations (alerts, temporary files, file-type tests, clocks, dates).
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class KVRConfig;
class KVRMainServer;
class KVRRelayServer;
class KVRCameraDevice;
class KVRSoundCardDevice;
class KVRConferenceHandler;
class KVRConferenceTime;
class KVRSubroomList;
class KVRCurrentConferenceInfo;
class KVRConferenceUserList;
class KVRConferenceUserInfo;
class KVRConferenceShareFileList;
class KVRQuilloraLog;
class KVRConferenceEventHandler;
class KVRDrawingTool;
class KVRBoardShareFileManager;
class KVRDrawObjectManager;
class KVRCameraInterface;
class KVRMainView;
class KVRAudioRecoder;
class KVRRunLoop;
class KVRAlerts;

struct KVRColor {
    double red = 0, green = 0, blue = 0, alpha = 1;
};

#define KVR_REGISTRY_PROPERTY(Type, name, setter)                     \
public:                                                               \
    std::shared_ptr<Type> name() const {                              \
        std::lock_guard lock(mutex_);                                 \
        return name##_;                                               \
    }                                                                 \
    void setter(std::shared_ptr<Type> value) {                        \
        std::lock_guard lock(mutex_);                                 \
        name##_ = std::move(value);                                   \
    }                                                                 \
                                                                      \
private:                                                              \
    std::shared_ptr<Type> name##_;

class KVRGlobalData {
public:
    // The single instance, created on first use and never freed.
    static KVRGlobalData* sharedGlobalData();

    KVR_REGISTRY_PROPERTY(KVRConfig, kvrcConfig, setKvrcConfig)
    KVR_REGISTRY_PROPERTY(KVRMainServer, mainServer, setMainServer)
    KVR_REGISTRY_PROPERTY(KVRRelayServer, relayServer, setRelayServer)
    KVR_REGISTRY_PROPERTY(KVRCameraDevice, cameraDevice, setCameraDevice)
    KVR_REGISTRY_PROPERTY(KVRSoundCardDevice, soundCardDevice, setSoundCardDevice)
    KVR_REGISTRY_PROPERTY(KVRConferenceHandler, conferenceHandler, setConferenceHandler)
    KVR_REGISTRY_PROPERTY(KVRConferenceTime, conferenceTime, setConferenceTime)
    KVR_REGISTRY_PROPERTY(KVRSubroomList, subroomList, setSubroomList)
    KVR_REGISTRY_PROPERTY(KVRCurrentConferenceInfo, currentConferenceInfo, setCurrentConferenceInfo)
    KVR_REGISTRY_PROPERTY(KVRConferenceUserList, conferenceUserList, setConferenceUserList)
    KVR_REGISTRY_PROPERTY(KVRConferenceShareFileList, conferenceShareFileList, setConferenceShareFileList)
    KVR_REGISTRY_PROPERTY(KVRQuilloraLog, quilloraLog, setQuilloraLog)
    KVR_REGISTRY_PROPERTY(KVRConferenceEventHandler, conferenceEventHandler, setConferenceEventHandler)
    KVR_REGISTRY_PROPERTY(KVRDrawingTool, drawingTool, setDrawingTool)
    KVR_REGISTRY_PROPERTY(KVRBoardShareFileManager, boardShareFileManager, setBoardShareFileManager)
    KVR_REGISTRY_PROPERTY(KVRDrawObjectManager, drawObjectManager, setDrawObjectManager)
    KVR_REGISTRY_PROPERTY(KVRCameraInterface, cameraInterface, setCameraInterface)
    KVR_REGISTRY_PROPERTY(KVRMainView, mainView, setMainView)
    KVR_REGISTRY_PROPERTY(KVRAudioRecoder, audioRecoder, setAudioRecoder)
    // The main thread's run loop and the alert presenter: how core reaches the platform.
    KVR_REGISTRY_PROPERTY(KVRRunLoop, runLoop, setRunLoop)
    KVR_REGISTRY_PROPERTY(KVRAlerts, alerts, setAlerts)

public:
    // Drops every registered object, newest first, outside the registry's lock: transports stop their
    // threads as they go, and those threads may still read the registry (the log does). Called at process
    // end so that no thread outlives the statics it uses.
    void releaseAll();
    // Each test starts from an empty registry.
    void resetForTesting() { releaseAll(); }

    // Class operations.
    // Shows a modal alert with the looked-up message and buttons; returns 1000, 1001 or 1002 for the
    // first, second or third button.
    static int messageBox(void* parent, const std::string& message, const std::optional<std::string>& firstButton,
                          const std::optional<std::string>& secondButton,
                          const std::optional<std::string>& thirdButton, int style);
    // The user record of the current sub-room's owner, or null.
    static std::shared_ptr<KVRConferenceUserInfo> getSeminarVideoCtrlUserInfo();
    static KVRColor getColorFromRGB(uint8_t red, uint8_t green, uint8_t blue);
    // The client's private temporary folder (ending in "/"), or nothing when it cannot be made safe.
    static std::optional<std::string> getDocumentTempFolder(int64_t roomNo);
    static std::optional<std::string> getLocalDocumentTempFolder();
    static std::string getDocumentServerFolderEx(int64_t roomNo);
    static std::optional<std::string> createNextFilename(int64_t roomNo, const std::string& fileTitile,
                                                         const std::string& fileExt);
    static std::optional<std::string> openFile(const std::vector<std::string>& extensions);
    static bool isSupportedDocumentFile(const std::string& path);
    static bool isDocumentFile(const std::string& path);
    static bool isTxtDocumentFile(const std::string& path);
    static bool isImageFile(const std::string& path);
    static double getTickCount();
    static int64_t getTickCountEx();
    static std::optional<std::chrono::system_clock::time_point> stringDateToNSDate(const std::string& text);
    static std::string createUUID();

    // The base folder the private temporary folder is made in ($TMPDIR, else /tmp); tests point it elsewhere.
    static void setTemporaryBase(const std::string& base);

private:
    KVRGlobalData() = default;
    mutable std::mutex mutex_;
};

#undef KVR_REGISTRY_PROPERTY
