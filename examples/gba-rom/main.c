/* Reads every file of the drive attached to the ROM and writes a listing into external work
 * RAM, where an emulator (or a debugger) can read it: the kit's reader/examples/listing.h
 * tells its lines and where it lies. */
#include <stdint.h>

#include "kivofs_reader.h"
#include "listing.h"

KFS_DEFINE_BLOCK(kivo_block); /* kivofs attach fills it in */

#define CARTRIDGE ((const uint8_t *)0x08000000)

static uint8_t chunk[4096];

static void list_file(int slot, kfs_drive *drive, const char *path, uint32_t size) {
  kfs_file file;
  uint32_t crc = 0xFFFFFFFFu;
  int32_t got;
  int result = kfs_open(drive, path, &file);
  if (result != KFS_OK) {
    put_error(path, result);
    return;
  }
  while ((got = kfs_read(&file, chunk, sizeof chunk)) > 0) {
    crc = crc32_update(crc, chunk, (uint32_t)got);
  }
  if (got < 0) {
    put_error(path, got);
    return;
  }
  put_file(slot, path, size, ~crc);
}

int main(void) {
  kfs_params params;
  kfs_drive drive;
  int result = kfs_decode_params(kivo_block + 11, &params);
  listing_start();
  if (result == KFS_OK) {
    result = kfs_mount_memory(&drive, CARTRIDGE + params.start[0],
                              params.end[0] - params.start[0] + 1);
  }
  if (result == KFS_OK) {
    put_drive(0, &drive);
    list_drive(0, &drive, list_file);
  } else {
    put_error("mount", result);
  }
  listing_finish();
  for (;;) {
  }
}
