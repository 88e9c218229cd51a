#include "WinePort.h"

#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>

std::string TestPort(const char* Variable) {
  const char* Value = std::getenv(Variable);
  return Value ? Value : "";
}

bool RunningUnderWine() {
  const HMODULE Ntdll = ::GetModuleHandleA("ntdll.dll");
  return Ntdll && ::GetProcAddress(Ntdll, "wine_get_version");
}

bool TransmitterModelled(const char* Variable) {
  return !RunningUnderWine() || !TestPort(Variable).empty();
}

std::string LastModemLines() {
  std::ifstream Log(TestPort("QKL_MODEM_LOG"));
  std::string Line;
  std::string Last;
  while (std::getline(Log, Line))
    if (!Line.empty()) Last = Line;
  const auto Lines = Last.find(' ');
  return Lines == std::string::npos ? "" : Last.substr(Lines + 1);
}

void OpenConfigured(TBlockSerial& Port, const std::string& Name) {
  Port.OpenDevice(Name);
  ASSERT_EQ(Port.ErrorCode(), 0) << Name << ": " << Port.ErrorDesc();
  Port.Configure(115200, 8, 'N', 0, false, false);
  ASSERT_EQ(Port.ErrorCode(), 0) << Name << ": " << Port.ErrorDesc();
}

bool WaitQueued(TBlockSerial& Port, int32_t Count) {
  const auto Start = TClock::now();
  while (Port.QueuedInput() < Count) {
    if (MsSince(Start) > 2000) return false;
    ::Sleep(1);
  }
  return true;
}

int64_t MsSince(TClock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - Start).count();
}
