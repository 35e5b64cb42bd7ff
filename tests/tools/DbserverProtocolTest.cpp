// dbserver's protocol as a client meets it: the handshake and its version
// codes, clients outside the allowed ranges, a changed certificate, frames
// that break the protocol (each ends its own connection only).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "DbserverTestSupport.h"
#include "engine/env/Connection.h"
#include "engine/net/NetErrors.h"
#include "engine/sql/RemoteTable.h"
#include "engine/util/TableErrorCodes.h"

namespace {

using dbserver_test::RawClient;
using dbserver_test::ServedTable;
using dbserver_test::WaitFor;

// A TLS server of the test's own that answers one client's hello with
// `answer`, then drops the connection.
class HelloServer {
 public:
  explicit HelloServer(engine::net::HelloAnswer answer) {
    std::string error;
    engine::net::MakeServerIdentity(dir_ / "state", "hello", error);
    context_ = engine::net::MakeServerContext(dir_ / "state", error);
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(fd_, 4);
    setenv("ENGINE_PINNED_CERTIFICATES", (dir_ / "pins").c_str(), 1);
    thread_ = std::thread([this, answer] {
      const int client = accept(fd_, nullptr, nullptr);
      std::string ignored;
      auto channel = engine::net::Channel::Accept(context_, client, 5000, ignored);
      std::vector<uint8_t> hello;
      if (channel && channel->ReceiveFrame(hello, 1024, ignored) == engine::net::FrameRead::Ok)
        channel->SendFrame(engine::net::EncodeHelloAnswer(answer), ignored);
    });
  }
  ~HelloServer() {
    thread_.join();
    close(fd_);
  }
  std::string Path() const { return "\\\\127.0.0.1:" + std::to_string(port_) + "\\data\\DB"; }

 private:
  TempDir dir_;
  std::shared_ptr<SSL_CTX> context_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

TEST(DbserverHandshake, VersionsTheClientCannotWorkWithAreTheOldServerCodes) {
  struct Case {
    const char* what;
    uint16_t protocol;
    uint32_t major, minor;
    int32_t refusal;  // the server's own answer code
    int expected;
  };
  const Case cases[] = {
      {"a protocol older than the client's oldest", 0, 11, 10, 0, engine::AE_OLD_SERVER},
      {"an engine older than 11.10", 1, 11, 9, 0, engine::AE_OLD_SERVER_2},
      {"an engine of an older major version", 1, 10, 20, 0, engine::AE_OLD_SERVER_2},
      {"the server's own refusal, carried unchanged", 1, 11, 10, engine::AE_SERVER_PROTOCOL,
       engine::AE_SERVER_PROTOCOL},
      // Sound versions: the session starts, and the server that then goes is 8140.
      {"a server that goes after the handshake", 1, 11, 10, 0, engine::AE_SERVER_CONNECTION_LOST},
  };
  for (const Case& c : cases) {
    engine::net::HelloAnswer answer;
    answer.Server.Protocol = c.protocol;
    answer.Server.OldestProtocol = c.protocol;
    answer.Server.EngineMajor = c.major;
    answer.Server.EngineMinor = c.minor;
    answer.Code = c.refusal;
    answer.Message = "refused by the test's server";
    HelloServer server(answer);
    auto connection = engine::Connection::Connect(server.Path());
    ASSERT_FALSE(connection.ok()) << c.what;
    EXPECT_EQ(connection.status().Code(), c.expected)
        << c.what << ": " << connection.status().Message();
  }
}

TEST(DbserverHandshake, TheRealServerConnectsReportsItsVersionAndRefusesAnOldClient) {
  ServedTable served;
  auto connection = engine::Connection::Connect(served.Folder());
  ASSERT_TRUE(connection.ok()) << connection.status().Message();
  EXPECT_STREQ((*connection)->TypeText(), "Remote");
  auto version = engine::RemoteEngineVersion(**connection);
  ASSERT_TRUE(version.ok());
  EXPECT_EQ(version->substr(0, 6), "11.10a");

  // A client whose newest protocol is older than the server's oldest.
  std::string error;
  auto context = engine::net::MakeClientContext(error);
  engine::net::Channel::ConnectError kind;
  auto channel =
      engine::net::Channel::Connect(context, "127.0.0.1", served.server->Port(), 5000, kind, error);
  ASSERT_TRUE(channel);
  engine::net::Hello old;
  old.Protocol = 0;
  old.OldestProtocol = 0;
  std::vector<uint8_t> payload;
  ASSERT_TRUE(channel->SendFrame(engine::net::EncodeHello(old), error));
  ASSERT_EQ(channel->ReceiveFrame(payload, 4096, error), engine::net::FrameRead::Ok);
  engine::net::HelloAnswer answer;
  ASSERT_TRUE(engine::net::DecodeHelloAnswer(payload, answer));
  EXPECT_EQ(answer.Code, engine::AE_SERVER_PROTOCOL);
  EXPECT_EQ(answer.Server.Protocol, engine::net::kProtocolVersion);
}

TEST(DbserverAccess, AClientOutsideTheAllowedRangesIsRefusedBeforeAnyRequest) {
  ServedTable outside(3, {"--allow", "10.20.0.0/16"});
  auto refused = engine::Connection::Connect(outside.Folder());
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().Code(), engine::AE_SERVER_TLS) << refused.status().Message();
  EXPECT_NE(refused.status().Message().find("allowed clients"), std::string::npos);
  EXPECT_TRUE(WaitFor([&] {
    return outside.server->Log().find("refused 127.0.0.1: not among the allowed clients") !=
           std::string::npos;
  })) << outside.server->Log();
  EXPECT_EQ(outside.server->Log().find("opened"), std::string::npos) << "no session began";

