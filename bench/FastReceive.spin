' Receives 8N1 bytes at 3000000 baud at 80 MHz (27 clocks a bit): WAITPNE for the start bit,
' then one sample a bit, unrolled; counts the bytes in hub RAM at $7000.
CON
  _clkfreq = 80_000_000
  _clkmode = $6F

DAT
              org     0
entry
:byte         waitpne rx_mask, rx_mask
              mov     time, cnt
              add     time, first_ticks
              waitcnt time, bit_ticks
              test    rx_mask, ina wc
              rcr     data, #1
              waitcnt time, bit_ticks
              test    rx_mask, ina wc
              rcr     data, #1
              waitcnt time, bit_ticks
              test    rx_mask, ina wc
              rcr     data, #1
              waitcnt time, bit_ticks
              test    rx_mask, ina wc
              rcr     data, #1
              waitcnt time, bit_ticks
              test    rx_mask, ina wc
              rcr     data, #1
              waitcnt time, bit_ticks
              test    rx_mask, ina wc
              rcr     data, #1
              waitcnt time, bit_ticks
              test    rx_mask, ina wc
              rcr     data, #1
              waitcnt time, bit_ticks
              test    rx_mask, ina wc
              rcr     data, #1
              add     count, #1
              wrlong  count, count_address
              jmp     #:byte

rx_mask       long    1 << 31
bit_ticks     long    27
first_ticks   long    28
count_address long    $7000
count         long    0
data          res     1
time          res     1
              fit
