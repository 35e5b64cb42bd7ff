#include "engine/net/RemoteSession.h"

#include <cstdlib>

#include "engine/Connection.h"
#include "engine/EngineApi.h"
#include "engine/LockedFile.h"
#include "engine/net/NetErrors.h"
#include "platform/Platform.h"

namespace engine {

std::string PinnedCertificatesFile() {
  if (const char* file = std::getenv("ENGINE_PINNED_CERTIFICATES"); file && *file) return file;
  return FolderOfPath(platform::ExecutableFileName()) + "/" + kPinnedCertificatesFileName;
}

RemoteSession::~RemoteSession() {
  if (session_) module_.CloseSession(session_);
}

Result<std::shared_ptr<RemoteSession>> RemoteSession::Open(const EngineEnvironment& environment,
                                                           const ServerPath& server) {
  auto module = LoadNetworkModule(environment.Folder);
  if (!module) return module.status();
  std::shared_ptr<RemoteSession> session(new RemoteSession());
  session->module_ = *module;
  session->where_ = server.Host + ":" + std::to_string(server.Port);
  char message[1024] = {0};
  const std::string pins = PinnedCertificatesFile();
  const int code = module->OpenSession(server.Host.c_str(), server.Port, kServerConnectTimeoutMs,
                                       pins.c_str(), kEngineMajorVersion, kEngineMinorVersion,
                                       &session->session_, message, sizeof message);
  if (code != 0) {
    session->session_ = nullptr;
    return Status(code, message);
  }
  return session;
}

Result<std::vector<uint8_t>> RemoteSession::Call(net::Op op, const net::WireWriter& body) {
  uint8_t* reply = nullptr;
  size_t reply_size = 0;
  char message[1024] = {0};
  const int code = module_.Call(session_, static_cast<unsigned>(op), body.Bytes().data(),
                                body.Bytes().size(), &reply, &reply_size, message, sizeof message);
  if (code != 0) return Status(code, message);
  net::WireReader r(std::span<const uint8_t>(reply, reply_size));
  const int32_t answer = r.I32();
  std::string text = r.Text();
  if (!r.Ok()) {
    module_.FreeReply(reply);
    return MalformedReply(*this, op);
  }
  std::vector<uint8_t> rest(reply + (reply_size - r.Left()), reply + reply_size);
  module_.FreeReply(reply);
  if (answer != 0) return Status(answer, std::move(text));
  return rest;
}

Status MalformedReply(const RemoteSession& session, net::Op op) {
  return Status(AE_SERVER_PROTOCOL, "The server " + session.Where() + " answered request " +
                                        std::to_string(static_cast<int>(op)) +
                                        " outside the protocol");
}

}  // namespace engine
