/* kfs_card: see kfs_card.h. Commands are polled: write the 8 command bytes, start the
 * transfer through ROMCTRL, then copy a word from the data port each time the card says one
 * is ready, until the busy bit drops. */
#include "kfs_card.h"

#include <stddef.h>

#define KFS_REG_EXMEMCNT 0x04000204u
#define KFS_REG_AUXSPICNT_HIGH 0x040001A1u
#define KFS_REG_ROMCTRL 0x040001A4u
#define KFS_REG_COMMAND 0x040001A8u /* 8 bytes, the first sent first */
#define KFS_REG_DATA 0x04100010u

#define KFS_EXMEMCNT_ARM7_SLOT1 0x0800u /* set: the ARM7 owns the card bus */
#define KFS_AUXSPI_ENABLE 0x80u         /* the slot on, in ROM (not save chip) mode */
#define KFS_ROMCTRL_START 0x80000000u   /* written: start; read: busy */
#define KFS_ROMCTRL_RELEASE 0x20000000u /* release the card's reset */
#define KFS_ROMCTRL_BLOCK_SHIFT 24u     /* block size: 0x100 << n bytes, n = 1..4 here */
#define KFS_ROMCTRL_BLOCK_MASK 0x07000000u
#define KFS_ROMCTRL_READY 0x00800000u /* a data word waits in the data port */
#define KFS_CMD_DATA_READ 0xB7u

#ifdef KFS_CARD_SIMULATED
/* Host tests supply the card registers. */
uint32_t kfs_card_sim_load(uint32_t address, unsigned bytes);
void kfs_card_sim_store(uint32_t address, uint32_t value, unsigned bytes);
#define KFS_LOAD(address, type) ((type)kfs_card_sim_load(address, sizeof(type)))
#define KFS_STORE(address, type, value) kfs_card_sim_store(address, (uint32_t)(value), sizeof(type))
#else
#define KFS_LOAD(address, type) (*(volatile type *)(uintptr_t)(address))
#define KFS_STORE(address, type, value) (*(volatile type *)(uintptr_t)(address) = (type)(value))
#endif

void kfs_card_init(kfs_card *card, uint32_t romctrl) {
  kfs_block_init(&card->blocks, kfs_card_read_blocks, card);
  card->romctrl = romctrl;
}

int kfs_card_read(void *card, uint32_t offset, void *dst, uint32_t size) {
  kfs_card *c = (kfs_card *)card;
  if (c == NULL || offset < KFS_CARD_FIRST_OFFSET || (size > 0 && size - 1 > 0xFFFFFFFFu - offset)) {
    return -1;
  }
  return kfs_block_read(&c->blocks, offset, dst, size);
}

/* One 0xB7 command: `size` bytes (0x100 << code) from `offset` into `dst`. */
static int kfs_card_command(const kfs_card *c, uint32_t offset, uint32_t *dst, uint32_t code) {
  uint32_t words = (0x100u << code) / 4, n = 0, ctrl, word, i;
  uint8_t command[8] = {KFS_CMD_DATA_READ, 0, 0, 0, 0, 0, 0, 0};
  command[1] = (uint8_t)(offset >> 24);
  command[2] = (uint8_t)(offset >> 16);
  command[3] = (uint8_t)(offset >> 8);
  command[4] = (uint8_t)offset;
  KFS_STORE(KFS_REG_EXMEMCNT, uint16_t,
            KFS_LOAD(KFS_REG_EXMEMCNT, uint16_t) & ~KFS_EXMEMCNT_ARM7_SLOT1);
  while (KFS_LOAD(KFS_REG_ROMCTRL, uint32_t) & KFS_ROMCTRL_START) {
  }
  KFS_STORE(KFS_REG_AUXSPICNT_HIGH, uint8_t, KFS_AUXSPI_ENABLE);
  for (i = 0; i < 8; ++i) KFS_STORE(KFS_REG_COMMAND + i, uint8_t, command[i]);
  KFS_STORE(KFS_REG_ROMCTRL, uint32_t,
            (c->romctrl & ~(KFS_ROMCTRL_BLOCK_MASK | KFS_ROMCTRL_START)) | KFS_ROMCTRL_START |
                KFS_ROMCTRL_RELEASE | code << KFS_ROMCTRL_BLOCK_SHIFT);
  do {
    ctrl = KFS_LOAD(KFS_REG_ROMCTRL, uint32_t);
    if (ctrl & KFS_ROMCTRL_READY) {
      word = KFS_LOAD(KFS_REG_DATA, uint32_t);
      if (n < words) dst[n++] = word;
    }
  } while (ctrl & KFS_ROMCTRL_START);
  return n == words ? 0 : -1;
}

int kfs_card_read_blocks(void *card, uint32_t offset, void *dst, uint32_t count) {
  const kfs_card *c = (const kfs_card *)card;
  uint32_t *out = (uint32_t *)dst;
  if (offset < KFS_CARD_FIRST_OFFSET || offset % KFS_BLOCK_SIZE != 0 || (uintptr_t)dst % 4 != 0) {
    return -1;
  }
  while (count > 0) {
    /* The largest block that starts aligned to its own size: it ends inside the page. */
    uint32_t code = 4, size = KFS_CARD_PAGE;
    while (size > KFS_BLOCK_SIZE && (offset % size != 0 || size / KFS_BLOCK_SIZE > count)) {
      size /= 2;
      --code;
    }
    if (offset > 0xFFFFFFFFu - (size - 1)) return -1;
    if (kfs_card_command(c, offset, out, code) != 0) return -1;
    out += size / 4;
    offset += size;
    count -= size / KFS_BLOCK_SIZE;
  }
  return 0;
}