  ServedTable inside(3, {"--allow", "10.20.0.0/16", "--allow", "127.0.0.1/32"});
  EXPECT_TRUE(engine::Connection::Connect(inside.Folder()).ok());
}

TEST(DbserverAccess, ACertificateOtherThanThePinnedOneIsRefused) {
  ServedTable served;
  ASSERT_TRUE(engine::Connection::Connect(served.Folder()).ok());  // pinned on first use
  ASSERT_TRUE(engine::Connection::Connect(served.Folder()).ok());  // and found again
  const uint16_t port = served.server->Port();
  const std::string pins = std::getenv("ENGINE_PINNED_CERTIFICATES");
  served.server->Stop();

  // Another server (another key) on the same address and port.
  ServerProcess::Options options;
  options.Shares = {{"data", served.share.Path()}};
  options.Port = port;
  ServerProcess impostor(options);
  setenv("ENGINE_PINNED_CERTIFICATES", pins.c_str(), 1);
  auto refused = engine::Connection::Connect(served.Folder());
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().Code(), engine::AE_SERVER_CERTIFICATE_CHANGED);
  EXPECT_NE(refused.status().Message().find("other than the one pinned"), std::string::npos)
      << refused.status().Message();
  EXPECT_NE(refused.status().Message().find(pins), std::string::npos);
  // Nothing was requested of it.
  EXPECT_EQ(impostor.Log().find("connected to"), std::string::npos);
}

