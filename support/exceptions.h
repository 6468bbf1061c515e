// The exception classes shared by the whole program. Every exception carries
// one message text (8-bit, in the ANSI code page); callers show it as it is.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace support {

// Root of all exceptions that carry a message.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Streams: seek failures, put-back overflow.
class EStreamError : public Exception {
  using Exception::Exception;
};
// A file stream could not open an existing file.
class EFOpenError : public EStreamError {
  using EStreamError::EStreamError;
};
// A file stream could not create a file.
class EFCreateError : public EStreamError {
  using EStreamError::EStreamError;
};
// A stream delivered fewer bytes than a caller required.
class EReadError : public EStreamError {
  using EStreamError::EStreamError;
};
// A stream accepted fewer bytes than a caller required.
class EWriteError : public EStreamError {
  using EStreamError::EStreamError;
};
// Containers: index and capacity violations, duplicates, misuse of sorted lists.
class EListError : public Exception {
  using Exception::Exception;
};
// Container streaming: a class that is not in the class registry.
class EClassNotFound : public Exception {
  using Exception::Exception;
};
// A resource could not be loaded or locked.
class EOutOfResources : public Exception {
  using Exception::Exception;
};
// A block of memory could not be allocated.
class EOutOfMemory : public Exception {
  using Exception::Exception;
};

}  // namespace support
