#include "toolkit/location/PositionSource.h"

#include "toolkit/internal/FixedPositionSource.h"
#include "toolkit/internal/GpsdPositionSource.h"
#include "toolkit/internal/NoPositionSource.h"

namespace kesto {

std::unique_ptr<PositionSource> makePositionSource(const PositionSpec& spec) {
    switch (spec.kind) {
        case PositionSpec::Kind::Fixed:
            return std::make_unique<FixedPositionSource>(spec.latitude, spec.longitude);
        case PositionSpec::Kind::Gpsd:
            return std::make_unique<GpsdPositionSource>(spec.host, spec.port);
        case PositionSpec::Kind::None:
            break;
    }
    return std::make_unique<NoPositionSource>();
}

}  // namespace kesto
