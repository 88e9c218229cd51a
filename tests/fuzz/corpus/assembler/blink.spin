' Example cog program: blinks P16 twice a second at the nominal 12 MHz of the internal RC clock and
' counts the blinks in the hub long at $7000, where a debugger or another cog can watch them.
CON
  _clkfreq = 12_000_000
  _clkmode = $00                ' internal fast RC clock
  LED_PIN = 16
  COUNTER_ADDRESS = $7000

DAT
              org     0
entry         mov     dira, led_mask
              mov     time, cnt
              add     time, half_period
:loop         xor     outa, led_mask
              add     blinks, #1
              wrlong  blinks, counter_ptr
              waitcnt time, half_period
              jmp     #:loop

led_mask      long    1 << LED_PIN
counter_ptr   long    COUNTER_ADDRESS
half_period   long    _clkfreq / 4
blinks        long    0
time          res     1
              fit
