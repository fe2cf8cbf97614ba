#include "headless/headless_process.h"

namespace tavoro::platform::headless {

void HeadlessProcess::End() {
  ended_ = true;
  throw ProgramEnded{};
}

}  // namespace tavoro::platform::headless
