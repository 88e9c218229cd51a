// Every time limit of the boot protocol and of the EEPROM read-back, in milliseconds.
// Delays named "...AfterReset" are measured from the end of the DTR reset pulse (ResetMark).
#pragma once

#include <cstdint>

// DTR is held on this long to reset the chip; the chip needs a pulse of a millisecond or two.
inline constexpr uint16_t ResetPulseMs = 2;

// The chip's boot loader may emit noise while it restarts; the host starts discarding its
// input this long after the reset...
inline constexpr uint16_t DrainAfterResetMs = 35;
// ...and sends the handshake packet at this moment after the reset, when the boot loader is
// sure to be listening for the calibration byte (it gives up listening after about 150 ms).
inline constexpr uint16_t PacketAfterResetMs = 95;

// Each block read of an input drain waits this long for more bytes; a quiet block ends it.
inline constexpr int32_t DrainReadTimeoutMs = 10;
// Sound limit on one whole drain, so a line that never stops talking cannot hold the host.
inline constexpr int32_t DrainLimitMs = 1000;
// After a failed handshake answer the rest of the chip's answer is read and thrown away.
inline constexpr int32_t FailedAnswerDrainMs = 50;

// Per-byte reply time-outs. The handshake answers are clocked out by the tail of the host's
// 328-byte packet, which has left the host when its answers are read: a generous bound.
inline constexpr int32_t HandshakeReplyTimeoutMs = 200;
// A verdict poll (and a read-back sync poll) is a single 0xF9; the chip answers at once when
// it has its verdict, so a poll without answer is abandoned quickly and repeated.
inline constexpr int32_t PollReplyTimeoutMs = 50;
// The link's own programs (the fast loader) are small: their verdict is polled at this pace, since
// the chip has it as soon as it has summed RAM, some 0.1 s after the download.
inline constexpr int32_t QuickPollMs = 3;
// The boot loader sums the whole RAM in 0.15 s at its slowest clock: a verdict that has not come
// after this limit is not coming, and the fast load falls back to the classic one.
inline constexpr int64_t QuickVerdictLimitMs = 1000;
// The reader program answers every clock byte while streaming the EEPROM; half a second
// without an answer means it has stopped.
inline constexpr int32_t ReaderDataReplyTimeoutMs = 500;

// A verdict (RAM checksum, EEPROM verify) must come within this limit and within this number
// of polls.
inline constexpr int64_t VerdictLimitMs = 5000;
inline constexpr uint32_t VerdictPolls = 100;
// The EEPROM programming verdict gets longer: the boot loader programs the 32 KB EEPROM in
// about 2.2 s plus 512 times the EEPROM's page write time at its slowest (8 MHz) RC clock, 4.75 s
// with 5 ms pages, so EEPROMs with 10 ms pages need more than 5 s. The polls keep their pace.
inline constexpr int64_t ProgrammingVerdictLimitMs = 10000;
inline constexpr uint32_t ProgrammingVerdictPolls = 200;

// After its download the reader program addresses the EEPROM and calibrates on the sync polls
// before it answers one; it must do so within this window and number of polls.
inline constexpr int64_t SyncWindowMs = 5000;
inline constexpr uint32_t SyncPolls = 101;

// Longest wait of the port for a device read or write that is still pending: the writes of
// the protocol are sized so that the device takes each of them well within this time.
inline constexpr int32_t DeadlockTimeoutMs = 500;
