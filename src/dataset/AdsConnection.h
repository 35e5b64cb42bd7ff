// A connection to a database folder or a server, the way the dataset
// components reach the engine.
//
// Tables and queries name their connection in DatabaseName and find it
// through a process-wide registry of the live connections, by Name and
// without regard to case, at the moment they need it; the first dataset to
// need a connection that is not connected connects it. Disconnecting closes
// every table and query open on the connection first.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace engine {
class Connection;
}

// The kinds of server a connection may use.
enum TAdsServerType : uint8_t {
  stADS_REMOTE = 1,  // a database server
  stADS_LOCAL = 2,   // the local engine in this process
};
using TAdsServerTypes = uint8_t;  // a set of TAdsServerType bits

// A dataset that is open on a connection. The connection tells it when it
// is about to go away.
class TAdsConnectionClient {
 public:
  // Close now: the connection is being disconnected or destroyed.
  virtual void CloseForDisconnect() = 0;

 protected:
  ~TAdsConnectionClient() = default;
};

class TAdsConnection : public QObject {
  Q_OBJECT
  Q_CLASSINFO("Unit", "AdsDataset")

 public:
  explicit TAdsConnection(QObject* owner = nullptr);
  ~TAdsConnection() override;

  // The connection's name is its objectName. Another live connection of the
  // same name (ignoring case) refuses the new name (EDatabaseError).
  std::string Name() const;
  void SetName(const std::string& name);
  // The first live connection named `name` ignoring case, or nullptr.
  static TAdsConnection* FindConnection(const std::string& name);

  std::string ConnectPath;
  // The server types the connection may use (empty: either, by the path's
  // form). With stADS_REMOTE a path on a mounted network share reaches its
  // server; without stADS_LOCAL a folder on no server is refused (6420).
  TAdsServerTypes AdsServerTypes = 0;

  bool IsConnected() const { return connection_ != nullptr; }
  // True connects to ConnectPath (EADSDatabaseError on failure); false
  // closes the datasets open on the connection and disconnects. Either does
  // nothing when the connection is in that state already.
  void SetIsConnected(bool connected);

  // Fired around a real disconnect, in this order: BeforeDisconnect (an
  // exception from it cancels the disconnect), the datasets are closed and
  // the engine connection released, AfterDisconnect, then OnDisconnect. A
  // connection destroyed while connected disconnects the same way, and
  // closes its datasets even when BeforeDisconnect refuses.
  std::function<void(TAdsConnection&)> BeforeDisconnect;
  std::function<void(TAdsConnection&)> AfterDisconnect;
  std::function<void(TAdsConnection&)> OnDisconnect;

  // "Local", "Remote" or "Internet" as the engine reports the connection;
  // empty when not connected.
  std::string ConnectionTypeText() const;
  // A data dictionary property; a connection to a folder of free tables
  // (every connection this engine makes) has none and answers 0.
  uint32_t DDGetDatabaseProperty(uint16_t property) const;
  // The kernel id of the thread that created the connection.
  uint64_t CreatorThreadId() const { return creator_thread_id_; }

  // For the dataset components. REQUIRES: IsConnected().
  const engine::Connection& EngineConnection() const { return *connection_; }
  void AttachClient(TAdsConnectionClient& client);
  void DetachClient(TAdsConnectionClient& client);
  size_t ClientCount() const { return clients_.size(); }

 private:
  void Disconnect();
  void CloseClients();

  std::unique_ptr<engine::Connection> connection_;
  std::vector<TAdsConnectionClient*> clients_;  // open datasets, in the order they opened
  uint64_t creator_thread_id_;
};

// The connection named `database_name` for `component`, connected: an
// EDatabaseError when there is none, an EADSDatabaseError when it cannot
// connect.
TAdsConnection& UseConnection(const std::string& database_name, const QObject& component);
