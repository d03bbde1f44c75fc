/* A DS-style program: the cartridge is not mapped into memory, so the reader goes through
 * card reads. card_read_blocks is the program's own: on a DS it issues the card's read
 * command for 512-byte blocks of the .nds file (your card or DLDI code). The drive offsets
 * in the parameter block are offsets in that file. */
#include <stdint.h>

#include "block_reader.h"
#include "kivofs_reader.h"

KFS_DEFINE_BLOCK(kivo_block);

/* `count` 512-byte blocks of the .nds file from the block-aligned `offset` into `dst`. */
int card_read_blocks(void *ctx, uint32_t offset, void *dst, uint32_t count);

static kfs_block_medium card;
static kfs_drive drive;
static uint8_t level[64 * 1024];

/* Loads a file whole into `buf`; its length, or an error below zero. */
static int32_t load(const char *path, void *buf, uint32_t capacity) {
  kfs_file f;
  int result = kfs_open(&drive, path, &f);
  if (result != KFS_OK) return result;
  if (kfs_size(&f) > capacity) return KFS_ERR_ARG;
  return kfs_read(&f, buf, kfs_size(&f));
}

int main(void) {
  kfs_params p;
  int32_t length;
  if (kfs_decode_params(kivo_block + 11, &p) != KFS_OK) return 1;
  kfs_block_init(&card, card_read_blocks, 0);
  if (kfs_mount_callback(&drive, kfs_block_read, &card, p.start[0], p.end[0] - p.start[0] + 1) !=
      KFS_OK) {
    return 1;
  }
  length = load("levels/level1.map", level, sizeof level);
  return length < 0 ? 2 : 0;
}
