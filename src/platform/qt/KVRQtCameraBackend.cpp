#include "platform/qt/KVRQtCameraBackend.h"

#include <QCamera>
#include <QCameraDevice>
#include <QImage>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QVideoFrame>
#include <QVideoSink>
#include <cstring>

KVRQtCameraBackend::KVRQtCameraBackend(QObject* parent) : QObject(parent) {}

KVRQtCameraBackend::~KVRQtCameraBackend() { stop(); }

std::vector<KVRCameraDescription> KVRQtCameraBackend::devices() {
    std::vector<KVRCameraDescription> out;
    for (const QCameraDevice& dev : QMediaDevices::videoInputs()) {
        KVRCameraDescription d;
        d.id = dev.id().toStdString();
        d.name = dev.description().toStdString();
        for (const QCameraFormat& f : dev.videoFormats())
            d.formats.push_back({f.resolution().width(), f.resolution().height()});
        out.push_back(std::move(d));
    }
    return out;
}

bool KVRQtCameraBackend::start(int index, int width, int height, FrameCallback onFrame) {
    stop();
    const auto inputs = QMediaDevices::videoInputs();
    if (index < 0 || index >= inputs.size() || width <= 0 || height <= 0 || !onFrame) {
        lastError_ = "no such camera";
        return false;
    }
    const QCameraDevice device = inputs[index];
    camera_ = std::make_unique<QCamera>(device);
    // Ask the camera for the format of the chosen size when it has one; frames are scaled to it anyway.
    for (const QCameraFormat& f : device.videoFormats())
        if (f.resolution() == QSize(width, height)) {
            camera_->setCameraFormat(f);
            break;
        }
    session_ = std::make_unique<QMediaCaptureSession>();
    sink_ = std::make_unique<QVideoSink>();
    session_->setCamera(camera_.get());
    session_->setVideoSink(sink_.get());
    {
        std::lock_guard lock(mutex_);
        callback_ = std::move(onFrame);
        width_ = width;
        height_ = height;
    }
    // Frames are converted on the thread that delivers them, never queued behind the GUI.
    connect(sink_.get(), &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& f) { handleFrame(f); },
            Qt::DirectConnection);
    camera_->start();
    if (camera_->error() != QCamera::NoError) {
        lastError_ = camera_->errorString().toStdString();
        stop();
        return false;
    }
    std::lock_guard lock(mutex_);
    running_ = true;
    return true;
}

void KVRQtCameraBackend::stop() {
    if (sink_) sink_->disconnect(this);
    if (camera_) camera_->stop();
    {
        std::lock_guard lock(mutex_);
        callback_ = nullptr;
        running_ = false;
    }
    session_.reset();
    sink_.reset();
    camera_.reset();
}

bool KVRQtCameraBackend::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

std::string KVRQtCameraBackend::lastError() const { return lastError_; }

KVRCameraFrame KVRQtCameraBackend::convert(const QVideoFrame& frame, int width, int height) {
    KVRCameraFrame out;
    if (!frame.isValid() || width <= 0 || height <= 0) return out;
    QImage image = frame.toImage();
    if (image.isNull()) return out;
    if (image.size() != QSize(width, height))
        image = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_RGB888);
    if (image.isNull()) return out;
    auto pixels = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        std::memcpy(pixels->data() + static_cast<size_t>(y) * width * 3, image.constScanLine(y),
                    static_cast<size_t>(width) * 3);
    out.width = width;
    out.height = height;
    out.bytesPerRow = width * 3;
    out.pixels = std::move(pixels);
    return out;
}

void KVRQtCameraBackend::handleFrame(const QVideoFrame& frame) {
    FrameCallback cb;
    int w, h;
    {
        std::lock_guard lock(mutex_);
        if (!running_ || !callback_) return;
        cb = callback_;
        w = width_;
        h = height_;
    }
    KVRCameraFrame converted = convert(frame, w, h);
    if (converted.isUsable()) cb(std::move(converted));
}
