#pragma once

#include <cstddef>
#include <string>

#include "screens/RegisterRadioActivityViewControllerDelegate.h"
#include "toolkit/TextFieldDelegate.h"
#include "toolkit/ViewController.h"

namespace kesto {

class Button;
class Label;
class TextField;

// The tag entry screen, shown modally before a stopped measurement is
// saved: the person types a free tag; OK builds the saved-measurement record
// from the tag and the engine's acquisition and hands it to the delegate,
// which stores it and closes this screen. Cancel only closes it.
//
// OK stays disabled from the start of each editing pass until an edit or
// the return key; a tap into the field while it is being edited starts no
// new pass, so it leaves OK as it is.
//
// Threads: main thread only.
class RegisterRadioactivityViewController : public ViewController, public TextFieldDelegate {
  public:
    // The longest tag, in characters: what a person types here, a place
    // name or a short note; every front end holds to it.
    static constexpr std::size_t kMaxTagLength = 100;

    RegisterRadioactivityViewController();

    void declareBindings(Bindings& bindings) override;
    void viewDidLoad() override;

    // OK enabled or not; black title when enabled, gray when disabled.
    void enableSaveButton(bool enabled);

    void textFieldDidBeginEditing(TextField& textField) override;
    bool shouldChangeCharactersInRange(TextField& textField, TextRange range,
                                       const std::string& replacement) override;
    bool textFieldShouldReturn(TextField& textField) override;

    // Builds the record and hands it over; the delegate closes this screen.
    void btnOkClicked();
    void btnCancelClicked();

    RegisterRadioActivityViewControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(RegisterRadioActivityViewControllerDelegate* delegate) {
        delegate_ = delegate;
    }

    Label* lblEnterTag = nullptr;
    TextField* txtTag = nullptr;
    Button* btnSave = nullptr;
    Button* btnCancel = nullptr;

  private:
    RegisterRadioActivityViewControllerDelegate* delegate_ = nullptr;
};

}  // namespace kesto
