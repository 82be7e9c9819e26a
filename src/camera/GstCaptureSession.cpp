#include "camera/GstCaptureSession.h"

#include <mutex>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include "platform/Console.h"

namespace kesto {
namespace {

// Held by a streaming thread for each hand-over and taken by start, stop and
// destruction. GStreamer hands work between its pooled threads with locking
// that ThreadSanitizer cannot see; this lock makes the main thread's set-up
// and tear-down visibly ordered with the hand-overs. Process-wide and
// constant-initialised, so no thread ever sees it being built.
std::mutex handOverMutex;

constexpr std::uint64_t kNoTimestamp = ~std::uint64_t{0};

std::string takeError(GError* error) {
    std::string text = error != nullptr && error->message != nullptr ? error->message : "unknown";
    if (error != nullptr) {
        g_error_free(error);
    }
    return text;
}

}  // namespace

bool GstCaptureSession::initialize(std::string& error) {
    static std::once_flag once;
    static bool ready = false;
    static std::string failure;
    std::call_once(once, [] {
        GError* gerror = nullptr;
        ready = gst_init_check(nullptr, nullptr, &gerror) != 0;
        if (!ready) {
            failure = "GStreamer cannot start: " + takeError(gerror);
        }
    });
    error = failure;
    return ready;
}

GstElement* GstCaptureSession::build(const std::string& description, GstAppSink*& sink,
                                     std::string& error) {
    if (!initialize(error)) {
        return nullptr;
    }
    auto parse = [&error](const std::string& text) -> GstElement* {
        GError* gerror = nullptr;
        GstElement* element =
            gst_parse_launch_full(text.c_str(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &gerror);
        if (element == nullptr || gerror != nullptr) {
            error = "the pipeline '" + text + "' cannot be built: " + takeError(gerror);
            if (element != nullptr) {
                gst_object_unref(element);
            }
            return nullptr;
        }
        return element;
    };
    // A description that ends in caps does not parse alone, so a failed
    // first parse is retried completed; its error is the one reported.
    std::string firstError;
    GstElement* pipeline = parse(description);
    std::swap(firstError, error);
    GstElement* named = pipeline != nullptr && GST_IS_BIN(pipeline)
                            ? gst_bin_get_by_name(reinterpret_cast<GstBin*>(pipeline), kSinkName)
                            : nullptr;
    if (named == nullptr) {
        if (pipeline != nullptr) {
            gst_object_unref(pipeline);
        }
        pipeline = parse(description + " ! " + kDeliveryTail);
        if (pipeline == nullptr) {
            if (!firstError.empty()) {
                error = firstError;
            }
            return nullptr;
        }
        named = gst_bin_get_by_name(reinterpret_cast<GstBin*>(pipeline), kSinkName);
    }
    if (named == nullptr || !GST_IS_APP_SINK(named)) {
        error = std::string("the element named \"") + kSinkName + "\" is not an appsink";
        if (named != nullptr) {
            gst_object_unref(named);
        }
        gst_object_unref(pipeline);
        return nullptr;
    }
    sink = reinterpret_cast<GstAppSink*>(named);
    GstCaps* bgra = gst_caps_from_string("video/x-raw,format=BGRA");
    gst_app_sink_set_caps(sink, bgra);
    gst_caps_unref(bgra);
    // One buffer waits at most; older ones are dropped, never piled up.
    gst_app_sink_set_max_buffers(sink, 1);
    gst_app_sink_set_drop(sink, TRUE);
    return pipeline;
}

bool GstCaptureSession::validate(const std::string& description, std::string& error) {
    GstAppSink* sink = nullptr;
    GstElement* pipeline = build(description, sink, error);
    if (pipeline == nullptr) {
        return false;
    }
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return true;
}

GstCaptureSession::GstCaptureSession(std::string description)
    : description_(std::move(description)) {
    if (description_.empty()) {
        return;
    }
    std::string error;
    pipeline_ = build(description_, sink_, error);
    if (pipeline_ == nullptr) {
        Console::log("Capture pipeline refused: " + error);
        return;
    }
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink* sink, gpointer self) {
        return static_cast<GstFlowReturn>(onNewSample(sink, self));
    };
    gst_app_sink_set_callbacks(sink_, &callbacks, this, nullptr);
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(
        bus,
        [](GstBus* b, GstMessage* m, gpointer self) {
            return static_cast<GstBusSyncReply>(onBusMessage(b, m, self));
        },
        this, nullptr);
    gst_object_unref(bus);
}

GstCaptureSession::~GstCaptureSession() {
    shutDown();
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        std::lock_guard lock(handOverMutex);  // the last hand-over has ended
        GstBus* bus = gst_element_get_bus(pipeline_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(sink_);
        gst_object_unref(pipeline_);
    }
}

void GstCaptureSession::start() {
    if (pipeline_ == nullptr) {
        return;
    }
    {
        std::lock_guard lock(handOverMutex);  // configuration done before the first frame
        lastTimestamp_.store(kNoTimestamp);
    }
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
}

void GstCaptureSession::stop() {
    if (pipeline_ != nullptr) {
        // Synchronous: the streaming threads have stopped when it returns.
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        std::lock_guard lock(handOverMutex);  // the last hand-over has ended
    }
}

int GstCaptureSession::onNewSample(GstAppSink* sink, void* self) {
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (sample != nullptr) {
        static_cast<GstCaptureSession*>(self)->handOver(sample);
    }
    return GST_FLOW_OK;
}

void GstCaptureSession::handOver(GstSample* sample) {
    std::lock_guard lock(handOverMutex);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const std::uint64_t timestamp = buffer != nullptr ? buffer->pts : kNoTimestamp;
    const auto minimum = static_cast<std::uint64_t>(minFrameDuration() * 1e9);
    const std::uint64_t last = lastTimestamp_.load();
    // 1 ms of slack: rate converters round their timestamps.
    const bool tooSoon = timestamp != kNoTimestamp && last != kNoTimestamp && timestamp > last &&
                         timestamp - last + 1000000 < minimum;
    if (!isRunning() || tooSoon || frameQueued_.exchange(true)) {
        gst_sample_unref(sample);
        return;
    }
    lastTimestamp_.store(timestamp);
    dispatch([this, sample] {
        deliverSample(sample);
        gst_sample_unref(sample);
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
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            Console::log("Capture error: " + takeError(error));
            g_free(debug);
            session->postRuntimeError();
            break;
        }
        case GST_MESSAGE_EOS:
            Console::log("Capture stream ended: no more frames");
            break;
        default:
            break;
    }
    // Nobody pops the bus: dropping every message keeps it from growing.
    return GST_BUS_DROP;
}

}  // namespace kesto
