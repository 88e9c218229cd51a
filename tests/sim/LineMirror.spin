' Mirrors the host's line: P30 follows P31, so every byte the host sends comes straight back.
DAT
              org     0
entry         or      outa, tx_mask
              or      dira, tx_mask
:loop         test    rx_mask, ina wc
              muxc    outa, tx_mask
              jmp     #:loop

rx_mask       long    1 << 31
tx_mask       long    1 << 30
              fit
