@ The smallest start of a GBA cartridge program: the header, the stack, .data copied out of
@ the ROM and .bss cleared, then main(). Real hardware also wants the header's logo and
@ complement check, which a header fixer fills in; emulators started past the BIOS do not.
    .section .crt0, "ax"
    .arm
    .global _start
_start:
    b       start
    .fill   156, 1, 0           @ logo
    .ascii  "KIVO FS ROM "      @ title
    .ascii  "KFSG00"            @ game and maker code
    .byte   0x96, 0, 0          @ fixed value, unit, device
    .fill   11, 1, 0            @ reserved, version, complement check, reserved

start:
    mov     r0, #0x1F           @ system mode
    msr     cpsr_c, r0
    ldr     sp, =__stack_top
    ldr     r0, =__data_rom
    ldr     r1, =__data_start
    ldr     r2, =__bss_start
copy:
    cmp     r1, r2
    ldrlo   r3, [r0], #4
    strlo   r3, [r1], #4
    blo     copy
    ldr     r2, =__bss_end
    mov     r3, #0
clear:
    cmp     r1, r2
    strlo   r3, [r1], #4
    blo     clear
    ldr     r0, =main
    bx      r0
    .pool
