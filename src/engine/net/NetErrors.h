// The engine's codes for server connections (docs/engine-errors.md).
#pragma once

namespace engine {

inline constexpr int AE_SERVER_CONNECTION_LOST = 8140;      // the server went during a request
inline constexpr int AE_SERVER_CERTIFICATE_CHANGED = 8141;  // not the certificate pinned for it
inline constexpr int AE_SERVER_PROTOCOL = 8142;             // a frame or reply outside the protocol
inline constexpr int AE_SERVER_TLS = 8143;                  // no TLS session could be made
inline constexpr int AE_SERVER_LIMIT = 8145;                // over a limit of the server
inline constexpr int AE_SHARE_PATH = 8146;                  // no such share, or a path leaving it

// The oldest engine on a server that this client works with.
inline constexpr unsigned kOldestServerEngineMajor = 11;
inline constexpr unsigned kOldestServerEngineMinor = 10;

}  // namespace engine
