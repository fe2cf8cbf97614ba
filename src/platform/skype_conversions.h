#pragma once
// What the Skype library's conversion object answers with its default language ("en"): the
// names and texts of the statuses both remote sides report in. The SIP client converts with
// them, the scripted client and the library's stand-in answer as the library does. The library maps
// only some attachment names; the others, and every name it does not know, come back as its
// "unknown" value -1.

#include <cstdint>
#include <string>
#include <string_view>

namespace tavoro::platform::skype_conversion {

std::int32_t TextToAttachmentStatus(std::string_view text);
std::int32_t TextToCallStatus(std::string_view text);
std::int32_t TextToCallType(std::string_view text);
std::string CallStatusToText(std::int32_t status);

}  // namespace tavoro::platform::skype_conversion
