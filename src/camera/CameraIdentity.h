#pragma once

#include <string>

#include "camera/SensorSpec.h"

namespace kesto {

// Which camera a profile belongs to: the device path of a Video4Linux
// camera, the pipeline description of a GStreamer source, "sim" for the
// simulator (whatever its options), the directory of a raw replay. Its file
// name keeps letters, digits, '.', '-' and '_' and turns the rest into '_'
// ("/dev/video0" → "_dev_video0.json").
//
// A value object; any thread.
class CameraIdentity {
  public:
    explicit CameraIdentity(const SensorSpec& spec);

    const std::string& name() const { return name_; }
    std::string fileName() const;

  private:
    std::string name_;
};

}  // namespace kesto
