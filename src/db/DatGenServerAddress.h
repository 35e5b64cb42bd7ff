// The server's address and the path relative to the server, worked out from
// a connect path, for the second connect attempt through an address-and-port
// path when the server could not be found through the connect path itself.
//
// Three kinds of connect path are understood: a UNC path (\\host\share\...),
// a path on a mounted network share (its UNC form from the mount table), and
// anything else, taken as local.
#pragma once

#include <string>

struct TServerAddress {
  std::string Address;     // dotted decimal, or empty
  std::string ServerPath;  // empty or beginning with a backslash
  std::string Diagnostic;  // every step, for the connection's log entry
};

// The address of the server of `path`, its path on the server and the
// diagnostic text of the steps. Never raises.
TServerAddress GetServerAddress(const std::string& path);

// The drive part of a path: "C:" for a drive letter; \\host\share for a UNC
// path; for a path of this system, the mount point that holds it; else
// empty.
std::string ExtractDrivePart(const std::string& path);

// The first IPv4 address of `host` as dotted decimal text, or empty when the
// name does not resolve (logged "GetHostIp-F2"). The wait on the resolver is
// bounded. Never raises.
std::string GetHostIp(const std::string& host);
