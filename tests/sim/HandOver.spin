' Hands its image over as a loader does once an image is in RAM: on its first run it marks the
' hand-over in free RAM and restarts cog 0 on the ROM's Spin interpreter at $F004 with the
' image's header at PAR = $0004, then stops itself. Started again by that restart, it mirrors
' the host's line: P30 follows P31.
CON
  _clkmode = $00
  INTERPRETER = $F004
  HEADER = $0004

DAT
              org     0
entry         rdlong  scratch, marker wz
        if_nz jmp     #mirror
              wrlong  marker, marker        ' any value but zero
              coginit restart
              cogid   scratch
              cogstop scratch

mirror        or      outa, tx_mask
              or      dira, tx_mask
:loop         test    rx_mask, ina wc
              muxc    outa, tx_mask
              jmp     #:loop

marker        long    $7000                 ' above the image, zeroed by the boot loader
restart       long    (HEADER << 16) | (INTERPRETER << 2)   ' cog 0
rx_mask       long    1 << 31
tx_mask       long    1 << 30
scratch       res     1
              fit
