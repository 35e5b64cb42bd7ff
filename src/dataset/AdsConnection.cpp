#include "dataset/AdsConnection.h"

#include <algorithm>
#include <mutex>

#include "common/DatGenStringsFunctions.h"
#include "dataset/ComponentNames.h"
#include "dataset/EADSDatabaseError.h"
#include "dataset/EDatabaseError.h"
#include "engine/env/Connection.h"
#include "platform/Platform.h"

namespace {

// The live connections, in the order they were created.
struct Registry {
  std::mutex Lock;
  std::vector<TAdsConnection*> Connections;
};

Registry& Connections() {
  static Registry registry;
  return registry;
}

TAdsConnection* FindLocked(const Registry& registry, const std::string& name,
                           const TAdsConnection* except) {
  if (name.empty()) return nullptr;
  for (TAdsConnection* connection : registry.Connections) {
    if (connection != except && SameText(connection->Name(), name)) return connection;
  }
  return nullptr;
}

static_assert(stADS_REMOTE == engine::kServerTypeRemote && stADS_LOCAL == engine::kServerTypeLocal,
              "the dataset's server types are the engine's");

}  // namespace

TAdsConnection::TAdsConnection(QObject* owner)
    : QObject(owner), creator_thread_id_(platform::CurrentThreadId()) {
  Registry& registry = Connections();
  std::lock_guard<std::mutex> guard(registry.Lock);
  registry.Connections.push_back(this);
}

TAdsConnection::~TAdsConnection() {
  try {
    Disconnect();
  } catch (...) {
    // A notification that fails while its connection is destroyed has
    // nowhere to report to; the connection goes all the same, below.
  }
  CloseClients();
  connection_.reset();
  Registry& registry = Connections();
  std::lock_guard<std::mutex> guard(registry.Lock);
  std::erase(registry.Connections, this);
}

std::string TAdsConnection::Name() const {
  return ComponentName(*this);
}

void TAdsConnection::SetName(const std::string& name) {
  Registry& registry = Connections();
  std::lock_guard<std::mutex> guard(registry.Lock);
  if (FindLocked(registry, name, this)) {
    throw EDatabaseError("A connection named \"" + name + "\" exists already");
  }
  SetComponentName(*this, name);
}

TAdsConnection* TAdsConnection::FindConnection(const std::string& name) {
  Registry& registry = Connections();
  std::lock_guard<std::mutex> guard(registry.Lock);
  return FindLocked(registry, name, nullptr);
}

void TAdsConnection::SetIsConnected(bool connected) {
  if (!connected) {
    Disconnect();
    return;
  }
  if (connection_) return;
  auto made = engine::Connection::Connect(ConnectPath, AdsServerTypes);
  if (!made) RaiseAdsError(made.status(), AdsErrorPlace(this));
  connection_ = std::move(made.value());
}

void TAdsConnection::Disconnect() {
  if (!connection_) return;
  if (BeforeDisconnect) BeforeDisconnect(*this);
  CloseClients();
  connection_.reset();
  if (AfterDisconnect) AfterDisconnect(*this);
  if (OnDisconnect) OnDisconnect(*this);
}

void TAdsConnection::CloseClients() {
  // Closing a dataset detaches it, so work on a copy of the list.
  const std::vector<TAdsConnectionClient*> open = clients_;
  for (TAdsConnectionClient* client : open) client->CloseForDisconnect();
  clients_.clear();
}

std::string TAdsConnection::ConnectionTypeText() const {
  return connection_ ? std::string(connection_->TypeText()) : std::string();
}

uint32_t TAdsConnection::DDGetDatabaseProperty(uint16_t /*property*/) const {
  return 0;
}

void TAdsConnection::AttachClient(TAdsConnectionClient& client) {
  if (std::find(clients_.begin(), clients_.end(), &client) == clients_.end())
    clients_.push_back(&client);
}

void TAdsConnection::DetachClient(TAdsConnectionClient& client) {
  std::erase(clients_, &client);
}

TAdsConnection& UseConnection(const std::string& database_name, const QObject& component) {
  TAdsConnection* connection = TAdsConnection::FindConnection(database_name);
  if (!connection) {
    throw EDatabaseError(ComponentName(component) + ": there is no connection named \"" +
                         database_name + "\"");
  }
  connection->SetIsConnected(true);
  return *connection;
}
