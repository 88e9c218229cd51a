' Fast loader, EEPROM stage: writes hub RAM into the boot EEPROM (a 24LC256 on P28/P29) and
' verifies it, skipping the 64-byte pages that already hold what RAM holds; or reads the EEPROM back.
'
' The host sends this code at speed, as data packets, to a hub address that the image covers later,
' with `request` and the I2C times set, and the fast loader's STAGE command starts it in a cog of its
' own (PAR = the numbers of three locks: go + done * 8 + beat * 64, times 4), before the image comes
' (or the READ command, for a read-back). The cog waits until `go` is set (the fast loader sets it
' once the image and the rest of RAM have passed their sum; READ sets it with `beat`) and clears it;
' when the command and `request` disagree it does nothing. To write, for each page: it reads it (a
' random read of 64 bytes) and compares it with RAM; a page that differs is written, the write cycle
' waited out by acknowledge polling, and read and compared again. So each page is verified, a page
' found equal by its first read, a written one by the read after its write cycle, and the EEPROM
' ends holding the 32768 bytes of RAM. `beat` is set after each page; at the
' end `go` is set again when every page matched, then `done`; the cog releases its pins and stops.
' Every wait is bounded: the polling by WRITE_TRIES tries, the rest by the instruction count; the
' fast loader's wait for each page by its own limit.
'
' I2C: P28 = SCL, driven both ways, as the boot loader does; P29 = SDA, pulled low or released. Each
' phase is timed by WAITCNT to the 400 kHz minimums at the fastest RC clock, 20 MHz (50 ns a clock):
' SCL low >= 1.3 us, high >= 0.6 us, start set-up and hold, stop set-up >= 0.6 us, bus free >= 1.3 us.

CON
  _clkfreq = 12_000_000
  _clkmode = $00                        ' internal fast RC clock, 8 to 20 MHz

  PAGE = 64
  DEVICE_WRITE = $A0
  DEVICE_READ = $A1
  ' In clocks from a WAITCNT's target, unless the host sets others: SCL low lasts T_LOW and some 20
  ' clocks of instructions more, high T_HIGH and 4 more.
  T_LOW = 16
  T_HIGH = 12
  T_BUS = 32                            ' start set-up and hold, stop set-up, bus free: >= 1.6 us
  GO_POLL_CLOCKS = 500
  WRITE_TRIES = 400                     ' some 750 clocks each: 15 ms at 20 MHz

DAT
                org     0
entry           jmp     #start
' Set by the host in the code it sends: 0 to write the EEPROM, or the count of bytes to read back;
' the I2C phases in clocks for the clock the chip runs at (these for the RC clock, at most 20 MHz).
request         long    0
low_time        long    T_LOW
high_time       long    T_HIGH
bus_time        long    T_BUS
start           mov     x, par
                shr     x, #2
                mov     go, x
                and     go, #7
                shr     x, #3
                mov     done, x
                and     done, #7
                shr     x, #3
                mov     beat, x
                or      outa, scl_mask           ' SCL high
                or      dira, scl_mask
                mov     t, cnt
                add     t, #GO_POLL_CLOCKS
:wait           waitcnt t, #GO_POLL_CLOCKS
                lockclr go wc
        if_nc   jmp     #:wait
                lockclr beat wc                  ' C: asked to read, not to write
        if_c    tjz     request, #finish         ' the host's code and command disagree: neither
        if_nc   tjnz    request, #finish
                mov     address, #0
                tjnz    request, #read_back
next_page       call    #compare
        if_z    jmp     #:next
                call    #write_page
                call    #compare
        if_nz   jmp     #finish
:next           lockset beat                     ' a page done
                add     address, #PAGE
                cmp     address, ram_end wz
        if_nz   jmp     #next_page
                lockset go                       ' every page matched
finish          lockset done
                mov     dira, #0
                cogid   x
                cogstop x

' Reads `request` bytes from address 0 in one sequential read into the ring in RAM, byte n at
' n // RING_BYTES, and counts them in READ_COUNT after each. The fast loader sends them as they come
' and keeps up: a byte takes it less time than the I2C read of one.
read_back       call    #select
                call    #i2c_start
                mov     data, #DEVICE_READ
                call    #i2c_write
                mov     last, request
                sub     last, #1
                mov     ptr, #0
