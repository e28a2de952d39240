// The interface, gateway and name-server queries against the system's own
// IP configuration lists, read here the plain way (linked, not loaded), on
// whatever adapters the host has.  Addresses are compared as bytes, so the
// system's text form does not matter; the exclusion rules read the
// library's text form, which is where they are defined.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "quorvel/net.h"

namespace {

struct Expected {
  std::vector<uint8_t> bytes;  // 4 or 16
  int prefix;
  std::string adapter;
};

// A system list fetched the two-call way; empty when the call fails.
template <typename Call>
std::vector<char> fetch(Call call) {
  ULONG size = 0;
  std::vector<char> block;
  ULONG result = call(nullptr, &size);
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    block.assign(size, 0);
    result = call(block.data(), &size);
  }
  if (result != NO_ERROR) block.clear();
  return block;
}

std::vector<char> adapters_info() {
  return fetch(
      [](void *b, ULONG *s) { return GetAdaptersInfo(static_cast<IP_ADAPTER_INFO *>(b), s); });
}

std::vector<char> adapter_addresses(ULONG family, ULONG flags) {
  return fetch([=](void *b, ULONG *s) {
    return GetAdaptersAddresses(family, flags, nullptr, static_cast<IP_ADAPTER_ADDRESSES *>(b), s);
  });
}

template <typename Record>
const Record *first(const std::vector<char> &block) {
  return block.empty() ? nullptr : reinterpret_cast<const Record *>(block.data());
}

std::vector<uint8_t> v4(const char *text) {
  uint32_t a = inet_addr(text);
  return {reinterpret_cast<uint8_t *>(&a), reinterpret_cast<uint8_t *>(&a) + 4};
}

std::vector<uint8_t> v6(const SOCKET_ADDRESS &s) {
  const auto *a =
      reinterpret_cast<const uint8_t *>(&reinterpret_cast<sockaddr_in6 *>(s.lpSockaddr)->sin6_addr);
  return {a, a + 16};
}

bool has_gateway(const IP_ADAPTER_INFO *a) {
  return strcmp(a->GatewayList.IpAddress.String, "0.0.0.0") != 0;
}

bool usable(int family, const std::vector<uint8_t> &bytes) {
  char text[64];
  inet_ntopx(family, bytes.data(), text, sizeof text);
  if (family == AF_INET)
    return strncmp(text, "127.", 4) != 0 && strcmp(text, "0.0.0.0") != 0 &&
           strncmp(text, "169.254.", 8) != 0;
  return strcmp(text, "::1") != 0 && strncmp(text, "fe80::", 6) != 0;
}

// The usable local addresses the way the system lists them.
std::vector<Expected> local_addresses(int family) {
  std::vector<Expected> out;
  if (family == AF_INET) {
    std::vector<char> list = adapters_info();
    for (auto *a = first<IP_ADAPTER_INFO>(list); a != nullptr; a = a->Next)
      for (const IP_ADDR_STRING *e = &a->IpAddressList; e != nullptr && has_gateway(a); e = e->Next)
        if (usable(family, v4(e->IpAddress.String)))
          out.push_back({v4(e->IpAddress.String), __builtin_popcount(inet_addr(e->IpMask.String)),
                         a->AdapterName});
    return out;
  }
  std::vector<char> list = adapter_addresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST);
  for (auto *a = first<IP_ADAPTER_ADDRESSES>(list); a != nullptr; a = a->Next)
    for (auto *u = a->FirstUnicastAddress; u != nullptr && a->OperStatus == IfOperStatusUp;
         u = u->Next)
      if (u->Address.lpSockaddr->sa_family == AF_INET6 && usable(family, v6(u->Address)))
        out.push_back({v6(u->Address), u->OnLinkPrefixLength, a->AdapterName});
  return out;
}

// The family's default gateway (first) and the primary adapter's name
// servers.  For IPv4 the gateway is the first adapter's that has one, the
// servers are those of the first such adapter whose details can be read.
std::vector<std::vector<uint8_t>> primary_adapter(int family) {
  std::vector<std::vector<uint8_t>> out;
  if (family == AF_INET) {
    std::vector<char> list = adapters_info();
    for (auto *a = first<IP_ADAPTER_INFO>(list); a != nullptr; a = a->Next) {
      if (!has_gateway(a)) continue;
      if (out.empty()) out.push_back(v4(a->GatewayList.IpAddress.String));
      ULONG index = a->Index;
      std::vector<char> details = fetch([index](void *b, ULONG *s) {
        return GetPerAdapterInfo(index, static_cast<IP_PER_ADAPTER_INFO *>(b), s);
      });
      if (details.empty()) continue;
      auto *d = &first<IP_PER_ADAPTER_INFO>(details)->DnsServerList;
      for (; d != nullptr; d = d->Next) out.push_back(v4(d->IpAddress.String));
      break;
    }
    return out;
  }
  std::vector<char> list = adapter_addresses(AF_INET6, GAA_FLAG_INCLUDE_GATEWAYS);
  for (auto *a = first<IP_ADAPTER_ADDRESSES>(list); a != nullptr && out.empty(); a = a->Next) {
    if (a->OperStatus != IfOperStatusUp || a->FirstGatewayAddress == nullptr ||
        a->FirstGatewayAddress->Address.lpSockaddr->sa_family != AF_INET6)
      continue;
    out.push_back(v6(a->FirstGatewayAddress->Address));
    for (auto *d = a->FirstDnsServerAddress; d != nullptr; d = d->Next)
      if (d->Address.lpSockaddr->sa_family == AF_INET6) out.push_back(v6(d->Address));
  }
  return out;
}

