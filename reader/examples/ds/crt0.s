@ Start-up for both CPUs, nothing from any SDK.
@ ARM9: stacks in main RAM, .bss cleared (the boot loaded everything else where it runs),
@ then main(0, 0) in Thumb code.
    .section .crt0, "ax"
    .arm
    .global _start9
_start9:
    mov     r0, #0x12           @ IRQ mode
    msr     cpsr_c, r0
    ldr     sp, =__sp_irq
    mov     r0, #0x1F           @ system mode, where main runs
    msr     cpsr_c, r0
    ldr     sp, =__sp_sys

    ldr     r1, =__bss_start
    ldr     r2, =__bss_end
    mov     r3, #0
1:  cmp     r1, r2
    strlo   r3, [r1], #4
    blo     1b

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
