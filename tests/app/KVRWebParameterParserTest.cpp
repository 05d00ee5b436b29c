#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "app/KVRAppDelegate.h"
#include "app/KVRConfig.h"
#include "app/KVRWebParameterParser.h"

namespace {

// What a launch URL stores once decoded, read back through the configuration's raw table.
std::optional<std::map<std::string, std::string>> stored(const std::string& url) {
    KVRConfig config;
    auto decoded = KVRAppDelegate::decodeLaunchUrl(url);
    if (!decoded || !config.setWebData(*decoded)) return std::nullopt;
    return config.arrConfig();
}

struct ParseCase {
    const char* name;
    const char* url;
    bool valid;
    std::map<std::string, std::string> expect;  // raw table entries that must hold exactly
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.url; }

class ParserCases : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParserCases, StoresWhatTheQueryCarries) {
    const auto& c = GetParam();
    auto table = stored(c.url);
    ASSERT_EQ(table.has_value(), c.valid);
    if (!table) return;
    for (const auto& [key, value] : c.expect) {
        ASSERT_TRUE(table->count(key)) << key;
        EXPECT_EQ(table->at(key), value) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Launch, ParserCases,
    ::testing::Values(
        ParseCase{"NoUpdaterKey", "kelvara://x?roomname=Math&UserID=u1&ServerIP=127.0.0.1", false, {}},
        ParseCase{"NoQuestionMark", "kelvara://x/UpdaterKey=", false, {}},
        ParseCase{"EmptyUpdaterKey", "kelvara://x?UpdaterKey=&roomname=Math", true, {{"UDK", ""}, {"RNM", "Math"}}},
        ParseCase{"MissingKeysAreNull", "kelvara://x?UpdaterKey=k", true,
                  {{"RNM", "(null)"}, {"UID", "(null)"}, {"SRP", "0"}, {"RQT", "100"}, {"NTP", " (null)"}}},
        ParseCase{"UserAndTeacherFillTwoKeys", "kelvara://x?UpdaterKey=&UserID=s1&TeacherID=t1", true,
                  {{"UID", "s1"}, {"SID", "s1"}, {"MID", "t1"}, {"TID", "t1"}}},
        ParseCase{"LastRepeatWins", "kelvara://x?UpdaterKey=&maxuser=10&maxuser=20", true, {{"MAX", "20"}}},
        ParseCase{"RoleCodeGetsLeadingBlank", "kelvara://x?UpdaterKey=&IsTeacher=1", true, {{"NTP", " 1"}}},
        ParseCase{"SecondEqualsDropsTail", "kelvara://x?UpdaterKey=&roomname=a=b", true, {{"RNM", "a"}}},
        ParseCase{"SecondQuestionMarkCuts", "kelvara://x?UpdaterKey=&roomname=A?maxuser=9", true,
                  {{"RNM", "A"}, {"MAX", "(null)"}}},
        ParseCase{"BlanksAroundValueKept", "kelvara://x?UpdaterKey=&roomname=%20Math%20", true, {{"RNM", " Math "}}},
        ParseCase{"SlashInValueMakesExtraEntry", "kelvara://x?UpdaterKey=&roomname=Math%20/ABC:1", true,
                  {{"RNM", "Math"}, {"ABC", "1"}}},
        ParseCase{"EscapedAmpersandSplits", "kelvara://x?UpdaterKey=&roomname=Tom%26maxuser=7", true,
                  {{"RNM", "Tom"}, {"MAX", "7"}}},
        ParseCase{"UnknownKeysIgnored", "kelvara://x?UpdaterKey=&colour=red&monitor=1", true, {{"RNM", "(null)"}}}),
    [](const auto& info) { return info.param.name; });

TEST(WebParameterParser, ExtraEntryReplacesEarlierAndIsReplacedByLater) {
    // " /MID:x" inside the room name stands after MID in the template, so it wins over TeacherID;
    // " /SIP:y" stands before the real SIP slot, so ServerIP wins over it.
    auto table = stored("kelvara://x?UpdaterKey=&TeacherID=t1&ServerIP=10&roomname=R%20/MID:x%20/SIP:y");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->at("MID"), "x");
    EXPECT_EQ(table->at("SIP"), "10");
}

TEST(WebParameterParser, NormalizedStringFollowsTheTemplate) {
    auto normalized = KVRWebParameterParser::parsing("k://x?UpdaterKey=u&language=ko&RecQuality=2");
    ASSERT_TRUE(normalized);
    EXPECT_EQ(normalized->rfind(" /LID:ko /PID:(null) /PTP:(null)", 0), 0u);
    EXPECT_NE(normalized->find(" /NTP: (null) /CIK:(null)"), std::string::npos);
    EXPECT_TRUE(normalized->ends_with(" /UDK:u /SRP:0 /RQT:2")) << *normalized;
}

TEST(WebParameterParser, InvalidRequestLeavesTableAndFlag) {
    KVRConfig config;
    ASSERT_TRUE(config.setWebData("kelvara://x?UpdaterKey=&roomname=First"));
    EXPECT_FALSE(config.setWebData("kelvara://x?roomname=Second"));
    EXPECT_TRUE(config.isValidParameter());
    EXPECT_EQ(config.stringValue("RNM"), "First");
    // A later valid request replaces the whole table.
    ASSERT_TRUE(config.setWebData("kelvara://x?UpdaterKey=&maxuser=3"));
    EXPECT_EQ(config.stringValue("RNM"), "(null)");
}

TEST(LaunchUrl, DecodesPercentEscapesAsUtf8AndRejectsNonUrls) {
    EXPECT_EQ(KVRAppDelegate::decodeLaunchUrl("kelvara://x?roomname=%EC%88%98%ED%95%99"),
              "kelvara://x?roomname=\xEC\x88\x98\xED\x95\x99");
    EXPECT_EQ(KVRAppDelegate::decodeLaunchUrl("kelvara://x?a=100%"), "kelvara://x?a=100%");
    EXPECT_FALSE(KVRAppDelegate::decodeLaunchUrl("no scheme here"));
    EXPECT_FALSE(KVRAppDelegate::decodeLaunchUrl("kelvara://x?a=b c"));
    EXPECT_FALSE(KVRAppDelegate::decodeLaunchUrl("kelvara://x?a=%FF%FE"));  // not UTF-8
    EXPECT_FALSE(KVRAppDelegate::decodeLaunchUrl("kelvara://x?a=%00"));     // would cut every reader
}

}  // namespace
