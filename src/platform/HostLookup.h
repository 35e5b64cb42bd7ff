// Host name look-up through the system's resolver, for IPv4 addresses, with
// a bounded wait: a resolver that does not answer in time counts as a name
// that does not resolve, so no caller waits on a name for ever.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

using IPv4Address = std::array<uint8_t, 4>;

// How long LookupHostIPv4 waits for the resolver, unless a test set another
// bound.
inline constexpr unsigned kHostLookupTimeoutMs = 5000;

// The first IPv4 address of `host` (getaddrinfo, AF_INET). False when the
// name does not resolve, is empty, lies under the reserved domain "invalid"
// (answered at once, never asked of the resolver) or the resolver gives no
// answer within the bound. A numeric address resolves to itself.
bool LookupHostIPv4(const std::string& host, IPv4Address& address);

// Replaces the resolver for the whole process (tests): the hook answers as
// getaddrinfo would, true with the address or false. An empty hook restores
// the system's resolver.
void SetHostResolverHook(std::function<bool(const std::string& host, IPv4Address& address)> hook);

// Sets the bound on the wait; 0 restores kHostLookupTimeoutMs.
void SetHostLookupTimeout(unsigned ms);

}  // namespace platform
