' EEPROM reader. Loaded into RAM by the host and started in a new cog, it opens a sequential read of
' the 32 KB boot EEPROM over I2C, starts a second cog that copies the EEPROM into hub RAM, and
' meanwhile answers a handshake like the boot loader's (version $DE); then it sends the 32768 bytes
' and their CRC-16/MODBUS to the host one bit per $F9 byte the host clocks in, each byte once the
' reading cog has stored it, folding each bit into the CRC as it goes.
'
' Serial line: P31 from the host, P30 to the host. Host bits are low pulses: one bit time is a 1, two bit
' times a 0; the two pulses of a $F9 byte (one and two bit times) calibrate the threshold. Pulse widths
' are taken from CNT at the falling and rising edge, so the work done while a pulse is low does not
' change its measured width. Every wait for a level on P31 counts its polls (two instructions each)
' and gives up when the count of the current phase runs out.
'
' EEPROM: P28 = SCL, driven both ways; P29 = SDA, pulled low or released (OUTA bit stays 0). The delays
' keep a 400 kHz 24LC256's minimums at the fastest RC clock, 20 MHz (50 ns a clock, 200 ns an
' instruction): SCL low >= 8 instructions (1.6 us), SCL high 4 (0.8 us), start hold and stop set-up 4.
'
' Two cogs run this code. The answering cog (PAR = 0) addresses the EEPROM, so that a missing or
' stuck one gives up before anything is answered, and hands the open read to the reading cog (PAR =
' the hub address of the last long of RAM). The answering cog keeps driving SCL low all along, which
' holds the clock line through the hand-over and takes nothing from the reading cog's high levels
' (a pin driven by two cogs carries the OR of their outputs); it never drives SDA while the reading
' cog runs. The reading cog counts the bytes it has stored in the last long of RAM; the last long's
' own four bytes go in at the very end, overwriting the count, and its done lock then tells that they
' have. A count that is read after that is data, but by then every byte is stored, so the answering
' cog believes a count up to the last long only and waits for the done lock for the bytes in it. A
' give-up of the answering cog sets the stop lock, and the reading cog ends the read at its next byte.
'
' At the end, and after any give-up: the reading cog has stopped the bus and is stopped, a stop
' condition, every pin released, CLK := 2 (clock off). The answering cog's waits for the reading cog
' are bounded too.

CON
  _clkfreq = 12_000_000
  _clkmode = $00                        ' internal fast RC clock, 8 to 20 MHz

  CODE = $0018                          ' hub address of this code: the object's DAT, pbase + 8
  RAM_LAST_LONG = $7FFC                 ' the last long of hub RAM
  DEVICE_WRITE = $A0
  DEVICE_READ = $A1
  DEVICE_TRIES = 400
  BUS_CLEAR_PULSES = 9
  STOP_TRIES = 9
  HANDSHAKE_BITS = 250
  LOADER_VERSION = $DE
  SEED = $50
  TAPS = $B2                            ' bits 7, 5, 4 and 1 of the shift register
  CLOCK_OFF = 2

DAT
                org     0
entry           mov     data, par wz             ' the reading cog is started with PAR set
        if_nz   jmp     #read_eeprom
                mov     outa, line_idle          ' P30 high (serial idle), SCL high
                mov     dira, line_idle

' ---- a sequential read from EEPROM address $0000 ----------------------------------------------------
                mov     tries, #DEVICE_TRIES
:device         call    #i2c_start
                mov     data, #DEVICE_WRITE
                call    #i2c_write
        if_nc   jmp     #:addressed
                mov     count, #25               ' a pause, so that 400 tries span a write cycle
:pause          djnz    count, #:pause
                djnz    tries, #:device
                jmp     #finish
:addressed      mov     data, #0                 ' memory address $0000, high byte first
                call    #i2c_write
        if_nc   mov     data, #0
        if_nc   call    #i2c_write
        if_c    jmp     #finish
                call    #i2c_start               ' repeated start
                mov     data, #DEVICE_READ
                call    #i2c_write
        if_c    jmp     #finish

' ---- the reading cog takes the read over; SCL is low, the EEPROM about to send byte 0 ---------------
                locknew done_lock wc
        if_nc   locknew stop_lock wc
        if_c    jmp     #finish
                mov     stored, #0
                wrlong  stored, last_long        ' no byte stored yet
                wrlong  done_lock, done_lock_in_hub ' the reading cog loads the lock numbers with the code
                wrlong  stop_lock, stop_lock_in_hub
                coginit reading_cog wc wr
        if_c    jmp     #finish

' ---- calibration: the next two low pulses -----------------------------------------------------------
                mov     timeout, polls
:idle           test    rx_mask, ina wc          ' start from the line high, not inside a pulse
        if_nc   djnz    timeout, #:idle
        if_nc   jmp     #give_up
                call    #measure
                mov     threshold, width
                call    #measure
                add     threshold, width
                shr     threshold, #1

' ---- sync: after a two-bit-time pulse, answer 0 to the next $F9 -------------------------------------
' The second calibration pulse is the first one looked at: when the calibration began with a $F9's
' start bit it is that byte's two-bit-time pulse, and the very next $F9 is answered.
                mov     timeout, polls
:search         cmp     width, threshold wc
        if_c    call    #measure
        if_c    jmp     #:search
                test    rx_mask, #0 wz           ' Z = 1: bit 0
                call    #answer

' ---- handshake ----------------------------------------------------------------------------------------
                mov     lfsr, #SEED
                mov     count, #HANDSHAKE_BITS
                mov     on_mismatch, #give_up
                call    #receive_bits
                mov     count, #HANDSHAKE_BITS
:answer_lfsr    test    lfsr, #1 wz
                call    #answer
                test    lfsr, #TAPS wc
                rcl     lfsr, #1
                djnz    count, #:answer_lfsr
                mov     data, #LOADER_VERSION
                mov     bits, #8
                call    #send_bits

' ---- the command long (not used), then the RAM as the reading cog stores it, and the CRC --------------
                mov     count, #32
                mov     on_mismatch, #receive_next
                call    #receive_bits
                mov     crc, crc_initial
                mov     address, #0
:send_byte      call    #await_byte
                rdbyte  data, address
                mov     bits, #8
                call    #send_bits
                add     address, #1
                cmp     address, ram_size wz
        if_nz   jmp     #:send_byte
                mov     data, crc
                mov     bits, #16
                call    #send_bits
                mov     data, threshold          ' let the host's receiver finish the last frame
                shl     data, #3                 ' (12 bit times) before the line is released
                add     data, cnt
                waitcnt data, #0

' Every end once the reading cog runs: it is asked to end at its next byte, given a bounded time to
' stop the bus (unless it is known to have finished), and stopped, which also releases its pins.
give_up         lockset stop_lock
                cmp     stored, ram_size wz      ' Z: the reading cog's end has been seen
                mov     timeout, reader_polls
:wait   if_nz   lockclr done_lock wc
        if_nz_and_nc djnz timeout, #:wait
                cogstop reading_cog
                lockret done_lock
                lockret stop_lock
finish          call    #i2c_stop
                mov     dira, #0                 ' release every pin
                mov     data, #CLOCK_OFF
                clkset  data
                cogid   data
                cogstop data

' Waits until the reading cog has stored hub byte `address`. Gives up when the reading cog stores
' nothing for `reader_polls` looks.
await_byte      mov     timeout, reader_polls
:look           cmp     address, stored wc       ' C: stored
        if_c    jmp     #await_byte_ret
                lockclr done_lock wc             ' C: the last long is in, and so is every byte
        if_c    mov     stored, ram_size
        if_nc   rdlong  stored, last_long
        if_nc   max     stored, last_long        ' a count is believed up to the last long only
                djnz    timeout, #:look
                jmp     #give_up
await_byte_ret  ret

' ---- the reading cog --------------------------------------------------------------------------------
' Clocks the 32768 bytes out of the EEPROM into hub RAM from address 0 upward and counts them in the
' last long; the last long's own bytes are collected and stored once the bus is stopped, then the done
' lock is set. A set stop lock (the answering cog has given up) ends the read at the next byte. The
' registers are this cog's own: `data`, `bits`, `address` here are not the answering cog's.
' It starts a byte every `byte_clocks`: at 8 MHz that is a byte every 175 us, twice the pace of the
' fastest host (a byte every 347 us at 230400 baud), and at any clock it waits most of the time.
read_eeprom     mov     dira, scl_mask           ' SCL low, as the answering cog holds it
                mov     address, #0
                mov     tick, cnt
                add     tick, byte_clocks
:byte           waitcnt tick, byte_clocks
                call    #i2c_read
                cmp     address, last_long wc    ' C: below the last long
        if_c    wrbyte  data, address
                add     address, #1
        if_c    wrlong  address, par
                shl     data, #24                ' the last long's bytes, the first one lowest
                shr     last, #8
                or      last, data
                lockclr stop_lock wc
        if_nc   cmp     address, ram_size wz
        if_nc_and_nz jmp #:byte
                call    #i2c_stop
                wrlong  last, par
                lockset done_lock
                mov     dira, #0
                cogid   data
                cogstop data

' ---- serial line ------------------------------------------------------------------------------------

' Measures the next low pulse: width := its length in clocks.
measure         test    rx_mask, ina wc
        if_c    djnz    timeout, #measure
                neg     width, cnt
        if_c    jmp     #give_up
:low            test    rx_mask, ina wc
        if_nc   djnz    timeout, #:low
                add     width, cnt
        if_nc   jmp     #give_up
measure_ret     ret

' Receives `count` host bits, each compared with the next shift register output; a difference jumps
' to `on_mismatch`. Between two pulses the line may be high for one bit time only, so the work for a
' bit is done while its pulse is low, and little stands between a rising edge and the next poll.
receive_bits    mov     timeout, polls
receive_poll    test    rx_mask, ina wc
        if_c    djnz    timeout, #receive_poll
                neg     width, cnt
        if_c    jmp     #give_up
                test    lfsr, #1 wz              ' Z = 1: the expected bit is 0
                test    lfsr, #TAPS wc
                rcl     lfsr, #1
:low            test    rx_mask, ina wc
        if_nc   djnz    timeout, #:low
                add     width, cnt
        if_nc   jmp     #give_up
                cmp     width, threshold wc      ' C = 1: a short pulse, bit 1
        if_c_eq_z jmp   on_mismatch
receive_next    djnz    count, #receive_poll
receive_bits_ret ret

' Sends the `bits` low bits of `data`, least significant first, one per $F9, and folds each into the
' CRC-16/MODBUS in `crc` (which matters for the EEPROM bytes only). Between two $F9 the line is high
' for six bit times: time enough for the CRC step and, after a byte, the look for the next one.
send_bits       test    data, #1 wz
                call    #answer
                shr     data, #1 wc              ' C: the bit just sent
        if_c    xor     crc, #1
                shr     crc, #1 wc
        if_c    xor     crc, crc_polynomial
                djnz    bits, #send_bits
send_bits_ret   ret

' Answers one $F9 with the bit NOT Z: P30 low with the start bit, the bit with the host's bit 0, high
' again with the host's bit 1. The host reads $FE for 0 and $FF for 1.
answer          mov     timeout, polls
                call    #wait_fall
                andn    outa, tx_mask
                call    #wait_rise
                muxnz   outa, tx_mask
                call    #wait_fall
                or      outa, tx_mask
                call    #wait_rise
answer_ret      ret

wait_fall       test    rx_mask, ina wc
        if_c    djnz    timeout, #wait_fall
        if_c    jmp     #give_up
wait_fall_ret   ret

wait_rise       test    rx_mask, ina wc
        if_nc   djnz    timeout, #wait_rise
        if_nc   jmp     #give_up
wait_rise_ret   ret

' ---- I2C --------------------------------------------------------------------------------------------

' Start (or repeated start) condition; SCL may be low or high on entry. A data line held low is freed
' with up to 9 clock pulses first. Leaves SCL low.
i2c_start       andn    dira, sda_mask
                nop
                nop
                nop
                nop
                nop
                nop
                or      outa, scl_mask
                mov     pulses, #BUS_CLEAR_PULSES + 1
:check          test    sda_mask, ina wc
        if_c    jmp     #:start
                djnz    pulses, #:pulse
                jmp     #finish
:pulse          andn    outa, scl_mask
                nop
                nop
                nop
                nop
                nop
                nop
                nop
                or      outa, scl_mask
                jmp     #:check
:start          or      dira, sda_mask           ' SDA falls while SCL is high
                nop
                nop
                nop
                andn    outa, scl_mask
i2c_start_ret   ret

' Sends the byte in `data`, most significant bit first; C = 1 when it is not acknowledged.
i2c_write       mov     bits, #8
                shl     data, #24
:bit            shl     data, #1 wc
                muxnc   dira, sda_mask           ' 0: pull SDA low, 1: release it
                call    #clock_pulse
                djnz    bits, #:bit
                andn    dira, sda_mask           ' the EEPROM acknowledges
                call    #clock_pulse
i2c_write_ret   ret

' Reads a byte into `data`, most significant bit first, and acknowledges it.
i2c_read        andn    dira, sda_mask
                mov     bits, #8
:bit            call    #clock_pulse
                rcl     data, #1
                djnz    bits, #:bit
                or      dira, sda_mask           ' acknowledge
                call    #clock_pulse
i2c_read_ret    ret

' One SCL pulse after SCL has been low long enough; C := SDA, sampled late in the high time.
clock_pulse     nop
                nop
                nop
                or      outa, scl_mask
                nop
                nop
                test    sda_mask, ina wc
                andn    outa, scl_mask
clock_pulse_ret ret

' Stop condition, tried again while the EEPROM keeps SDA low (it is sending a 0 bit). Leaves SCL high.
i2c_stop        mov     pulses, #STOP_TRIES
:try            andn    outa, scl_mask
                or      dira, sda_mask
                nop
                nop
                nop
                nop
                nop
                nop
                or      outa, scl_mask
                nop
                nop
                nop
                andn    dira, sda_mask           ' SDA rises while SCL is high
                nop
                test    sda_mask, ina wc
        if_nc   djnz    pulses, #:try
i2c_stop_ret    ret

' ---- constants --------------------------------------------------------------------------------------
line_idle       long    1 << 30 | 1 << 28       ' P30 and SCL driven high
rx_mask         long    1 << 31
tx_mask         long    1 << 30
sda_mask        long    1 << 29
scl_mask        long    1 << 28
polls           long    1_250_000
ram_size        long    32_768
last_long       long    RAM_LAST_LONG
crc_initial     long    $FFFF
crc_polynomial  long    $A001
' The reading cog takes some 8,200 clocks to load and starts a byte every 1,400 (its work for one is
' some 550 clocks); a look for a stored byte takes some 40 clocks, a look for its end 16.
byte_clocks     long    1_400
reader_polls    long    65_536
' COGINIT: PAR = the last long, this code, any free cog; the cog's number after the start.
reading_cog     long    RAM_LAST_LONG >> 2 << 18 | CODE >> 2 << 4 | %1000
' The locks: done, set by the reading cog once every byte is in RAM; stop, set by the answering cog
' when it gives up. Their numbers are written into the hub copy of these registers before the
' reading cog is started, so that it loads them with its code.
done_lock_in_hub long   CODE + done_lock * 4
stop_lock_in_hub long   CODE + stop_lock * 4
done_lock       long    0
stop_lock       long    0

' ---- variables --------------------------------------------------------------------------------------
tries           res     1
count           res     1
bits            res     1
pulses          res     1
data            res     1
address         res     1
crc             res     1
timeout         res     1
width           res     1
threshold       res     1
lfsr            res     1
on_mismatch     res     1
stored          res     1
last            res     1
tick            res     1
                fit
