// The program's exceptions: one base class with a class name and a message,
// and the kinds that carry more.
//
// Failures travel as exceptions up to the boundary of each operation, which
// logs them (the activity log writes ClassName() and Message()) and turns
// them into a result. The base lives in the common layer so that every layer
// above, the dataset components with their engine error among them, can
// derive from it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
 public:
  explicit Exception(std::string Message) : message_(std::move(Message)) {}

  // The name of the object's class as the log shows it: the dynamic type's
  // name ("EOleSysError").
  virtual std::string ClassName() const;

  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A failure reported by a system component as a 32-bit status code.
class EOleSysError : public Exception {
 public:
  EOleSysError(std::string Message, int32_t ErrorCode)
      : Exception(std::move(Message)), error_code_(ErrorCode) {}

  int32_t ErrorCode() const { return error_code_; }

 private:
  int32_t error_code_;
};

// The class name and message of any exception: ClassName() and Message() for
// ours, the type's name and what() for any other.
std::string ExceptionClassName(const std::exception& E);
std::string ExceptionMessage(const std::exception& E);
