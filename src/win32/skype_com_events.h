#pragma once
// The events of the library's _ISkypeEvents as they reach an event sink's Invoke, read into
// plain values. COM lets a source send the same event in several forms, and the sink takes
// them all: the arguments last first in DISPPARAMS or named by position, by value or through
// VT_BYREF, wrapped in by-reference VARIANTs, numbers as VT_I4, VT_I2, VT_UI4 or VT_INT, the
// call as VT_DISPATCH or VT_UNKNOWN, the keypad code as a BSTR.

#include <windows.h>

#include <oaidl.h>

#include <cstdint>
#include <string>

#include "win32/com.h"

namespace tavoro::platform::win32 {

// The source interface's identity and its members' dispatch ids.
inline constexpr GUID kSkypeEventsIid = {
    0xF4F90CDD, 0xC620, 0x4118, {0x94, 0x5E, 0xCA, 0xA1, 0xBB, 0xEB, 0xA4, 0x35}};
inline constexpr DISPID kAttachmentStatusDispid = 4;
inline constexpr DISPID kCallStatusDispid = 8;
inline constexpr DISPID kCallDtmfReceivedDispid = 14;

struct SkypeComEvent {
  // Other: an event the program does not handle.
  enum class Kind { AttachmentStatus, CallStatus, CallDtmfReceived, Other };
  Kind kind = Kind::Other;
  std::int32_t status = 0;
  ComPtr<IDispatch> call;
  std::string code;
};

// Throws ClientError when an argument the event must have is missing (DISP_E_PARAMNOTFOUND) or
// cannot be read as its type (the conversion's code), since such an event cannot be handled.
SkypeComEvent DecodeSkypeEvent(DISPID member, const DISPPARAMS& parameters);

}  // namespace tavoro::platform::win32
