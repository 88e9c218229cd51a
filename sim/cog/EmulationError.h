// The error that stops the emulated chip: something it does not model, or a program doing
// what the chip cannot (a write to ROM, a read of an absent ROM, a bytecode the native
// launcher does not run).
#pragma once

#include <stdexcept>
#include <string>

namespace qkl::cog {

class EmulationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qkl::cog
