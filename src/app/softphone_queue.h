#pragma once
// The one way the main window drives the softphone. Handlers pump inside the pauses of an
// activation, so a second handler can start while the first is still typing; were it to type
// at once, its keys would land between the first one's keys. Here a handler hands over its
// whole sequence (take a call, end a call, relay a key, with the steps that must follow it) and
// the queue runs sequences one after another, in the order they were handed over, each whole.
//
// A sequence handed over while another runs waits its turn: the handler that handed it over
// returns at once and the running drain picks it up. Steps read the program's state when they
// run, not when they were queued, so a key decided by `NumberDialled` sees the effect of every
// key typed before it.
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/modSoftphone.h"

namespace tavoro::app {

class SoftphoneQueue {
 public:
  using Step = std::function<void()>;

  // The steps of one handler from its first activation on. Each step after that activation
  // passes over its own failure and the next one runs, as the handlers require.
  class Sequence {
   public:
    Sequence& Activate();
    Sequence& Keys(std::string_view keys);
    Sequence& Then(Step step);

   private:
    friend class SoftphoneQueue;
    explicit Sequence(modSoftphone& softphone) : softphone_(&softphone) {}
    modSoftphone* softphone_;
    std::vector<Step> steps_;
  };

  explicit SoftphoneQueue(modSoftphone& softphone) : softphone_(softphone) {}
  SoftphoneQueue(const SoftphoneQueue&) = delete;
  SoftphoneQueue& operator=(const SoftphoneQueue&) = delete;

  // A new sequence, opened with an activation, since every key string needs one before it.
  Sequence Begin() { return std::move(Sequence(softphone_).Activate()); }

  // Runs `sequence` now, or after the sequences handed over before it when one is running.
  void Submit(Sequence sequence);

  // Runs `step` now when no sequence is running, or else once the running drain has run every
  // sequence, outside it. For a step that waits on events whose handling drives the
  // softphone: inside a sequence that handling would wait behind the sequence, and so behind
  // the step itself.
  void WhenIdle(Step step);

  bool running() const { return draining_; }
  std::size_t waiting() const { return waiting_.size(); }

 private:
  void Drain();

  modSoftphone& softphone_;
  std::deque<std::vector<Step>> waiting_;
  std::deque<Step> when_idle_;
  bool draining_ = false;
};

}  // namespace tavoro::app
