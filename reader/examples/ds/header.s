@ The .nds header, 512 bytes at file offset 0, filled in by the linker: what a DS (or an
@ emulator booting the ROM directly) needs to load and start both CPUs. No logo and no CRC:
@ `kivofs attach --nds-header` sets the used size, the capacity and the header CRC.
    .section .header, "a"
    .ascii  "KIVOFS DS   "      @ 0x00 title, 12 bytes
    .ascii  "KFSD"              @ 0x0C game code
    .ascii  "00"                @ 0x10 maker code
    .byte   0                   @ 0x12 unit code: DS
    .byte   0                   @ 0x13 encryption seed
    .byte   0                   @ 0x14 device capacity, 128 KiB << n
    .fill   9, 1, 0             @ 0x15 reserved, region
    .byte   0                   @ 0x1E version
    .byte   0                   @ 0x1F autostart
    .word   __arm9_rom_offset   @ 0x20 ARM9: file offset, entry, load address, size
    .word   _start9
    .word   __arm9_start
    .word   __arm9_size
    .word   __arm7_rom_offset   @ 0x30 ARM7: the same
    .word   _start7
    .word   __arm7_start
    .word   __arm7_size
    .fill   8, 4, 0             @ 0x40 file name and allocation tables, overlays: none
    .word   0x00586000          @ 0x60 card control for data reads (read by kfs_card)
    .word   0x001808F8          @ 0x64 card control for the boot's encrypted commands
    .word   0                   @ 0x68 icon and title: none
    .hword  0                   @ 0x6C secure area CRC
    .hword  0x0D7E              @ 0x6E secure transfer timeout
    .fill   4, 4, 0             @ 0x70 autoload hooks, secure area disable
    .word   __rom_size          @ 0x80 total used ROM size
    .word   0x200               @ 0x84 header size
    .fill   0x15E - 0x88, 1, 0  @ 0x88 reserved, logo, logo CRC
    .hword  0                   @ 0x15E header CRC
    .fill   0x200 - 0x160, 1, 0