TEST(DbserverFrames, AFrameBreakingTheProtocolEndsOnlyItsOwnConnection) {
  ServedTable served(3, {"--max-frame-bytes", "4096"});
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;  // sent after the handshake
    bool close_after;            // the client closes its side once sent
    const char* logged;
  };
  std::vector<uint8_t> too_long(4);
  engine::net::PutFrameHeader(too_long.data(), 4097);
  std::vector<uint8_t> truncated(4 + 10, 7);
  engine::net::PutFrameHeader(truncated.data(), 100);
  // A connect request whose path claims more bytes than the frame holds.
  engine::net::WireWriter open;
  open.U32(1).U16(static_cast<uint16_t>(engine::net::Op::Connect)).U32(1000).U8(0);
  std::vector<uint8_t> overlong_text(4);
  engine::net::PutFrameHeader(overlong_text.data(), static_cast<uint32_t>(open.Bytes().size()));
  overlong_text.insert(overlong_text.end(), open.Bytes().begin(), open.Bytes().end());
  std::vector<uint8_t> no_header(4 + 3, 1);
  engine::net::PutFrameHeader(no_header.data(), 3);
  const Case cases[] = {
      {"longer than the limit", too_long, false, "longer than the limit of 4096"},
      {"truncated", truncated, true, "ended inside a frame of 100 bytes"},
      {"a text longer than its frame", overlong_text, false, "is outside the protocol"},
      {"a request without its header", no_header, false, "has no header"},
  };
  // A client that behaves, connected all along: it keeps working.
  auto good = engine::Connection::Connect(served.Folder());
  ASSERT_TRUE(good.ok());
  auto table = engine::RemoteTable::Open(**good, "T.ADT", engine::OpenMode::Shared);
  ASSERT_TRUE(table.ok());
  for (const Case& c : cases) {
    auto raw = RawClient(served.server->Port());
    ASSERT_TRUE(raw) << c.what;
    std::string error;
    ASSERT_TRUE(raw->SendRaw(c.bytes, error)) << c.what;
    if (c.close_after) {
      raw.reset();
    } else {
      std::vector<uint8_t> reply;
      const auto read = raw->ReceiveFrame(reply, engine::net::kMaxFrameBytes, error);
      EXPECT_NE(read, engine::net::FrameRead::Ok) << c.what << ": the connection is closed";
    }
    EXPECT_TRUE(WaitFor([&] { return served.server->Log().find(c.logged) != std::string::npos; }))
        << c.what << "\n"
        << served.server->Log();
    auto count = (*table)->CountMatching();
    ASSERT_TRUE(count.ok()) << c.what;
    EXPECT_EQ(*count, 3u);
  }
}

}  // namespace

namespace {

// One request on a raw connection: the reply's engine code, or -1 when the
// server closed the connection instead of answering.
int RawRequest(engine::net::Channel& channel, uint32_t id, engine::net::Op op,
               const engine::net::WireWriter& body) {
  std::string error;
  if (!channel.SendFrame(engine::net::EncodeRequest(id, op, body.Bytes()), error)) return -1;
  std::vector<uint8_t> reply;
  if (channel.ReceiveFrame(reply, engine::net::kMaxFrameBytes, error) != engine::net::FrameRead::Ok)
    return -1;
  engine::net::WireReader r(reply);
  r.U32();
  return r.I32();
}

}  // namespace

// Handles a session does not hold are engine errors that keep the
// connection; a body that does not read as its request says ends it, and an
// unfinished load goes with its session, leaving no file behind.
TEST(DbserverFrames, HandlesAndBodiesOfReadingsAndLoadsAreChecked) {
  using engine::net::Op;
  using engine::net::WireWriter;
  ServedTable served(3);
  auto raw = RawClient(served.server->Port());
  ASSERT_TRUE(raw);
  ASSERT_EQ(RawRequest(*raw, 1, Op::Connect, WireWriter().Text("\\data\\DB")), 0);
  ASSERT_EQ(RawRequest(*raw, 2, Op::Open, WireWriter().Text("T.ADT").U8(0)), 0);
  EXPECT_EQ(RawRequest(*raw, 3, Op::ReadOn, WireWriter().U32(1).U32(10)),
            engine::AE_NO_CURRENT_RECORD);  // no reading under way
  EXPECT_EQ(RawRequest(*raw, 4, Op::Info, WireWriter().U32(99)), engine::AE_INVALID_HANDLE);
  EXPECT_EQ(RawRequest(*raw, 5, Op::LoadAppend, WireWriter().U32(7).U32(0)),
            engine::AE_INVALID_HANDLE);
  WireWriter begin;
  begin.Text("New.ADT").U8(0).U32(1).Text("K").U8(1).U32(4);
  ASSERT_EQ(RawRequest(*raw, 6, Op::LoadBegin, begin), 0);
  // Two records announced, one sent: the connection ends.
  EXPECT_EQ(
      RawRequest(*raw, 7, Op::LoadAppend,
                 WireWriter().U32(1).U32(2).Raw(std::vector<uint8_t>{0, 0, 'a', 'b', 'c', 'd'})),
      -1);
  EXPECT_TRUE(WaitFor([&] { return served.server->Log().find("closed") != std::string::npos; }))
      << served.server->Log();
  for (const auto& entry : std::filesystem::directory_iterator(served.LocalFolder()))
    EXPECT_EQ(entry.path().filename().string().rfind("New", 0), std::string::npos) << entry.path();
}
