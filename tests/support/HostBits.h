// The host's half of the boot protocol in its plainest form, for driving a virtual chip in
// tests: one protocol bit per serial byte (0xFF is a low pulse of one bit time, a 1; 0xFE one of
// two bit times, a 0), so the bytes say plainly which bits they carry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

std::string BitBytes(const std::vector<int>& Bits);
std::string LongBytes(uint32_t Value);
// The calibration byte, the 250 shift-register bits and 258 answer windows.
std::string HandshakePacket();
// The same packet with the given 250 handshake bits.
std::string HandshakePacketFor(const std::vector<int>& Bits);
// The bits of reply bytes 0xFE and 0xFF; any other byte gives -1.
std::vector<int> ReplyBits(const std::string& Replies);
// Output bits First to Last (counted from 1) of the boot shift register from its seed.
std::vector<int> ShiftRegisterBits(int First, int Last);

// A small program image of the given number of body longs after the 16-byte header, with pbase
// 0x0010, dbase 8 bytes above vbase and a checksum byte that makes the loaded RAM sum to 0.
std::vector<uint8_t> TinyImage(int BodyLongs);
// The image with its checksum one off.
std::vector<uint8_t> WithBadChecksum(std::vector<uint8_t> Image);

}  // namespace simtest
