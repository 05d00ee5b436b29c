#include "platform/pulse/KVRPulseAudioBackend.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>

#include "app/KVRLog.h"

namespace {

const pa_sample_spec kSpec = {PA_SAMPLE_S16LE, KVRAudioBackend::kSampleRate, 1};

// A name cut to 63 bytes without splitting a UTF-8 sequence.
std::string shortName(const char* text) {
    std::string s = text ? text : "";
    if (s.size() <= 63) return s;
    size_t n = 63;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

}  // namespace

struct KVRPulseAudioBackend::Impl {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;

    ~Impl() {
        if (loop) pa_threaded_mainloop_stop(loop);
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop) pa_threaded_mainloop_free(loop);
    }

    // Runs an introspection operation to its end with the loop locked.
    void wait(pa_operation* op) {
        if (!op) return;
        pa_operation_set_state_callback(
            op, [](pa_operation*, void* l) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(l), 0); }, loop);
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop);
        pa_operation_unref(op);
    }
};

namespace {

// One record or playback stream. The main loop lock is held around every callback, so once stop()
// has taken it and disconnected the stream no callback can run any more.
class PulseStream : public KVRAudioStream {
public:
    PulseStream(std::shared_ptr<KVRPulseAudioBackend::Impl> impl, bool input) : impl_(std::move(impl)), input_(input) {}
    ~PulseStream() override { stop(); }

    bool open(const std::string& device, KVRAudioBackend::InputCallback in, KVRAudioBackend::OutputCallback out) {
        inputCb_ = std::move(in);
        outputCb_ = std::move(out);
        pa_threaded_mainloop_lock(impl_->loop);
        stream_ = pa_stream_new(impl_->context, input_ ? "Kelvara capture" : "Kelvara playback", &kSpec, nullptr);
        if (!stream_) {
            pa_threaded_mainloop_unlock(impl_->loop);
            return false;
        }
        pa_stream_set_state_callback(stream_, &PulseStream::onState, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.prebuf = static_cast<uint32_t>(-1);
        // Three frames of buffering each way: low latency without underruns at 20 ms pacing.
        attr.tlength = 3 * KVRAudioBackend::kFrameBytes;
        attr.minreq = KVRAudioBackend::kFrameBytes;
        attr.fragsize = KVRAudioBackend::kFrameBytes;
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY);
        const char* dev = device.empty() ? nullptr : device.c_str();
        int rc;
        if (input_) {
            pa_stream_set_read_callback(stream_, &PulseStream::onRead, this);
            rc = pa_stream_connect_record(stream_, dev, &attr, flags);
        } else {
            pa_stream_set_write_callback(stream_, &PulseStream::onWrite, this);
            rc = pa_stream_connect_playback(stream_, dev, &attr, flags, nullptr, nullptr);
        }
        bool ok = rc == 0;
        while (ok) {
            pa_stream_state_t st = pa_stream_get_state(stream_);
            if (st == PA_STREAM_READY) break;
            if (!PA_STREAM_IS_GOOD(st)) ok = false;
            else pa_threaded_mainloop_wait(impl_->loop);
        }
        if (!ok) {
            KVRLog("Audio stream failed to open : %s", pa_strerror(pa_context_errno(impl_->context)));
            closeLocked();
        }
        pa_threaded_mainloop_unlock(impl_->loop);
        return ok;
    }

