#include "frontend/UnhandledError.h"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <typeinfo>

#include "frontend/Texts.h"

namespace {

std::string Demangle(const char* Name) {
  int Status = 0;
  const std::unique_ptr<char, decltype(&std::free)> Readable(
      abi::__cxa_demangle(Name, nullptr, nullptr, &Status), &std::free);
  return Status == 0 && Readable ? Readable.get() : Name;
}

std::string CurrentClassName() {
  const std::type_info* Type = abi::__cxa_current_exception_type();
  return Type ? Demangle(Type->name()) : UnknownErrorClassText;
}

std::string CurrentMessage() {
  try {
    throw;
  } catch (const std::exception& Error) {
    return Error.what();
  } catch (...) {
    return {};
  }
}

}  // namespace

std::string UnhandledErrorReport() {
  return UnhandledErrorText(CurrentClassName(), CurrentMessage());
}
