#include "app/softphone_queue.h"

#include <exception>
#include <utility>

#include "app/run_time_error.h"

namespace tavoro::app {

SoftphoneQueue::Sequence& SoftphoneQueue::Sequence::Activate() {
  steps_.push_back([softphone = softphone_] { softphone->ActivateSoftphone(); });
  return *this;
}

SoftphoneQueue::Sequence& SoftphoneQueue::Sequence::Keys(std::string_view keys) {
  steps_.push_back(
      [softphone = softphone_, keys = std::string(keys)] { softphone->SendSoftphoneKeys(keys); });
  return *this;
}

SoftphoneQueue::Sequence& SoftphoneQueue::Sequence::Then(Step step) {
  steps_.push_back(std::move(step));
  return *this;
}

void SoftphoneQueue::Submit(Sequence sequence) {
  waiting_.push_back(std::move(sequence.steps_));
  if (draining_)
    return;
  Drain();
  for (Step& step : std::exchange(when_idle_, {}))
    step();
}

void SoftphoneQueue::WhenIdle(Step step) {
  if (draining_)
    when_idle_.push_back(std::move(step));
  else
    step();
}

void SoftphoneQueue::Drain() {
  // When the program ends inside a step nothing queued may run any more, and a queue that is
  // used again (a test's next case) must not believe it is still draining.
  struct DrainScope {
    SoftphoneQueue& queue;
    explicit DrainScope(SoftphoneQueue& q) : queue(q) { queue.draining_ = true; }
    ~DrainScope() {
      if (queue.draining_ && std::uncaught_exceptions() > 0) {
        queue.waiting_.clear();
        queue.when_idle_.clear();
      }
      queue.draining_ = false;
    }
  } scope(*this);
  while (!waiting_.empty()) {
    std::vector<Step> steps = std::move(waiting_.front());
    waiting_.pop_front();
    // A missing softphone window ends the program inside the activation; nothing else a step
    // does may stop the steps after it.
    for (Step& step : steps)
      PassOver(step);
  }
}

}  // namespace tavoro::app
