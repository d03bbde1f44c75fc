@ Start-up for a GBA cartridge program: the cartridge header, stacks, .data copied from
@ the ROM, .bss cleared, then main() in Thumb code. Nothing from any SDK.
    .include "start.inc"
    .section .crt0, "ax"
    .arm
    .global _start
_start:
    b       reset
    @ Cartridge header. Real hardware also wants the logo bytes and the complement check
    @ filled in by a header fixer; emulators started past the BIOS do not look at them.
    .fill   156, 1, 0           @ logo
    .ascii  "KFS READER  "      @ title, 12 bytes
    .ascii  "KFSR"              @ game code
    .ascii  "00"                @ maker code
    .byte   0x96                @ fixed value
    .byte   0, 0                @ unit code, device type
    .fill   7, 1, 0
    .byte   0                   @ version
    .byte   0                   @ complement check
    .fill   2, 1, 0

reset:
    set_stacks

    ldr     r0, =__data_lma
    ldr     r1, =__data_start
    ldr     r2, =__data_end
1:  cmp     r1, r2
    ldrlo   r3, [r0], #4
    strlo   r3, [r1], #4
    blo     1b
    clear_bss

    ldr     r0, =main
    mov     lr, pc
    bx      r0
3:  b       3b
    .pool

@ The interrupt handler for the BIOS to call (its address goes to 0x03007FFC). The BIOS has
@ saved r0-r3, r12 and lr in IRQ mode. This acknowledges the raised interrupts and calls
@ irq_handler(raised) in system mode, on the program's stack, with interrupts still off:
@ the IRQ stack holds only 160 bytes.
    .global irq_entry
irq_entry:
    mov     r2, #0x04000000
    add     r2, r2, #0x200
    ldr     r0, [r2]            @ IE, and IF above it
    and     r0, r0, r0, lsr #16 @ raised and enabled
    strh    r0, [r2, #2]        @ acknowledged in IF
    mrs     r3, spsr
    stmfd   sp!, {r3, lr}
    mov     r3, #0x9F           @ system mode, IRQ masked
    msr     cpsr_c, r3
    stmfd   sp!, {lr}           @ the interrupted code's lr
    ldr     r3, =irq_handler
    mov     lr, pc
    bx      r3
    ldmfd   sp!, {lr}
    mov     r3, #0x92           @ back to IRQ mode, IRQ masked
    msr     cpsr_c, r3
    ldmfd   sp!, {r3, lr}
    msr     spsr_cf, r3
    bx      lr
    .pool
