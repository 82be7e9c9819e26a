#include "screens/ScreenClasses.h"

#include <memory>

#include "screens/Camembert.h"
#include "screens/HistoryCell.h"
#include "toolkit/Layout.h"

namespace kesto {

void ScreenClasses::registerAll() {
    Layout::ViewClasses::registerClass("Camembert", [] { return std::make_unique<Camembert>(); });
    Layout::ViewClasses::registerClass("HistoryCell",
                                       [] { return std::make_unique<HistoryCell>(); });
}

}  // namespace kesto
