// Single-letter option scanner. Options are returned in command-line order; the non-option
// arguments passed over are collected and end up, in their order, behind the options.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

constexpr char EndOfOptions = '\xFF';

// Index of the next argument to scan; 0 before scanning starts. After EndOfOptions it is
// the index of the first non-option argument, or n+1 when there is none.
extern int32_t OptionIndex;
// Argument of the option just returned; empty when it has none.
extern std::string OptionArgument;

// OptionString lists the letters; one colon after a letter marks a required argument, two
// an optional one. Returns the letter, '?' for an unknown letter or a missing argument
// (after printing a message on Messages), or EndOfOptions.
char NextOption(const std::string& OptionString, std::ostream& Messages);
