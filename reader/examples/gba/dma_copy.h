/* A copy function for kfs_set_copy that moves file bytes out of the cartridge with DMA3.
 * It lives in internal work RAM (section .iwram, copied there with .data at start-up). */
#ifndef GBA_DMA_COPY_H
#define GBA_DMA_COPY_H

#include <stdint.h>

/* Copies `n` bytes like memcpy: with 32-bit DMA3 transfers when `dst` and `src` lie alike
 * modulo 4 (16-bit ones when they lie alike modulo 2), in chunks of 4 KiB so that interrupts
 * are served between chunks, and with memcpy for the unaligned head and tail, for other
 * buffers and for short copies.
 *
 * Reentrant: each chunk is started and finished with interrupts masked (IME), so an
 * interrupt handler may copy with it, or use DMA3 itself, at any moment.
 *
 * When it does not fit:
 *  - The CPU stops while a chunk moves (about 10000 cycles, 8 scanlines, for 4 KiB from the
 *    cartridge into external work RAM), so interrupts wait up to that long.
 *    Sound DMA (channels 1 and 2) has priority and keeps running, but a timer interrupt that
 *    must swap sound buffers on time, or HBlank effects, need a smaller DMA_CHUNK.
 *  - VRAM, palette RAM and OAM take no byte writes (VRAM and palette store the byte in both
 *    halves of its halfword, OAM ignores it), so the memcpy head and tail go wrong there:
 *    give halfword-aligned buffers and even sizes, or read into work RAM first. Palette RAM
 *    and OAM are best written in VBlank, where the display does not read them.
 *  - A program that drives DMA3 from an interrupt handler without finishing the transfer
 *    there would have its registers overwritten. */
void gba_dma_copy(void *dst, const void *src, uint32_t n) __attribute__((long_call));

#endif
