#include "app/run_time_error.h"

#include <cstdio>
#include <exception>

#include "product/identity.h"

namespace tavoro::app {

std::string RunTimeErrorText(std::int32_t number, std::string_view description) {
  std::string text = "実行時エラー '" + std::to_string(number);
  // Numbers outside the runtime's own 16-bit range are HRESULTs: their hex form is what the
  // library's documentation and a search engine know them by.
  if (number < 0 || number > 0xFFFF) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<std::uint32_t>(number));
    text += " (";
    text += hex;
    text += ")";
  }
  text += "':\r\n\r\n";
  text += description;
  return text;
}

void ReportRunTimeError(platform::Runtime runtime, std::int32_t number,
                        std::string_view description) {
  runtime.boxes.MsgBox(RunTimeErrorText(number, description), platform::MsgBoxIcon::Critical,
                       kProgramTitle);
  runtime.process.End();
  // End never returns; the compiler cannot see that through the interface.
  std::terminate();
}

}  // namespace tavoro::app
