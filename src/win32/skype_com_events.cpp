#include "win32/skype_com_events.h"

#include <string>

#include "platform/call_client.h"
#include "win32/late_bound.h"

namespace tavoro::platform::win32 {
namespace {

// The argument at `position` (0 for the first declared one).
const VARIANT& Argument(const DISPPARAMS& parameters, UINT position, const char* event) {
  for (UINT named = 0; named < parameters.cNamedArgs; ++named) {
    if (parameters.rgdispidNamedArgs != nullptr &&
        parameters.rgdispidNamedArgs[named] == static_cast<DISPID>(position))
      return parameters.rgvarg[named];
  }
  const UINT positional =
      parameters.cArgs > parameters.cNamedArgs ? parameters.cArgs - parameters.cNamedArgs : 0;
  if (parameters.rgvarg == nullptr || position >= positional)
    throw ClientError(DISP_E_PARAMNOTFOUND, std::string(event) + ": argument " +
                                                std::to_string(position + 1) + " is missing");
  return parameters.rgvarg[parameters.cArgs - 1 - position];
}

}  // namespace

SkypeComEvent DecodeSkypeEvent(DISPID member, const DISPPARAMS& parameters) {
  SkypeComEvent event;
  switch (member) {
    case kAttachmentStatusDispid:
      event.kind = SkypeComEvent::Kind::AttachmentStatus;
      event.status = ToInt32(Argument(parameters, 0, "AttachmentStatus"));
      break;
    // The last argument first: an event short of one is then missing an argument rather than
    // carrying a number where the call should be.
    case kCallStatusDispid:
      event.kind = SkypeComEvent::Kind::CallStatus;
      event.status = ToInt32(Argument(parameters, 1, "CallStatus"));
      event.call = ToObject(Argument(parameters, 0, "CallStatus"));
      break;
    case kCallDtmfReceivedDispid:
      event.kind = SkypeComEvent::Kind::CallDtmfReceived;
      event.code = ToText(Argument(parameters, 1, "CallDtmfReceived"));
      event.call = ToObject(Argument(parameters, 0, "CallDtmfReceived"));
      break;
    default:
      break;
  }
  return event;
}

}  // namespace tavoro::platform::win32
