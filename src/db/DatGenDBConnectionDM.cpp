#include "db/DatGenDBConnectionDM.h"

#include <QGuiApplication>
#include <memory>

#include "common/DatGenAppNamesServices_Unit.h"
#include "common/DatGenDateTime.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenRandom.h"
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "common/TStringList.h"
#include "dataset/AdsConnection.h"
#include "dataset/EADSDatabaseError.h"
#include "db/DatGenServerAddress.h"
#include "diag/DatHE_Unit.h"
#include "platform/Platform.h"
#include "ui/DatGenDisplayAdsMsg_Unit.h"
#include "ui/GenMsg_Unit.h"

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

// The text with each "%s" or "%S" replaced by the next of `values`.
std::string FillIn(std::string text, const std::vector<std::string>& values) {
  size_t from = 0;
  for (const std::string& value : values) {
    size_t at = text.find("%s", from);
    const size_t upper = text.find("%S", from);
    if (at == std::string::npos || (upper != std::string::npos && upper < at)) at = upper;
    if (at == std::string::npos) break;
    text.replace(at, 2, value);
    from = at + value.size();
  }
  return text;
}

const char* const kLocalAccessText =
    "Procedure halted due to data database/server access error.\n\rVerify server is operating "
    "and this computer has access to the server folder.";

// The operator is told with the ordinary cursor, whatever a run had set.
void RestoreDefaultCursor() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
}

}  // namespace

std::string ServerAccessText(const std::string& connect_path) {
  return std::string(
             "Procedure halted due to data server access error.\n\rVerify server is operating and "
             "this computer has access to the server folder.") +
         "\n\r" + "(" + connect_path + ")";
}

std::string ConnectFailureText(uint32_t code, bool server_installation,
                               const std::string& connect_path, const std::string& engine_message) {
  switch (code) {
    case 6316:
      return FillIn(
          "A very old version of the SQL back-end was found. A newer version of SQL is required in "
          "order to use newer versions of %s\n\r(6316)",
          {GetProductName()});
    case 6633:
      return FillIn(
          "A very old version of the SQL back-end was found. A newer version of SQL is required in "
          "order to use newer versions of %s.(6633)",
          {GetProductName()});
    case 5185:
      return FillIn(
          "Procedure stopped.\n\r\n\rYou can run %s while using remote control technologies "
          "such as Remote Desktop, Terminal Services and Citrix.\n\rPlease contact %S support for "
          "more information on how to allow this.",
          {GetProductName(), GetProductName()});
    default:
      break;
  }
  const std::string text = server_installation
                               ? ServerAccessText(connect_path)
                               : std::string(kLocalAccessText) + "\n\r" + connect_path;
  return text + "\n\r" + "\n\r" + engine_message;
}

bool CanReConn(const std::string& path, TDataRec& rec) {
  rec = TDataRec{};
  WriteLog("CanReConn:6420-Bof", platform::ExecutableFileName());
  bool result = false;
  const std::string app = InstallationDefaults().General.AppPath;
  // The system finds a file whatever the case of its name.
  const auto existing = [](const std::string& named) { return LocateFile(named); };
  std::string file = app + "ads.ini";
  if (const std::string located = existing(file); !located.empty()) {
    // The engine's own configuration file governs the connection.
    rec.FileName = located;
    rec.Log += "FileExists-Y:" + file + "\r\n";
  } else {
    file = app + "VlxSQLinfo.ini";
    rec.FileName = file;
    if (const std::string info = existing(file); !info.empty()) {
      rec.Log += " FileExists-Y:" + file + "\r\n";
      const std::string content = ReadTextFileToString(info);
      rec.Log += " FileCnt:" + std::string("\r\n") + Trim(content) + "\r\n";
      TStringList lines;
      lines.SetText(content);
      std::string port;
      int index = -1;
      GetListValue(lines, "Port", port, index);
      rec.Ip = "IP";
      rec.Port = Trim(port).empty() ? "PortX" : Trim(port);
    } else {
      rec.Log += " FileExists-N:" + file + "\r\n";
      rec.Ip = "IP";
      rec.Port = "Port";
    }
    rec.Log +=
        " Af-Load: " + std::string("IP") + " " + rec.Ip + " " + "Port" + " " + rec.Port + "\r\n";
    // The address is always worked out from the path.
    const TServerAddress server = GetServerAddress(path);
    rec.Ip = server.Address;
    rec.ServerPath = server.ServerPath;
    if (rec.Port == "Port") rec.Port = kDefaultServerPortText;
    rec.Log += " IpInfo: " + std::string("IP") + " " + rec.ServerPath + "\r\n" + server.Diagnostic +
               "\r\n";
    rec.Log +=
        " Af-Init: " + std::string("IP") + ": " + rec.Ip + " " + "Port" + ": " + rec.Port + "\r\n";
    if (!rec.Ip.empty() && !rec.Port.empty()) {
      if (StrToIntDef(rec.Port, 0) <= 0) {
        rec.Log += " InvldPort: " + std::string("\r\n");
      } else if (!rec.ServerPath.empty()) {
        rec.Log += " VLD" + std::string("\r\n");
        result = true;
      } else {
        rec.Log += " Path Is Empty" + std::string("\r\n");
      }
    }
    rec.Log += " Af-Chk:" + std::string("IP") + " " + rec.Ip + " " + "Port" + " " + rec.Port + " " +
               "xvPath" + " " + rec.ServerPath;
  }
  WriteLog("CanReConn:6420-Eof " + BoolToYN(result), rec.Log);
  return result;
}

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
    RestoreDefaultCursor();
    std::string message;
    bool reconnected = false;
    const auto* engine_error = dynamic_cast<const EADSDatabaseError*>(&e);
    const uint32_t code = engine_error ? engine_error->ACEErrorCode() : 0;
    if (engine_error) {
      if (code == 6420 && IsServerInstallation()) {
        TDataRec rec;
        if (CanReConn(path, rec)) {
          const std::string new_path = MakeServerPath(rec.Ip, rec.Port, rec.ServerPath);
          try {
            PrepareConnection(connection, new_path);
            connection.SetIsConnected(true);
            connected = true;
            reconnected = true;
            WriteLog("FixConnPath", GetConnInfo(&connection));
          } catch (const std::exception& second) {
            message = ServerAccessText(connection.ConnectPath) + "\r\n" + "(105)" +
                      ExceptionMessage(second);
          }
        } else {
          message = ServerAccessText(connection.ConnectPath);
        }
      } else {
        message = ConnectFailureText(code, IsServerInstallation(), connection.ConnectPath,
                                     ExceptionMessage(e));
      }
    }
    if (!reconnected) {
      if (code == 5185) {
        ShowRemoteControlNotice();
      } else {
        ShowMsg(message);
      }
    }
    try {
      WriteLog(nullptr, "DatGenDBConnectionDM.SetConnectionParams-Err",
               BoolToYN(connected) + "\r\n" + message + "\r\n" + "\r\n" + GetConnInfo(&connection),
               &e);
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
