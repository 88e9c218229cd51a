// The far end of a Wine test port: a pseudo-terminal whose slave a Wine COM port is linked
// to. It echoes every byte back, or with --mute never reads, so that the host's output backs
// up. Usage: qkl-wine-peer [--mute] <link path>; prints the slave path, runs until SIGTERM.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

volatile sig_atomic_t Stopping = 0;

void Stop(int) { Stopping = 1; }

void CatchStopSignals() {
  struct sigaction Action {};
  Action.sa_handler = Stop;
  sigemptyset(&Action.sa_mask);
  sigaction(SIGINT, &Action, nullptr);
  sigaction(SIGTERM, &Action, nullptr);
}

[[noreturn]] void Fail(const char* What) {
  std::fprintf(stderr, "qkl-wine-peer: %s: %s\n", What, std::strerror(errno));
  std::exit(2);
}

// Keeps a slave descriptor open, so the master never sees a hang-up between the host's
// opens, and sets the line raw before the host configures it.
int HoldRawSlave(int Master) {
  if (::grantpt(Master) != 0 || ::unlockpt(Master) != 0) Fail("unlocking the pseudo-terminal");
  const int Slave = ::open(::ptsname(Master), O_RDWR | O_NOCTTY);
  if (Slave < 0) Fail("opening the slave");
  termios Line{};
  if (::tcgetattr(Slave, &Line) != 0) Fail("reading the line settings");
  ::cfmakeraw(&Line);
  if (::tcsetattr(Slave, TCSANOW, &Line) != 0) Fail("setting the line raw");
  return Slave;
}

void Echo(int Master) {
  char Buffer[4096];
  const ssize_t Count = ::read(Master, Buffer, sizeof Buffer);
  for (ssize_t Sent = 0; Count > 0 && Sent < Count;) {
    const ssize_t Part = ::write(Master, Buffer + Sent, static_cast<size_t>(Count - Sent));
    if (Part < 0 && errno != EINTR && errno != EAGAIN) return;
    if (Part > 0) Sent += Part;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool Mute = argc == 3 && std::string(argv[1]) == "--mute";
  if (argc != (Mute ? 3 : 2)) {
    std::fprintf(stderr, "usage: qkl-wine-peer [--mute] <link path>\n");
    return 1;
  }
  const std::filesystem::path LinkPath = argv[argc - 1];
  const int Master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (Master < 0) Fail("opening a pseudo-terminal");
  const int Slave = HoldRawSlave(Master);
  std::error_code Error;
  std::filesystem::remove(LinkPath, Error);
  std::filesystem::create_symlink(::ptsname(Master), LinkPath, Error);
  if (Error) Fail("linking the slave");
  CatchStopSignals();
  std::printf("%s\n", ::ptsname(Master));
  std::fflush(stdout);
  while (!Stopping) {
    pollfd Poll{Master, static_cast<short>(Mute ? 0 : POLLIN), 0};
    if (::poll(&Poll, 1, 100) > 0 && (Poll.revents & POLLIN)) Echo(Master);
  }
  std::filesystem::remove(LinkPath, Error);
  ::close(Slave);
  ::close(Master);
}
