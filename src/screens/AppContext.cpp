#include "screens/AppContext.h"

#include "toolkit/Application.h"

namespace kesto {

AppContext* AppContext::shared() {
    return dynamic_cast<AppContext*>(Application::sharedApplication().delegate());
}

}  // namespace kesto
