#include "db/DatGenDBConnectionDM.h"

#include <memory>

#include "common/DatGenDateTime.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenRandom.h"
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "dataset/AdsConnection.h"
#include "diag/DatHE_Unit.h"
#include "platform/Platform.h"

namespace {

TDBConnectionDM*& TheConnectionDM() {
  static TDBConnectionDM* dm = nullptr;
  return dm;
}

void PrepareConnection(TAdsConnection& connection, const std::string& path) {
  connection.SetIsConnected(false);
  connection.AdsServerTypes = IsServerInstallation() ? stADS_REMOTE : stADS_LOCAL;
  connection.ConnectPath = path;
}

}  // namespace

TDBConnectionDM::TDBConnectionDM() {
  setObjectName("DBConnectionDM");
  RegisterDataModule(this);  // the exception reporter finds its queries
  DBConnection = new TAdsConnection(this);
  DBConnection->SetName("DBConnection");
  DBConnection->BeforeDisconnect = [](TAdsConnection&) {
    WriteLog("xClose-1.DBConnectionBeforeDisconnect", "");
  };
  DBConnection->AfterDisconnect = [](TAdsConnection&) {
    WriteLog("xClose-2.DBConnectionAfterDisconnect", "");
  };
  DBConnection->OnDisconnect = [](TAdsConnection&) {
    WriteLog("xClose-3.DBConnectionDisconnect", "");
  };
  SetConnectionParams(*DBConnection, GetDBPath());
}

TDBConnectionDM* ConnectionDM() {
  return TheConnectionDM();
}

bool EnsureConnectionDM() {
  if (!TheConnectionDM())
    TheConnectionDM() = new TDBConnectionDM();  // lives until the program ends
  return TheConnectionDM()->DBConnection->IsConnected();
}

void FreeConnectionDM() {
  UnregisterDataModule(TheConnectionDM());
  delete TheConnectionDM();
  TheConnectionDM() = nullptr;
}

bool OpenMainConnection() {
  if (!TheConnectionDM()) return false;
  try {
    TheConnectionDM()->DBConnection->SetIsConnected(true);
    return TheConnectionDM()->DBConnection->IsConnected();
  } catch (const std::exception& e) {
    WriteLog(nullptr, ".OpenMainConnection", "", &e);
    return false;
  }
}

bool SetConnectionParams(TAdsConnection& connection, const std::string& path) {
  bool connected = false;
  try {
    PrepareConnection(connection, path);
    connection.SetIsConnected(true);
    connected = true;
  } catch (const std::exception& e) {
    try {
      WriteLog(nullptr, "DatGenDBConnectionDM.SetConnectionParams-Err",
               BoolToYN(connected) + "\r\n" + "\r\n" + "\r\n" + GetConnInfo(&connection), &e);
    } catch (...) {
      // Logging never changes the outcome of a connect.
    }
  }
  WriteLog("DatGenDBConnectionDM.SetConnectionParams-Gen",
           BoolToYN(connected) + "\r\n" + GetConnInfo(&connection));
  return connected;
}

TAdsConnection* CreateExclusiveConnection(const std::string& path, bool& connected) {
  const std::string name = "CONNECTEXCLUSIVE" + IntToStr(Random(100000));
  std::unique_ptr<TAdsConnection> connection;
  try {
    connection = std::make_unique<TAdsConnection>(nullptr);
    connection->SetName(name);
  } catch (const std::exception& e) {
    WriteLog(nullptr, "DatGenDBConnectionDM.CreateConnection", name, &e);
    throw;
  }
  connected = SetConnectionParams(*connection, path);
  return connection.release();
}

void FreeConnection(TAdsConnection*& connection) {
  TAdsConnection* doomed = connection;
  connection = nullptr;
  if (!doomed || (TheConnectionDM() && doomed == TheConnectionDM()->DBConnection)) return;
  try {
    doomed->SetIsConnected(false);
  } catch (...) {
    return;  // a connection that cannot be disconnected is abandoned, not freed
  }
  delete doomed;
}

std::string GetConnInfo(const TAdsConnection* connection) {
  std::string text = "ConnInfo: " + std::string(IsServerInstallation() ? "1" : "0") + " ";
  const std::string exe = platform::ExecutableFileName();
  text += exe == GetModuleName() ? exe : exe + " " + GetModuleName();
  if (!connection) return text + " Con is Nil";
  text += " " + connection->ConnectionTypeText();
  text += " " + std::string(connection->IsConnected() ? "1" : "0");
  text += " " + connection->ConnectPath;
  text += " " + connection->Name();
  text += " " + IntToStr(connection->DDGetDatabaseProperty(111));
  text += " " + IntToStr(connection->DDGetDatabaseProperty(112));
  text += " " + IntToStr(static_cast<long long>(connection->CreatorThreadId()));
  return text + "\r\n\r\n" + GetAdsIniInfo();
}

std::string GetAdsIniInfo() {
  const std::string named = InstallationDefaults().General.AppPath + "ads.ini";
  // Found whatever the case of its name, as the system's own file look-up
  // would find it.
  const std::string located = LocateFile(named);
  const std::string file = located.empty() ? named : located;
  std::string text;
  try {
    if (located.empty()) return "NO ADS " + file;
    // The system's short date and long time formats, as the rest of the
    // connection entry writes its dates.
    const platform::LocaleSettings locale = platform::GetLocaleSettings();
    text =
        file + " " +
        FormatDateTime(locale.ShortDateFormat + " " + locale.LongTimeFormat, GetFileDateTime(file));
    text += "\r\n\r\n" + ReadTextFileToString(file);
    return text;
  } catch (const std::exception& e) {
    return "ERROR-\r\n" + ExceptionMessage(e) + "\r\n" + file + "\r\n" + text;
  }
}
