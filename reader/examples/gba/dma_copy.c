/* gba_dma_copy: see dma_copy.h. */
#include "dma_copy.h"

#include <stddef.h>
#include <string.h>

#define REG_IME (*(volatile uint16_t *)0x04000208)
#define REG_DMA3SAD (*(volatile uint32_t *)0x040000D4)
#define REG_DMA3DAD (*(volatile uint32_t *)0x040000D8)
#define REG_DMA3CNT (*(volatile uint32_t *)0x040000DC)
#define DMA_ENABLE 0x80000000u
#define DMA_32BIT 0x04000000u
/* Bytes per transfer: the longest an interrupt waits is one chunk. */
#ifndef DMA_CHUNK
#define DMA_CHUNK 4096u
#endif
/* Below this, memcpy is done before DMA3 is set up. */
#define DMA_SHORTEST 32u
/* The copier runs as ARM code from internal work RAM (the Makefile compiles this file with
 * -marm -mlong-calls): from the cartridge, its few instructions between two chunks would
 * take more cycles than the chunks' first bytes. */
#define IWRAM_CODE __attribute__((section(".iwram"), noinline))

/* Moves `units` halfwords or words (`width` DMA_32BIT) and returns once they are there. The
 * three registers are written and the transfer runs with interrupts masked: a handler that
 * used DMA3 between the writes would leave its own addresses behind. The CPU stops while
 * the transfer runs anyway, so masking costs no latency. */
IWRAM_CODE static void dma3_transfer(void *dst, const void *src, uint32_t units, uint32_t width) {
  uint16_t ime = REG_IME;
  REG_IME = 0;
  REG_DMA3SAD = (uint32_t)(uintptr_t)src;
  REG_DMA3DAD = (uint32_t)(uintptr_t)dst;
  REG_DMA3CNT = DMA_ENABLE | width | units;
  while ((REG_DMA3CNT & DMA_ENABLE) != 0) {
  }
  REG_IME = ime;
}

IWRAM_CODE void gba_dma_copy(void *dst, const void *src, uint32_t n) {
  uint8_t *d = (uint8_t *)dst;
  const uint8_t *s = (const uint8_t *)src;
  uintptr_t apart = (uintptr_t)d ^ (uintptr_t)s;
  uint32_t unit = (apart & 3u) == 0 ? 4u : 2u, head;
  if (n < DMA_SHORTEST || (apart & 1u) != 0) {
    memcpy(dst, src, n);
    return;
  }
  head = (uint32_t)(-(uintptr_t)d & (unit - 1));
  if (head != 0) memcpy(d, s, head);
  d += head;
  s += head;
  n -= head;
  while (n >= unit) {
    uint32_t chunk = n < DMA_CHUNK ? n & ~(unit - 1) : DMA_CHUNK;
    dma3_transfer(d, s, chunk / unit, unit == 4 ? DMA_32BIT : 0);
    d += chunk;
    s += chunk;
    n -= chunk;
  }
  if (n != 0) memcpy(d, s, n);
}
