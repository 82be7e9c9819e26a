#include "screens/HistoryViewController.h"

#include <string>

#include "engine/BitmapProcessor.h"
#include "history/AppUtils.h"
#include "platform/LocalizedStrings.h"
#include "platform/ThreadCheck.h"
#include "screens/HistoryCell.h"
#include "toolkit/Image.h"
#include "toolkit/Layout.h"
#include "toolkit/NavigationController.h"

namespace kesto {

HistoryViewController::HistoryViewController() : ViewController("HistoryViewController") {
    setTabBarItem({LocalizedStrings::localizedString("Tab_History"),
                   Image::imageNamed("Onglet_H_icon_2.png"), 1});
}

void HistoryViewController::declareBindings(Bindings& bindings) {
    bindings.outlet("tblHistory", tblHistory_);
    bindings.outlet("lblDesc", lblDesc_);
}

void HistoryViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    loadRadiationHistoryRecordList();
    updateDescriptionView();
    if (NavigationController* navigation = navigationController()) {
        navigation->setNavigationBarHidden(true, false);
    }
}

void HistoryViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    loadRadiationHistoryRecordList();
    if (tblHistory_) {
        tblHistory_->reloadData();
    }
    updateDescriptionView();
}

void HistoryViewController::loadRadiationHistoryRecordList() {
    KESTO_CHECK_MAIN_THREAD();
    if (const RadiationHistoryMng::RecordList* list =
            RadiationHistoryMng::getRadiationHistoryRecordList()) {
        radiationHistoryRecordList_ = *list;
    } else {
        radiationHistoryRecordList_.reset();
    }
}

void HistoryViewController::updateDescriptionView() {
    KESTO_CHECK_MAIN_THREAD();
    if (!lblDesc_) {
        return;
    }
    // The totals are single-precision sums: narrowed before formatting, so a
    // lone 0.055 μSv reads 0.05, as the history has always shown it.
    double dose = static_cast<float>(RadiationHistoryMng::vdTotal());
    const std::string doseUnit = BitmapProcessor::getUnitOfVDValue(dose);
    const std::string duration =
        AppUtils::stringHoursMinuteSecond(RadiationHistoryMng::timeTotal());
    double rate = static_cast<float>(RadiationHistoryMng::expostionMoyenne());
    const std::string rateUnit = BitmapProcessor::getUnitOfVMValue(rate);
    lblDesc_->setText(LocalizedStrings::localizedFormat(
        "%s = %0.2f %s\n%s = %s\n%s = %0.2f %s\n%s",
        LocalizedStrings::localizedString("H_DoseTotal").c_str(), dose, doseUnit.c_str(),
        LocalizedStrings::localizedString("H_DurationTotal").c_str(), duration.c_str(),
        LocalizedStrings::localizedString("H_ExpositionMoyen").c_str(), rate, rateUnit.c_str(),
        LocalizedStrings::localizedString("H_LimitExposition").c_str()));
}

int HistoryViewController::numberOfSectionsInTableView(TableView&) {
    return 1;
}

int HistoryViewController::numberOfRowsInSection(TableView&, int) {
    return radiationHistoryRecordList_ ? static_cast<int>(radiationHistoryRecordList_->size()) : 0;
}

double HistoryViewController::heightForRowAtIndexPath(TableView&, IndexPath) {
    return kRowHeight;
}

std::unique_ptr<TableViewCell> HistoryViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                            IndexPath indexPath) {
    KESTO_CHECK_MAIN_THREAD();
    std::unique_ptr<HistoryCell> cell;
    auto reused = tableView.dequeueReusableCellWithIdentifier(HistoryCell::kReuseIdentifier);
    if (auto* typed = dynamic_cast<HistoryCell*>(reused.get())) {
        reused.release();
        cell.reset(typed);
    } else {
        cell = Layout::loadAs<HistoryCell>(HistoryCell::kLayoutName, this);
    }
    if (!cell) {
        return nullptr;  // the layout is missing; the loader has said why
    }
    const auto row = static_cast<std::size_t>(indexPath.row);
    if (radiationHistoryRecordList_ && indexPath.row >= 0 &&
        row < radiationHistoryRecordList_->size()) {
        cell->setRadiationHistoryRecord((*radiationHistoryRecordList_)[row]);
    } else {
        cell->setRadiationHistoryRecord(nullptr);
    }
    cell->setSelectionStyle(CellSelectionStyle::None);
    cell->setBackgroundColor(Color::clear());
    return cell;
}

}  // namespace kesto
