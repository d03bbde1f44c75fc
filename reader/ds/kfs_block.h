/* A kfs_read_fn for media that read only whole 512-byte blocks at 512-byte-aligned offsets,
 * such as a DS cartridge read through card commands (see kfs_card.h). Freestanding. */
#ifndef KFS_BLOCK_H
#define KFS_BLOCK_H

#include <stdint.h>

#include "kivofs_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KFS_BLOCK_SIZE 512u

/* Reads `count` blocks from the block-aligned `offset` into `dst` (word-aligned); 0 on
 * success. */
typedef int (*kfs_block_fn)(void *ctx, uint32_t offset, void *dst, uint32_t count);

typedef struct kfs_block_medium {
  kfs_block_fn read_blocks;
  void *ctx;
  uint32_t cached; /* offset of the block held in `buffer` */
  int valid;
  uint32_t buffer[KFS_BLOCK_SIZE / 4]; /* words: card transfers want aligned buffers */
} kfs_block_medium;

void kfs_block_init(kfs_block_medium *m, kfs_block_fn read_blocks, void *ctx);
/* The kfs_read_fn: pass the kfs_block_medium as `ctx` to kfs_mount_callback. */
int kfs_block_read(void *medium, uint32_t offset, void *dst, uint32_t size);

#ifdef __cplusplus
}
#endif

#endif
