// The chip's end of the serial line: the master side of a pseudo-terminal, whose slave side the
// host opens like any serial port.
//
// A pseudo-terminal has no modem lines, so the host's DTR pulse cannot reach the chip. Instead
// the master runs in packet mode, and the first flush after each open of the slave by the host
// (the host discards the queues right after opening, where its DTR pulse follows; the master sees
// TIOCPKT_FLUSHREAD / TIOCPKT_FLUSHWRITE) counts as the end of a reset pulse. The host's flush as
// it closes the port is no reset: releasing DTR gives no pulse, so a program keeps running after
// the host is gone, and a terminal that opens the port without flushing can talk to it.
//
// The line keeps a slave descriptor of its own open for its whole life. The master then never
// sees a hang-up between two runs of the host, bytes keep their raw 8-bit form (the slave is set
// raw at 115200 baud before anyone else opens it), and the host's settings survive between its
// runs as on a real port. Because that descriptor keeps the terminal open, the exclusive mode a
// host takes with TIOCEXCL would outlive the host's close and lock every later open by a user
// without CAP_SYS_ADMIN out; the line therefore watches the slave device for opens and closes and
// clears exclusive mode when the host's last descriptor closes, as a real port does at its last
// close. A closed port receives nothing: what the chip sends while no host has the slave open is
// lost.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qkl::sim {

class PtyLine {
 public:
  // Throws std::system_error when no pseudo-terminal can be had.
  PtyLine();
  ~PtyLine();
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  struct Event {
    bool reset = false;    // the host's first flush since it opened the port
    bool flushed = false;  // the host flushed its queues
    std::string bytes;
  };

  const std::string& SlavePath() const { return path_; }
  bool IsOpen() const { return master_ >= 0; }
  // In packet mode the master polls POLLPRI while a flush status waits, POLLIN for host bytes.
  int MasterFd() const { return master_; }
  int WatchFd() const { return watch_; }

  // One event from the master, with at most `maxBytes` host bytes; false when nothing is taken. A
  // status is taken whatever `maxBytes` is.
  static constexpr std::size_t kAllBytes = 4096;
  bool Read(Event& into, std::size_t maxBytes = kAllBytes);
  // Takes the open and close events of the slave device.
  void ServiceWatch();
  // The rate the host set on its side, in baud, standard or not; 0 when it cannot be read.
  uint32_t LinkRate() const;
  // The stop bits of the host's frames, 1 or 2.
  int LinkStopBits() const;
  // Sends bytes to the host; what the slave cannot take yet waits for WritePending. Nothing is
  // sent while no host has the slave open.
  void Send(std::string_view bytes);
  bool WantsWrite() const { return !pending_.empty(); }
  void WritePending();
  // Unplugs the line: the host's side sees a hang-up.
  void Close();

 private:
  void Open();
  void HostClosed();

  int master_ = -1;
  int heldSlave_ = -1;
  int watch_ = -1;
  int hostOpens_ = 0;
  bool resetArmed_ = false;  // a host opened the slave and has not flushed since
  std::string path_;
  std::string pending_;
};

}  // namespace qkl::sim