    void stop() override {
        if (!impl_) return;
        pa_threaded_mainloop_lock(impl_->loop);
        closeLocked();
        pa_threaded_mainloop_unlock(impl_->loop);
        impl_.reset();
    }

private:
    void closeLocked() {
        if (!stream_) return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

    static void onState(pa_stream*, void* self) {
        pa_threaded_mainloop_signal(static_cast<PulseStream*>(self)->impl_->loop, 0);
    }

    static void onRead(pa_stream* s, size_t, void* userdata) {
        auto* self = static_cast<PulseStream*>(userdata);
        const void* data = nullptr;
        size_t n = 0;
        while (pa_stream_readable_size(s) > 0) {
            if (pa_stream_peek(s, &data, &n) < 0) return;
            if (n == 0) break;
            // A hole (data null) is lost input: deliver it as silence so the frame clock keeps going.
            self->assemble(static_cast<const uint8_t*>(data), n);
            pa_stream_drop(s);
        }
    }

    void assemble(const uint8_t* data, size_t n) {
        while (n > 0) {
            size_t take = std::min(n, KVRAudioBackend::kFrameBytes - filled_);
            if (data) std::memcpy(frame_ + filled_, data, take);
            else std::memset(frame_ + filled_, 0, take);
            filled_ += take;
            n -= take;
            if (data) data += take;
            if (filled_ == KVRAudioBackend::kFrameBytes) {
                filled_ = 0;
                inputCb_(frame_, KVRAudioBackend::kFrameBytes);
            }
        }
    }

    static void onWrite(pa_stream* s, size_t nbytes, void* userdata) {
        auto* self = static_cast<PulseStream*>(userdata);
        size_t written = 0;
        while (written < nbytes) {
            self->out_.clear();
            self->outputCb_(self->out_);
            if (self->out_.empty()) break;
            if (pa_stream_write(s, self->out_.data(), self->out_.size(), nullptr, 0, PA_SEEK_RELATIVE) < 0) break;
            written += self->out_.size();
        }
    }

    std::shared_ptr<KVRPulseAudioBackend::Impl> impl_;
    bool input_;
    pa_stream* stream_ = nullptr;
    KVRAudioBackend::InputCallback inputCb_;
    KVRAudioBackend::OutputCallback outputCb_;
    uint8_t frame_[KVRAudioBackend::kFrameBytes] = {};
    size_t filled_ = 0;
    std::vector<uint8_t> out_;
};

// Input on one device played on another, through a small FIFO. When the two clocks drift, the FIFO is
// trimmed to a few frames (input faster) or padded with silence (input slower).
class PlayThrough : public KVRAudioStream {
public:
    bool open(KVRPulseAudioBackend& backend, const std::string& in, const std::string& out) {
        output_ = backend.openOutputOn(out, [this](std::vector<uint8_t>& buf) {
            std::lock_guard lock(mutex_);
            if (fifo_.empty()) {
                buf.resize(KVRAudioBackend::kFrameBytes, 0);
                return;
            }
            buf = std::move(fifo_.front());
            fifo_.pop_front();
        });
        input_ = backend.openInputOn(in, [this](const uint8_t* data, size_t size) {
            std::lock_guard lock(mutex_);
            fifo_.emplace_back(data, data + size);
            while (fifo_.size() > 6) fifo_.pop_front();
        });
        return input_ && output_;
    }
    void stop() override {
        if (input_) input_->stop();
        if (output_) output_->stop();
    }
    ~PlayThrough() override { stop(); }

private:
    std::mutex mutex_;
    std::deque<std::vector<uint8_t>> fifo_;
    std::unique_ptr<KVRAudioStream> input_, output_;
};

void onContextState(pa_context*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); }

}  // namespace

