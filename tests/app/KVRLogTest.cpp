#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
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

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        KVRLogSettings::setDocumentsFolder(docs.str());
        KVRLogSettings::setClock([this] { return now; });
    }
    void setCourse(const std::string& cik) {
        auto config = std::make_shared<KVRConfig>();
        config->setData(" /CIK:" + cik);
        KVRGlobalData::sharedGlobalData()->setKvrcConfig(config);
    }
    std::filesystem::path logDir() const { return docs.path() / "kelvara_log"; }
    KVRTempDir docs;
    Clock::time_point now = localTime(2026, 12, 11, 23, 59, 59);
};

TEST_F(LogTest, BeforeAnyLaunchGoesToWebpAndLinesKeepOrder) {
    KVRLog("p => %s", "kelvara://x");
    KVRLog("second %d", 2);
    EXPECT_EQ(slurp(logDir() / "WEBP_2026-12-11.txt"),
              "[2026-12-11 23:59:59] p => kelvara://x\n[2026-12-11 23:59:59] second 2\n");
}

TEST_F(LogTest, MidnightStartsANewFilePerCourse) {
    setCourse("MATH101");
    KVRLog("before");
    now = localTime(2026, 12, 12, 0, 0, 0);
    KVRLog("after");
    EXPECT_EQ(slurp(logDir() / "MATH101_2026-12-11.txt"), "[2026-12-11 23:59:59] before\n");
    EXPECT_EQ(slurp(logDir() / "MATH101_2026-12-12.txt"), "[2026-12-12 00:00:00] after\n");
}

TEST_F(LogTest, CourseKeyCannotSteerTheFileOutOfTheFolder) {
    setCourse("../../etc/x");
    KVRLog("kept");
    EXPECT_EQ(slurp(logDir() / ".._.._etc_x_2026-12-11.txt"), "[2026-12-11 23:59:59] kept\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(logDir()), {}), 1);
}

TEST_F(LogTest, ConcurrentLinesNeverInterleave) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) KVRLog("thread %d line %d %s", t, i, std::string(100, 'a' + t).c_str());
        });
    }
    for (auto& th : threads) th.join();
    std::istringstream in(slurp(logDir() / "WEBP_2026-12-11.txt"));
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        ASSERT_EQ(line.size(), std::string("[2026-12-11 23:59:59] thread 0 line ").size() +
                                   std::to_string(std::stoi(line.substr(line.find("line ") + 5))).size() + 101)
            << line;
    }
    EXPECT_EQ(lines, 800);
}

}  // namespace
