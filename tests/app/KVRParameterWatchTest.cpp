#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/KVRAppDelegate.h"
#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "conference/KVRMainView.h"
#include "conference/ui/KVRMainWindow.h"
#include "platform/qt/KVRQtAlerts.h"
#include "platform/synthetic/KVRManualRunLoop.h"
#include "support/KVRTempDir.h"

namespace {

using namespace std::chrono_literals;

class ParameterWatch : public ::testing::Test {
protected:
    void SetUp() override {
        KVRLogSettings::setDocumentsFolder(docs.str());
        KVRMainView::resetParameterCheckCounter();
        auto* global = KVRGlobalData::sharedGlobalData();
        global->setAlerts(std::make_shared<KVRQtAlerts>());
        delegate.initWork();
        view.setDelegate(&window);
        window.show();
        view.viewDidLoad();
    }
    // The day's file of the current course, or of "WEBP" before any course is known.
    std::string log(const std::string& prefix = {}) const {
        std::string path = KVRLogSettings::currentLogFile();
        if (!prefix.empty()) {
            auto name = std::filesystem::path(path).filename().string();
            path = (std::filesystem::path(path).parent_path() / (prefix + name.substr(name.find('_')))).string();
        }
        std::ifstream in(path);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    KVRTempDir docs;
    KVRManualRunLoop loop;
    KVRAppDelegate delegate;
    KVRMainWindow window;
    KVRMainView view{loop};
};

TEST_F(ParameterWatch, WithoutRequestAlertsOnSeventhTickAndQuits) {
    ASSERT_FALSE(KVRQtAlerts::hasInteractiveDisplay());  // offscreen: the alert must not block
    loop.advance(3000ms);
    EXPECT_FALSE(loop.exitCode());
    EXPECT_EQ(log().find("Alert"), std::string::npos);
    loop.advance(500ms);
    ASSERT_TRUE(loop.exitCode());
    EXPECT_NE(log().find("lecture link"), std::string::npos);  // the looked-up "QRV_INVALID_ARGUMENT" text
    EXPECT_FALSE(view.isWatching());
}

TEST_F(ParameterWatch, ValidRequestStartsWorkAndTitlesTheWindow) {
    loop.advance(1000ms);
    delegate.handleGETUrlEvent("kelvara://x?UpdaterKey=&roomname=Math");
    loop.advance(500ms);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Math"));
    EXPECT_FALSE(view.isWatching());
    loop.advance(5000ms);
    EXPECT_FALSE(loop.exitCode());
    // Nothing is known of the course before the request is stored.
    auto text = log("WEBP");
    EXPECT_NE(text.find("p => kelvara://x?UpdaterKey=&roomname=Math"), std::string::npos);
    EXPECT_NE(text.find("Web parameter : roomname=Math"), std::string::npos);
}

TEST_F(ParameterWatch, RoomNameMissingGivesNullTitle) {
    delegate.handleGETUrlEvent("kelvara://x?UpdaterKey=");
    loop.advance(500ms);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("(null)"));
}

}  // namespace
