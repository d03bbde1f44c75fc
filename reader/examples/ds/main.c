/* A tiny DS program: mounts the drives attached to its .nds with kfs_mount_ds, walks them and
 * writes a listing of every directory, and of every file with its size and CRC-32, into main
 * RAM at 0x02300000 (see listing.h). The test's emulator runner reads it from there. Its own
 * lines:
 *   medium card|file
 *   speed SIZE READ_TICKS OPEN_TICKS    (the largest file)
 * Ticks are the ARM9 timers' 33.51 MHz clock, spent in kfs_read and kfs_open.
 *
 * Built with newlib alone there is no file system, so argv[0] is NULL and the drives are
 * read through the card bus. A libnds or BlocksDS program with a FAT driver passes its
 * argv[0], and kfs_mount_ds reads the .nds from the flashcart or the SD card instead. */
#include <stdint.h>
#include <string.h>

#include "kfs_ds.h"
#include "kivofs_reader.h"
#include "listing.h"
#include "timer.h"

KFS_DEFINE_BLOCK(kivo_block);

static uint32_t chunk[16 * 1024 / 4]; /* words: whole blocks go straight from the card */
static uint32_t big_size, big_read_ticks, big_open_ticks;
static kfs_ds ds;
static kfs_drive drives[2];

static void list_file(int slot, kfs_drive *d, const char *path, uint32_t size) {
  kfs_file f;
  uint32_t crc = 0xFFFFFFFFu, read_ticks = 0, open_ticks = timer_count();
  int32_t got;
  int result = kfs_open(d, path, &f);
  open_ticks = timer_count() - open_ticks;
  if (result != KFS_OK) {
    put_error(path, result);
    return;
  }
  for (;;) {
    uint32_t start = timer_count();
    got = kfs_read(&f, chunk, sizeof chunk);
    read_ticks += timer_count() - start;
    if (got <= 0) break;
    crc = crc32_update(crc, (const uint8_t *)chunk, (uint32_t)got);
  }
  if (got < 0) put_error(path, got);
  put_file(slot, path, size, ~crc);
  if (size >= big_size) {
    big_size = size;
    big_read_ticks = read_ticks;
    big_open_ticks = open_ticks;
  }
}

int main(int argc, char **argv) {
  char name[KFS_NAME_MAX + 1];
  int slot, result;

  listing_start();
  timer_start(); /* counts the ARM9 bus clock */

  result = kfs_mount_ds(&ds, kivo_block, argc > 0 ? argv[0] : NULL, KFS_DS_BOOT_HEADER, drives);
  put(ds.medium == KFS_DS_FILE ? "medium file\n" : "medium card\n");
  if (result != KFS_OK) put_error("mount", result);
  for (slot = 0; slot < 2; ++slot) {
    kfs_drive_name(&drives[slot], name);
    if (name[0] == '\0') continue; /* not mounted: no drive in this slot, or the error above */
    put_drive(slot, &drives[slot]);
    list_drive(slot, &drives[slot], list_file);
  }
  kfs_ds_close(&ds);
  put("speed");
  put_number(big_size, 10);
  put_number(big_read_ticks, 10);
  put_number(big_open_ticks, 10);
  put("\n");
  listing_finish();
  for (;;) {
  }
}
