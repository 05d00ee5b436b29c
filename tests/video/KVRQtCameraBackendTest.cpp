// The Qt camera back-end on a machine that may have no camera at all.
#include <gtest/gtest.h>

#include <QImage>
#include <QVideoFrame>
#include <QVideoFrameFormat>

#include "platform/qt/KVRQtCameraBackend.h"
#include "video/KVRCameraDevice.h"
#include "video/KVRCameraInterface.h"
#include "support/KVRTempDir.h"

TEST(KVRQtCameraBackend, ListsDevicesAndRefusesMissingCamera) {
    KVRQtCameraBackend backend;
    auto devices = backend.devices();
    for (const auto& d : devices) EXPECT_FALSE(d.name.empty());
    const int missing = static_cast<int>(devices.size());
    EXPECT_FALSE(backend.start(missing, 160, 120, [](KVRCameraFrame) {}));
    EXPECT_FALSE(backend.isRunning());
    EXPECT_FALSE(backend.lastError().empty());

    KVRTempDir dir;
    auto shared = std::make_shared<KVRQtCameraBackend>();
    auto dev = std::make_shared<KVRCameraDevice>(shared->devices(), dir.str() + "/cfg");
    KVRCameraInterface iface(shared, dev);
    if (devices.empty()) EXPECT_FALSE(iface.start());
    iface.stop();
}

TEST(KVRQtCameraBackend, ConvertsFramesToPackedRgbAtTheRequestedSize) {
    QImage src(64, 48, QImage::Format_RGB32);
    src.fill(QColor(200, 100, 50));
    QVideoFrame frame(QVideoFrameFormat(src.size(), QVideoFrameFormat::Format_BGRX8888));
    ASSERT_TRUE(frame.map(QVideoFrame::WriteOnly));
    for (int y = 0; y < 48; ++y) memcpy(frame.bits(0) + y * frame.bytesPerLine(0), src.constScanLine(y), 64 * 4);
    frame.unmap();
    auto out = KVRQtCameraBackend::convert(frame, 32, 24);
    ASSERT_TRUE(out.isUsable());
    EXPECT_EQ(out.bytesPerRow, 96);
    const uint8_t* p = out.baseAddress() + (12 * 32 + 16) * 3;
    EXPECT_NEAR(p[0], 200, 3);
    EXPECT_NEAR(p[1], 100, 3);
    EXPECT_NEAR(p[2], 50, 3);
    EXPECT_FALSE(KVRQtCameraBackend::convert(QVideoFrame(), 32, 24).isUsable());
}
