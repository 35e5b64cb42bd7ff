// TDBConnectionDM: the process's main database connection, and every
// connect the program makes.
//
// The main connection `DBConnection` is connected to the database folder as
// soon as the data module exists and lives until the program ends. A rebuild
// run disconnects it and works through an exclusive connection of its own
// ("CONNECTEXCLUSIVE" and a random number), made and freed here.
#pragma once

#include <QObject>
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
// when connected. Never raises.
bool SetConnectionParams(TAdsConnection& connection, const std::string& path);

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
