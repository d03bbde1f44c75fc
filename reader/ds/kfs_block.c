/* Whole aligned blocks go straight into the caller's buffer; the unaligned head and tail of
 * a request go through one block buffer, which keeps its block: the reader's small reads
 * (35-byte directory slots, allocation-table entries) then mostly cost no card access. */
#include "kfs_block.h"

#include <stddef.h>
#include <string.h>

void kfs_block_init(kfs_block_medium *m, kfs_block_fn read_blocks, void *ctx) {
  m->read_blocks = read_blocks;
  m->ctx = ctx;
  m->cached = 0;
  m->valid = 0;
}

int kfs_block_read(void *medium, uint32_t offset, void *dst, uint32_t size) {
  kfs_block_medium *m = (kfs_block_medium *)medium;
  uint8_t *out = (uint8_t *)dst;
  while (size > 0) {
    uint32_t skip = offset % KFS_BLOCK_SIZE, n;
    if (skip == 0 && size >= KFS_BLOCK_SIZE && (uintptr_t)out % 4 == 0) {
      n = size - size % KFS_BLOCK_SIZE;
      if (m->read_blocks(m->ctx, offset, out, n / KFS_BLOCK_SIZE) != 0) return -1;
    } else {
      if (!m->valid || m->cached != offset - skip) {
        m->valid = 0;
        if (m->read_blocks(m->ctx, offset - skip, m->buffer, 1) != 0) return -1;
        m->cached = offset - skip;
        m->valid = 1;
      }
      n = KFS_BLOCK_SIZE - skip < size ? KFS_BLOCK_SIZE - skip : size;
      memcpy(out, (const uint8_t *)m->buffer + skip, n);
    }
    out += n;
    offset += n;
    size -= n;
  }
  return 0;
}
