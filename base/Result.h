// Failures travel as values: an error kind, a message naming the file and the problem, and
// the path the failure concerns, so that a caller decides by kind and path, never by text.
#pragma once

#include <cassert>
#include <filesystem>
#include <string>
#include <utility>
#include <variant>

namespace kivo {

enum class ErrorKind {
  NotFound,    // a file to read is not there, or no status can be taken of it
  CannotOpen,  // it is there but cannot be opened or created as asked
  NotRegular,  // a directory, pipe, socket or device where a regular file belongs
  Io,          // a read or write failed
  Changed,     // a file changed between two looks at it
  Format,      // bytes that are not what they should be
  Capacity,    // more than the format holds
  Invalid,     // a request that makes no sense (bad name, bad argument)
};

struct Error {
  ErrorKind kind;
  std::string message;
  std::filesystem::path path;  // the file the failure concerns; empty when none
};

inline Error MakeError(ErrorKind kind, std::string message, std::filesystem::path path = {}) {
  return Error{kind, std::move(message), std::move(path)};
}

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}      // NOLINT: implicit by design
  Result(Error error) : state_(std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  T& value() & { assert(ok()); return std::get<T>(state_); }
  const T& value() const& { assert(ok()); return std::get<T>(state_); }
  T&& value() && { assert(ok()); return std::get<T>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const Error& error() const { assert(!ok()); return std::get<Error>(state_); }

 private:
  std::variant<T, Error> state_;
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT: implicit by design

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { assert(failed_); return error_; }

 private:
  Error error_{ErrorKind::Io, {}, {}};
  bool failed_ = false;
};

}  // namespace kivo

// Returns the error of a failed Result or Status from the enclosing function, which returns a
// Result or Status itself; the expression is evaluated once.
#define KIVO_TRY(expr)                                 \
  do {                                                 \
    if (auto&& kivo_try_ = (expr); !kivo_try_) {       \
      return kivo_try_.error();                        \
    }                                                  \
  } while (0)
