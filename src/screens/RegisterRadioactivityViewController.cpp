#include "screens/RegisterRadioactivityViewController.h"

#include <memory>

#include "engine/BitmapProcessor.h"
#include "history/RadiationHistoryMng.h"
#include "history/RadiationHistoryRecord.h"
#include "platform/Console.h"
#include "platform/Device.h"
#include "platform/LocalizedStrings.h"
#include "platform/ThreadCheck.h"
#include "platform/Utf8Text.h"
#include "screens/AppContext.h"
#include "toolkit/Button.h"
#include "toolkit/Label.h"
#include "toolkit/TextField.h"

namespace kesto {

RegisterRadioactivityViewController::RegisterRadioactivityViewController()
    : ViewController("RegisterRadioactivityViewController") {}

void RegisterRadioactivityViewController::declareBindings(Bindings& b) {
    b.outlet("lblEnterTag", lblEnterTag);
    b.outlet("txtTag", txtTag);
    b.outlet("btnSave", btnSave);
    b.outlet("btnCancel", btnCancel);
    b.action("btnOkClicked", [this] { btnOkClicked(); });
    b.action("btnCancelClicked", [this] { btnCancelClicked(); });
}

void RegisterRadioactivityViewController::viewDidLoad() {
    KESTO_CHECK_MAIN_THREAD();
    lblEnterTag->setText(LocalizedStrings::localizedString("H_EnterTag"));
    txtTag->setMaxLength(kMaxTagLength);
    btnSave->setTitle(LocalizedStrings::localizedString("Ok"), ControlState::Normal);
    btnCancel->setTitle(LocalizedStrings::localizedString("Cancel"), ControlState::Normal);
    enableSaveButton(false);
}

void RegisterRadioactivityViewController::enableSaveButton(bool enabled) {
    if (!btnSave) {
        return;
    }
    btnSave->setEnabled(enabled);
    if (enabled) {
        btnSave->setTitleColor(Color::black(), ControlState::Normal);
    } else {
        btnSave->setTitleColor(Color::gray(), ControlState::Disabled);
    }
}

void RegisterRadioactivityViewController::textFieldDidBeginEditing(TextField&) {
    enableSaveButton(false);
}

bool RegisterRadioactivityViewController::shouldChangeCharactersInRange(
    TextField& textField, TextRange, const std::string& replacement) {
    if (!textField.text().empty() || !replacement.empty()) {
        enableSaveButton(true);
    }
    return true;
}

bool RegisterRadioactivityViewController::textFieldShouldReturn(TextField&) {
    if (txtTag->text().empty()) {
        return false;  // the keyboard stays
    }
    txtTag->resignFirstResponder();
    enableSaveButton(true);
    return true;
}

void RegisterRadioactivityViewController::btnOkClicked() {
    KESTO_CHECK_MAIN_THREAD();
    const BitmapProcessor& engine = BitmapProcessor::sharedInstance();
    auto record = std::make_shared<RadiationHistoryRecord>();
    // As the history file can carry it (no control characters XML refuses),
    // so that the file, the upload and the upload log hold the same tag.
    record->setTag(Utf8Text::xmlSafe(txtTag->text()));
    record->setUdid(Device::uniqueIdentifier());
    // A copy: the engine's own list is emptied once the record is handed over.
    record->setRadionEvents(engine.radiationEvents().value_or(std::vector<RadiationEvent>{}));
    // At the file's precision from the start, so that every screen shows
    // what is saved.
    record->setDatesAsKept(engine.getStartDate(), engine.getStopDate());
    // The history served is the simulated one exactly when the sensor is.
    record->setSimulated(RadiationHistoryMng::isSimulated());
    if (const AppContext* context = AppContext::shared()) {
        if (const auto location = context->myLocation()) {
            record->setLatitude(location->latitude());
            record->setLongitude(location->longitude());
            Console::logf("Latitude:%f, Longitude:%f", location->latitude(), location->longitude());
        }
    }
    if (delegate_) {
        delegate_->registerRadioActivitiy(std::move(record));
    }
}

void RegisterRadioactivityViewController::btnCancelClicked() {
    KESTO_CHECK_MAIN_THREAD();
    if (ViewController* presenter = parentViewController()) {
        presenter->dismissModalViewControllerAnimated(true);
    }
}

}  // namespace kesto
