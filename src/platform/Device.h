#pragma once

#include <string>

namespace kesto {

// The device's identifier text, sent with every saved measurement: 64
// lower-case hex digits, stable for this machine and user, and never the
// machine's own id. systemd derives it from /etc/machine-id with a keyed
// hash (sd_id128_get_machine_app_specific) over an application id of ours
// made specific to the user, so the machine id cannot be recovered from
// it. Without a machine id the identifier is empty (and a console line
// says why): no made-up value.
//
// Threads: any.
class Device {
  public:
    static std::string uniqueIdentifier();
};

}  // namespace kesto