bool same_subnet(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, int prefix) {
  for (size_t bit = 0; bit < static_cast<size_t>(prefix) && bit < 8 * a.size(); ++bit)
    if (((a[bit / 8] ^ b[bit / 8]) >> (7 - bit % 8)) & 1) return false;
  return true;
}

// The library's text read back into bytes by the system.
std::vector<uint8_t> bytes_of(int family, const char *text) {
  uint8_t bytes[16] = {};
  EXPECT_EQ(inet_pton(family, text, bytes), 1) << text;
  return {bytes, bytes + (family == AF_INET ? 4 : 16)};
}

class IpHelper : public testing::TestWithParam<int> {};

TEST_P(IpHelper, LocalAddressesAreTheSystemsUsableOnes) {
  const int family = GetParam();
  const std::vector<Expected> want = local_addresses(family);
  ASSERT_EQ(GetLIPNum(family), static_cast<int>(want.size()));
  for (size_t i = 0; i < want.size(); ++i) {
    char ip[64] = "", name[300] = "";
    EXPECT_EQ(GetNLIP2(family, static_cast<int>(i), ip, name), want[i].prefix) << i;
    EXPECT_EQ(bytes_of(family, ip), want[i].bytes) << i << " " << ip;
    EXPECT_EQ(name, want[i].adapter) << i;
  }
  char ip[64] = "untouched";
  EXPECT_EQ(GetNLIP(family, static_cast<int>(want.size()), ip), -1);
  EXPECT_STREQ(ip, "untouched");
  if (!want.empty()) {
    EXPECT_EQ(GetNLIP(family, -3, ip), want[0].prefix);
    EXPECT_EQ(bytes_of(family, ip), want[0].bytes);
  }
}

// The gateway, the local address chosen by it and the name servers all
// come from the primary adapter.
TEST_P(IpHelper, GatewayLocalAddressAndServersAreThePrimaryAdapters) {
  const int family = GetParam();
  const std::vector<std::vector<uint8_t>> primary = primary_adapter(family);
  const std::vector<Expected> local = local_addresses(family);
  char text[64] = "";
  ASSERT_EQ(GetDefaultGateway(family, text), primary.empty() ? -1 : 0);
  if (!primary.empty()) {
    EXPECT_EQ(bytes_of(family, text), primary[0]);
  }

  // The first local address in the gateway's subnet, else the first.
  size_t chosen = 0;
  while (local.size() > 1 && !primary.empty() && chosen < local.size() &&
         !same_subnet(local[chosen].bytes, primary[0], local[chosen].prefix))
    ++chosen;
  if (chosen == local.size()) chosen = 0;
  const int prefix = GetSpecificLIP(family, text);
  if (local.empty()) {
    EXPECT_EQ(prefix, family == AF_INET ? 32 : 128);
    EXPECT_STREQ(text, family == AF_INET ? "0.0.0.0" : "::");
  } else {
    EXPECT_EQ(prefix, local[chosen].prefix);
    EXPECT_EQ(bytes_of(family, text), local[chosen].bytes);
  }

  const int servers = primary.empty() ? 0 : static_cast<int>(primary.size()) - 1;
  ASSERT_EQ(GetDnsIPNum(family), servers);
  for (int i = 0; i < servers; ++i) {
    ASSERT_EQ(GetDnsIP(family, i, text), 0) << i;
    EXPECT_EQ(bytes_of(family, text), primary[static_cast<size_t>(i) + 1]) << i;
  }
  EXPECT_EQ(GetDnsIP(family, servers, text), -1);
}

INSTANTIATE_TEST_SUITE_P(Families, IpHelper, testing::Values(AF_INET, AF_INET6),
                         [](const testing::TestParamInfo<int> &param) {
                           return std::string(param.param == AF_INET ? "IPv4" : "IPv6");
                         });

// The default local address is the IPv4 one while there is one.
TEST(IpHelperDefault, PrefersIPv4) {
  int family = 0;
  char ip[64] = "", want[64] = "";
  const int prefix = GetDefaultLIP(&family, ip);
  const bool ipv4 = !local_addresses(AF_INET).empty();
  const bool ipv6 = !local_addresses(AF_INET6).empty();
  EXPECT_EQ(family, ipv4 || !ipv6 ? AF_INET : AF_INET6);
  EXPECT_EQ(prefix, GetSpecificLIP(family, want));
  EXPECT_STREQ(ip, want);
}

}  // namespace
