/* A tiny DS program: mounts the drives attached to its .nds with kfs_mount_ds, walks them and
 * writes a listing of every directory, and of every file with its size and CRC-32, into main
 * RAM at 0x02300000. The test's emulator runner reads it from there. Lines:
 *   medium card|file
 *   drive SLOT NAME
 *   d SLOT PATH
 *   f SLOT PATH SIZE CRC32
 *   error WHAT CODE
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

KFS_DEFINE_BLOCK(kivo_block);

#define REG_IME (*(volatile uint32_t *)0x04000208)
#define REG_TM0CNT_L (*(volatile uint16_t *)0x04000100)
#define REG_TM0CNT_H (*(volatile uint16_t *)0x04000102)
#define REG_TM1CNT_L (*(volatile uint16_t *)0x04000104)
#define REG_TM1CNT_H (*(volatile uint16_t *)0x04000106)

/* Read by the runner at 0x02300000 once `done` holds LISTING_DONE. */
#define LISTING_DONE 0x54534C4Bu
struct listing {
  volatile uint32_t done;
  uint32_t length;
  char text[60 * 1024];
};
__attribute__((section(".listing"))) struct listing listing;
static uint32_t chunk[16 * 1024 / 4]; /* words: whole blocks go straight from the card */
static uint32_t crc_table[256];
static char path[256];
static uint32_t big_size, big_read_ticks, big_open_ticks;
static kfs_ds ds;
static kfs_drive drives[2];

static void put(const char *text) {
  uint32_t n = (uint32_t)strlen(text);
  if (n > sizeof listing.text - listing.length) n = sizeof listing.text - listing.length;
  memcpy(listing.text + listing.length, text, n);
  listing.length += n;
}

static void put_number(uint32_t value, uint32_t base) {
  char digits[12];
  int i = (int)sizeof digits - 1;
  digits[i] = '\0';
  do {
    digits[--i] = "0123456789abcdef"[value % base];
    value /= base;
  } while (value != 0);
  put(" ");
  put(digits + i);
}

static void put_error(const char *what, int code) {
  put("error ");
  put(what);
  put_number((uint32_t)-code, 10);
  put("\n");
}

static uint32_t ticks(void) {
  uint16_t high, low;
  do {
    high = REG_TM1CNT_L;
    low = REG_TM0CNT_L;
  } while (high != REG_TM1CNT_L);
  return (uint32_t)high << 16 | low;
}

static void file(int slot, kfs_drive *d, uint32_t size) {
  const uint8_t *bytes = (const uint8_t *)chunk;
  kfs_file f;
  uint32_t crc = 0xFFFFFFFFu, read_ticks = 0, open_ticks = ticks();
  int32_t got;
  int result = kfs_open(d, path, &f);
  open_ticks = ticks() - open_ticks;
  if (result != KFS_OK) {
    put_error(path, result);
    return;
  }
  for (;;) {
    uint32_t start = ticks(), i;
    got = kfs_read(&f, chunk, sizeof chunk);
    read_ticks += ticks() - start;
    if (got <= 0) break;
    for (i = 0; i < (uint32_t)got; ++i) crc = crc_table[(crc ^ bytes[i]) & 0xFFu] ^ crc >> 8;
  }
  if (got < 0) put_error(path, got);
  put("f");
  put_number((uint32_t)slot, 10);
  put(" ");
  put(path);
  put_number(size, 10);
  put_number(~crc, 16);
  put("\n");
  if (size >= big_size) {
    big_size = size;
    big_read_ticks = read_ticks;
    big_open_ticks = open_ticks;
  }
}

/* Lists the directory whose path is the first `length` bytes of `path`. Names hold at most
 * 16 bytes, and the reader refuses directories that lead back up, so the depth is bounded
 * by the path buffer. */
static void walk(int slot, kfs_drive *d, uint32_t length) {
  kfs_dir dir;
  kfs_stat st;
  int result;
  path[length] = '\0';
  result = kfs_opendir(d, path, &dir);
  while (result == KFS_OK && (result = kfs_readdir(&dir, &st)) == 1) {
    uint32_t start = length == 0 ? 0 : length + 1, n = (uint32_t)strlen(st.name);
    if (start + n + 1 > sizeof path) {
      put_error("path too long", KFS_ERR_ARG);
      continue;
    }
    if (length != 0) path[length] = '/';
    memcpy(path + start, st.name, n + 1);
    if (st.is_dir) {
      put("d");
      put_number((uint32_t)slot, 10);
      put(" ");
      put(path);
      put("\n");
      walk(slot, d, start + n);
    } else {
      file(slot, d, st.size);
    }
    result = KFS_OK;
  }
  if (result < 0) {
    path[length] = '\0';
    put_error(length == 0 ? "/" : path, result);
  }
}

int main(int argc, char **argv) {
  char name[KFS_NAME_MAX + 1];
  uint32_t i, bit;
  int slot, result;

  listing.done = 0;
  listing.length = 0;
  REG_TM0CNT_L = 0;
  REG_TM1CNT_L = 0;
  REG_TM1CNT_H = 0x0084; /* counts timer 0's overflows */
  REG_TM0CNT_H = 0x0080; /* every bus clock */
  for (i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (bit = 0; bit < 8; ++bit) c = c & 1u ? 0xEDB88320u ^ c >> 1 : c >> 1;
    crc_table[i] = c;
  }

  result = kfs_mount_ds(&ds, kivo_block, argc > 0 ? argv[0] : NULL, KFS_DS_BOOT_HEADER, drives);
  put(ds.medium == KFS_DS_FILE ? "medium file\n" : "medium card\n");
  if (result != KFS_OK) put_error("mount", result);
  for (slot = 0; slot < 2; ++slot) {
    kfs_drive_name(&drives[slot], name);
    if (name[0] == '\0') continue; /* not mounted: no drive in this slot, or the error above */
    put("drive");
    put_number((uint32_t)slot, 10);
    put(" ");
    put(name);
    put("\n");
    walk(slot, &drives[slot], 0);
  }
  kfs_ds_close(&ds);
  put("speed");
  put_number(big_size, 10);
  put_number(big_read_ticks, 10);
  put_number(big_open_ticks, 10);
  put("\n");
  listing.done = LISTING_DONE;
  for (;;) {
  }
}
