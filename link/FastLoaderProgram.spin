' Fast loader: the chip side of the fast load, in two stages. The boot loader loads this program, the
' first stage, in mode 1 at 115200 baud and starts it on the RC clock. It only measures the rate the
' host offers, takes packets with a CRC and answers them, switches to a crystal image's clock, and
' starts the second stage (FastLoaderStage.spin) that the host sends it at that rate. The second
' stage takes the image, starts it as the boot loader starts an image, writes or reads the EEPROM,
' or shuts the chip down.
'
' ---- the line --------------------------------------------------------------------------------------
' P31 from the host, P30 to the host, at one rate both ways; frames of a start bit, 8 data bits
' (least significant first) and two stop bits (8N2). The host MUST send two stop bits at every rate,
' the fast ones included: the second stop bit is the receiving cog's time to store a long and be back
' for the next start bit (see MIN_BIT); with one, the chip loses bytes at the fastest rate of each
' clock. The chip's frames have two stop bits from this stage and one from the second, whose next
' start bit comes two bit times later at the earliest; a UART reads either.
' The RC clock is 8 to 20 MHz and not known better, so the program measures the host's bit time:
'
'   attempt   host: the line idle for at least 10 ms, then $80 (one low pulse of 8 bit times) and
'             $FF at the rate it offers, then packets (a first one to check the rate). The chip
'             waits for 2 ms of idle line (5 ms at 8 MHz), measures the low pulse and takes an
'             eighth of it as its bit time, in clocks. A bit time below MIN_BIT clocks is too fast
'             for the receive loop: the chip says nothing and waits for the next attempt. On the
'             RC clock that leaves 230400 baud at 8 MHz, 460800 at 12 MHz, 921600 at 20 MHz; at
'             80 MHz (CLOCK) 3000000. The host offers its rates from the highest down and takes the
'             first whose check packet (a data packet without data) is acknowledged within its
'             reply time; a rate that later fails is left the same way (the host goes quiet, then
'             makes an attempt at the next rate).
'
' ---- packets ---------------------------------------------------------------------------------------
'   header    long H, then long !H (a header that does not match its complement: the chip goes
'             back to waiting for an attempt, and the host, missing its acknowledge, makes one)
'               H[31]     0 = data, 1 = command
'               H[30..24] sequence number, chosen by the host, different from the last packet's
'               H[23..16] data: the count of data longs, 0..255; command: its code
'               H[15..0]  data: the hub address of the first data long; command: its parameter
'   pad       the byte $FF (one low bit time: the chip finds it, does its work for a part while the
'             line is high, and finds the next part's start bit after it)
'   data      the data longs (none for a command or a count of 0), then a pad
'   CRC       one long, the CRC-32 (reflected, polynomial $EDB88320, initial and final value
'             $FFFFFFFF) of the header long H and the data longs, each least significant byte first;
'             then a pad
'
' The chip answers each packet with one byte once its CRC is checked: the sequence number for a
' good packet, the sequence number + $80 for a bad one. Data longs go to their RAM address as they
' come, so a packet sent again replaces what a bad one left. The host may have several packets in
' flight (its window); the chip keeps up with packets sent back to back at any rate it accepted.
'
' Commands, acknowledged like data packets, then, in the first stage:
'   CLOCK (6), parameter: bits 7..0 an image's clkmode, a crystal or PLL mode; bits 15..8 the
'             oscillator's settling time in units of 256 bit times of the rate the CLOCK came at
'             (the host's crystal-timed bit, so the wait does not depend on the RC clock; the host
'             asks for at least 10 ms). The chip switches as the boot loader does: the oscillator
'             and PLL enabled with the RC clock still selected, the settling time, the answer, then
'             the mode selected (the image's start later leaves it so). A clkmode that the chip
'             runs at already (RCFAST, say) changes nothing, and its answer is followed by a byte:
'             the bit time the chip measured, in clocks (at most 255), from which the host knows
'             the RC clock and the rates it can take. The receiving cog waits for
'             a new attempt after any CLOCK packet, answered good or bad; its idle line is over by
'             the time of the answer, so the host makes the attempt at a rate for the new clock as
'             soon as the answer is in.
'   START (4), parameter: the hub address of the second stage's code, sent before as data packets
'             at the rate the host goes on with, which it writes into the code's second long (in
'             baud: with the bit time it gives the second stage the clock, for its I2C times and its
'             watchdog): the checking cog restarts with that code. START is answered by the second
'             stage once it runs; the host sends nothing more until then.
'   any other the chip shuts down.
' In the second stage (CLOCK and START: the chip shuts down):
'   RUN (1), parameter: the end of the image in RAM (its long count * 4, at most vbase rounded up)
'             the rest of RAM is cleared, $FFF9FFFF written at dbase - 8 and dbase - 4, and the
'             32768 bytes summed; the byte VERDICT_PASS follows when the sum is 0 modulo 256, and
'             the image is started as the boot loader starts one: unless the word at $0006 is $0010
'             the chip shuts down; CLK := clkmode with the RC clock still selected, 20 ms at 20 MHz
'             for the oscillator and PLL to settle when the image enables them and CLOCK did not,
'             CLK := clkmode, the Spin interpreter in cog 0 with PAR = $0004, every other cog
'             stopped. VERDICT_FAIL: the chip shuts down.
'   EEPROM_SHUTDOWN (2) and EEPROM_RUN (3), parameter as RUN's: RAM and its verdict as for RUN;
'             after VERDICT_PASS the chip writes RAM into the EEPROM, skipping the pages that
'             already hold it, and verifies every page; then VERDICT_PASS or VERDICT_FAIL, and the
'             chip shuts down, or for EEPROM_RUN after a pass starts the image as RUN does.
'             To stop it (the user's Ctrl-C), the host sends zero bytes back to back, or a break,
'             until the answer: the chip finishes the page in progress and answers VERDICT_ABORTED
'             ($C3), a map of the pages it wrote (64 bytes, page n in bit n // 8 of byte n / 8) and
'             the map's CRC-32, and shuts down. It looks at the line after each page, twice, four
'             bit times apart, so that one look falls into a zero's nine low bit times.
'   READ (5), parameter: the size in KB, 32 or 64 (a 24LC512): two more cogs, started from the
'             second stage's code (which must still be in RAM where START found it), read the
'             EEPROM from address 0 into a ring in RAM ($0000 to $3FFF, the counts at $4000 to
'             $400F) and fold it into the CRC-32, and the chip sends the bytes, then their CRC-32
'             (as the packets', least significant byte first), and shuts down.
' The second stage's watchdog waits 1.5 s for a packet, and 94 ms for a long to send, at any clock.
' Shutdown: every other cog stopped, every pin released, CLK := $02 (no clock).

