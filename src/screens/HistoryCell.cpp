#include "screens/HistoryCell.h"

#include <utility>

#include "engine/BitmapProcessor.h"
#include "history/AppUtils.h"
#include "platform/Format.h"
#include "platform/LocalizedStrings.h"
#include "platform/ThreadCheck.h"

namespace kesto {

void HistoryCell::declareBindings(Bindings& bindings) {
    bindings.outlet("lblTag", lblTag_);
    bindings.outlet("lblDuration", lblDuration_);
    bindings.outlet("lblVm", lblVm_);
    bindings.outlet("lblVd", lblVd_);
}

void HistoryCell::setRadiationHistoryRecord(std::shared_ptr<const RadiationHistoryRecord> record) {
    KESTO_CHECK_MAIN_THREAD();
    radiationHistoryRecord_ = std::move(record);
    if (!lblTag_ || !lblDuration_ || !lblVm_ || !lblVd_) {
        return;  // not built from its layout: nothing to fill
    }
    const RadiationHistoryRecord* r = radiationHistoryRecord_.get();
    if (!r) {
        // A reused cell must not keep showing the record it had.
        for (Label* label : {lblTag_, lblDuration_, lblVm_, lblVd_}) {
            label->setText({});
        }
        return;
    }
    lblTag_->setText(r->tag().value_or(std::string()));
    lblDuration_->setText(
        cformat("(%s)", AppUtils::stringHoursMinuteSecond(r->duration()).c_str()));
    // The unit operations rescale large values in place; the rescaled value
    // is the one shown with the larger unit.
    double vm = r->vm();
    const std::string vmUnit = BitmapProcessor::getUnitOfVMValue(vm);
    lblVm_->setText(LocalizedStrings::localizedFormat("%0.2f %s", vm, vmUnit.c_str()));
    double vd = r->vd();
    const std::string vdUnit = BitmapProcessor::getUnitOfVDValue(vd);
    lblVd_->setText(LocalizedStrings::localizedFormat(
        "%s %0.2f %s", LocalizedStrings::localizedString("Dose").c_str(), vd, vdUnit.c_str()));
}

}  // namespace kesto
