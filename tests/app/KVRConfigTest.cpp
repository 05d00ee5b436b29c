#include <gtest/gtest.h>

#include <fstream>

#include "app/KVRConfig.h"
#include "support/KVRTempDir.h"

namespace {

TEST(Config, TrimsAndReadsIntegers) {
    KVRConfig config;
    config.setData(" /NTP:  4 /MAX: 20abc /RNM:  \t /CIK:(null) /MSP:-7");
    EXPECT_EQ(config.integerValue("NTP"), 4);
    EXPECT_EQ(config.integerValue("MAX"), 20);
    EXPECT_FALSE(config.stringValue("RNM"));  // blank after trimming
    EXPECT_EQ(config.integerValue("RNM"), 0);
    EXPECT_EQ(config.stringValue("CIK"), "(null)");
    EXPECT_EQ(config.integerValue("CIK"), 0);
    EXPECT_EQ(config.integerValue("MSP"), -7);
    EXPECT_FALSE(config.stringValue("ZZZ"));
}

TEST(Config, RoleCodesMapToUserTypes) {
    const std::pair<const char*, int64_t> cases[] = {{"0", 0}, {"1", 100}, {"2", 101}, {"3", 0},
                                                     {"4", 103}, {"7", 0},  {"x", 0}};
    for (const auto& [code, type] : cases) {
        KVRConfig config;
        config.setData(std::string(" /NTP: ") + code);
        EXPECT_EQ(config.getUserType(), type) << code;
        EXPECT_EQ(config.isHasEnqueteCtrlPermission(), type == 100 || type == 103) << code;
    }
}

TEST(Config, ProductFileSetsProductTypeAndOtherProductsAreParticipants) {
    KVRTempDir dir;
    auto path = dir.path() / "kvrcinfo.txt";
    std::ofstream(path) << "name=x\nabc\nproducttype=5\n";
    KVRConfig config;
    config.getKVRCCpnfig(path.string());
    EXPECT_EQ(config.productType(), 5);
    config.setData(" /NTP: 1");
    EXPECT_EQ(config.getUserType(), 0);
    EXPECT_EQ(config.getUserTypeQuillora(), 100);

    config.getKVRCCpnfig((dir.path() / "missing.txt").string());
    EXPECT_EQ(config.productType(), 2);
    EXPECT_FALSE(config.isValidParameter());
}

TEST(Config, IsMyIDComparesExactly) {
    KVRConfig config;
    config.setData(" /UID:Kim");
    EXPECT_TRUE(config.isMyID("Kim"));
    EXPECT_FALSE(config.isMyID("kim"));
    EXPECT_FALSE(config.isMyID("Kim "));
}

}  // namespace
