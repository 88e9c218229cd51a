// Stand-in for the Spin interpreter when no ROM is loaded: runs the top-level method of an
// image as far as a launcher needs it (push constants, push a PBASE-relative address,
// COGINIT, RETURN into the ROM's COGID/COGSTOP at $FFF9). Any other bytecode is refused.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/cog/Hub.h"

namespace qkl::cog {

class SpinLauncher {
 public:
  // Approximate cost of one bytecode in the real interpreter.
  static constexpr uint64_t kCyclesPerBytecode = 32;

  enum class Action {
    kNone,     // the bytecode is done
    kCogInit,  // start a cog with CogInitValue(), then call CogInitDone()
    kStop,     // the top method returned: cog 0 stops itself
  };

  // Reads pbase, dbase and pcurr from the image header at $0006, $000A and $000C.
  explicit SpinLauncher(const Hub& hub);

  // Runs the bytecode at pcurr. Throws EmulationError for anything it does not run.
  Action Execute(const Hub& hub);
  Action Pending() const { return pending_; }
  uint32_t CogInitValue() const { return cogInitValue_; }
  void CogInitDone(uint32_t id, bool noCogFree);

 private:
  uint32_t Fetch(const Hub& hub);
  void Push(uint32_t value) { stack_.push_back(value); }
  uint32_t Pop(uint32_t bytecode, uint32_t address);
  Action CogInit(uint32_t bytecode, uint32_t address);
  Action Return(const Hub& hub, uint32_t address);

  uint32_t pbase_;
  uint32_t dbase_;
  uint32_t pcurr_;
  std::vector<uint32_t> stack_;
  Action pending_ = Action::kNone;
  uint32_t cogInitValue_ = 0;
  bool pushResult_ = false;
};

}  // namespace qkl::cog
