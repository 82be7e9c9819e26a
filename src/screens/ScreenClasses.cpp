#include "screens/ScreenClasses.h"

#include <memory>

#include "screens/Camembert.h"
#include "toolkit/Layout.h"

namespace kesto {

void ScreenClasses::registerAll() {
    Layout::ViewClasses::registerClass("Camembert", [] { return std::make_unique<Camembert>(); });
}

}  // namespace kesto
