#pragma once
// Forms on the headless platform: nothing is drawn; tests read and drive the controls
// directly. What would be on screen is recorded, and a test plays the user of each modal
// dialog through a responder that runs while the dialog is up, as its modal loop would.

#include <functional>
#include <string>
#include <vector>

#include "forms/form.h"
#include "platform/window_system.h"

namespace tavoro::platform::headless {

class HeadlessWindowSystem final : public forms::WindowSystem {
 public:
  struct Shown {
    std::string form;
    forms::ShowMode mode;
  };

  // Runs when a form is shown modally; it must close or hide the form (press a button, close
  // it), or the show fails, since a real modal loop would wait for a user who never comes.
  std::function<void(forms::Form&)> modal_responder;

  // From now on every show of the form of that name fails, as one whose window cannot be
  // made does.
  void FailShow(std::string form_name) { failing_shows_.push_back(std::move(form_name)); }

  void Create(forms::Form& form) override;
  void Show(forms::Form& form, forms::ShowMode mode) override;
  void Hide(forms::Form&) override {}
  void Destroy(forms::Form& form) override;
  void Changed(forms::Form&, forms::Control*, forms::Property) override {}

  // Every Show in order, and the forms loaded now.
  const std::vector<Shown>& shows() const { return shows_; }
  const std::vector<forms::Form*>& open_forms() const { return open_; }
  // The loaded form of that name, or nothing.
  forms::Form* OpenForm(const std::string& name) const;

 private:
  std::vector<std::string> failing_shows_;
  std::vector<Shown> shows_;
  std::vector<forms::Form*> open_;
};

}  // namespace tavoro::platform::headless
