#pragma once
// The local video tile: receives each preview picture on the camera processing thread.
#include "platform/KVRCameraBackend.h"

class KVRLocalVideoViewDelegate {
public:
    virtual ~KVRLocalVideoViewDelegate() = default;
    virtual void onVideoFrame(const KVRCameraFrame& frame) = 0;
};
