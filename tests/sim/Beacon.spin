' Sends "Q" to the host every 20 ms, unasked, at 115200 baud (8N1), timed for 80 MHz from a
' 5 MHz crystal with the PLL: on any other clock the host gets no "Q".
CON
  _clkfreq = 80_000_000
  _clkmode = $6F                ' XTAL1 + PLL16X
  BAUD = 115_200
  FRAME_BITS = 10

DAT
              org     0
entry         or      outa, tx_mask
              or      dira, tx_mask
              mov     time, cnt
              add     time, pause
:frame        waitcnt time, bit_ticks
              mov     bits, frame
              mov     count, #FRAME_BITS
:bit          shr     bits, #1 wc
              muxc    outa, tx_mask
              waitcnt time, bit_ticks
              djnz    count, #:bit
              add     time, pause
              jmp     #:frame

tx_mask       long    1 << 30
bit_ticks     long    _clkfreq / BAUD
pause         long    _clkfreq / 50
frame         long    "Q" << 1 | 1 << 9          ' start bit 0, the data bits, stop bit 1
bits          res     1
count         res     1
time          res     1
              fit
