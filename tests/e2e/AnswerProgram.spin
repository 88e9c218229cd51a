' Answers every $FF the host sends with "QKL!" at the host's own rate. It times the low start
' bit of the $FF (the only low bit of that byte) to learn the bit time, so it needs no crystal
' and works on any RC clock at any link rate. Neither the boot loader nor an echoing line can
' give this answer: it shows that the loaded program runs.
CON
  _clkmode = $00                ' internal fast RC clock
  RX_PIN = 31
  TX_PIN = 30

DAT
              org     0
entry         or      outa, tx_mask         ' the host's line idles high
              or      dira, tx_mask
listen        waitpeq rx_mask, rx_mask
              waitpne rx_mask, rx_mask      ' the start bit falls
              mov     time, cnt
              waitpeq rx_mask, rx_mask      ' and rises one bit time later
              mov     bit_time, cnt
              sub     bit_time, time
              mov     time, bit_time        ' let the rest of the host's byte go by
              shl     time, #3
              add     time, cnt
              waitcnt time, #0
              mov     message, reply
              mov     bytes, #4
:byte         mov     frame, message        ' start bit 0, eight data bits, stop bit 1
              and     frame, #$FF
              or      frame, #$100
              shl     frame, #1
              mov     bits, #10
              mov     time, cnt
              add     time, bit_time
:bit          shr     frame, #1 wc
              muxc    outa, tx_mask
              waitcnt time, bit_time
              djnz    bits, #:bit
              shr     message, #8
              djnz    bytes, #:byte
              jmp     #listen

tx_mask       long    1 << TX_PIN
rx_mask       long    1 << RX_PIN
reply         long    $21_4C_4B_51          ' "QKL!", first byte lowest
bit_time      res     1
time          res     1
message       res     1
bytes         res     1
frame         res     1
bits          res     1
              fit
