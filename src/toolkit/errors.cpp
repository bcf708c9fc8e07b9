#include "toolkit/errors.h"

#include <cstring>

EInOutError::EInOutError(const std::string& path, int errorNumber)
    : Exception(path + ": " + std::strerror(errorNumber)), errorCode_(errorNumber), reason_(std::strerror(errorNumber)) {}

EInOutError::EInOutError(const std::string& path, const std::string& reason)
    : Exception(path + ": " + reason), reason_(reason) {}
