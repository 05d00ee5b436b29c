#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <memory>

#include "app/KVRConferenceTime.h"
#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "platform/KVRAlerts.h"
#include "platform/synthetic/KVRManualRunLoop.h"
#include "support/KVRTempDir.h"

namespace {

using Clock = std::chrono::system_clock;

Clock::time_point localTime(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&tm));
}

TEST(GlobalData, ExtensionTestsSearchTheListAsOneText) {
    struct Case {
        const char* path;
        bool image, supported, document, txt;
    } cases[] = {
        {"a/b.png", true, true, false, false}, {"x.Jpg", true, true, false, false},
        {"x.PN", true, true, false, false},    {"x.MP", true, true, false, false},
        {"x.jpeg", false, false, false, false}, {"noext", false, false, false, false},
        {"dir.d/file", false, false, false, false}, {"r.pdf", false, true, true, false},
        {"notes.txt", false, false, true, true}, {"x.", false, false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KVRGlobalData::isImageFile(c.path), c.image) << c.path;
        EXPECT_EQ(KVRGlobalData::isSupportedDocumentFile(c.path), c.supported) << c.path;
        EXPECT_EQ(KVRGlobalData::isDocumentFile(c.path), c.document) << c.path;
        EXPECT_EQ(KVRGlobalData::isTxtDocumentFile(c.path), c.txt) << c.path;
    }
}

TEST(GlobalData, TemporaryFolderIsPrivateAndNamesCountUp) {
    KVRTempDir base;
    KVRGlobalData::setTemporaryBase(base.str());
    auto folder = KVRGlobalData::getLocalDocumentTempFolder();
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->back(), '/');
    struct stat st {};
    ASSERT_EQ(::stat(folder->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    EXPECT_EQ(KVRGlobalData::createNextFilename(5, "chat", "txt"), *folder + "chat1.txt");
    std::ofstream(*folder + "chat1.txt") << "x";
    std::ofstream(*folder + "chat2.txt") << "x";
    EXPECT_EQ(KVRGlobalData::createNextFilename(5, "chat", "txt"), *folder + "chat3.txt");

    // Opened up to others: refused rather than used.
    ::chmod(folder->c_str(), 0755);
    EXPECT_FALSE(KVRGlobalData::getDocumentTempFolder(5));
    EXPECT_FALSE(KVRGlobalData::createNextFilename(5, "chat", "txt"));
    KVRGlobalData::setTemporaryBase({});
}

TEST(GlobalData, ServerFolderAndColour) {
    EXPECT_EQ(KVRGlobalData::getDocumentServerFolderEx(42), "docfiles/sharedata/42/Temp1");
    auto c = KVRGlobalData::getColorFromRGB(255, 0, 51);
    EXPECT_DOUBLE_EQ(c.red, 1.0);
    EXPECT_DOUBLE_EQ(c.blue, 0.2);
    EXPECT_DOUBLE_EQ(c.alpha, 1.0);
}

TEST(GlobalData, DateTextParsing) {
    EXPECT_EQ(KVRGlobalData::stringDateToNSDate("2026-12-11 09:30:05"), localTime(2026, 12, 11, 9, 30, 5));
    for (const char* bad : {"2026-12-11", "2026-12 09:30:05", "2026-12-11 09:30", ""}) {
        EXPECT_FALSE(KVRGlobalData::stringDateToNSDate(bad)) << bad;
    }
}

class RecordingAlerts : public KVRAlerts {
public:
    int answer = 0;
    std::string message;
    std::vector<std::string> buttons;
    int showAlert(const std::string& m, const std::vector<std::string>& b, int) override {
        message = m;
        buttons = b;
        return answer;
    }
    std::optional<std::string> openFile(const std::vector<std::string>&) override { return std::nullopt; }
};

TEST(GlobalData, MessageBoxLooksUpTextsAndCodesButtons) {
    auto alerts = std::make_shared<RecordingAlerts>();
    KVRGlobalData::sharedGlobalData()->setAlerts(alerts);
    EXPECT_EQ(KVRGlobalData::messageBox(nullptr, "IDS_SERVER_DISCONNECTED", std::string("IDS_OK"), std::nullopt,
                                        std::nullopt, KVRAlerts::Critical),
              1000);
    EXPECT_NE(alerts->message, "IDS_SERVER_DISCONNECTED");
    EXPECT_EQ(alerts->buttons, std::vector<std::string>{"OK"});

    alerts->answer = 2;
    EXPECT_EQ(KVRGlobalData::messageBox(nullptr, "no such key", std::string("IDS_YES"), std::string("IDS_NO"),
                                        std::string("third"), KVRAlerts::Warning),
              1002);
    EXPECT_EQ(alerts->message, "no such key");  // a key without an entry shows unchanged
    EXPECT_EQ(alerts->buttons, (std::vector<std::string>{"Yes", "No", "third"}));
}

TEST(ConferenceTime, LectureWindowIncludesBothEnds) {
    auto config = std::make_shared<KVRConfig>();
    config->setData(" /ROT:2026-12-11 09:00:00 /RCT:2026-12-11 10:00:00");
    KVRConferenceTime time(config, nullptr);
    EXPECT_FALSE(time.isLectureTime(localTime(2026, 12, 11, 8, 59, 59)));
    EXPECT_TRUE(time.isLectureTime(localTime(2026, 12, 11, 9, 0, 0)));
    EXPECT_TRUE(time.isLectureTime(localTime(2026, 12, 11, 10, 0, 0)));
    EXPECT_FALSE(time.isLectureTime(localTime(2026, 12, 11, 10, 0, 1)));

    auto noOpen = std::make_shared<KVRConfig>();
    noOpen->setWebData("kelvara://x?UpdaterKey=&RoomCloseTime=2099-01-01%2000:00:00");
    EXPECT_FALSE(KVRConferenceTime(noOpen, nullptr).isLectureTime(localTime(2026, 12, 11, 9, 0, 0)));
}

TEST(ConferenceTime, WatchMarksTheLectureOnceItsTimeComes) {
    auto config = std::make_shared<KVRConfig>();
    config->setData(" /ROT:2026-12-11 09:00:00 /RCT:2026-12-11 10:00:00");
    KVRManualRunLoop loop;
    auto now = localTime(2026, 12, 11, 8, 59, 57);
    KVRConferenceTime time(config, &loop, [&] { return now + loop.now(); });
    time.startCheck();
    loop.advance(std::chrono::seconds(2));
    EXPECT_EQ(time.lectureState(), 0);
    loop.advance(std::chrono::seconds(1));
    EXPECT_EQ(time.lectureState(), 1);
    EXPECT_EQ(loop.activeTimers(), 0u);  // stops checking for good
}

}  // namespace
