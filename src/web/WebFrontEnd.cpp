#include "web/WebFrontEnd.h"

#include <cmath>

#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "engine/BitmapProcessor.h"
#include "engine/DoseRateInterval.h"
#include "platform/NotificationCenter.h"
#include "platform/ResourceLocator.h"
#include "platform/ThreadCheck.h"
#include "toolkit/Driver.h"
#include "web/AccessToken.h"
#include "web/ActionQueue.h"
#include "web/SnapshotPublisher.h"
#include "web/WebServer.h"

namespace kesto {
namespace {

using nlohmann::json;

constexpr double kBinSeconds = 10.0;

}  // namespace

WebFrontEnd::WebFrontEnd() = default;

WebFrontEnd::~WebFrontEnd() {
    stop();
}

bool WebFrontEnd::start(const Options& options, std::string& error) {
    KESTO_CHECK_MAIN_THREAD();
    if (server_) {
        error = "the web front end is already running";
        return false;
    }
    WebServer::Settings settings;
    settings.listen = options.listen;
    settings.allowedHosts = options.allowedHosts;
    if (options.tokenFile) {
        settings.token = AccessToken::readFile(*options.tokenFile, error);
        if (!settings.token) {
            return false;
        }
    } else if (!options.listen.isLoopback()) {
        settings.token = AccessToken::generate(error);
        if (!settings.token) {
            return false;
        }
    }
    settings.resourceDirectory = options.resourceDirectory.empty()
                                     ? ResourceLocator::resourceDirectory()
                                     : options.resourceDirectory;
    backend_ = options.backend != nullptr ? options.backend : &CaptureBackend::current();
    settings.sensor = backend_->simulatedSensor();
    settings.actionTimeout = options.actionTimeout;
    settings.maxSubscribers = options.maxSubscribers;

    publisher_ = std::make_unique<SnapshotPublisher>([this] { return state(); });
    actions_ =
        std::make_unique<ActionQueue>([](const json& action) { return Driver().perform(action); });
    server_ = std::make_unique<WebServer>(std::move(settings), *publisher_, *actions_);
    if (!server_->start(error)) {
        server_.reset();
        actions_.reset();
        publisher_.reset();
        return false;
    }
    // Events arrive on the frame thread, between the screens' own passes:
    // each one makes a pass so the counter follows it.
    NotificationCenter::defaultCenter().addObserver(
        this, BitmapProcessor::kEventDetected,
        [publisher = publisher_.get()](const Notification&) { publisher->setNeedsPublish(); },
        &BitmapProcessor::sharedInstance());
    publisher_->start();
    return true;
}

void WebFrontEnd::stop() {
    KESTO_CHECK_MAIN_THREAD();
    if (!server_) {
        return;
    }
    // Waits for a call in progress on the frame thread.
    NotificationCenter::defaultCenter().removeObserver(this);
    server_->stop();
    server_.reset();
    actions_.reset();
    publisher_.reset();
}

std::string WebFrontEnd::url() const {
    return server_ ? server_->url() : std::string();
}

int WebFrontEnd::port() const {
    return server_ ? server_->port() : 0;
}

json WebFrontEnd::state() const {
    return {{"app", Driver().snapshot()},
            {"sensor", sensor(*backend_)},
            {"counter", counter(BitmapProcessor::sharedInstance())}};
}

json WebFrontEnd::sensor(CaptureBackend& backend) {
    json out = {{"description", backend.description()}, {"simulated", backend.isSimulated()}};
    if (const SimulatedSensor* sim = backend.simulatedSensor()) {
        out["rate"] = sim->rate();
        out["lensOpen"] = sim->lensOpen();
    }
    return out;
}

json WebFrontEnd::counter(const BitmapProcessor& engine) {
    const auto events = engine.radiationEvents();
    json bins = json::array();
    std::size_t total = 0;
    if (events) {
        const double duration = std::max(0.0, engine.acquisitionDuration());
        std::vector<std::int64_t> counts(static_cast<std::size_t>(duration / kBinSeconds) + 1, 0);
        for (const auto& event : *events) {
            const double t =
                std::isfinite(event.timeStamp()) ? std::max(0.0, event.timeStamp()) : 0.0;
            const auto bin = static_cast<std::size_t>(std::min(t / kBinSeconds, 1e7));
            if (bin >= counts.size()) {
                counts.resize(bin + 1, 0);
            }
            ++counts[bin];
        }
        bins = counts;
        total = events->size();
    }
    // The dose rate's 95% interval over the acquisition so far, in μSv/h
    // (null before any time has passed); with no event the upper bound is the
    // least rate that could still be there.
    const auto interval = DoseRateInterval::forEvents(static_cast<std::int64_t>(total),
                                                      events ? engine.acquisitionDuration() : 0.0);
    return {{"running", engine.acquisitionEnCours()},
            {"binSeconds", static_cast<int>(kBinSeconds)},
            {"bins", bins},
            {"events", total},
            {"elapsed", events ? std::max(0.0, engine.acquisitionDuration()) : 0.0},
            {"doseRateLower95", interval.known() ? json(interval.lower()) : json(nullptr)},
            {"doseRateUpper95", interval.known() ? json(interval.upper()) : json(nullptr)},
            {"doseRateInterval", interval.text()}};
}

}  // namespace kesto
