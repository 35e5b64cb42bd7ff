// The C entry points of the engine's two run-time modules, which ace32.dll
// loads with dlopen from its own folder:
//
//   adsloc32.dll  the local engine: admits a local database folder (it must
//                 be a readable folder) and refuses remote-control sessions
//                 when the settings say so.
//   axcws32.dll   the network client: looks up a server and tries a TCP
//                 connection to it within a timeout; opens TLS sessions to
//                 dbserver (handshake, certificate pinning) and carries the
//                 engine's requests and their replies (engine/net/Wire.h).
//
// Both answer an engine code (0 on success) and a message; plain C types
// only, so a module built apart from ace32.dll still fits. A module whose
// version entry answers another number than kEngineModuleAbi is refused.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define ENGINE_MODULE_ABI 2

extern "C" {

// adsloc32.dll
typedef int (*EngineLocalAbiFn)(void);
// Admits `folder` as a local database folder. `allow_remote_control` is the
// setting of adslocal.cfg. On success writes the folder's absolute, resolved
// name into `resolved`.
typedef int (*EngineLocalAdmitFolderFn)(const char* folder, int allow_remote_control,
                                        char* resolved, size_t resolved_size, char* message,
                                        size_t message_size);

// axcws32.dll
typedef int (*EngineNetAbiFn)(void);
// Tries a TCP connection to `host`:`port` for at most `timeout_ms`; 0 when a
// server accepted it (the connection is closed again), 6420 when none did.
typedef int (*EngineNetProbeServerFn)(const char* host, unsigned port, unsigned timeout_ms,
                                      char* message, size_t message_size);
// Opens a session with the server at `host`:`port`: TLS, the server's
// certificate checked against `pin_file` (pinned there on first use), then
// the handshake with this engine's version. 0 with `*session` set, or an
// engine code: 6420 no server, 6316 a server protocol too old, 6633 a server
// engine too old, 8141 a changed certificate, 8143 no TLS session, or the
// code the server refused this client with.
typedef int (*EngineNetOpenSessionFn)(const char* host, unsigned port, unsigned timeout_ms,
                                      const char* pin_file, unsigned engine_major,
                                      unsigned engine_minor, void** session, char* message,
                                      size_t message_size);
// Sends request `op` with `body` and waits for its reply: 0 with the
// reply's whole payload (its id, checked, then the engine code, message and
// body as Wire.h encodes them) in `*reply`, to be freed with
// EngineNetFreeReply; 8140 when the connection was lost, 8142 for a reply
// that does not fit the protocol.
typedef int (*EngineNetCallFn)(void* session, unsigned op, const uint8_t* body, size_t body_size,
                               uint8_t** reply, size_t* reply_size, char* message,
                               size_t message_size);
typedef void (*EngineNetFreeReplyFn)(uint8_t* reply);
// Ends the session: the server releases every handle and lock it held.
typedef void (*EngineNetCloseSessionFn)(void* session);

}  // extern "C"

// The exported names, looked up with dlsym.
#define ENGINE_LOCAL_ABI_SYMBOL "EngineLocalAbi"
#define ENGINE_LOCAL_ADMIT_FOLDER_SYMBOL "EngineLocalAdmitFolder"
#define ENGINE_NET_ABI_SYMBOL "EngineNetAbi"
#define ENGINE_NET_PROBE_SERVER_SYMBOL "EngineNetProbeServer"
#define ENGINE_NET_OPEN_SESSION_SYMBOL "EngineNetOpenSession"
#define ENGINE_NET_CALL_SYMBOL "EngineNetCall"
#define ENGINE_NET_FREE_REPLY_SYMBOL "EngineNetFreeReply"
#define ENGINE_NET_CLOSE_SESSION_SYMBOL "EngineNetCloseSession"
