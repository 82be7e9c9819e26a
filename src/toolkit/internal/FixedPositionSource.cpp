#include "toolkit/internal/FixedPositionSource.h"

namespace kesto {

void FixedPositionSource::start(PositionSink sink) {
    sink.fix(Location(latitude_, longitude_));
}

}  // namespace kesto
