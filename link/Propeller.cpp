#include "link/Propeller.h"

TPropeller::TPropeller(std::ostream& Out, TLinkHooks Hooks)
    : Out(Out),
      Serial(std::make_unique<TBlockSerial>()),
      StatusHook(std::move(Hooks.Status)),
      ProgressHook(std::move(Hooks.Progress)) {}

TPropeller::~TPropeller() { ClosePort(); }

uint32_t TPropeller::ImageLong(std::size_t Index) const {
  const std::size_t At = Index * 4;
  return static_cast<uint32_t>(Image[At]) | static_cast<uint32_t>(Image[At + 1]) << 8 |
         static_cast<uint32_t>(Image[At + 2]) << 16 | static_cast<uint32_t>(Image[At + 3]) << 24;
}

void TPropeller::SetImageLong(std::size_t Index, uint32_t Value) {
  const std::size_t At = Index * 4;
  for (std::size_t Byte = 0; Byte < 4; ++Byte) {
    Image[At + Byte] = static_cast<uint8_t>(Value >> (8 * Byte));
  }
}

void TPropeller::NotifyStatus(const std::string& Text) const {
  if (StatusHook) StatusHook(Text);
}

void TPropeller::NotifyProgress(TLinkStage Stage, uint32_t Done) const {
  if (ProgressHook) ProgressHook({Stage, Done});
}
