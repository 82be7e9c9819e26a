#include "web/WebFrontEnd.h"

#include <cmath>

#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "engine/BitmapProcessor.h"
#include "engine/DoseModel.h"
#include "engine/DoseRateInterval.h"
#include "history/RadiationHistoryMng.h"
#include "history/UploadLog.h"
#include "platform/LocalizedStrings.h"
#include "platform/NotificationCenter.h"
#include "platform/ResourceLocator.h"
#include "platform/ThreadCheck.h"
#include "platform/Utf8Text.h"
#include "screens/AppContext.h"
#include "screens/HistoryViewController.h"
#include "station/Station.h"
#include "toolkit/ActionVocabulary.h"
#include "toolkit/AlertView.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/TextField.h"
#include "web/AccessToken.h"
#include "web/ActionQueue.h"
#include "web/MetricsExporter.h"
#include "web/SnapshotPublisher.h"
#include "web/WebServer.h"

namespace kesto {
namespace {

using nlohmann::json;

constexpr double kBinSeconds = 10.0;
// A long history is shown by its newest measurements only.
constexpr std::size_t kHistoryShown = 200;

bool historyTabShown() {
    AppContext* context = AppContext::shared();
    TabBarController* tabs = context != nullptr ? context->tabBarController() : nullptr;
    ViewController* selected = tabs != nullptr ? tabs->selectedViewController() : nullptr;
    if (auto* stack = dynamic_cast<NavigationController*>(selected)) {
        selected = stack->topViewController();
    }
    return dynamic_cast<HistoryViewController*>(selected) != nullptr;
}

}  // namespace

struct WebFrontEnd::UploadsSeen {
    std::filesystem::path file;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time;
    UploadLog::Outcomes outcomes;
};

WebFrontEnd::WebFrontEnd() = default;

WebFrontEnd::~WebFrontEnd() {
    stop();
}

Result<void> WebFrontEnd::start(const Options& options) {
    KESTO_CHECK_MAIN_THREAD();
    if (server_) {
        return fail("the web front end is already running");
    }
    WebServer::Settings settings;
    settings.listen = options.listen;
    settings.allowedHosts = options.allowedHosts;
    tokenMadeUp_ = false;
    if (options.tokenFile) {
        auto token = AccessToken::readFile(*options.tokenFile);
        if (!token) {
            return token.failure();
        }
        settings.token = std::move(*token);
    } else if (!options.listen.isLoopback()) {
        auto token = AccessToken::generate();
        if (!token) {
            return token.failure();
        }
        settings.token = std::move(*token);
        tokenMadeUp_ = true;
    }
    settings.resourceDirectory = options.resourceDirectory.empty()
                                     ? ResourceLocator::resourceDirectory()
                                     : options.resourceDirectory;
    backend_ = options.backend != nullptr ? options.backend : &CaptureBackend::current();
    settings.sensor = backend_->simulatedSensor();
    settings.maxSubscribers = options.maxSubscribers;
    station_ = options.station;
    metrics_ =
        std::make_unique<MetricsExporter>(*backend_, BitmapProcessor::sharedInstance(), station_);
    metricsQueue_ = std::make_unique<ActionQueue>(
        [metrics = metrics_.get()](const json&) { return json(metrics->render()); });
    settings.metrics = metricsQueue_.get();

    page_ = page();
    publisher_ = std::make_unique<SnapshotPublisher>([this] { return state(); });
    actions_ =
        std::make_unique<ActionQueue>([this](const json& envelope) { return perform(envelope); });
    server_ = std::make_unique<WebServer>(std::move(settings), *publisher_, *actions_);
    if (auto started = server_->start(); !started) {
        server_.reset();
        metricsQueue_.reset();
        metrics_.reset();
        actions_.reset();
        publisher_.reset();
        return started;
    }
    // Events arrive on the frame thread, between the screens' own passes:
    // each one makes a pass so the counter follows it.
    NotificationCenter::defaultCenter().addObserver(
        this, BitmapProcessor::kEventDetected,
        [publisher = publisher_.get()](const Notification&) { publisher->setNeedsPublish(); },
        &BitmapProcessor::sharedInstance());
    publisher_->start();
    return {};
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
    metricsQueue_.reset();
    metrics_.reset();
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
    json answered = nullptr;
    if (answered_) {
        answered = {
            {"alert", answered_->alert}, {"button", answered_->button}, {"page", answered_->page}};
    }
    const bool typing = typist_ && stillTyping(typist_->outlet);
    return {{"app", Driver().snapshot()},
            {"browsers", publisher_->subscriberCount()},
            {"answered", answered},
            {"typist",
             typing ? json{{"outlet", typist_->outlet}, {"page", typist_->page}} : json(nullptr)},
            {"sensor", sensor(*backend_)},
            {"counter", counter(BitmapProcessor::sharedInstance())},
            {"history", history()},
            {"page", page_},
            {"station", station_ != nullptr ? station(*station_) : json(nullptr)}};
}

bool WebFrontEnd::stillTyping(const std::string& outlet) {
    const View* view = Driver().findControl(outlet);
    return view != nullptr && view->kind() == ViewKind::TextField &&
           static_cast<const TextField*>(view)->isEditing();
}

json WebFrontEnd::perform(const json& envelope) {
    KESTO_CHECK_MAIN_THREAD();
    const std::string page = envelope.value("page", "");
    const json& action = envelope.at("action");
    const auto read = ActionVocabulary::read(action);
    if (!read) {
        return {{"ok", false}, {"error", read.error()}};
    }
    using Kind = ActionVocabulary::Kind;
    if (typist_ && !stillTyping(typist_->outlet)) {
        typist_.reset();  // that editing ended: the next one starts unclaimed
    }
    const bool keys = read->kind == Kind::Type || read->kind == Kind::DeleteBackward ||
                      read->kind == Kind::Return;
    // Keys come from one browser at a time: the one that took the field, or
    // else the first whose key reached it.
    if (keys && typist_ && typist_->outlet == read->target && typist_->page != page) {
        return {{"ok", false},
                {"error", "this text is being typed in another browser: tap the field to take it"}};
    }
    std::string button;
    if (read->kind == Kind::AnswerAlert) {
        const AlertView* alert = Application::sharedApplication().visibleAlert();
        if (alert && read->index >= 0 && read->index < alert->numberOfButtons()) {
            button = alert->buttonTitles()[static_cast<std::size_t>(read->index)];
        }
    }
    json answer = Driver().perform(action);
    if (!answer.value("ok", false)) {
        return answer;
    }
    const bool takes =
        read->kind == Kind::BeginEditing || read->kind == Kind::Tap || (keys && !typist_);
    if (read->kind == Kind::AnswerAlert) {
        answered_ = Answered{read->alert, button, page};
    } else if (takes && stillTyping(read->target)) {
        typist_ = Typist{read->target, page};
    }
    return answer;
}

json WebFrontEnd::page() {
    json texts = json::object();
    for (const std::string& key : LocalizedStrings::keysStartingWith("Web_")) {
        texts[key] = LocalizedStrings::localizedString(key);
    }
    return {{"language", LocalizedStrings::localizedString("Language_Tag")},
            {"decimalSeparator", LocalizedStrings::localizedString("DecimalSeparator")},
            {"texts", std::move(texts)}};
}

json WebFrontEnd::history() const {
    const bool simulated = RadiationHistoryMng::isSimulated();
    json records = json::array();
    const RadiationHistoryMng::RecordList* list =
        RadiationHistoryMng::getRadiationHistoryRecordList();
    if (list != nullptr && !list->empty()) {
        if (!uploads_) {
            uploads_ = std::make_unique<UploadsSeen>();
        }
        // Read again only when the log changed: this runs after every pass.
        const std::filesystem::path file = RadiationHistoryMng::uploadLogPath();
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(file, ec);
        const auto time =
            ec ? std::filesystem::file_time_type() : std::filesystem::last_write_time(file, ec);
        if (file != uploads_->file || size != uploads_->size || time != uploads_->time) {
            *uploads_ = {file, size, time, UploadLog::read(file)};
        }
        for (std::size_t i = 0; i < list->size() && i < kHistoryShown; ++i) {
            const RadiationHistoryRecord& record = *(*list)[i];
            records.push_back(
                {{"tag", record.tag() ? json(Utf8Text::xmlSafe(*record.tag())) : json(nullptr)},
                 {"startDate",
                  record.startDate() ? json(record.startDate()->iso8601()) : json(nullptr)},
                 {"upload", UploadLog::text(simulated ? UploadLog::Status::NeverSent
                                                      : uploads_->outcomes.statusOf(record))}});
        }
    }
    return {{"shown", historyTabShown()}, {"simulated", simulated}, {"records", records}};
}

json WebFrontEnd::sensor(CaptureBackend& backend) {
    json out = {{"description", backend.description()}, {"simulated", backend.isSimulated()}};
    if (const SimulatedSensor* sim = backend.simulatedSensor()) {
        out["rate"] = sim->rate();
        out["lensOpen"] = sim->lensOpen();
    }
    return out;
}

json WebFrontEnd::station(const Station& station) {
    const Station::Reading r = station.reading();
    const auto rate = [](std::int64_t events, double seconds) {
        const auto interval = DoseRateInterval::forEvents(events, seconds);
        const bool known = interval.known();
        return json{{"darkSeconds", seconds},
                    {"events", events},
                    {"doseRate", known ? json(static_cast<double>(events) *
                                              DoseModel::kOneEventPerSecond / seconds)
                                       : json(nullptr)},
                    {"doseRateLower95", known ? json(interval.lower()) : json(nullptr)},
                    {"doseRateUpper95", known ? json(interval.upper()) : json(nullptr)}};
    };
    json interval = rate(r.events, r.darkSeconds);
    interval["start"] = r.intervalStart.iso8601();
    interval["end"] = r.intervalEnd.iso8601();
    interval["litSeconds"] = r.litSeconds;
    json rates = json::array();
    for (std::size_t i = 0; i < r.windows.size(); ++i) {
        json window = rate(r.windows[i].events, r.windows[i].seconds);
        window["window"] = Station::kRateWindows[i];
        rates.push_back(std::move(window));
    }
    json chart = json::array();
    for (const Station::Bar& bar : r.chart) {
        json entry = rate(bar.events, bar.darkSeconds);
        entry["start"] = bar.start.iso8601();
        entry["saved"] = bar.saved;
        chart.push_back(std::move(entry));
    }
    json alarm = nullptr;
    if (r.alarm) {
        alarm = {{"above", r.alarm->threshold()},
                 {"window", r.alarm->windowSeconds()},
                 {"raised", r.alarm->raised()},
                 {"since",
                  r.alarm->changedAt() ? json(r.alarm->changedAt()->iso8601()) : json(nullptr)}};
    }
    return {{"tag", Utf8Text::xmlSafe(r.tag)},
            {"simulated", r.simulated},
            {"intervalSeconds", r.intervalSeconds},
            {"interval", std::move(interval)},
            {"light", r.light},
            {"framesArriving", r.framesArriving},
            {"frames", r.frames},
            {"intervalsSaved", r.intervalsSaved},
            {"rates", std::move(rates)},
            {"alarm", std::move(alarm)},
            {"chart", std::move(chart)}};
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
    // The mean dose rate of the acquisition so far and its 95% interval, in
    // μSv/h (null before any time has passed); with no event the upper bound
    // is the least rate that could still be there.
    const auto interval = DoseRateInterval::forEvents(static_cast<std::int64_t>(total),
                                                      events ? engine.acquisitionDuration() : 0.0);
    return {{"running", engine.acquisitionEnCours()},
            {"binSeconds", static_cast<int>(kBinSeconds)},
            {"bins", bins},
            {"events", total},
            {"elapsed", events ? std::max(0.0, engine.acquisitionDuration()) : 0.0},
            {"meanDoseRate", interval.known() ? json(interval.mean()) : json(nullptr)},
            {"doseRateLower95", interval.known() ? json(interval.lower()) : json(nullptr)},
            {"doseRateUpper95", interval.known() ? json(interval.upper()) : json(nullptr)},
            {"doseRateInterval", interval.text()}};
}

}  // namespace kesto
