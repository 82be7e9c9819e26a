#pragma once

#include <filesystem>
#include <string>

namespace kesto {

// The device's identifier text, sent with every saved measurement: stable
// for this machine and user, and never the machine's own id. It is the
// SHA-256, in hex, of "<machine id>:<uid>:kesto", the machine id read from
// /etc/machine-id (else /var/lib/dbus/machine-id). Without a machine id the
// identifier is empty (and a console line says why): no made-up value.
//
// Threads: any.
class Device {
  public:
    static std::string uniqueIdentifier();
    // Reads the machine id from `path` instead (tests); empty restores the default.
    static void setMachineIdPath(const std::filesystem::path& path);
};

}  // namespace kesto
