#include "engine/env/RemoteSession.h"

#include <cstdlib>

#include "engine/env/Connection.h"
#include "engine/net/NetErrors.h"
#include "engine/util/EngineVersion.h"
#include "engine/util/LastError.h"
#include "engine/util/LockedFile.h"
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

Result<RemoteReply> RemoteSession::Call(net::Op op, const net::WireWriter& body) {
  uint8_t* payload = nullptr;
  size_t size = 0;
  char message[1024] = {0};
  const int code = module_.Call(session_, static_cast<unsigned>(op), body.Bytes().data(),
                                body.Bytes().size(), &payload, &size, message, sizeof message);
  if (code != 0) return Status(code, message);
  RemoteReply reply(module_.FreeReply, payload, size);
  net::WireReader r(reply);
  r.U32();  // the request's id, checked by the module
  const int32_t answer = r.I32();
  std::string text = r.Text();
  if (!r.Ok()) return MalformedReply(*this, op);
  if (answer != 0) return Status(answer, std::move(text));
  reply.SkipTo(size - r.Left());
  return reply;
}

Status MalformedReply(const RemoteSession& session, net::Op op) {
  return Status(AE_SERVER_PROTOCOL, "The server " + session.Where() + " answered request " +
                                        std::to_string(static_cast<int>(op)) +
                                        " outside the protocol");
}

}  // namespace engine
