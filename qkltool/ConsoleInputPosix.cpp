#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "qkltool/ConsoleInput.h"

struct TConsoleInput::TSaved {
  termios Mode{};
};

TConsoleInput::TConsoleInput() {
  termios Mode{};
  if (::tcgetattr(STDIN_FILENO, &Mode) == -1) return;
  IsKeyboard = true;
  Saved = std::make_unique<TSaved>(TSaved{Mode});
  // Input only: the output processing is the terminal's own and stays as it is, so that a
  // chip's lone line feeds still start new lines.
  Mode.c_iflag &=
      ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  Mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  Mode.c_cc[VMIN] = 1;
  Mode.c_cc[VTIME] = 0;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &Mode);
}

TConsoleInput::~TConsoleInput() {
  if (Saved) ::tcsetattr(STDIN_FILENO, TCSANOW, &Saved->Mode);
}

bool TConsoleInput::Take(std::string& Into) {
  pollfd Input{STDIN_FILENO, POLLIN, 0};
  if (::poll(&Input, 1, 0) <= 0) return true;
  char Buffer[4096];
  const ssize_t Count = ::read(STDIN_FILENO, Buffer, sizeof Buffer);
  if (Count > 0) {
    Into.append(Buffer, static_cast<std::size_t>(Count));
    return true;
  }
  return Count == -1 && (errno == EINTR || errno == EAGAIN);
}
