// CRC-16/MODBUS, the check the EEPROM reader program sends after the 32 KB it read.
#pragma once

#include <cstdint>

inline constexpr uint16_t Crc16ModbusInitial = 0xFFFF;

inline uint16_t Crc16ModbusUpdate(uint16_t Crc, uint8_t Byte) {
  for (int Bit = 0; Bit < 8; ++Bit) {
    const bool Carry = ((Crc ^ Byte) & 1) != 0;
    Crc = static_cast<uint16_t>(Crc >> 1);
    if (Carry) Crc ^= 0xA001;  // polynomial 0x8005, bit-reversed
    Byte = static_cast<uint8_t>(Byte >> 1);
  }
  return Crc;
}
