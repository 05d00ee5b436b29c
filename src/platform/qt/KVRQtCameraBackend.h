#pragma once
// Camera back-end on Qt Multimedia: QCamera into a QMediaCaptureSession whose QVideoSink hands each frame
// over, converted to packed RGB24 at the requested size. start() and stop() run on the GUI thread.
#include <QObject>
#include <memory>
#include <mutex>

#include "platform/KVRCameraBackend.h"

class QCamera;
class QMediaCaptureSession;
class QVideoSink;
class QVideoFrame;

class KVRQtCameraBackend : public QObject, public KVRCameraBackend {
    Q_OBJECT
public:
    explicit KVRQtCameraBackend(QObject* parent = nullptr);
    ~KVRQtCameraBackend() override;

    std::vector<KVRCameraDescription> devices() override;
    bool start(int index, int width, int height, FrameCallback onFrame) override;
    void stop() override;
    bool isRunning() const override;
    std::string lastError() const override;

    // The conversion of one platform frame, public for tests: scaled to width × height, packed RGB24.
    static KVRCameraFrame convert(const QVideoFrame& frame, int width, int height);

private:
    void handleFrame(const QVideoFrame& frame);

    std::unique_ptr<QMediaCaptureSession> session_;
    std::unique_ptr<QCamera> camera_;
    std::unique_ptr<QVideoSink> sink_;
    mutable std::mutex mutex_;
    FrameCallback callback_;
    int width_ = 0;
    int height_ = 0;
    bool running_ = false;
    std::string lastError_;
};