std::shared_ptr<KVRPulseAudioBackend> KVRPulseAudioBackend::create(const std::string& applicationName) {
    auto impl = std::make_shared<Impl>();
    impl->loop = pa_threaded_mainloop_new();
    if (!impl->loop) return nullptr;
    impl->context = pa_context_new(pa_threaded_mainloop_get_api(impl->loop), applicationName.c_str());
    if (!impl->context) return nullptr;
    pa_context_set_state_callback(impl->context, onContextState, impl->loop);
    if (pa_context_connect(impl->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        KVRLog("Sound server not reachable : %s", pa_strerror(pa_context_errno(impl->context)));
        return nullptr;
    }
    pa_threaded_mainloop_lock(impl->loop);
    if (pa_threaded_mainloop_start(impl->loop) < 0) {
        pa_threaded_mainloop_unlock(impl->loop);
        return nullptr;
    }
    bool ok = true;
    for (;;) {
        pa_context_state_t st = pa_context_get_state(impl->context);
        if (st == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(st)) {
            ok = false;
            break;
        }
        pa_threaded_mainloop_wait(impl->loop);
    }
    pa_threaded_mainloop_unlock(impl->loop);
    if (!ok) {
        KVRLog("Sound server not reachable : %s", pa_strerror(pa_context_errno(impl->context)));
        return nullptr;
    }
    std::shared_ptr<KVRPulseAudioBackend> backend(new KVRPulseAudioBackend);
    backend->impl_ = std::move(impl);
    return backend;
}

KVRPulseAudioBackend::~KVRPulseAudioBackend() = default;

namespace {
struct ListResult {
    pa_threaded_mainloop* loop;
    std::vector<KVRAudioDeviceInfo> devices;
};

void onSource(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* r = static_cast<ListResult*>(userdata);
    if (eol) {
        pa_threaded_mainloop_signal(r->loop, 0);
        return;
    }
    if (info && info->channel_map.channels > 0)
        r->devices.push_back({shortName(info->description), info->name ? info->name : "", info->index});
}

void onSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* r = static_cast<ListResult*>(userdata);
    if (eol) {
        pa_threaded_mainloop_signal(r->loop, 0);
        return;
    }
    if (info && info->channel_map.channels > 0)
        r->devices.push_back({shortName(info->description), info->name ? info->name : "", info->index});
}

struct DefaultsResult {
    pa_threaded_mainloop* loop;
    std::string sink, source;
};

void onServer(pa_context*, const pa_server_info* info, void* userdata) {
    auto* r = static_cast<DefaultsResult*>(userdata);
    if (info) {
        r->sink = info->default_sink_name ? info->default_sink_name : "";
        r->source = info->default_source_name ? info->default_source_name : "";
    }
    pa_threaded_mainloop_signal(r->loop, 0);
}

struct VolumeResult {
    pa_threaded_mainloop* loop;
    bool found = false;
    pa_cvolume volume{};
};

void onSourceVolume(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* r = static_cast<VolumeResult*>(userdata);
    if (!eol && info) {
        r->found = true;
        r->volume = info->volume;
    }
    if (eol) pa_threaded_mainloop_signal(r->loop, 0);
}

void onSinkVolume(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* r = static_cast<VolumeResult*>(userdata);
    if (!eol && info) {
        r->found = true;
        r->volume = info->volume;
    }
    if (eol) pa_threaded_mainloop_signal(r->loop, 0);
}

struct SuccessResult {
    pa_threaded_mainloop* loop;
    bool ok = false;
};

void onSuccess(pa_context*, int success, void* userdata) {
    auto* r = static_cast<SuccessResult*>(userdata);
    r->ok = success != 0;
    pa_threaded_mainloop_signal(r->loop, 0);
}
}  // namespace

std::vector<KVRAudioDeviceInfo> KVRPulseAudioBackend::inputDevices() {
    ListResult r{impl_->loop, {}};
    pa_threaded_mainloop_lock(impl_->loop);
    impl_->wait(pa_context_get_source_info_list(impl_->context, onSource, &r));
    pa_threaded_mainloop_unlock(impl_->loop);
    return r.devices;
}

std::vector<KVRAudioDeviceInfo> KVRPulseAudioBackend::outputDevices() {
    ListResult r{impl_->loop, {}};
    pa_threaded_mainloop_lock(impl_->loop);
    impl_->wait(pa_context_get_sink_info_list(impl_->context, onSink, &r));
    pa_threaded_mainloop_unlock(impl_->loop);
    return r.devices;
}

