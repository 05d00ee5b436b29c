// Test entry point: every test starts with an empty registry and writes its diagnostic log into a
// private temporary folder, never into the user's documents.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"

#ifdef QT_WIDGETS_LIB
#include <QApplication>
#endif

namespace {
class RegistryReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        KVRGlobalData::sharedGlobalData()->resetForTesting();
        KVRLogSettings::reset();
        auto docs = std::filesystem::temp_directory_path() / ("kvr-test-docs-" + std::to_string(::getpid()));
        KVRLogSettings::setDocumentsFolder(docs.string());
    }
};
}  // namespace

int main(int argc, char** argv) {
#ifdef QT_WIDGETS_LIB
    // Widget tests never need a display, also when CTest lists them.
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new RegistryReset);
    return RUN_ALL_TESTS();
}
