#include "camera/internal/GstCaptureSession.h"

#include <mutex>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include "platform/Console.h"
#include "platform/UniqueHandle.h"

namespace kesto {
namespace {

// Held by a streaming thread for each hand-over and taken by start, stop and
// destruction. GStreamer hands work between its pooled threads with locking
// that ThreadSanitizer cannot see; this lock makes the main thread's set-up
// and tear-down visibly ordered with the hand-overs. Process-wide and
// constant-initialised, so no thread ever sees it being built.
std::mutex handOverMutex;

constexpr std::uint64_t kNoTimestamp = ~std::uint64_t{0};

using ErrorPtr = UniqueHandle<GError, g_error_free>;
using BusPtr = UniqueHandle<GstBus, [](GstBus* bus) { gst_object_unref(bus); }>;

std::string describe(const ErrorPtr& error) {
    return error && error->message != nullptr ? error->message : "unknown";
}

}  // namespace

void GstCaptureSession::unrefObject(void* object) {
    gst_object_unref(object);
}

void GstCaptureSession::unrefSample(GstSample* sample) {
    gst_sample_unref(sample);
}

Result<void> GstCaptureSession::initialize() {
    static std::once_flag once;
    static Result<void> ready;
    std::call_once(once, [] {
        GError* raw = nullptr;
        const bool started = gst_init_check(nullptr, nullptr, &raw) != 0;
        const ErrorPtr gerror(raw);
        if (!started) {
            ready = fail("GStreamer cannot start: " + describe(gerror));
        }
    });
    return ready;
}

Result<GstCaptureSession::Built> GstCaptureSession::build(const std::string& description) {
    if (auto ready = initialize(); !ready) {
        return ready.failure();
    }
    auto parse = [](const std::string& text) -> Result<ElementPtr> {
        GError* raw = nullptr;
        ElementPtr element(
            gst_parse_launch_full(text.c_str(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &raw));
        const ErrorPtr gerror(raw);
        if (!element || gerror) {
            return fail("the pipeline '" + text + "' cannot be built: " + describe(gerror));
        }
        return element;
    };
    const auto sinkOf = [](const ElementPtr& pipeline) {
        return ElementPtr(pipeline && GST_IS_BIN(pipeline.get())
                              ? gst_bin_get_by_name(GST_BIN(pipeline.get()), kSinkName)
                              : nullptr);
    };
    // A description that ends in caps does not parse alone, so a failed
    // first parse is retried completed; its error is the one reported.
    Result<ElementPtr> first = parse(description);
    Built built;
    ElementPtr named;
    if (first) {
        built.pipeline = std::move(*first);
        named = sinkOf(built.pipeline);
    }
    if (!named) {
        built.pipeline.reset();
        Result<ElementPtr> completed = parse(description + " ! " + kDeliveryTail);
        if (!completed) {
            return first ? completed.failure() : first.failure();
        }
        built.pipeline = std::move(*completed);
        named = sinkOf(built.pipeline);
    }
    if (!named || !GST_IS_APP_SINK(named.get())) {
        return fail(std::string("the element named \"") + kSinkName + "\" is not an appsink");
    }
    built.sink.reset(GST_APP_SINK(named.release()));
    AppSinkPtr& sink = built.sink;
    const UniqueHandle<GstCaps, gst_caps_unref> bgra(
        gst_caps_from_string("video/x-raw,format=BGRA"));
    gst_app_sink_set_caps(sink.get(), bgra.get());
    // One buffer waits at most; older ones are dropped, never piled up.
    gst_app_sink_set_max_buffers(sink.get(), 1);
    gst_app_sink_set_drop(sink.get(), TRUE);
    return built;
}

Result<void> GstCaptureSession::validate(const std::string& description) {
    Result<Built> built = build(description);
    if (!built) {
        return built.failure();
    }
    return {};
}

GstCaptureSession::GstCaptureSession(std::string description)
    : description_(std::move(description)) {
    if (description_.empty()) {
        return;
    }
    Result<Built> built = build(description_);
    if (!built) {
        Console::log("Capture pipeline refused: " + built.error());
        return;
    }
    pipeline_ = std::move(built->pipeline);
    sink_ = std::move(built->sink);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink* sink, gpointer self) {
        return static_cast<GstFlowReturn>(onNewSample(sink, self));
    };
    gst_app_sink_set_callbacks(sink_.get(), &callbacks, this, nullptr);
    const BusPtr bus(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_sync_handler(
        bus.get(),
        [](GstBus* b, GstMessage* m, gpointer self) {
            return static_cast<GstBusSyncReply>(onBusMessage(b, m, self));
        },
        this, nullptr);
}

GstCaptureSession::~GstCaptureSession() {
    shutDown();
    if (pipeline_) {
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        std::lock_guard lock(handOverMutex);  // the last hand-over has ended
        gst_bus_set_sync_handler(BusPtr(gst_element_get_bus(pipeline_.get())).get(), nullptr,
                                 nullptr, nullptr);
        sink_.reset();
        pipeline_.reset();
    }
}

void GstCaptureSession::start() {
    if (!pipeline_) {
        return;
    }
    {
        std::lock_guard lock(handOverMutex);  // configuration done before the first frame
        lastTimestamp_.store(kNoTimestamp);
    }
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
}

void GstCaptureSession::stop() {
    if (pipeline_) {
        // Synchronous: the streaming threads have stopped when it returns.
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        std::lock_guard lock(handOverMutex);  // the last hand-over has ended
    }
}

int GstCaptureSession::onNewSample(GstAppSink* sink, void* self) {
    SamplePtr sample(gst_app_sink_pull_sample(sink));
    if (sample) {
        static_cast<GstCaptureSession*>(self)->handOver(std::move(sample));
    }
    return GST_FLOW_OK;
}

void GstCaptureSession::handOver(SamplePtr sample) {
    std::lock_guard lock(handOverMutex);
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    const std::uint64_t timestamp = buffer != nullptr ? buffer->pts : kNoTimestamp;
    const auto minimum = static_cast<std::uint64_t>(minFrameDuration() * 1e9);
    const std::uint64_t last = lastTimestamp_.load();
    // 1 ms of slack: rate converters round their timestamps.
    const bool tooSoon = timestamp != kNoTimestamp && last != kNoTimestamp && timestamp > last &&
                         timestamp - last + 1000000 < minimum;
    if (!isRunning() || tooSoon || frameQueued_.exchange(true)) {
        return;
    }
    lastTimestamp_.store(timestamp);
    // Shared only because the queue's work must be copyable; the work is
    // its one owner, and releases it even when never run.
    dispatch([this, shared = std::shared_ptr<GstSample>(std::move(sample))]() mutable {
        deliverSample(shared.get());
        shared.reset();
        frameQueued_.store(false);
    });
}

void GstCaptureSession::deliverSample(GstSample* sample) {
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRA) {
        return;
    }
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
        return;
    }
    const auto width = static_cast<std::size_t>(GST_VIDEO_FRAME_WIDTH(&frame));
    const auto height = static_cast<std::size_t>(GST_VIDEO_FRAME_HEIGHT(&frame));
    if (width_ == 0) {
        width_ = width;
        height_ = height;
    }
    if (width == width_ && height == height_) {
        deliver(FrameBitmap{static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                            width, height,
                            static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0))});
    } else if (!sizeRefusalLogged_) {
        sizeRefusalLogged_ = true;
        Console::logf(
            "Frames dropped: %zu \u00D7 %zu, but this session's frames are %zu \u00D7 %zu", width,
            height, width_, height_);
    }
    gst_video_frame_unmap(&frame);
}

int GstCaptureSession::onBusMessage(GstBus* /*bus*/, GstMessage* message, void* self) {
    auto* session = static_cast<GstCaptureSession*>(self);
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR: {
            GError* rawError = nullptr;
            gchar* rawDebug = nullptr;
            gst_message_parse_error(message, &rawError, &rawDebug);
            const ErrorPtr error(rawError);
            const UniqueHandle<gchar, g_free> debug(rawDebug);
            Console::log("Capture error: " + describe(error));
            session->postRuntimeError();
            break;
        }
        case GST_MESSAGE_EOS:
            session->endOfStream("no more frames from the pipeline");
            break;
        default:
            break;
    }
    // Nobody pops the bus: dropping every message keeps it from growing.
    return GST_BUS_DROP;
}

}  // namespace kesto