' ---- the chip's side -------------------------------------------------------------------------------
' Two cogs run this code. The receiving cog (PAR = 0) measures the rate and puts the packets'
' longs into hub RAM: a data packet's longs at their address, the header's two longs and the CRC into
' the last three longs of RAM, which no image uses (dbase - 4 <= $7FF8, and vbase <= dbase - 8), and
' which the end of a RUN clears or overwrites. Each byte's start bit is found by WAITPNE (after a
' WAITPEQ for the stop bit when bit 7 was a 0) and its eight bits are sampled in their middles by
' WAITCNT, so the receiving cog waits almost all the time; its only hub write per long falls between
' a long's last bit and the next start bit. Once a packet is in, it writes its bit time and last the
' header into the mailbox: MAIL_CRC = the CRC, MAIL_BIT = the bit time, MAIL_HEAD = the header.
' The checking cog (PAR <> 0) looks at MAIL_HEAD every POLL_CLOCKS, checks the CRC of a new packet
' from RAM while the next one comes in, and answers on P30; START replaces its code with the second
' stage's, which goes on from the mailbox. It is the watchdog as well: with no new packet for
' WATCHDOG_POLLS looks (1.5 s at 20 MHz, 3.75 s at 8 MHz, 0.375 s at 80 MHz) it shuts the chip down,
' which ends every wait of the receiving cog too.

CON
  _clkfreq = 12_000_000
  _clkmode = $00                        ' internal fast RC clock, 8 to 20 MHz

  CODE = $0018                          ' hub address of this code: the object's DAT, pbase + 8
  MAIL_CRC = $7FF4                      ' also the header while it comes in
  MAIL_BIT = $7FF8                      ' also the header's complement while it comes in
  MAIL_HEAD = $7FFC

  ' The receive loop's limits, in clocks of a bit: its samples at least 18 clocks apart, and from a
  ' long's last sample some 40 clocks (a hub write of up to 23 among them) to the next look for a
  ' start bit, which comes 2.5 bit times later with two stop bits (1.5 with one stop bit, where the
  ' emulator still lost bytes at 25 to 26.4 clocks a bit). With two, the emulator took every packet at
  ' 19.4 to 43 clocks a bit, over RC clocks of 8 to 20 MHz.
  MIN_BIT = 20
  ' From a start bit's falling edge: WAITPNE ends and MOV reads CNT 4 clocks later; TEST samples
  ' INA 5 clocks after the WAITCNT's target.
  SAMPLE_DELAY = 9
  IDLE_POLLS = 3_333                    ' 12 clocks each: 2 ms at 20 MHz
  POLL_CLOCKS = 256
  WATCHDOG_POLLS = 117_188              ' 1.5 s at 20 MHz

  COMMAND_START = 4                     ' the codes of the commands run here
  COMMAND_CLOCK = 6
  NAK = $80
  CLOCK_OFF = 2

DAT
                org     0
entry           mov     x, par wz
        if_nz   jmp     #check
                cogid   x                        ' the checking cog's PAR: this cog's number + 8, * 4
                or      x, #8
                shl     x, #18
                or      x, checking_cog
                coginit x wc
        if_c    jmp     #shutdown

' ---- receiving cog: an attempt at a rate -----------------------------------------------------------
calibrate       mov     k, idle_count
:idle           test    rx_mask, ina wc
        if_nc   jmp     #calibrate
                djnz    k, #:idle
                waitpne rx_mask, rx_mask         ' the $80's start bit
                neg     bit, cnt
                waitpeq rx_mask, rx_mask         ' its data bit 7
                add     bit, cnt
                add     bit, #4
                shr     bit, #3
                cmp     bit, #MIN_BIT wc
        if_c    jmp     #calibrate
                waitpne rx_mask, rx_mask         ' the pad
                waitpeq rx_mask, rx_mask
                mov     first, bit               ' from a start bit's edge to the middle of bit 0
                shr     first, #1
                add     first, bit
                sub     first, #SAMPLE_DELAY

' ---- receiving cog: packets ------------------------------------------------------------------------
packet          mov     ptr, crc_mail            ' the header and its complement
                mov     bytes, #8
                test    rx_mask, rx_mask wz      ' Z = 0: no long completed before the first byte
                call    #receive
                rdlong  head, crc_mail
                xor     data, head
                add     data, #1 wz              ' Z: the complement matched
        if_nz   jmp     #calibrate
                mov     ptr, head
                and     ptr, address_mask
                mov     bytes, head
                shr     bytes, #16
                and     bytes, #$FF
                cmp     head, command_bit wc     ' NC: a command, which has no data
        if_nc   mov     bytes, #0
                shl     bytes, #2 wz
        if_z    jmp     #:crc
                call    #receive                 ' Z = 0 here
:crc            mov     ptr, crc_mail
                mov     bytes, #4
                test    rx_mask, rx_mask wz
                call    #receive
                wrlong  bit, bit_mail
                wrlong  head, head_mail          ' the packet is in
                mov     x, head
                shr     x, #16
                and     x, #$FF
                cmp     x, #COMMAND_CLOCK wz
        if_z    cmp     head, command_bit wc     ' NC: a command
        if_z_and_nc jmp #calibrate               ' the rate's bit time changes with the clock
                jmp     #packet

' Receives `bytes` bytes into `data`, the first one lowest, and writes each completed long to `ptr`,
' `ptr` going up by 4 after each (from the first byte of the next long on); then waits out the pad
' that follows. Z = 0 on entry.
receive if_nc   waitpeq rx_mask, rx_mask         ' after a 0 in bit 7: the stop bit
                waitpne rx_mask, rx_mask         ' the start bit
                mov     t, cnt
                add     t, first
                waitcnt t, bit                   ' bit 0
                test    rx_mask, ina wc
                rcr     data, #1
        if_z    add     ptr, #4                  ' the last byte completed a long
                waitcnt t, bit                   ' bit 1
                test    rx_mask, ina wc
                rcr     data, #1
                sub     bytes, #1
                waitcnt t, bit                   ' bit 2
                test    rx_mask, ina wc
                rcr     data, #1
                test    bytes, #3 wz             ' Z: this byte completes a long
                waitcnt t, bit                   ' bit 3
                test    rx_mask, ina wc
                rcr     data, #1
                waitcnt t, bit                   ' bit 4
                test    rx_mask, ina wc
                rcr     data, #1
                waitcnt t, bit                   ' bit 5
                test    rx_mask, ina wc
                rcr     data, #1
                waitcnt t, bit                   ' bit 6
                test    rx_mask, ina wc
                rcr     data, #1
                waitcnt t, bit                   ' bit 7
                test    rx_mask, ina wc
                rcr     data, #1
        if_z    wrlong  data, ptr
                tjnz    bytes, #receive
        if_nc   waitpeq rx_mask, rx_mask         ' the pad that follows: its start bit
                waitpne rx_mask, rx_mask
                waitpeq rx_mask, rx_mask         ' and its line high, until the next byte
receive_ret     ret

' ---- checking cog ----------------------------------------------------------------------------------
check           mov     outa, tx_mask            ' P30 idle high
                mov     dira, tx_mask
                neg     last_head, #1            ' a header the host never sends
                wrlong  last_head, head_mail
await           mov     k, watchdog_count
                mov     t, cnt
                add     t, #POLL_CLOCKS
:poll           waitcnt t, #POLL_CLOCKS
                rdlong  head, head_mail
                cmp     head, last_head wz
        if_z    djnz    k, #:poll
        if_z    jmp     #shutdown
                rdlong  crc_got, crc_mail        ' before the next packet's header replaces them
                rdlong  bit, bit_mail
                mov     last_head, head
                neg     crc, #1
                mov     x, head
                mov     k, #32
                call    #crc_bits
                mov     ptr, head
                and     ptr, address_mask
                mov     n, head
                shr     n, #16
                and     n, #$FF
                cmp     head, command_bit wc
        if_nc   mov     n, #0
                tjz     n, #:checked
:data           rdlong  x, ptr
                mov     k, #32
                call    #crc_bits
                add     ptr, #4
                djnz    n, #:data
:checked        xor     crc, crc_got
                add     crc, #1 wz               ' Z: the CRC matched (its final value inverted)
                mov     reply, head
                shr     reply, #24
                and     reply, #$7F
        if_nz   or      reply, #NAK
        if_z    cmp     head, command_bit wc     ' NC: a good command
        if_nz_or_c jmp  #:answer
                mov     x, head
                shr     x, #16
                and     x, #$FF
                cmp     x, #COMMAND_START wz
        if_z    jmp     #start_stage
                cmp     x, #COMMAND_CLOCK wz
        if_z    jmp     #switch_clock
                jmp     #shutdown
:answer         call    #send
                jmp     #await

' CLOCK: CLK := the parameter's low byte as the boot loader switches it: oscillator and PLL as the
' mode wants with the RC clock still selected, the parameter's high byte * 256 bit times (+ 1) for
' them to settle, the answer, then the mode; or, when it is so already, the answer and the bit time.
switch_clock    mov     x, head
                shr     x, #8
                and     x, #$FF
                and     head, #$FF
                cmp     head, clock wz
        if_z    jmp     #:unchanged
                mov     clock, head
                andn    head, #7
                clkset  head
                shl     x, #8
                add     x, #1
                mov     t, cnt
                add     t, bit
:settle         waitcnt t, bit
                djnz    x, #:settle
                call    #send
                clkset  clock
                jmp     #await
:unchanged      call    #send
                mov     reply, bit
                max     reply, #255
                call    #send
                jmp     #await

' START: this cog restarts with the second stage's code, PAR = this cog's PAR (the receiving cog's
' number + 8, * 4) + the CLK value it runs at * 64.
start_stage     mov     x, clock
                shl     x, #6
                or      x, par
                shl     x, #16
                and     head, address_mask
                shl     head, #2
                or      x, head
                cogid   t
                or      x, t
                coginit x

' The clock off: every cog stops, and no pin is driven once this cog releases P30.
shutdown        mov     dira, #0
                mov     x, #CLOCK_OFF
                clkset  x

' Sends the byte `reply` on P30 at `bit` clocks a bit: each bit goes out at a WAITCNT's target, the
' last one (a second stop bit) only to end the stop bit.
send            or      reply, stop_bits
                shl     reply, #1                ' the start bit
                mov     k, #11
                mov     t, cnt
                add     t, #16
:bit            waitcnt t, bit
                shr     reply, #1 wc
                muxc    outa, tx_mask
                djnz    k, #:bit
send_ret        ret

' Folds the `k` low bits of `x` into the CRC-32 `crc`, least significant first.
crc_bits        xor     crc, x
:bit            shr     crc, #1 wc
        if_c    xor     crc, crc_polynomial
                djnz    k, #:bit
crc_bits_ret    ret

' ---- constants -------------------------------------------------------------------------------------
rx_mask         long    1 << 31
tx_mask         long    1 << 30
idle_count      long    IDLE_POLLS
watchdog_count  long    WATCHDOG_POLLS
crc_mail        long    MAIL_CRC
bit_mail        long    MAIL_BIT
head_mail       long    MAIL_HEAD
address_mask    long    $FFFC
command_bit     long    $8000_0000
crc_polynomial  long    $EDB8_8320
stop_bits       long    $FFFF_FF00
clock           long    0                       ' the CLK value this program runs at, RCFAST
' COGINIT: this code in any free cog (the checking cog, PAR set at run time).
checking_cog    long    CODE >> 2 << 4 | %1000

' ---- variables -------------------------------------------------------------------------------------
x               res     1
k               res     1
t               res     1
bit             res     1
first           res     1
ptr             res     1
bytes           res     1
data            res     1
head            res     1
last_head       res     1
crc             res     1
crc_got         res     1
n               res     1
reply           res     1
                fit
