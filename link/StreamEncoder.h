// The boot loader tells protocol bits by the width of low pulses on its receive line: a low
// pulse of one bit time is a 1, of two bit times a 0. TStreamEncoder packs such pulses into the
// bytes of an 8N1 serial line, several bits per byte, and never lets a pulse cross a stop bit.
#pragma once

#include <cstdint>
#include <string>

class TStreamEncoder {
public:
  // Empties the encoder and reserves room for a whole download chunk.
  void Reset();
  // Appends one protocol bit. BitIndex 31 marks the last bit of a long, which matters only to
  // the high-speed rule.
  void EncodeBit(uint8_t Value, int32_t BitIndex, bool HighSpeed);
  // Appends one high time slot.
  void EncodeIdleSlot();
  // Appends the 32 bits of Value, least significant first; at high speed one idle slot follows.
  void EncodeLong(uint32_t Value, bool HighSpeed);
  // Closes the open frame and hands out every encoded byte; the encoder is empty afterwards.
  std::string Flush();
  // Number of completed bytes waiting (the open frame is not counted).
  int32_t ByteCount() const { return static_cast<int32_t>(Completed.size()); }

private:
  void SetNextSlotHigh() { Frame |= 1u << (FrameSlots - FreeSlots); }
  void FillFrame();
  void AppendFrame(uint8_t ExtraBits = 0);
  void StartFrame(uint32_t Image, int32_t Free);

  // A frame image holds eleven time slots: slot 0 is the previous stop bit (or the idle line),
  // slot 1 the start bit, slots 2..9 the data bits, slot 10 this byte's stop bit.
  static constexpr int32_t FrameSlots = 10;

  std::string Completed;
  uint32_t Frame = 0;
  int32_t FreeSlots = FrameSlots;
};
