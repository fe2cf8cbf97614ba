#pragma once
// What the library's conversion object answers with its default language ("en"), so that the
// scripted client converts as the library does. The library maps only some attachment names;
// the others, and every name it does not know, come back as its "unknown" value -1.

#include <cstdint>
#include <string>
#include <string_view>

namespace tavoro::platform::headless::skype_conversion {

std::int32_t TextToAttachmentStatus(std::string_view text);
std::int32_t TextToCallStatus(std::string_view text);
std::int32_t TextToCallType(std::string_view text);
std::string CallStatusToText(std::int32_t status);

}  // namespace tavoro::platform::headless::skype_conversion
