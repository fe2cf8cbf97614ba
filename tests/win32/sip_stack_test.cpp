// The SIP stack that scripts/sip-stack.sh builds, linked as the product will link it: libre
// and baresip start from an in-memory configuration, a user agent listens on its SIP port, and
// closing the stack frees the port again.

#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>

#include <re.h>
// After <re.h>, whose declarations it builds on.
#include <baresip.h>

namespace {

// Binds 127.0.0.1:port (0: any free port) for a moment; returns the port bound, 0 if taken.
unsigned short BindUdp(unsigned short port) {
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  int size = sizeof addr;
  unsigned short bound = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), size) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &size) == 0)
    bound = ntohs(addr.sin_port);
  closesocket(s);
  return bound;
}

TEST(SipStack, UserAgentListensOnItsPortUntilTheStackCloses) {
  WSADATA wsa;  // the stack's own start-up and clean-up are counted apart from this one
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  const unsigned short port = BindUdp(0);
  ASSERT_NE(port, 0);
  const std::string at = "127.0.0.1:" + std::to_string(port);
  const std::string conf = "net_interface 127.0.0.1\nsip_listen " + at + "\n";
  ASSERT_EQ(libre_init(), 0);
  ASSERT_EQ(conf_configure_buf(reinterpret_cast<const uint8_t*>(conf.data()), conf.size()), 0);
  ASSERT_EQ(config_parse_conf(conf_config(), conf_cur()), 0);
  ASSERT_EQ(baresip_init(conf_config()), 0);
  ASSERT_EQ(ua_init("Tavoro test", true, false, false), 0);
  ua* agent = nullptr;
  ASSERT_EQ(ua_alloc(&agent, ("<sip:gw@" + at + ">;regint=0").c_str()), 0);

  EXPECT_EQ(BindUdp(port), 0) << "nothing listens on " << at;

  mem_deref(agent);
  ua_close();
  conf_close();
  baresip_close();
  mod_close();
  libre_close();
  EXPECT_EQ(BindUdp(port), port) << at << " is still taken after the stack closed";
  WSACleanup();
}

}  // namespace
