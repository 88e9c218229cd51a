CON
  _clkmode = 1 + 2 << 3
DAT
        org 0
start   mov a, #5
        jmp #start
a       long $FFFF_0000, 1*2+(3/4)
