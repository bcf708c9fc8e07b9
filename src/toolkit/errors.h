#pragma once
// Exception types of the program. Every one carries the text that the top-level
// error report shows to the user unchanged.

#include <stdexcept>
#include <string>

// Base of every exception the program raises on purpose.
class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A serial port could not be opened or set up. Carries the fixed English text of
// the failing step (for example "Error opening serial port:ttyUSB0").
class ECommsError : public Exception {
public:
  using Exception::Exception;
};

// A file operation failed. The message names the path and the operating
// system's reason (errno text), so the cause survives to the message box.
class EInOutError : public Exception {
public:
  EInOutError(const std::string& path, int errorNumber);
  EInOutError(const std::string& path, const std::string& reason);
  int ErrorCode() const { return errorCode_; }
  // The reason alone, without the path: the errno text or the given reason.
  const std::string& Reason() const { return reason_; }

private:
  int errorCode_ = 0;
  std::string reason_;
};

// A text the user typed is not a number: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
  using Exception::Exception;
};
