#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "camera/CaptureSession.h"
#include "platform/Result.h"
#include "platform/UniqueHandle.h"

typedef struct _GstElement GstElement;
typedef struct _GstAppSink GstAppSink;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;
typedef struct _GstSample GstSample;

namespace kesto {

// A capture session run by a GStreamer pipeline: cameras (v4l2src) and any
// pipeline a power user describes.
//
// The pipeline must end in an appsink named "kesto". A description that
// names no such element is completed with kDeliveryTail: conversion to
// BGRA, at most 10 frames a second, and the appsink. A description that
// does name one is used as it stands; the appsink is then made to accept
// BGRA only.
//
// The appsink hands each frame to the session's delivery queue ("myQueue")
// and drops frames while one is still there, so the engine gets one frame at
// a time, on one thread, never a backlog. Frames closer than the minimum
// frame duration in stream time, and frames of another size than the
// session's first, are dropped too. An error on the pipeline's bus is
// logged and posted as the runtime error notification; the end of the
// stream is logged and marks the session's stream ended.
//
// Threads: as CaptureSession; the bus and appsink callbacks run on
// GStreamer's streaming threads and only queue work or post.
class GstCaptureSession : public CaptureSession {
  public:
    static constexpr const char* kSinkName = "kesto";
    static constexpr const char* kDeliveryTail =
        "videoconvert ! videorate max-rate=10 ! video/x-raw,format=BGRA ! appsink name=kesto";

    // Initialises GStreamer once for the process; fails when it cannot.
    static Result<void> initialize();
    // Checks that `description`, completed as above, builds a pipeline.
    static Result<void> validate(const std::string& description);

    // An empty description makes a session that runs without frames.
    explicit GstCaptureSession(std::string description);
    ~GstCaptureSession() override;

    const std::string& description() const { return description_; }

  protected:
    void start() override;
    void stop() override;

  private:
    // Drop a reference: gst_object_unref, gst_sample_unref.
    static void unrefObject(void* object);
    static void unrefSample(GstSample* sample);
    using ElementPtr = UniqueHandle<GstElement, unrefObject>;
    using AppSinkPtr = UniqueHandle<GstAppSink, unrefObject>;
    using SamplePtr = UniqueHandle<GstSample, unrefSample>;

    struct Built {
        ElementPtr pipeline;
        AppSinkPtr sink;
    };
    // Builds the pipeline; fails when the description is wrong.
    static Result<Built> build(const std::string& description);
    static int onNewSample(GstAppSink* sink, void* self);
    static int onBusMessage(GstBus* bus, GstMessage* message, void* self);
    void handOver(SamplePtr sample);
    void deliverSample(GstSample* sample);

    const std::string description_;
    ElementPtr pipeline_;
    AppSinkPtr sink_;
    std::atomic<bool> frameQueued_{false};
    std::atomic<std::uint64_t> lastTimestamp_{~std::uint64_t{0}};
    // Delivery queue only.
    std::size_t width_ = 0;
    std::size_t height_ = 0;
    bool sizeRefusalLogged_ = false;
};

}  // namespace kesto
