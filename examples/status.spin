' Example test program for a run in CI: prints a line at 115200 baud on P30, then sends the bytes
' $FF $00 STATUS with which `qkl-tool term` and `qkl-tool load --terminal` end and exit with
' STATUS. A real test program sends 0 when every test passed; this one sends 5 so that a run
' shows the status come through. It runs from a 5 MHz crystal with the PLL at 16x (80 MHz), as
' most boards and the virtual chip have.
CON
  _clkfreq = 80_000_000
  _clkmode = $6F                ' XTAL1 + PLL16X
  TX_PIN = 30
  BAUD = 115_200
  STATUS = 5
  ' A terminal opened after the load, rather than with --terminal, has this long to attach.
  PAUSE_CLOCKS = _clkfreq / 2

DAT
              org     0
entry         or      outa, tx_mask         ' the line idles high
              or      dira, tx_mask
              movs    :get, #message
              mov     time, cnt
              add     time, start_pause
              waitcnt time, bit_time
:get          mov     text, 0-0             ' four characters, the first in the lowest byte
              add     :get, #1
              mov     bytes, #4
:byte         mov     char, text
              and     char, #$FF wz
        if_z  jmp     #ending               ' a zero byte ends the text
              call    #send
              shr     text, #8
              djnz    bytes, #:byte
              jmp     #:get
ending        mov     char, #$FF
              call    #send
              mov     char, #0
              call    #send
              mov     char, #STATUS
              call    #send
:idle         jmp     #:idle                ' still driving the line high

' Sends char's low byte: start bit 0, eight data bits, stop bit 1.
send          or      char, #$100
              shl     char, #1
              mov     bits, #10
:bit          shr     char, #1 wc
              muxc    outa, tx_mask
              waitcnt time, bit_time
              djnz    bits, #:bit
send_ret      ret

tx_mask       long    1 << TX_PIN
bit_time      long    _clkfreq / BAUD
start_pause   long    PAUSE_CLOCKS
message       byte    "Hello from the chip: this test program ends with status 5", 13, 10, 0
              long
time          res     1
text          res     1
bytes         res     1
char          res     1
bits          res     1
              fit
