// One client connection of dbserver: its handshake, then its requests, one
// at a time, until the client goes. The session owns everything the client
// opened: its connection to a share's folder and its tables, each under the
// same OS locks a local open takes. When the session ends, for whatever
// reason (the client closed, died, broke the protocol or stayed idle too
// long), every table is closed and every lock released at once.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ServerConfig.h"
#include "ShareRoots.h"
#include "engine/env/Connection.h"
#include "engine/net/Channel.h"
#include "engine/net/Wire.h"
#include "engine/table/Table.h"
#include "engine/table/TableIndexScan.h"

namespace dbserver {

using LogFn = std::function<void(const std::string&)>;

class Session {
 public:
  Session(const ServerConfig& config, std::unique_ptr<engine::net::Channel> channel, uint64_t id,
          LogFn log);
  ~Session();
  // Runs until the connection ends.
  void Run();
  // Ends the session from another thread (the server stops).
  void Interrupt();

 private:
  struct Reply {
    int32_t Code = 0;
    std::string Message;
    engine::net::WireWriter Body;
  };
  bool Handshake();
  void Handle(engine::net::Op op, engine::net::WireReader& in, Reply& out);
  engine::Table* TableOf(uint32_t handle, Reply& out);
  static void Fail(Reply& out, const engine::Status& status);

  void DoConnect(engine::net::WireReader& in, Reply& out);
  void DoOpen(engine::net::WireReader& in, Reply& out);
  void DoFetch(engine::Table& table, engine::net::WireReader& in, Reply& out);
  void DoScan(uint32_t handle, engine::Table& table, engine::net::WireReader& in, Reply& out);
  void DoSql(engine::net::WireReader& in, Reply& out);
  void DoInfo(engine::Table& table, engine::net::WireReader& in, Reply& out);
  void DoOrderedScan(uint32_t handle, engine::Table& table, engine::net::WireReader& in,
                     Reply& out);
  void DoSearch(uint32_t handle, engine::Table& table, engine::net::WireReader& in, Reply& out);
  void DoReadOn(uint32_t handle, engine::Table& table, engine::net::WireReader& in, Reply& out);
  void DoRewrite(engine::net::WireReader& in, Reply& out);
  void DoLoad(engine::net::Op op, engine::net::WireReader& in, Reply& out);
  // False, with 8146 in `out`, when the table file `name` of the connected
  // folder exists but resolves outside the share (a symbolic link).
  bool InsideShareOrRefuse(const std::string& name, Reply& out) const;

  const ServerConfig& config_;
  std::unique_ptr<engine::net::Channel> channel_;
  uint64_t id_;
  LogFn log_;
  std::unique_ptr<engine::Connection> connection_;
  ResolvedFolder folder_;
  std::map<uint32_t, std::unique_ptr<engine::Table>> tables_;
  // A scan of a table that goes on where the last Scan request stopped
  // (its read buffer kept); gone with its table.
  struct Scan {
    std::unique_ptr<engine::TableScanner> Scanner;
    bool Deleted = false;
    uint32_t Next = 0;
  };
  std::map<uint32_t, Scan> scans_;
  // A reading of records in an order the server chose (a tag's order, the
  // matches of a full-text search), handed out by ReadOn requests; gone
  // with its table or at the next other request on the handle.
  struct Reading {
    std::unique_ptr<engine::TableIndexScan> Ordered;  // or
    std::vector<uint32_t> Matches;
    size_t At = 0;  // the next of Matches
    std::vector<uint8_t> Record;
  };
  std::map<uint32_t, Reading> readings_;
  // Tables being loaded (import), each a new file put in place at its end;
  // abandoned when the session ends first.
  std::map<uint32_t, engine::TableLoad> loads_;
  uint32_t next_load_ = 1;
  uint32_t next_handle_ = 1;
  // The bodies of replies, kept from one to the next.
  std::vector<uint8_t> spare_body_;
};

}  // namespace dbserver
