/* The DS cartridge as a medium for the ARM9: reads the program's own .nds through the Slot-1
 * card bus with the data-read command 0xB7. Freestanding: no allocation, no library call.
 *
 * What it needs:
 * - the ARM9 (the card registers are mapped for both CPUs, but the bus is taken through the
 *   ARM9's EXMEMCNT; the ARM7 must not use the card meanwhile);
 * - the card in its data mode, as the boot leaves it, and the ROM control value of the
 *   program's own header (offset 0x60; the boot leaves a copy of the header at 0x027FFE00);
 * - one caller at a time: never from an interrupt handler while the main code reads, nor
 *   from two threads. Interrupts may stay on: the transfer is polled, not interrupt-driven.
 *
 * The card answers 0xB7 reads only from offset 0x8000 on (below it returns the bytes at
 * 0x8000 + (offset & 0x1FF)), so a read that touches an offset below 0x8000 fails instead of
 * returning wrong bytes: attach drives with `kivofs attach --nds-header`, which pads the
 * host to 0x8000. A command never crosses a 4 KiB page, where the card would wrap. */
#ifndef KFS_CARD_H
#define KFS_CARD_H

#include <stdint.h>

#include "kfs_block.h"
#include "kivofs_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The lowest offset that the data-read command reaches. */
#define KFS_CARD_FIRST_OFFSET 0x8000u
/* The card's page: one command stays inside it. */
#define KFS_CARD_PAGE 0x1000u
/* The offset of the ROM control value in an .nds header. */
#define KFS_NDS_ROMCTRL 0x60u

typedef struct kfs_card {
  kfs_block_medium blocks; /* the unaligned head and tail of a request */
  uint32_t romctrl;        /* the header's ROM control value */
} kfs_card;

/* Prepares `card`; `romctrl` is the 32-bit value at offset 0x60 of the program's header. */
void kfs_card_init(kfs_card *card, uint32_t romctrl);
/* The kfs_read_fn: pass the kfs_card as `ctx` to kfs_mount_callback. Any offset and size;
 * -1 when a byte lies below KFS_CARD_FIRST_OFFSET or past 4 GiB. */
int kfs_card_read(void *card, uint32_t offset, void *dst, uint32_t size);
/* The kfs_block_fn beneath it: `count` 512-byte blocks from the block-aligned `offset`
 * (>= KFS_CARD_FIRST_OFFSET) into the word-aligned `dst`. */
int kfs_card_read_blocks(void *card, uint32_t offset, void *dst, uint32_t count);

#ifdef __cplusplus
}
#endif

#endif
