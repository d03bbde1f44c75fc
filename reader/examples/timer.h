/* Timers 0 and 1 cascaded into one 32-bit count of the timers' clock: the GBA and the DS's
 * ARM9 have them at the same addresses. */
#ifndef KFS_EXAMPLE_TIMER_H
#define KFS_EXAMPLE_TIMER_H

#include <stdint.h>

#define REG_TM0CNT_L (*(volatile uint16_t *)0x04000100)
#define REG_TM0CNT_H (*(volatile uint16_t *)0x04000102)
#define REG_TM1CNT_L (*(volatile uint16_t *)0x04000104)
#define REG_TM1CNT_H (*(volatile uint16_t *)0x04000106)

static inline void timer_start(void) {
  REG_TM0CNT_L = 0;
  REG_TM1CNT_L = 0;
  REG_TM1CNT_H = 0x0084; /* counts timer 0's overflows */
  REG_TM0CNT_H = 0x0080; /* every clock */
}

/* Reads the high half again until it holds still, so that a carry between the two reads
 * cannot tear the count. */
static inline uint32_t timer_count(void) {
  uint16_t high, low;
  do {
    high = REG_TM1CNT_L;
    low = REG_TM0CNT_L;
  } while (high != REG_TM1CNT_L);
  return (uint32_t)high << 16 | low;
}

#endif
