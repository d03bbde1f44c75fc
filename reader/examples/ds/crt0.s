@ Start-up for both CPUs, nothing from any SDK.
@ ARM9: stacks in main RAM, .bss cleared (the boot loaded everything else where it runs),
@ then main(0, 0) in Thumb code.
    .include "start.inc"
    .section .crt0, "ax"
    .arm
    .global _start9
_start9:
    set_stacks
    clear_bss

    mov     r0, #0
    mov     r1, #0
    ldr     r3, =main
    mov     lr, pc
    bx      r3
2:  b       2b
    .pool

@ ARM7: nothing to do but stay out of the way; the ARM9 reads the card.
    .section .arm7, "ax"
    .arm
    .global _start7
_start7:
    b       _start7
