#include <winsock2.h>
// After winsock2.h, which must come before windows.h.
#include "desktop/sip_peer.h"

#include <fstream>
#include <iterator>
#include <thread>

#include "win32/wide_text.h"

namespace tavoro::e2e {

using platform::win32::Narrow;

namespace {

bool Holds(std::string_view line, std::string_view part) {
  return line.find(part) != std::string_view::npos;
}

// The running statistics baresip rewrites in place during a call: "[0:00:04] audio=64000/...",
// the first figure being what it sends.
bool IsStatistics(std::string_view line) {
  return !line.empty() && line.front() == '[' && Holds(line, "] audio=");
}

bool Is(SipPeer::Event event, std::string_view line) {
  switch (event) {
    case SipPeer::Event::Incoming:
      return Holds(line, ": Incoming call from:");
    case SipPeer::Event::Established:
      return Holds(line, ": Call established:");
    case SipPeer::Event::EndedByFar:
      // A hang-up (BYE) or a caller giving up (CANCEL); the peer's own ends read otherwise.
      return Holds(line, ": session closed:");
    case SipPeer::Event::Sounding:
      return IsStatistics(line) && !Holds(line, "] audio=0/");
  }
  return false;
}

}  // namespace

SipPeer::SipPeer()
    : console_(Narrow(Environment(L"TAVORO_SIP_PEER_CONSOLE"))),
      log_(Environment(L"TAVORO_SIP_PEER_LOG")) {
  WSADATA wsa;
  ::WSAStartup(MAKEWORD(2, 2), &wsa);
  Skip();
}

SipPeer::~SipPeer() {
  ::WSACleanup();
}

bool SipPeer::Command(std::string_view command) const {
  const auto colon = console_.find(':');
  if (colon == std::string::npos)
    return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = ::inet_addr(console_.substr(0, colon).c_str());
  to.sin_port = ::htons(static_cast<u_short>(std::stoi(console_.substr(colon + 1))));
  // A line, as typed; a single key goes alone, which the console takes as that key.
  const std::string text = command.size() == 1 ? std::string(command) : std::string(command) + "\n";
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET)
    return false;
  const int sent = ::sendto(s, text.data(), static_cast<int>(text.size()), 0,
                            reinterpret_cast<const sockaddr*>(&to), sizeof to);
  ::closesocket(s);
  return sent == static_cast<int>(text.size());
}

bool SipPeer::Key(std::string_view codes) const {
  for (const char code : codes) {
    if (!Command(std::string(1, code)))
      return false;
    // Each tone lasts a while; keyed on top of each other they would merge.
    std::this_thread::sleep_for(milliseconds(250));
  }
  return true;
}

std::vector<std::string> SipPeer::Lines() const {
  std::ifstream in(log_, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from_));
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  // The statistics end in a carriage return only, so both end a line.
  std::vector<std::string> lines;
  std::string line;
  for (const char c : text) {
    if (c != '\r' && c != '\n') {
      line += c;
    } else if (!line.empty()) {
      lines.push_back(std::move(line));
      line.clear();
    }
  }
  return lines;
}

std::size_t SipPeer::Count(Event event) const {
  std::size_t count = 0;
  for (const std::string& line : Lines())
    count += Is(event, line) ? 1 : 0;
  return count;
}

bool SipPeer::WaitFor(Event event, std::size_t count, milliseconds limit) const {
  return WaitUntil([&] { return Count(event) >= count; }, limit);
}

void SipPeer::Skip() {
  std::error_code unknown;
  const std::uintmax_t size = fs::file_size(log_, unknown);
  from_ = unknown ? 0 : size;
}

std::string SipPeer::Log() const {
  std::string log;
  for (const std::string& line : Lines()) {
    if (!IsStatistics(line))
      log += line + "\n";
  }
  return log;
}

}  // namespace tavoro::e2e
