#include "collect/CollectMetrics.h"

#include "platform/Format.h"
#include "web/MetricsExporter.h"

namespace kesto {
namespace {

constexpr const char* kOutcomes[] = {"stored",  "duplicate", "conflict",
                                     "refused", "limited",   "failed"};

std::string number(double value) {
    return cformat("%.17g", value);
}

}  // namespace

void CollectMetrics::count(Upload outcome) {
    uploads_[static_cast<int>(outcome)].fetch_add(1, std::memory_order_relaxed);
}

Result<std::string> CollectMetrics::render(MeasurementStore& store) const {
    const auto total = store.count();
    if (!total) {
        return total.failure();
    }
    const auto devices = store.devices();
    if (!devices) {
        return devices.failure();
    }
    std::string out;
    out +=
        "# HELP kesto_collect_measurements Measurements stored.\n"
        "# TYPE kesto_collect_measurements gauge\n"
        "kesto_collect_measurements " +
        std::to_string(*total) + "\n";
    out +=
        "# HELP kesto_collect_devices Devices that uploaded a measurement.\n"
        "# TYPE kesto_collect_devices gauge\n"
        "kesto_collect_devices " +
        std::to_string(devices->size()) + "\n";
    out +=
        "# HELP kesto_collect_uploads_total Uploads answered since the server started, by "
        "outcome.\n"
        "# TYPE kesto_collect_uploads_total counter\n";
    for (int i = 0; i < 6; ++i) {
        out +=
            cformat("kesto_collect_uploads_total{outcome=\"%s\"} %llu\n", kOutcomes[i],
                    static_cast<unsigned long long>(uploads_[i].load(std::memory_order_relaxed)));
    }
    struct Family {
        const char* name;
        const char* help;
        const char* type;
    };
    const Family families[] = {
        {"kesto_collect_device_dose_rate_microsieverts_per_hour",
         "Mean dose rate of the device's latest measurement.", "gauge"},
        {"kesto_collect_device_dose_rate_lower_microsieverts_per_hour",
         "Lower 95% bound of that dose rate.", "gauge"},
        {"kesto_collect_device_dose_rate_upper_microsieverts_per_hour",
         "Upper 95% bound of that dose rate.", "gauge"},
        {"kesto_collect_device_measurements", "Measurements stored from the device.", "gauge"},
        {"kesto_collect_device_last_upload_timestamp_seconds",
         "When the device's last upload was stored (Unix seconds).", "gauge"},
    };
    for (int f = 0; f < 5; ++f) {
        out += std::string("# HELP ") + families[f].name + " " + families[f].help + "\n# TYPE " +
               families[f].name + " " + families[f].type + "\n";
        for (const DeviceSummary& device : *devices) {
            const MeasurementRow& latest = device.latest;
            std::string value;
            switch (f) {
                case 0:
                    value = number(latest.meanRate);
                    break;
                case 1:
                    value = latest.rateLower ? number(*latest.rateLower) : "";
                    break;
                case 2:
                    value = latest.rateUpper ? number(*latest.rateUpper) : "";
                    break;
                case 3:
                    value = std::to_string(device.measurements);
                    break;
                default:
                    value = number(static_cast<double>(device.lastReceivedMicros) / 1e6);
                    break;
            }
            if (!value.empty()) {
                out += std::string(families[f].name) + "{device=\"" +
                       MetricsExporter::escapeLabel(device.udid) + "\"} " + value + "\n";
            }
        }
    }
    return out;
}

}  // namespace kesto
