#include "app/KVRGlobalData.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>

#include "app/KVRLog.h"
#include "app/KVRStrings.h"
#include "app/KVRTextSplit.h"
#include "conference/KVRConferenceUserList.h"
#include "conference/KVRSubroomList.h"
#include "platform/KVRAlerts.h"

namespace {
std::mutex temporaryMutex;
std::string temporaryBaseOverride;

bool extensionIn(const std::string& path, const char* list) {
    auto name = std::filesystem::path(path).filename().string();
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 >= name.size()) return false;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
    return std::string(list).find(ext) != std::string::npos;
}
}  // namespace

KVRGlobalData* KVRGlobalData::sharedGlobalData() {
    static KVRGlobalData* instance = new KVRGlobalData();  // thread-safe initialisation; never freed
    return instance;
}

void KVRGlobalData::releaseAll() {
    // Taken out under the lock in creation order, released after it in reverse.
    std::vector<std::shared_ptr<void>> held;
    {
        std::lock_guard lock(mutex_);
        auto take = [&held](auto& p) {
            if (p) held.emplace_back(std::move(p));
            p.reset();
        };
        take(alerts_);
        take(runLoop_);
        take(kvrcConfig_);
        take(cameraDevice_);
        take(soundCardDevice_);
        take(mainServer_);
        take(relayServer_);
        take(conferenceHandler_);
        take(subroomList_);
        take(conferenceTime_);
        take(currentConferenceInfo_);
        take(conferenceUserList_);
        take(quilloraLog_);
        take(conferenceShareFileList_);
        take(conferenceEventHandler_);
        take(drawingTool_);
        take(boardShareFileManager_);
        take(drawObjectManager_);
        take(cameraInterface_);
        take(mainView_);
        take(audioRecoder_);
    }
    while (!held.empty()) held.pop_back();
}

int KVRGlobalData::messageBox(void*, const std::string& message, const std::optional<std::string>& firstButton,
                              const std::optional<std::string>& secondButton,
                              const std::optional<std::string>& thirdButton, int style) {
    std::vector<std::string> buttons;
    for (const auto* b : {&firstButton, &secondButton, &thirdButton}) {
        if (*b) buttons.push_back(KVRStrings::text(**b));
    }
    auto alerts = sharedGlobalData()->alerts();
    if (!alerts) alerts = std::make_shared<KVRHeadlessAlerts>();
    int index = alerts->showAlert(KVRStrings::text(message), buttons, style);
    return 1000 + std::clamp(index, 0, 2);
}

std::shared_ptr<KVRConferenceUserInfo> KVRGlobalData::getSeminarVideoCtrlUserInfo() {
    auto* g = sharedGlobalData();
    auto rooms = g->subroomList();
    auto users = g->conferenceUserList();
    if (!rooms || !users) return nullptr;
    auto owner = rooms->getOwnerID();
    return owner.empty() ? nullptr : users->getAtByID(owner);
}

KVRColor KVRGlobalData::getColorFromRGB(uint8_t red, uint8_t green, uint8_t blue) {
    return KVRColor{red / 255.0, green / 255.0, blue / 255.0, 1.0};
}

void KVRGlobalData::setTemporaryBase(const std::string& base) {
    std::lock_guard lock(temporaryMutex);
    temporaryBaseOverride = base;
}

// The shared /tmp is not private to the user, so the client keeps its files in a folder of its own
// that only the user can enter, and refuses one that someone else made or opened up.
std::optional<std::string> KVRGlobalData::getLocalDocumentTempFolder() {
    std::string base;
    {
        std::lock_guard lock(temporaryMutex);
        base = temporaryBaseOverride;
    }
    if (base.empty()) {
        const char* env = std::getenv("TMPDIR");
        base = env && *env ? env : "/tmp";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::string folder = base + "/kelvara-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        KVRLog("Temporary folder not creatable : %s", folder.c_str());
        return std::nullopt;
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 0077) != 0) {
        KVRLog("Temporary folder refused (not a private folder of this user) : %s", folder.c_str());
        return std::nullopt;
    }
    return folder + "/";
}

std::optional<std::string> KVRGlobalData::getDocumentTempFolder(int64_t) { return getLocalDocumentTempFolder(); }

std::string KVRGlobalData::getDocumentServerFolderEx(int64_t roomNo) {
    return "docfiles/sharedata/" + std::to_string(roomNo) + "/Temp1";
}

std::optional<std::string> KVRGlobalData::createNextFilename(int64_t roomNo, const std::string& fileTitile,
                                                             const std::string& fileExt) {
    auto folder = getDocumentTempFolder(roomNo);
    if (!folder) return std::nullopt;
    for (long counter = 1;; ++counter) {
        std::string path = *folder + fileTitile + std::to_string(counter) + "." + fileExt;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) return path;
    }
}

std::optional<std::string> KVRGlobalData::openFile(const std::vector<std::string>& extensions) {
    auto alerts = sharedGlobalData()->alerts();
    return alerts ? alerts->openFile(extensions) : std::nullopt;
}

bool KVRGlobalData::isSupportedDocumentFile(const std::string& path) { return extensionIn(path, "BMP,PNG,JPG,PDF"); }
bool KVRGlobalData::isDocumentFile(const std::string& path) { return extensionIn(path, "DOC,XML,TXT,PDF"); }
bool KVRGlobalData::isTxtDocumentFile(const std::string& path) { return extensionIn(path, "TXT"); }
bool KVRGlobalData::isImageFile(const std::string& path) { return extensionIn(path, "BMP,PNG,JPG,GIF"); }

double KVRGlobalData::getTickCount() {
    using namespace std::chrono;
    return duration<double, std::milli>(system_clock::now().time_since_epoch()).count();
}

int64_t KVRGlobalData::getTickCountEx() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::optional<std::chrono::system_clock::time_point> KVRGlobalData::stringDateToNSDate(const std::string& text) {
    auto parts = kvr::split(text, " ");
    if (parts.size() < 2) return std::nullopt;
    auto date = kvr::split(parts[0], "-");
    if (date.size() < 3) return std::nullopt;
    auto time = kvr::split(parts[1], ":");
    if (time.size() < 3) return std::nullopt;
    std::tm tm{};
    tm.tm_year = static_cast<int>(kvr::leadingInteger(date[0])) - 1900;
    tm.tm_mon = static_cast<int>(kvr::leadingInteger(date[1])) - 1;
    tm.tm_mday = static_cast<int>(kvr::leadingInteger(date[2]));
    tm.tm_hour = static_cast<int>(kvr::leadingInteger(time[0]));
    tm.tm_min = static_cast<int>(kvr::leadingInteger(time[1]));
    tm.tm_sec = static_cast<int>(kvr::leadingInteger(time[2]));
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return std::chrono::system_clock::from_time_t(t);
}

std::string KVRGlobalData::createUUID() {
    static std::mutex m;
    static std::mt19937_64 rng{std::random_device{}()};
    uint8_t b[16];
    {
        std::lock_guard lock(m);
        for (int i = 0; i < 16; i += 8) {
            uint64_t v = rng();
            for (int k = 0; k < 8; ++k) b[i + k] = static_cast<uint8_t>(v >> (8 * k));
        }
    }
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);
    char out[37];
    std::snprintf(out, sizeof out, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return out;
}