:byte           cmp     ptr, last wz
                call    #i2c_read
                mov     x, ptr
                and     x, ring_mask
                wrbyte  data, x
                add     ptr, #1
                wrlong  ptr, read_count
                cmp     ptr, request wz
        if_nz   jmp     #:byte
                call    #i2c_stop
                jmp     #finish

' Reads the page at `address` and compares it with RAM. Z: equal.
compare         call    #select
                call    #i2c_start               ' a repeated start, to read
                mov     data, #DEVICE_READ
                call    #i2c_write
                mov     ptr, address
                mov     count, #PAGE
                mov     differs, #0
:byte           cmp     count, #1 wz             ' Z: the last byte, not acknowledged
                call    #i2c_read
                rdbyte  x, ptr
                cmp     x, data wz
        if_nz   mov     differs, #1
                add     ptr, #1
                djnz    count, #:byte
                call    #i2c_stop
                cmp     differs, #0 wz
compare_ret     ret

' Writes the page at `address` from RAM, then polls until the write cycle is over.
write_page      call    #select
                mov     ptr, address
                mov     count, #PAGE
:byte           rdbyte  data, ptr
                call    #i2c_write
                add     ptr, #1
                djnz    count, #:byte
                call    #i2c_stop                ' the write cycle begins
                mov     tries, #WRITE_TRIES
:poll           call    #i2c_start
                mov     data, #DEVICE_WRITE
                call    #i2c_write               ' C: not acknowledged, still writing
                call    #i2c_stop
        if_c    djnz    tries, #:poll
write_page_ret  ret

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

' Start (or repeated start) condition from SCL low or high with SDA released; leaves SCL low.
i2c_start       andn    dira, sda_mask
                mov     t, cnt
                add     t, bus_time
                waitcnt t, bus_time
                or      outa, scl_mask
                waitcnt t, bus_time              ' start set-up
                or      dira, sda_mask           ' SDA falls while SCL is high
                waitcnt t, #0                    ' start hold
                andn    outa, scl_mask
i2c_start_ret   ret

' Stop condition from SCL low; leaves SCL high and the bus free. Keeps C.
i2c_stop        or      dira, sda_mask
                mov     t, cnt
                add     t, bus_time
                waitcnt t, bus_time
                or      outa, scl_mask
                waitcnt t, bus_time              ' stop set-up
                andn    dira, sda_mask           ' SDA rises while SCL is high
                waitcnt t, #0                    ' bus free
i2c_stop_ret    ret

' Sends the low byte of `data`, most significant bit first. C: not acknowledged.
i2c_write       mov     bits, #8
                shl     data, #24
:bit            rcl     data, #1 wc
                muxnc   dira, sda_mask           ' a 0 pulls SDA low
                call    #clock
                djnz    bits, #:bit
                andn    dira, sda_mask
                call    #clock
i2c_write_ret   ret

' Receives a byte into `data`, most significant bit first, and acknowledges it unless Z.
i2c_read        andn    dira, sda_mask
                mov     bits, #8
:bit            call    #clock
                rcl     data, #1
                djnz    bits, #:bit
                and     data, #$FF
                muxnz   dira, sda_mask
                call    #clock
                andn    dira, sda_mask
i2c_read_ret    ret

' One SCL pulse from SCL low: low for T_LOW more, high for T_HIGH; C := SDA late in the high time.
' Keeps Z.
clock           mov     t, cnt
                add     t, low_time
                waitcnt t, high_time
                or      outa, scl_mask
                waitcnt t, #0
                test    sda_mask, ina wc
                andn    outa, scl_mask
clock_ret       ret

' ---- constants --------------------------------------------------------------------------------------
scl_mask        long    1 << 28
sda_mask        long    1 << 29
ram_end         long    $8000
read_count      long    $4000                   ' and the ring below it, as the fast loader has them
ring_mask       long    $3FFF

' ---- variables --------------------------------------------------------------------------------------
x               res     1
t               res     1
go              res     1
done            res     1
beat            res     1
address         res     1
ptr             res     1
count           res     1
differs         res     1
data            res     1
bits            res     1
tries           res     1
last            res     1
                fit
