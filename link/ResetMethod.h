// How a link session resets the chip: the modem line whose pulse drives the chip's reset. Most
// boards wire DTR (the Prop Plug, the FTDI adapters); some adapters and wireless modules wire
// RTS. Each method keeps the other line where the port's set-up leaves it (DTR off, RTS on), so
// that only the chosen line moves during the reset.
#pragma once

#include <string>

class TResetMethod {
public:
  virtual ~TResetMethod() = default;
  // The name users choose it by: "dtr", "rts".
  virtual const char* Name() const = 0;
  // DTR and RTS while the chip is held in reset (Active) and while it runs.
  virtual bool Dtr(bool Active) const = 0;
  virtual bool Rts(bool Active) const = 0;
};

const TResetMethod& DtrReset();
const TResetMethod& RtsReset();
// The method of that name, or none.
const TResetMethod* ResetMethodNamed(const std::string& Name);
