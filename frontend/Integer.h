#pragma once

#include <cstdint>
#include <string>

// An optional sign and decimal digits, or hexadecimal digits after 0x or $, within 32 bits;
// anything else raises EConvertError.
int32_t StrToInt(const std::string& Text);
