/* Reads every file of the drive attached to the ROM and writes a listing into external work
 * RAM, where an emulator (or a debugger) can read it:
 *   drive 0 NAME
 *   d 0 PATH            a directory
 *   f 0 PATH SIZE CRC   a file, its size and CRC-32 in hex
 *   error WHERE CODE
 * The first word turns to LISTING_DONE when the listing is complete. */
#include <stdint.h>
#include <string.h>

#include "kivofs_reader.h"

KFS_DEFINE_BLOCK(kivo_block); /* kivofs attach fills it in */

#define CARTRIDGE ((const uint8_t *)0x08000000)
#define LISTING_DONE 0x54534C4Bu

__attribute__((section(".listing"))) struct {
  volatile uint32_t done;
  uint32_t length;
  char text[60 * 1024];
} listing;
static uint8_t chunk[4096];
static char path[256];

static void put(const char *text) {
  uint32_t n = (uint32_t)strlen(text);
  if (n > sizeof listing.text - listing.length) n = sizeof listing.text - listing.length;
  memcpy(listing.text + listing.length, text, n);
  listing.length += n;
}

static void put_hex(uint32_t value, int decimal) {
  char digits[12];
  int i = sizeof digits - 1;
  uint32_t base = decimal ? 10 : 16;
  digits[i] = '\0';
  do digits[--i] = "0123456789abcdef"[value % base]; while ((value /= base) != 0);
  put(" ");
  put(digits + i);
}

static void put_error(const char *where, int code) {
  put("error ");
  put(where);
  put_hex((uint32_t)-code, 1);
  put("\n");
}

static uint32_t crc32(uint32_t crc, const uint8_t *bytes, int32_t n) {
  while (n-- > 0) {
    crc ^= *bytes++;
    for (int bit = 0; bit < 8; ++bit) crc = crc & 1u ? 0xEDB88320u ^ crc >> 1 : crc >> 1;
  }
  return crc;
}

static void list_file(kfs_drive *drive, uint32_t size) {
  kfs_file file;
  uint32_t crc = 0xFFFFFFFFu;
  int32_t got;
  int result = kfs_open(drive, path, &file);
  if (result != KFS_OK) return put_error(path, result);
  while ((got = kfs_read(&file, chunk, sizeof chunk)) > 0) crc = crc32(crc, chunk, got);
  if (got < 0) return put_error(path, got);
  put("f 0 ");
  put(path);
  put_hex(size, 1);
  put_hex(~crc, 0);
  put("\n");
}

/* Lists the directory named by the first `length` bytes of `path`, and all below it. */
static void list_dir(kfs_drive *drive, uint32_t length) {
  kfs_dir dir;
  kfs_stat st;
  int result;
  path[length] = '\0';
  result = kfs_opendir(drive, path, &dir);
  while (result == KFS_OK && (result = kfs_readdir(&dir, &st)) == 1) {
    uint32_t start = length == 0 ? 0 : length + 1, n = (uint32_t)strlen(st.name);
    if (start + n + 1 > sizeof path) return put_error("path too long", KFS_ERR_ARG);
    if (length != 0) path[length] = '/';
    memcpy(path + start, st.name, n + 1);
    if (st.is_dir) {
      put("d 0 ");
      put(path);
      put("\n");
      list_dir(drive, start + n);
    } else {
      list_file(drive, st.size);
    }
    result = KFS_OK;
  }
  if (result < 0) put_error(length == 0 ? "/" : path, result);
}

int main(void) {
  kfs_params params;
  kfs_drive drive;
  char name[KFS_NAME_MAX + 1];
  int result = kfs_decode_params(kivo_block + 11, &params);
  if (result == KFS_OK) {
    result = kfs_mount_memory(&drive, CARTRIDGE + params.start[0],
                              params.end[0] - params.start[0] + 1);
  }
  if (result == KFS_OK) {
    kfs_drive_name(&drive, name);
    put("drive 0 ");
    put(name);
    put("\n");
    list_dir(&drive, 0);
  } else {
    put_error("mount", result);
  }
  listing.done = LISTING_DONE;
  for (;;) {
  }
}
