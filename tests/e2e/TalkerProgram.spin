' Sends "9600" at 9600 baud, and again every 10 ms, whatever the host does: it never listens. A
' terminal that only reads hears it at that rate. The bit time is counted for an RC clock of
' 12 MHz, the virtual chip's clock in the test.
CON
  _clkmode = $00                ' internal fast RC clock
  TX_PIN = 30
  BIT_CLOCKS = 12_000_000 / 9_600
  PAUSE_CLOCKS = 12_000_000 / 100

DAT
              org     0
entry         or      outa, tx_mask         ' the line idles high
              or      dira, tx_mask
              mov     time, cnt
              add     time, pause
message       waitcnt time, bit_time        ' the pause lets a receiver find the next start bit
              mov     text, reply
              mov     bytes, #4
:byte         mov     frame, text           ' start bit 0, eight data bits, stop bit 1
              and     frame, #$FF
              or      frame, #$100
              shl     frame, #1
              mov     bits, #10
:bit          shr     frame, #1 wc
              muxc    outa, tx_mask
              waitcnt time, bit_time
              djnz    bits, #:bit
              shr     text, #8
              djnz    bytes, #:byte
              add     time, pause
              jmp     #message

tx_mask       long    1 << TX_PIN
bit_time      long    BIT_CLOCKS
pause         long    PAUSE_CLOCKS
reply         long    $30_30_36_39          ' "9600", first byte lowest
time          res     1
text          res     1
bytes         res     1
frame         res     1
bits          res     1
              fit
