#include "link/StreamEncoder.h"

namespace {
constexpr std::size_t ReservedBytes = 65536;
// At high speed the last bit of a long must leave room for the idle slot after it in the same
// frame: if the idle slot opened a fresh frame it would fall on the start bit.
constexpr int32_t HighSpeedRoomForLastBit = 4;
constexpr uint8_t DataBit7 = 0x80;
}  // namespace

void TStreamEncoder::Reset() {
  Completed.clear();
  Completed.reserve(ReservedBytes);
  StartFrame(0, FrameSlots);
}

void TStreamEncoder::StartFrame(uint32_t Image, int32_t Free) {
  Frame = Image;
  FreeSlots = Free;
}

void TStreamEncoder::FillFrame() {
  while (FreeSlots > 0) {
    SetNextSlotHigh();
    --FreeSlots;
  }
}

void TStreamEncoder::AppendFrame(uint8_t ExtraBits) {
  Completed.push_back(static_cast<char>(((Frame >> 2) & 0xFF) | ExtraBits));
  StartFrame(0, FrameSlots);
}

void TStreamEncoder::EncodeBit(uint8_t Value, int32_t BitIndex, bool HighSpeed) {
  if (HighSpeed && BitIndex == 31 && FreeSlots < HighSpeedRoomForLastBit) {
    FillFrame();
    AppendFrame();
  }
  const int32_t Length = Value ? 2 : 3;  // the high slot and one or two low slots
  SetNextSlotHigh();
  FreeSlots -= Length;
  if (FreeSlots > 0) return;
  if (FreeSlots == 0) {
    AppendFrame();  // the stop bit serves as the high slot of the next bit
    return;
  }
  // The low slots would reach the stop bit: the rest of this frame stays high and the whole
  // bit is written again at the start of the next frame, its low pulse beginning with the
  // start bit.
  AppendFrame(DataBit7);
  StartFrame(1, FrameSlots - Length);
}

void TStreamEncoder::EncodeIdleSlot() {
  SetNextSlotHigh();
  if (--FreeSlots == 0) AppendFrame();
}

void TStreamEncoder::EncodeLong(uint32_t Value, bool HighSpeed) {
  for (int32_t Index = 0; Index < 32; ++Index) {
    EncodeBit(static_cast<uint8_t>((Value >> Index) & 1), Index, HighSpeed);
  }
  if (HighSpeed) EncodeIdleSlot();
}

std::string TStreamEncoder::Flush() {
  if (Frame != 0) {
    FillFrame();
    AppendFrame();
  }
  std::string Bytes(Completed);  // a copy, so the reserved buffer is kept for reuse
  Completed.clear();
  return Bytes;
}
