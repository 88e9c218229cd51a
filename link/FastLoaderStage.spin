' Fast loader, second stage: the host sends this code at speed, as data packets, and the first stage's
' START restarts its checking cog with it (PAR = the receiving cog's number + 8, * 4, + the CLK value
' the chip runs at * 64). It answers START, then goes on as the checking cog did: it checks each
' packet's CRC from RAM and answers it, and is the watchdog. Then it runs the commands that end a
' load (FastLoaderProgram.spin describes them): it finishes RAM as the boot loader leaves it and
' checks its sum, starts the image, writes the EEPROM, or reads it back.
'
' EEPROM write, in this cog: for each 64-byte page it reads the page (a random read) and compares it
' with RAM; a page that differs is written, the write cycle waited out by acknowledge polling, and
' read and compared again. So each page is verified, a page found equal by its first read, a written
' one by the read after its write cycle, and the EEPROM ends holding the 32768 bytes of RAM.
' Read-back, in three cogs so that the I2C and the line each go at their own pace: a reader and a
' checker started from this code in RAM (PAR = the size in KB * 64, + CHECKER_ROLE for the checker)
' and this cog, the sender. The reader reads the EEPROM sequentially into a ring in RAM, a long at a
' time; the checker folds each long into the CRC-32; the sender sends each long once checked, then
' the CRC. Each counts what it has done in RAM, and none overtakes the one before it: the sender
' waits for the checker's count, the checker for the reader's, and the reader, when it is a ring
' ahead, for the sender's. At 12 MHz each takes some 340 clocks a byte, 0.93 s for 32 KB: the reader
' 9 I2C bits of 33 clocks and its instructions, the sender 10 bit times of 26 at 460800 and its own.
' Every wait is bounded: the polling by WRITE_TRIES tries; the watchdog's for a packet by 1.5 s (from
' the clock, as the I2C times), and the sender's for a long by as many looks of 16 clocks (94 ms);
' the rest by the instruction count.
'
' I2C: P28 = SCL, driven both ways, as the boot loader does; P29 = SDA, pulled low or released; at
' 400 kHz, each phase timed by WAITCNT in clocks derived from the chip's clock (see time_phases): the
' low time for SCL low (>= 1.3 us) and the bus free (>= 1.3 us), the high time for SCL high
' (>= 0.6 us), a start's set-up and hold (>= 0.6 us); the stop's set-up takes a low time. At 8 to
' 12 MHz the instructions between two WAITCNTs are the limit (LOW_MIN, HIGH_MIN): 242 kHz at 8 MHz,
' 364 kHz at 12 MHz; 377 kHz at 20 MHz.

CON
  _clkfreq = 12_000_000
  _clkmode = $00                        ' internal fast RC clock, 8 to 20 MHz

  MAIL_CRC = $7FF4                      ' the first stage's mailbox
  MAIL_BIT = $7FF8
  MAIL_HEAD = $7FFC
  SPIN_INTERPRETER = $F004
  IMAGE_PAR = $0004
  STAGE_ROLE = %10_0000                 ' set in the PAR the first stage gives, clear in the reader's

  POLL_CLOCKS = 256
  SETTLE_CLOCKS = 400_000               ' 20 ms at 20 MHz
  RING_COUNT = $4000                    ' the reader's count of bytes read, after its ring in RAM
  RING_BYTES = $4000
  RING_SENT = $4004                     ' the sender's count of bytes sent, at least every 256th
  RING_CHECKED = $4008                  ' the checker's count of bytes in the CRC
  RING_CRC = $400C                      ' the CRC of all of them, before their last count
  CHECKER_ROLE = %100                   ' set in the checker's PAR, clear in the reader's

  COMMAND_RUN = 1                       ' the commands' codes
  COMMAND_EEPROM_RUN = 3
  COMMAND_READ = 5
  VERDICT_PASS = $A5
  VERDICT_FAIL = $5A
  VERDICT_ABORTED = $C3
  MAP_LONGS = 16                        ' a bit for each of the 512 pages
  NAK = $80
  CLOCK_OFF = 2
  OSCILLATOR_AND_PLL = $60              ' CLK's OSCENA and PLLENA

  PAGE = 64
  DEVICE_WRITE = $A0
  DEVICE_READ = $A1
  RATE_UNSET = 3_000_000                ' the fastest: the I2C no faster, the watchdog no shorter
  ' The I2C times, 5 % over the 400 kHz minimums for the error of the clock the chip measured: SCL
  ' low 1.42 us (1.35) and a period of 2.63 us (2.5), so high 1.21 us; in clocks, (the clock / 4096)
  ' * FACTOR / 65536.
  LOW_FACTOR = 381
  HIGH_FACTOR = 324
  ' In clocks: a WAITCNT compares in its fourth clock and ends three clocks after the match, so
  ' between two of them 6 + the instructions: 16 in a read's low phase, 4 in a high phase; and 1.
  LOW_MIN = 22
  HIGH_MIN = 11
  ' In clocks, added to a read's schedule where it does more than a low phase's instructions: the
  ' acknowledge's low phase (12 more: djnz's 8 clocks, MUXNZ, ADD) and the reader's between bytes
  ' (16 more: ADD, RET, DJNZ, SUB, CALL, MOV); each with 4 of margin.
  ACK_ROOM = 16
  READ_ROOM = 20
  WRITE_TRIES = 700                     ' 13 phases each, at least 32 us at 400 kHz: 22 ms

DAT
                org     0
entry           jmp     #start
' Set by the host in the code it sends: the rate it goes on with after START, in baud. With the bit
' time the chip measured at it, it gives the clock.
rate            long    RATE_UNSET
start           mov     receiver, par
                test    receiver, #STAGE_ROLE wz
        if_z    jmp     #reader
                shr     receiver, #2
                and     receiver, #7
                mov     clock_mode, par
                shr     clock_mode, #6
                mov     outa, tx_mask            ' P30 idle high
                mov     dira, tx_mask
                rdlong  head, head_mail          ' START: its address is this code's in RAM
                mov     home, head
                and     home, address_mask
                shl     home, #2
                or      home, #%1000             ' COGINIT of this code in a free cog
                mov     last_head, head
                rdlong  bit, bit_mail
                call    #time_phases
                cmp     head, last_head wz       ' Z: a good packet
                call    #answer

' ---- packets, as the first stage's checking cog took them -------------------------------------------
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
                call    #answer
        if_z    cmp     head, command_bit wc     ' NC: a good command
        if_nz_or_c jmp  #await
                mov     command, head
                shr     command, #16
                and     command, #$FF
                cmp     command, #COMMAND_READ wz
        if_z    jmp     #read_back
                mov     x, command
                sub     x, #COMMAND_RUN
                cmp     x, #COMMAND_EEPROM_RUN wc ' C: RUN, EEPROM_SHUTDOWN or EEPROM_RUN
        if_c    jmp     #finish_ram
                jmp     #shutdown

' Sends the sequence number of the packet `head`, + NAK unless Z. Keeps Z.
answer          mov     reply, head
                shr     reply, #24
                and     reply, #$7F
        if_nz   or      reply, #NAK
                call    #send
answer_ret      ret

' ---- READ: the reader and the checker started, this cog sends each long checked, then the CRC -----
read_back       mov     n, head
                shl     n, #16
                shr     n, #6                    ' the parameter in KB, in bytes
                wrlong  zero, read_count
                wrlong  zero, checked_count
                wrlong  zero, sent_count
                mov     x, head
                shl     x, #22                   ' PAR := the parameter * 64
                or      x, home
                coginit x                        ' the reader; a cog that does not start leaves
                or      x, checker_par           ' its count as it is, and the sender's limit ends
                coginit x                        ' the wait
                mov     ptr, #0
:long           mov     k, watchdog_count
:wait           rdlong  count, checked_count
                cmp     ptr, count wc            ' C: the long is checked
        if_nc   djnz    k, #:wait
        if_nc   jmp     #shutdown
                mov     x, ptr
                and     x, ring_mask
                rdlong  data, x
                mov     bits, #4
:byte           rol     data, #8                 ' the byte read first is the long's highest
                mov     reply, data
                and     reply, #$FF
                call    #send
                djnz    bits, #:byte
                add     ptr, #4
                test    ptr, #$FF wz
        if_z    wrlong  ptr, sent_count          ' every 256 bytes: room in the ring for the reader
                cmp     ptr, n wz
        if_nz   jmp     #:long
                rdlong  crc, crc_result
                call    #send_crc
                jmp     #shutdown

' Sends the CRC-32 `crc`'s final value, least significant byte first.
send_crc        neg     x, #1
                xor     crc, x
                mov     n, #4
:byte           mov     reply, crc
                call    #send
                shr     crc, #8
                djnz    n, #:byte
send_crc_ret    ret

' ---- the end of a load: the rest of RAM as the boot loader leaves it, the checksum ------------------
finish_ram      cogstop receiver
                mov     ptr, head
                and     ptr, address_mask
                mov     n, ram_end
                sub     n, ptr
                shr     n, #2 wz
        if_z    jmp     #:markers
:zero           wrlong  zero, ptr
                add     ptr, #4
                djnz    n, #:zero
:markers        rdword  x, #$000A                ' dbase
                sub     x, #4
                wrlong  marker, x
                sub     x, #4
                wrlong  marker, x
                mov     ptr, ram_end             ' the sum of the 32768 bytes, a long at a time:
                mov     count, #0                ' a sum's low byte depends only on the addends'
:sum            sub     ptr, #4                  ' low bytes, so that of x + x >> 8 + x >> 16 +
                rdlong  x, ptr                   ' x >> 24 adds the long's four bytes; 48 clocks
                add     count, x                 ' a long (12 a byte, against 16 for RDBYTE)
                shr     x, #8
                add     count, x
                shr     x, #8
                add     count, x
                shr     x, #8
                add     count, x
                tjnz    ptr, #:sum
                test    count, #$FF wz
                mov     reply, #VERDICT_PASS
        if_nz   mov     reply, #VERDICT_FAIL
                call    #send
        if_nz   jmp     #shutdown
                cmp     command, #COMMAND_RUN wz
        if_z    jmp     #launch

' ---- EEPROM: every page written where it differs, and verified; the pages written in a map ----------
write_eeprom    call    #i2c_begin
                movd    :clear, #written_map
                movd    :mark, #written_map
                mov     n, #MAP_LONGS
:clear          mov     0-0, #0
                add     :clear, next_register
                djnz    n, #:clear
                mov     address, #0
                mov     page_bit, #1
:page           call    #compare
        if_z    jmp     #:next
                call    #write_page
:mark           or      0-0, page_bit            ' the page written, in the map
                call    #compare
        if_nz   jmp     #:verdict
:next           rol     page_bit, #1 wc          ' C: the next page's bit is in the map's next long
        if_c    add     :mark, next_register
                add     address, #PAGE
                cmp     address, ram_end wz
        if_z    jmp     #:verdict
                call    #line_low
        if_nz   jmp     #:page
                jmp     #abort
:verdict        mov     dira, tx_mask            ' the I2C pins released
                mov     reply, #VERDICT_PASS
        if_nz   mov     reply, #VERDICT_FAIL
                call    #send
        if_nz   jmp     #shutdown
                cmp     command, #COMMAND_EEPROM_RUN wz
        if_nz   jmp     #shutdown
                jmp     #launch

' Z: the host's line is low at one of two looks four bit times apart, as it is while the host sends
' zeros back to back (9 of a frame's 11 bit times low) or a break: its request to stop.
line_low        test    rx_mask, ina wz
        if_z    jmp     #line_low_ret
                mov     t, bit
                shl     t, #2
                add     t, cnt
                waitcnt t, #0
                test    rx_mask, ina wz
line_low_ret    ret

' The host's request to stop, after a page: VERDICT_ABORTED, the map of the pages written (page n in
' bit n // 8 of byte n / 8), its CRC-32, and the chip shuts down.
abort           mov     dira, tx_mask            ' the I2C pins released
                mov     reply, #VERDICT_ABORTED
                call    #send
                neg     crc, #1
                movs    :take, #written_map
                mov     n, #MAP_LONGS
:take           mov     data, 0-0
                add     :take, #1
                mov     count, #4
:byte           mov     x, data
                and     x, #$FF
                mov     reply, x
                mov     k, #8
                call    #crc_bits
                call    #send
                shr     data, #8
                djnz    count, #:byte
                djnz    n, #:take
                call    #send_crc
                jmp     #shutdown

' ---- the start, as the boot loader's ----------------------------------------------------------------
launch          rdword  x, #$0006                ' pbase
                cmp     x, #$10 wz
        if_nz   jmp     #shutdown
                rdbyte  x, #$0004                ' clkmode: the oscillator and PLL as it wants, with
                cmp     x, clock_mode wz         ' the RC clock still selected, and their time to
        if_nz   test    x, #OSCILLATOR_AND_PLL wz ' settle when it enables them, unless CLOCK did
        if_nz   mov     t, x
        if_nz   andn    t, #7
        if_nz   clkset  t
        if_nz   mov     t, cnt
        if_nz   add     t, settle_time
        if_nz   waitcnt t, #0
                clkset  x
                coginit interpreter              ' cog 0, stopped with the receiving cog
                cogid   x
                cogstop x

' Every other cog stopped, every pin released, the clock off.
shutdown        cogid   t
                mov     x, #7
:next           cmp     x, t wz
        if_nz   cogstop x
                sub     x, #1 wc
        if_nc   jmp     #:next
                mov     dira, #0
                mov     x, #CLOCK_OFF
                clkset  x

' Sends the low byte of `reply` on P30 at `bit` clocks a bit, each bit at a WAITCNT's target. The
' stop bit lasts until the next start bit: at least the 60 clocks of the instructions between two
' sends, two bit times at 3 Mbaud and 80 MHz (53 clocks). Keeps Z.
send            or      reply, #$100             ' the stop bit
                shl     reply, #1                ' the start bit
                mov     k, #10
                mov     t, cnt
                add     t, #16
:bit            waitcnt t, bit
                shr     reply, #1 wc
                muxc    outa, tx_mask
                djnz    k, #:bit
send_ret        ret

' Folds the `k` low bits of `x` into the CRC-32 `crc`, least significant first: 12 clocks a bit, 384 a
' long, which keeps up with a long's 44 bit times at every rate and clock the receiving cog takes.
crc_bits        xor     crc, x
:bit            shr     crc, #1 wc
        if_c    xor     crc, polynomial
                djnz    k, #:bit
crc_bits_ret    ret

' ---- the reader and the checker: PAR / 64 KB from address 0 ----------------------------------------
' The cog that writes the EEPROM never runs this code and keeps its map of the pages written here.
' The reader reads the EEPROM sequentially into the ring a long at a time (the byte read first in the
' long's highest byte) and counts the bytes in RING_COUNT; the checker folds each long into the CRC-32
' once it is in the ring, counts them in RING_CHECKED and leaves the CRC in RING_CRC before its
' last count. The sender takes a long once checked, and the reader waits for room in the ring from
' the sender's count; its wait, and the checker's, end when the sender's own limit shuts the chip
' down.
written_map
reader          mov     n, par
                test    n, #CHECKER_ROLE wz
                andn    n, #CHECKER_ROLE
                shl     n, #4                    ' PAR / 64 KB, in bytes
        if_nz   jmp     #checker
                rdlong  bit, bit_mail
                call    #time_phases
                call    #i2c_begin
                mov     address, #0
                call    #select_read
                mov     address, n               ' the bytes still to read
                mov     ptr, #0
                mov     count, #0                ' the sender's count, as last seen
:long           mov     x, ptr
                sub     x, count
                cmp     x, ring_mask wc          ' C: room in the ring for a long
        if_nc   rdlong  count, sent_count
        if_nc   jmp     #:long
                mov     k, #4
                mov     t, cnt
                add     t, low_time
:byte           sub     address, #1 wz           ' Z: the last byte, not acknowledged
                call    #i2c_read
                djnz    k, #:byte
                mov     x, ptr
                and     x, ring_mask
                wrlong  data, x
                add     ptr, #4
                wrlong  ptr, read_count
                tjnz    address, #:long
                call    #i2c_stop
                jmp     #stop_self               ' which releases its pins

checker         neg     crc, #1
                mov     ptr, #0
:long           rdlong  count, read_count
                cmp     ptr, count wc
        if_nc   jmp     #:long
                mov     x, ptr
                and     x, ring_mask
                rdlong  data, x
                mov     bits, #4
:byte           rol     data, #8
                mov     x, data
                and     x, #$FF
                mov     k, #8
                call    #crc_bits
                djnz    bits, #:byte
                add     ptr, #4
                cmp     ptr, n wz
        if_z    wrlong  crc, crc_result
                wrlong  ptr, checked_count
        if_nz   jmp     #:long
stop_self       cogid   x
                cogstop x

' Reads the page at `address` and compares it with RAM, up to the first byte that differs. Z: equal.
compare         call    #select_read
                mov     ptr, address
                mov     count, #PAGE
:byte           cmp     count, #1 wz             ' Z: the last byte, not acknowledged
                jmpret  i2c_read_ret, #i2c_read_fresh
                and     data, #$FF
                rdbyte  x, ptr
                cmp     x, data wz
        if_nz   jmp     #page_differs
                add     ptr, #1
                djnz    count, #:byte
                call    #i2c_stop
compare_ret     ret
page_differs    cmp     count, #2 wc             ' NC: that byte was acknowledged, so one more read
                test    zero, #0 wz              ' Z: not acknowledged
        if_nc   jmpret  i2c_read_ret, #i2c_read_fresh
                call    #i2c_stop
                test    scl_mask, scl_mask wz    ' NZ: differs
                jmp     #compare_ret

' Writes the page at `address` from RAM, then polls until the write cycle is over.
write_page      call    #select
                mov     ptr, address
                mov     count, #PAGE
:byte           rdbyte  data, ptr
                call    #i2c_write
                add     ptr, #1
                djnz    count, #:byte
                call    #i2c_stop                ' the write cycle begins
                mov     n, poll_tries
:poll           call    #i2c_start
                mov     data, #DEVICE_WRITE
                call    #i2c_write               ' C: not acknowledged, still writing
                call    #i2c_stop
        if_c    djnz    n, #:poll
write_page_ret  ret

' `address` selected to read from: start, the device to write, `address` high byte first, a repeated
' start, and the device to read.
select_read     call    #select
                call    #i2c_start
                mov     data, #DEVICE_READ
                call    #i2c_write
select_read_ret ret

' Start, the device to write, and `address` high byte first.
select          call    #i2c_start
                mov     data, #DEVICE_WRITE
                call    #i2c_write
                mov     data, address
                shr     data, #8
                call    #i2c_write
                mov     data, address
                call    #i2c_write
select_ret      ret

' ---- I2C --------------------------------------------------------------------------------------------
' Each routine starts its own schedule `t` at least a low time ahead, so a phase between two routines
' only lasts longer; within one, SCL's changes follow WAITCNTs, and the instructions between two of
' them fit the shortest phase (LOW_MIN, HIGH_MIN).

' SCL driven high, SDA released, and the bus cleared: a reset in the middle of a read can have left
' the EEPROM holding SDA low for a 0 bit. Nine clocks with SDA released let it finish the byte and
' see no acknowledge; a stop then ends whatever transfer it was in.
i2c_begin       or      outa, scl_mask
                or      dira, scl_mask
                andn    dira, sda_mask
                mov     bits, #9
                mov     t, cnt
                add     t, low_time
:clear          andn    outa, scl_mask
                waitcnt t, high_time
                or      outa, scl_mask
                waitcnt t, low_time
                djnz    bits, #:clear
                andn    outa, scl_mask
                call    #i2c_stop
i2c_begin_ret   ret

' Start (or repeated start) condition from SCL low or high with SDA released; leaves SCL low.
i2c_start       andn    dira, sda_mask
                mov     t, cnt
                add     t, low_time
                waitcnt t, high_time
                or      outa, scl_mask
                waitcnt t, high_time             ' start set-up
                or      dira, sda_mask           ' SDA falls while SCL is high
                waitcnt t, #0                    ' start hold
                andn    outa, scl_mask
i2c_start_ret   ret

' Stop condition from SCL low; leaves SCL high and the bus free. Keeps C.
i2c_stop        or      dira, sda_mask
                mov     t, cnt
                add     t, low_time
                waitcnt t, high_time
                or      outa, scl_mask
                waitcnt t, low_time              ' stop set-up
                andn    dira, sda_mask           ' SDA rises while SCL is high
                waitcnt t, #0                    ' bus free
i2c_stop_ret    ret

' Sends the low byte of `data`, most significant bit first, from SCL low. C: not acknowledged.
i2c_write       shl     data, #24
                mov     bits, #8
                mov     t, cnt
                add     t, low_time
:bit            shl     data, #1 wc
                muxnc   dira, sda_mask           ' a 0 pulls SDA low
                waitcnt t, high_time
                or      outa, scl_mask
                waitcnt t, low_time
                andn    outa, scl_mask
                djnz    bits, #:bit
                andn    dira, sda_mask           ' the acknowledge
                waitcnt t, high_time
                or      outa, scl_mask
                waitcnt t, low_time
                test    sda_mask, ina wc
                andn    outa, scl_mask
i2c_write_ret   ret

' Receives a byte into `data`, most significant bit first, shifting in at bit 0, from SCL low with SDA
' released, SCL to rise at `t`, and acknowledges it unless Z; leaves SCL low and SDA released, SCL to
' rise again at `t`, READ_ROOM clocks later than a low time allows, for the caller's instructions. Keeps
' Z. (A caller with more to do between two bytes sets `t` again: a WAITCNT whose time has passed waits
' for the counter to come round, 53 s at 80 MHz: i2c_read_fresh, called as i2c_read, does.)
i2c_read_fresh  mov     t, cnt
                add     t, low_time
i2c_read        mov     bits, #8
:bit            waitcnt t, high_time
                or      outa, scl_mask
                waitcnt t, low_time
                test    sda_mask, ina wc         ' late in the high time
                andn    outa, scl_mask
                rcl     data, #1
                djnz    bits, #:bit
                muxnz   dira, sda_mask           ' the acknowledge
                add     t, #ACK_ROOM
                waitcnt t, high_time
                or      outa, scl_mask
                waitcnt t, low_time
                andn    outa, scl_mask
                andn    dira, sda_mask
                add     t, #READ_ROOM
i2c_read_ret    ret

' From the clock, `bit` * `rate` Hz: the I2C low and high times (LOW_FACTOR, HIGH_FACTOR), at least
' LOW_MIN and HIGH_MIN; and the watchdog's looks for 1.5 s.
time_phases     mov     x, bit
                mov     y, rate
                call    #multiply
                mov     ptr, product
                shr     ptr, #12                 ' the clock / 4096
                mov     watchdog_count, ptr      ' * 24 looks of POLL_CLOCKS
                shl     watchdog_count, #4
                mov     x, ptr
                shl     x, #3
                add     watchdog_count, x
                mov     x, ptr
                mov     y, #LOW_FACTOR
                call    #multiply
                shr     product, #16
                add     product, #5              ' and the 4 clocks that a read's SCL falls late, + 1
                mov     low_time, #LOW_MIN
                min     low_time, product        ' the larger
                mov     x, ptr
                mov     y, #HIGH_FACTOR
                call    #multiply
                shr     product, #16
                sub     product, #4              ' less the 4 clocks that a read's SCL falls late
                mov     high_time, #HIGH_MIN
                min     high_time, product
time_phases_ret ret

' product := x * y; changes both.
multiply        mov     product, #0
:bit            shr     y, #1 wc
        if_c    add     product, x
                shl     x, #1
                tjnz    y, #:bit
multiply_ret    ret

' ---- constants --------------------------------------------------------------------------------------
rx_mask         long    1 << 31
tx_mask         long    1 << 30
scl_mask        long    1 << 28
sda_mask        long    1 << 29
settle_time     long    SETTLE_CLOCKS
poll_tries      long    WRITE_TRIES
read_count      long    RING_COUNT
sent_count      long    RING_SENT
checked_count   long    RING_CHECKED
crc_result      long    RING_CRC
checker_par     long    CHECKER_ROLE << 16       ' in COGINIT's PAR field, PAR >> 2
ring_mask       long    RING_BYTES - 1
crc_mail        long    MAIL_CRC
bit_mail        long    MAIL_BIT
head_mail       long    MAIL_HEAD
address_mask    long    $FFFC
command_bit     long    $8000_0000
polynomial      long    $EDB8_8320               ' the CRC-32's, reflected
next_register   long    1 << 9
ram_end         long    $8000
marker          long    $FFF9_FFFF
zero            long    0
interpreter     long    IMAGE_PAR >> 2 << 18 | SPIN_INTERPRETER >> 2 << 4

' ---- variables --------------------------------------------------------------------------------------
x               res     1
k               res     1
t               res     1
n               res     1
bit             res     1
ptr             res     1
head            res     1
last_head       res     1
command         res     1
crc             res     1
page_bit        res     0                        ' while the EEPROM is written, no packet comes
crc_got         res     1
reply           res     1
receiver        res     1
clock_mode      res     1
home            res     1
address         res     1
count           res     1
data            res     1
bits            res     1
low_time        res     1
high_time       res     1
watchdog_count  res     1
y               res     1
product         res     1
                fit
