// The C entry points of the engine's two run-time modules, which ace32.dll
// loads with dlopen from its own folder:
//
//   adsloc32.dll  the local engine: admits a local database folder (it must
//                 be a readable folder) and refuses remote-control sessions
//                 when the settings say so.
//   axcws32.dll   the network client: looks up a server and tries a TCP
//                 connection to it within a timeout.
//
// Both answer an engine code (0 on success) and a message; plain C types
// only, so a module built apart from ace32.dll still fits. A module whose
// version entry answers another number than kEngineModuleAbi is refused.
#pragma once

#include <stddef.h>

#define ENGINE_MODULE_ABI 1

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

}  // extern "C"

// The exported names, looked up with dlsym.
#define ENGINE_LOCAL_ABI_SYMBOL "EngineLocalAbi"
#define ENGINE_LOCAL_ADMIT_FOLDER_SYMBOL "EngineLocalAdmitFolder"
#define ENGINE_NET_ABI_SYMBOL "EngineNetAbi"
#define ENGINE_NET_PROBE_SERVER_SYMBOL "EngineNetProbeServer"
