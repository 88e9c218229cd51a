DAT     org 0
entry   jmp #entry
