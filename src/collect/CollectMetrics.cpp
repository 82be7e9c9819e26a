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

// One line per device in each of these families.
struct DeviceFamily {
    const char* name;
    const char* help;
    // Empty: the device has no such figure.
    std::string (*value)(const DeviceSummary& device);
};

const DeviceFamily kDeviceFamilies[] = {
    {"kesto_collect_device_dose_rate_microsieverts_per_hour",
     "Mean dose rate of the device's latest measurement.",
     [](const DeviceSummary& d) { return number(d.latest.meanRate); }},
    {"kesto_collect_device_dose_rate_lower_microsieverts_per_hour",
     "Lower 95% bound of that dose rate.",
     [](const DeviceSummary& d) {
         return d.latest.rateLower ? number(*d.latest.rateLower) : std::string();
     }},
    {"kesto_collect_device_dose_rate_upper_microsieverts_per_hour",
     "Upper 95% bound of that dose rate.",
     [](const DeviceSummary& d) {
         return d.latest.rateUpper ? number(*d.latest.rateUpper) : std::string();
     }},
    {"kesto_collect_device_measurements", "Measurements stored from the device.",
     [](const DeviceSummary& d) { return std::to_string(d.measurements); }},
    {"kesto_collect_device_last_upload_timestamp_seconds",
     "When the device's last upload was stored (Unix seconds).",
     [](const DeviceSummary& d) {
         return number(static_cast<double>(d.lastReceivedMicros) / 1e6);
     }},
};

void gauge(std::string& out, const char* name, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
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
    gauge(out, "kesto_collect_measurements", "Measurements stored.");
    out += "kesto_collect_measurements " + std::to_string(*total) + "\n";
    gauge(out, "kesto_collect_devices", "Devices that uploaded a measurement.");
    out += "kesto_collect_devices " + std::to_string(devices->size()) + "\n";
    out +=
        "# HELP kesto_collect_uploads_total Uploads answered since the server started, by "
        "outcome.\n"
        "# TYPE kesto_collect_uploads_total counter\n";
    for (int i = 0; i < 6; ++i) {
        out +=
            cformat("kesto_collect_uploads_total{outcome=\"%s\"} %llu\n", kOutcomes[i],
                    static_cast<unsigned long long>(uploads_[i].load(std::memory_order_relaxed)));
    }
    for (const DeviceFamily& family : kDeviceFamilies) {
        gauge(out, family.name, family.help);
        for (const DeviceSummary& device : *devices) {
            const std::string value = family.value(device);
            if (!value.empty()) {
                out += std::string(family.name) + "{device=\"" +
                       MetricsExporter::escapeLabel(device.udid) + "\"} " + value + "\n";
            }
        }
    }
    return out;
}

}  // namespace kesto
