#include "frontend/WatchedOutput.h"

TWatchedOutput::TWatchedOutput(std::streambuf& Target, TProgressLine& Line)
    : Target(Target), Line(Line) {}

TWatchedOutput::int_type TWatchedOutput::overflow(int_type Ch) {
  if (traits_type::eq_int_type(Ch, traits_type::eof())) return traits_type::not_eof(Ch);
  const char Byte = traits_type::to_char_type(Ch);
  return xsputn(&Byte, 1) == 1 ? Ch : traits_type::eof();
}

std::streamsize TWatchedOutput::xsputn(const char* Data, std::streamsize Size) {
  Line.Clear();
  const std::streamsize Written = Target.sputn(Data, Size);
  Target.pubsync();
  Line.Wrote(Data, static_cast<std::size_t>(Written));
  return Written;
}

int TWatchedOutput::sync() { return Target.pubsync(); }
