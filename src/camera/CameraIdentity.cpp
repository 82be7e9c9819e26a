#include "camera/CameraIdentity.h"

#include <cctype>

namespace kesto {

CameraIdentity::CameraIdentity(const SensorSpec& spec) {
    switch (spec.kind) {
        case SensorSpec::Kind::Simulated:
            name_ = "sim";
            break;
        case SensorSpec::Kind::Camera:
            name_ = spec.device;
            break;
        case SensorSpec::Kind::Raw:
            name_ = spec.directory;
            break;
        case SensorSpec::Kind::Pipeline:
            name_ = spec.pipeline;
            break;
    }
}

std::string CameraIdentity::fileName() const {
    std::string file;
    for (const char c : name_) {
        const bool plain =
            std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_';
        file.push_back(plain ? c : '_');
    }
    // Never a hidden file, nor one named "." or "..".
    if (file.empty() || file.front() == '.') {
        file = std::string("_") + file;
    }
    // File names have a length limit; long pipelines are cut.
    if (file.size() > 200) {
        file.resize(200);
    }
    return file + ".json";
}

}  // namespace kesto