std::optional<std::string> KVRPulseAudioBackend::defaultInputDevice() {
    DefaultsResult r{impl_->loop, {}, {}};
    pa_threaded_mainloop_lock(impl_->loop);
    impl_->wait(pa_context_get_server_info(impl_->context, onServer, &r));
    pa_threaded_mainloop_unlock(impl_->loop);
    if (r.source.empty()) return std::nullopt;
    return r.source;
}

std::optional<std::string> KVRPulseAudioBackend::defaultOutputDevice() {
    DefaultsResult r{impl_->loop, {}, {}};
    pa_threaded_mainloop_lock(impl_->loop);
    impl_->wait(pa_context_get_server_info(impl_->context, onServer, &r));
    pa_threaded_mainloop_unlock(impl_->loop);
    if (r.sink.empty()) return std::nullopt;
    return r.sink;
}

std::unique_ptr<KVRAudioStream> KVRPulseAudioBackend::openInputOn(const std::string& device, InputCallback callback) {
    if (!callback) return nullptr;
    auto s = std::make_unique<PulseStream>(impl_, true);
    if (!s->open(device, std::move(callback), {})) return nullptr;
    return s;
}

std::unique_ptr<KVRAudioStream> KVRPulseAudioBackend::openOutputOn(const std::string& device, OutputCallback callback) {
    if (!callback) return nullptr;
    auto s = std::make_unique<PulseStream>(impl_, false);
    if (!s->open(device, {}, std::move(callback))) return nullptr;
    return s;
}

std::unique_ptr<KVRAudioStream> KVRPulseAudioBackend::openInput(InputCallback callback) {
    return openInputOn({}, std::move(callback));
}

std::unique_ptr<KVRAudioStream> KVRPulseAudioBackend::openOutput(OutputCallback callback) {
    return openOutputOn({}, std::move(callback));
}

std::optional<double> KVRPulseAudioBackend::volume(bool input, const std::string& identifier) {
    VolumeResult r{impl_->loop};
    pa_threaded_mainloop_lock(impl_->loop);
    impl_->wait(input ? pa_context_get_source_info_by_name(impl_->context, identifier.c_str(), onSourceVolume, &r)
                      : pa_context_get_sink_info_by_name(impl_->context, identifier.c_str(), onSinkVolume, &r));
    pa_threaded_mainloop_unlock(impl_->loop);
    if (!r.found || r.volume.channels == 0) return std::nullopt;
    return static_cast<double>(pa_cvolume_avg(&r.volume)) / PA_VOLUME_NORM;
}

bool KVRPulseAudioBackend::setVolume(bool input, const std::string& identifier, double value) {
    VolumeResult current{impl_->loop};
    pa_threaded_mainloop_lock(impl_->loop);
    impl_->wait(input ? pa_context_get_source_info_by_name(impl_->context, identifier.c_str(), onSourceVolume, &current)
                      : pa_context_get_sink_info_by_name(impl_->context, identifier.c_str(), onSinkVolume, &current));
    SuccessResult r{impl_->loop};
    if (current.found && current.volume.channels > 0) {
        pa_cvolume cv;
        const double v = std::clamp(value, 0.0, 1.0);
        pa_cvolume_set(&cv, current.volume.channels, static_cast<pa_volume_t>(std::lround(v * PA_VOLUME_NORM)));
        impl_->wait(input ? pa_context_set_source_volume_by_name(impl_->context, identifier.c_str(), &cv, onSuccess, &r)
                          : pa_context_set_sink_volume_by_name(impl_->context, identifier.c_str(), &cv, onSuccess, &r));
    }
    pa_threaded_mainloop_unlock(impl_->loop);
    return r.ok;
}

std::unique_ptr<KVRAudioStream> KVRPulseAudioBackend::openPlayThrough(const std::string& in, const std::string& out) {
    auto p = std::make_unique<PlayThrough>();
    if (!p->open(*this, in, out)) return nullptr;
    return p;
}
