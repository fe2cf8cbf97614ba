#pragma once
// The version query of the headless platform: answers with a record the test sets, or fails
// the way the test says.

#include "platform/version.h"

namespace tavoro::platform::headless {

class FixedVersionQuery final : public VersionQuery {
 public:
  void Answer(std::uint32_t platform_id, std::uint32_t major, std::uint32_t minor) {
    outcome_ = VersionQueryOutcome::Answered;
    platform_id_ = platform_id;
    major_ = major;
    minor_ = minor;
  }
  void Fail(VersionQueryOutcome outcome) { outcome_ = outcome; }
  std::uint32_t LastRecordSize() const { return last_record_size_; }

  VersionQueryOutcome Query(VersionRecord& record) override {
    last_record_size_ = record.record_size;
    if (outcome_ == VersionQueryOutcome::Answered) {
      record.platform_id = platform_id_;
      record.major = major_;
      record.minor = minor_;
    }
    return outcome_;
  }

 private:
  VersionQueryOutcome outcome_ = VersionQueryOutcome::Answered;
  std::uint32_t platform_id_ = 2;
  std::uint32_t major_ = 6;
  std::uint32_t minor_ = 1;
  std::uint32_t last_record_size_ = 0;
};

}  // namespace tavoro::platform::headless
