#include "link/ResetMethod.h"

namespace {

class TDtrPulse final : public TResetMethod {
public:
  const char* Name() const override { return "dtr"; }
  bool Dtr(bool Active) const override { return Active; }
  bool Rts(bool) const override { return true; }
};

class TRtsPulse final : public TResetMethod {
public:
  const char* Name() const override { return "rts"; }
  bool Dtr(bool) const override { return false; }
  bool Rts(bool Active) const override { return Active; }
};

}  // namespace

const TResetMethod& DtrReset() {
  static const TDtrPulse Method;
  return Method;
}

const TResetMethod& RtsReset() {
  static const TRtsPulse Method;
  return Method;
}

const TResetMethod* ResetMethodNamed(const std::string& Name) {
  for (const TResetMethod* Method : {&DtrReset(), &RtsReset()})
    if (Name == Method->Name()) return Method;
  return nullptr;
}
