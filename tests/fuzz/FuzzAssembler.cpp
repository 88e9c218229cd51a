// Any source text through the assembler.
#include <cstdint>
#include <string>

#include "FuzzFailure.h"
#include "tools/Assembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Source(reinterpret_cast<const char*>(Data), Size);
  const qkl::pasm::Assembly Result = qkl::pasm::assemble(Source);
  // Code may fill the cog's 496 general registers, not the special ones above them.
  if (Result.errors.empty()) Require(Result.cogCode.size() <= 496 * 4, "the code fits a cog");
  return 0;
}
