// qkl-asm: assembles a cog program and writes it as a program image and/or a C++ header embedding
// it.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/Assembler.h"
#include "tools/OutputFiles.h"
#include "tools/ProgramImage.h"

namespace {

constexpr const char* kUsage =
    "usage: qkl-asm SOURCE [-o IMAGE.binary] [--header FILE.h --symbol NAME]\n"
    "  Assembles the CON and DAT blocks of SOURCE into a program image that starts the code in a "
    "new cog.\n"
    "  -o FILE        write the image (.binary)\n"
    "  --header FILE  write a C++ header that embeds the image as the array NAME (needs "
    "--symbol)\n";

struct Options {
  std::string source;
  std::string image;
  std::string header;
  std::string symbol;
};

bool parseOptions(int argc, char** argv, Options& options) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool takesValue = arg == "-o" || arg == "--header" || arg == "--symbol";
    if (takesValue && i + 1 == args.size()) return false;
    if (arg == "-o") {
      options.image = args[++i];
    } else if (arg == "--header") {
      options.header = args[++i];
    } else if (arg == "--symbol") {
      options.symbol = args[++i];
    } else if (arg.empty() || arg[0] == '-' || !options.source.empty()) {
      return false;
    } else {
      options.source = arg;
    }
  }
  bool headerComplete = options.header.empty() == options.symbol.empty();
  return !options.source.empty() && headerComplete &&
         !(options.image.empty() && options.header.empty());
}

bool readSource(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  text = contents.str();
  return in.good() || in.eof();
}

void printErrors(const std::string& source, const std::vector<qkl::pasm::Diagnostic>& errors) {
  for (const qkl::pasm::Diagnostic& error : errors) {
    std::cerr << source;
    if (error.line > 0) std::cerr << ':' << error.line << ':' << error.column;
    std::cerr << ": error: " << error.message << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::cerr << kUsage;
    return 2;
  }
  if (!options.symbol.empty() && !qkl::pasm::isIdentifier(options.symbol)) {
    std::cerr << "qkl-asm: --symbol " << options.symbol << " is not a C++ identifier\n";
    return 2;
  }
  std::string text;
  if (!readSource(options.source, text)) {
    std::cerr << "qkl-asm: cannot read " << options.source << '\n';
    return 1;
  }
  qkl::pasm::Assembly assembly = qkl::pasm::assemble(text);
  if (!assembly.errors.empty()) {
    printErrors(options.source, assembly.errors);
    return 1;
  }
  std::vector<std::uint8_t> image =
      qkl::pasm::buildProgramImage(assembly.cogCode, {assembly.clkfreq, assembly.clkmode});
  std::vector<qkl::pasm::OutputFile> files;
  if (!options.image.empty())
    files.push_back({options.image, std::string(image.begin(), image.end())});
  if (!options.header.empty()) {
    files.push_back(
        {options.header, qkl::pasm::embeddingHeader(image, options.symbol, options.source)});
  }
  std::string failure = qkl::pasm::writeFiles(files);
  if (!failure.empty()) {
    std::cerr << "qkl-asm: " << failure << '\n';
    return 1;
  }
  return 0;
}
