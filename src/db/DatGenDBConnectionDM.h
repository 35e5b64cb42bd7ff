// TDBConnectionDM: the process's main database connection, and every
// connect the program makes.
//
// The main connection `DBConnection` is connected to the database folder as
// soon as the data module exists and lives until the program ends. A rebuild
// run disconnects it and works through an exclusive connection of its own
// ("CONNECTEXCLUSIVE" and a random number), made and freed here.
#pragma once

#include <QObject>
#include <cstdint>
#include <string>

class TAdsConnection;

class TDBConnectionDM : public QObject {
  Q_OBJECT
  Q_CLASSINFO("Unit", "DatGenDBConnectionDM")

 public:
  // Makes DBConnection and connects it to the database folder.
  TDBConnectionDM();

  TAdsConnection* DBConnection = nullptr;
};

// The process's connection data module, or null before EnsureConnectionDM.
TDBConnectionDM* ConnectionDM();

// Makes the connection data module when there is none; answers whether the
// main connection is connected.
bool EnsureConnectionDM();

// Frees the connection data module (program end; tests that start afresh).
void FreeConnectionDM();

// Connects the main connection; false without a data module or when the
// connect fails (logged as ".OpenMainConnection").
bool OpenMainConnection();

// Connects `connection` to `path` with the installation's server type; true
// when connected. A server that cannot be found (6420) on a server
// installation is tried once more through \\address:port\\path worked out
// from `path` (CanReConn); a failure is shown to the operator (the message
// dialog, or the remote-control notice for 5185) and logged. Never raises.
bool SetConnectionParams(TAdsConnection& connection, const std::string& path);

// What CanReConn works out for the second connect attempt.
struct TDataRec {
  std::string Log;         // the diagnostic text, step by step
  std::string FileName;    // the connection file looked at
  std::string Ip;          // the server's address
  std::string Port;        // the server's port, as text
  std::string ServerPath;  // the path on the server, beginning with a backslash
};

// The server's default port.
inline constexpr const char* kDefaultServerPortText = "6262";

// Whether a second attempt through an address-and-port path makes sense for
// `path`, and its parts: none when "ads.ini" lies beside the program; the
// port of "VlxSQLinfo.ini" (or 6262 without that file), the address and the
// server path from GetServerAddress. Logged as "CanReConn:6420-Bof" and
// "CanReConn:6420-Eof ".
bool CanReConn(const std::string& path, TDataRec& rec);

// The text shown for a failed connect with the engine error `code` (other
// than the server-not-found of a server installation, which the second
// attempt handles): the old back-end texts (6316, 6633), the remote-control
// text (5185), else the server or local access text with `connect_path`
// and the engine's message.
std::string ConnectFailureText(uint32_t code, bool server_installation,
                               const std::string& connect_path, const std::string& engine_message);

// The server access text for `connect_path`.
std::string ServerAccessText(const std::string& connect_path);

// A new connection named "CONNECTEXCLUSIVE" + a random number below 100000,
// connected to `path` when possible (`connected` tells). Raises only when
// the connection object cannot be made.
TAdsConnection* CreateExclusiveConnection(const std::string& path, bool& connected);

// Disconnects and frees `connection` unless it is the main connection, then
// empties the variable. Never raises.
void FreeConnection(TAdsConnection*& connection);

// The connection info text of the log: installation kind, program, and the
// connection's type, state, path, name, dictionary properties and creating
// thread, then the engine configuration file text.
std::string GetConnInfo(const TAdsConnection* connection);

// The engine configuration file "ads.ini" beside the program: its name, date
// and content, or "NO ADS " and its name.
std::string GetAdsIniInfo();
