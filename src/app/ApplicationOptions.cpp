#include "app/ApplicationOptions.h"

#include <cstdlib>
#include <filesystem>

#include <CLI/App.hpp>

#include "app/Command.h"
#include "app/KestoAppDelegate.h"
#include "app/OptionChecks.h"
#include "camera/CameraIdentity.h"
#include "camera/CaptureBackend.h"
#include "camera/SensorSpec.h"
#include "engine/BitmapProcessor.h"
#include "history/CameraProfileFile.h"
#include "history/RadiationHistoryMng.h"
#include "history/UploadForm.h"
#include "history/file/DataDirectory.h"
#include "platform/Format.h"
#include "toolkit/location/PositionSpec.h"

namespace kesto {
namespace {

// The option's value, else its environment variable's (when not empty).
std::pair<std::string, std::string> chosen(const std::optional<std::string>& option,
                                           const char* optionName, const char* variable) {
    if (option) {
        return {*option, optionName};
    }
    const char* value = std::getenv(variable);
    return {value != nullptr ? value : "", variable};
}

}  // namespace

void ApplicationOptions::declare(CLI::App& app, bool withServer) {
    app.add_option("--sensor", sensor_)->type_name("SPEC")->check(OptionChecks::notEmpty());
    app.add_option("--position", position_)->type_name("P")->check(OptionChecks::notEmpty());
    app.add_option("--data-dir", dataDirectory_)->type_name("D")->check(OptionChecks::notEmpty());
    app.add_flag("--profile", profile_);
    if (withServer) {
        app.add_option("--server", server_)->type_name("URL")->check(OptionChecks::notEmpty());
    }
}

const char* ApplicationOptions::helpText(bool withServer) {
    static const std::string common =
        "  --sensor SPEC    what is read (default $KESTO_SENSOR, else camera):\n"
        "                   camera[:DEVICE], sim[:rate=R,seed=S,lens=covered|open],\n"
        "                   raw:DIR[,width=W,height=H,loop], gst:PIPELINE (see\n"
        "                   'kesto capture --help'); sim is never a measurement\n"
        "  --position P     where measurements are taken (default $KESTO_POSITION,\n"
        "                   else none): none, LAT,LON or gpsd[:HOST[:PORT]]\n"
        "  --data-dir D     where the history is kept (default $KESTO_DATA_DIR, else\n"
        "                   $XDG_DATA_HOME/kesto or ~/.local/share/kesto)\n"
        "  --profile        use the camera's profile from 'kesto calibrate' (threshold,\n"
        "                   light limit, hot pixels masked) instead of the defaults\n";
    static const std::string withServerText =
        common +
        "  --server URL     the collection server, http://host[:port] (default\n"
        "                   $KESTO_SERVER; without one nothing is sent)\n";
    return withServer ? withServerText.c_str() : common.c_str();
}

SensorSpec ApplicationOptions::selectSensor(const std::optional<std::string>& option) {
    const auto [sensor, origin] = chosen(option, "--sensor", "KESTO_SENSOR");
    const Result<SensorSpec> spec = sensor.empty() ? SensorSpec{} : SensorSpec::parse(sensor);
    const Result<void> selected = spec ? CaptureBackend::select(*spec) : spec.failure();
    if (!selected) {
        throw UsageError(origin + ": " + selected.error());
    }
    return *spec;
}

Result<void> ApplicationOptions::applyProfile(const SensorSpec& sensor,
                                              const std::optional<std::string>& dataDirectory) {
    const auto directory = DataDirectory::resolve(
        dataDirectory ? std::optional<std::filesystem::path>(*dataDirectory) : std::nullopt);
    if (!directory) {
        return fail("--profile: " + directory.error());
    }
    const CameraIdentity camera(sensor);
    const auto profile =
        CameraProfileFile::read(CameraProfileFile::path(*directory, camera.fileName()));
    if (!profile) {
        return fail("--profile: " + profile.error());
    }
    // Frames whose size is known before the first one comes are checked now;
    // a camera's or a pipeline's are refused by the engine as they come.
    const bool sizeKnown =
        sensor.kind == SensorSpec::Kind::Simulated || sensor.kind == SensorSpec::Kind::Raw;
    if (sizeKnown && (profile->width != sensor.width || profile->height != sensor.height)) {
        throw std::runtime_error(
            cformat("--profile: the profile is for %zu \u00D7 %zu frames, "
                    "the sensor's are %zu \u00D7 %zu: calibrate it again",
                    profile->width, profile->height, sensor.width, sensor.height));
    }
    BitmapProcessor::sharedInstance().applyProfile(*profile);
    return {};
}

Result<void> ApplicationOptions::apply() const {
    const SensorSpec sensor = selectSensor(sensor_);
    if (profile_) {
        if (auto applied = applyProfile(sensor, dataDirectory_); !applied) {
            return applied;
        }
    }
    const auto [position, positionOrigin] = chosen(position_, "--position", "KESTO_POSITION");
    const Result<PositionSpec> positionSpec = PositionSpec::parse(position);
    if (!positionSpec) {
        throw UsageError(positionOrigin + ": " + positionSpec.error());
    }
    KestoAppDelegate::setPositionSpec(*positionSpec);
    if (dataDirectory_) {
        RadiationHistoryMng::setDataDirectory(std::filesystem::path(*dataDirectory_));
    }
    if (server_) {
        if (const auto endpoint = UploadForm::endpoint(*server_); !endpoint) {
            throw UsageError("--server: " + endpoint.error());
        }
        RadiationHistoryMng::setServerURL(server_);
    }
    return {};
}

}  // namespace kesto
