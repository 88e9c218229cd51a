// Errors the front end raises and leaves to the top-level handler (exit code 217).
#pragma once

#include <stdexcept>

// A text that is not an integer.
class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A file that cannot be opened or read.
class EInOutError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
