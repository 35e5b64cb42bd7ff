#include "platform/HostLookup.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

namespace {

using Resolver = std::function<bool(const std::string&, IPv4Address&)>;

std::mutex& SettingsMutex() {
  static std::mutex mutex;
  return mutex;
}

Resolver& ResolverHook() {
  static Resolver hook;
  return hook;
}

unsigned& TimeoutMs() {
  static unsigned ms = kHostLookupTimeoutMs;
  return ms;
}

bool SystemResolve(const std::string& host, IPv4Address& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answer = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &answer) != 0 || !answer) return false;
  bool found = false;
  for (const addrinfo* entry = answer; entry && !found; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || !entry->ai_addr) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
    std::memcpy(address.data(), &in->sin_addr.s_addr, address.size());
    found = true;
  }
  freeaddrinfo(answer);
  return found;
}

// A name under the reserved top-level domain "invalid" never resolves.
bool IsReservedInvalidName(const std::string& host) {
  std::string name = host;
  while (!name.empty() && name.back() == '.') name.pop_back();
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "invalid" ||
         (name.size() > 8 && name.compare(name.size() - 8, 8, ".invalid") == 0);
}

// What the resolver thread and the waiting caller share; whichever leaves
// last frees it.
struct Lookup {
  std::mutex Lock;
  std::condition_variable Done;
  bool Finished = false;
  bool Found = false;
  IPv4Address Address{};
};

}  // namespace

bool LookupHostIPv4(const std::string& host, IPv4Address& address) {
  if (host.empty() || IsReservedInvalidName(host)) return false;
  Resolver resolver;
  unsigned timeout_ms = 0;
  {
    std::lock_guard<std::mutex> guard(SettingsMutex());
    resolver = ResolverHook() ? ResolverHook() : Resolver(SystemResolve);
    timeout_ms = TimeoutMs();
  }
  auto lookup = std::make_shared<Lookup>();
  try {
    // The resolver runs on a thread of its own, so that the caller can stop
    // waiting; a resolver that never answers keeps only that thread.
    std::thread([lookup, resolver, host] {
      IPv4Address found{};
      const bool ok = resolver(host, found);
      std::lock_guard<std::mutex> guard(lookup->Lock);
      lookup->Found = ok;
      lookup->Address = found;
      lookup->Finished = true;
      lookup->Done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return false;  // no thread to be had: no answer
  }
  std::unique_lock<std::mutex> guard(lookup->Lock);
  if (!lookup->Done.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                             [&lookup] { return lookup->Finished; }))
    return false;
  if (!lookup->Found) return false;
  address = lookup->Address;
  return true;
}

void SetHostResolverHook(Resolver hook) {
  std::lock_guard<std::mutex> guard(SettingsMutex());
  ResolverHook() = std::move(hook);
}

void SetHostLookupTimeout(unsigned ms) {
  std::lock_guard<std::mutex> guard(SettingsMutex());
  TimeoutMs() = ms ? ms : kHostLookupTimeoutMs;
}

}  // namespace platform
