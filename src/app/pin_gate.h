#pragma once
// The PIN an accepted caller keys before the keypad reaches the softphone. The identity a
// caller shows can be forged; the PIN is what gives the home line, at the owner's cost.
//
// A try is the codes up to a "#". Three wrong tries and the caller is turned away; until a
// new caller is accepted, nothing more is relayed.
#include <cstddef>
#include <string>
#include <string_view>

namespace tavoro::app {

class PinGate {
 public:
  static constexpr int kTries = 3;

  enum class Outcome {
    Relay,    // no PIN is awaited: the code goes to the softphone
    Held,     // part of a try, or a code after the last try: kept from the softphone
    Opened,   // the right PIN: the codes from now on are relayed
    Wrong,    // a wrong try with tries left
    TurnAway  // the last wrong try: the caller's call is to be ended
  };

  // A newly accepted caller: the PIN is awaited when one is set, with every try left.
  void Close(bool pin_set);
  // A call the gateway placed itself needs no PIN.
  void Open() { Close(false); }

  bool awaited() const { return awaited_; }

  // Takes one keypad code of a call, checked against `pin` once its try is complete.
  Outcome Take(std::string_view code, std::string_view pin);

 private:
  static constexpr std::size_t kLongestTry = 64;

  bool awaited_ = false;
  int wrong_tries_ = 0;
  std::string keyed_;
};

}  // namespace tavoro::app
