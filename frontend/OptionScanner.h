// Single-letter option scanner over one argument vector. Options are returned in command-line
// order; the non-option arguments passed over are collected and end up, in their order, behind
// the options.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

constexpr char EndOfOptions = '\xFF';

class TOptionScanner {
public:
  // Element 0 is the running program's path, 1..n the command-line arguments.
  explicit TOptionScanner(std::vector<std::string> Arguments);

  // OptionString lists the letters; one colon after a letter marks a required argument, two
  // an optional one. Returns the letter, '?' for an unknown letter or a missing argument
  // (after printing a message on Messages), or EndOfOptions.
  char Next(const std::string& OptionString, std::ostream& Messages);

  // Index of the next argument to scan. After EndOfOptions it is the index of the first
  // non-option argument, or n+1 when there is none.
  int32_t Index() const { return OptionIndex; }
  // Argument of the option just returned; empty when it has none.
  const std::string& OptionArgument() const { return FOptionArgument; }
  // The vector as the scan has reordered it so far.
  const std::vector<std::string>& Arguments() const { return FArguments; }
  int32_t ArgumentCount() const { return static_cast<int32_t>(FArguments.size()) - 1; }
  // Empty text for an index outside 0..n.
  std::string Argument(int32_t At) const;

private:
  bool BlockIsEmpty() const { return FirstNonOption == LastNonOption; }
  void MoveBlockBehindOptions();
  void MoveBlockIfOptionsFollow();
  bool FindOptionElement();
  char Complain(std::ostream& Messages, const std::string& Message, char Letter) const;
  std::string TakeRestOfElement();

  std::vector<std::string> FArguments;
  int32_t OptionIndex = 1;
  std::string FOptionArgument;
  std::size_t Position = 0;  // inside a group of letters such as -ft; 0 between elements
  int32_t FirstNonOption = 1;
  int32_t LastNonOption = 1;
};
