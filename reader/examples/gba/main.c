/* A tiny GBA program: mounts the drives attached to it, walks them and writes a listing of
 * every directory, and of every file with its size and CRC-32, into external work RAM. The
 * test's emulator runner reads it from there. Lines:
 *   drive SLOT NAME
 *   d SLOT PATH
 *   f SLOT PATH SIZE CRC32
 *   error WHAT CODE
 *   speed SIZE READ_CYCLES OPEN_CYCLES    (the largest file)
 * Cycles are CPU cycles (16.78 MHz) spent in kfs_read and kfs_open, timed by timers 0 and 1. */
#include <stdint.h>
#include <string.h>

#include "kivofs_reader.h"

KFS_DEFINE_BLOCK(kivo_block);

#define REG_DISPCNT (*(volatile uint16_t *)0x04000000)
#define REG_TM0CNT_L (*(volatile uint16_t *)0x04000100)
#define REG_TM0CNT_H (*(volatile uint16_t *)0x04000102)
#define REG_TM1CNT_L (*(volatile uint16_t *)0x04000104)
#define REG_TM1CNT_H (*(volatile uint16_t *)0x04000106)
#define REG_WAITCNT (*(volatile uint16_t *)0x04000204)
#define CARTRIDGE ((const uint8_t *)0x08000000)
#define CARTRIDGE_MAX 0x02000000u /* 32 MiB */

/* Read by the runner at 0x02000000 once `done` holds LISTING_DONE. */
#define LISTING_DONE 0x54534C4Bu
struct listing {
  volatile uint32_t done;
  uint32_t length;
  char text[60 * 1024];
};
__attribute__((section(".listing"))) struct listing listing;
__attribute__((section(".ewram"))) static uint8_t chunk[16 * 1024];
static uint32_t crc_table[256];
static char path[256];
static uint32_t big_size, big_read_cycles, big_open_cycles;

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

static uint32_t cycles(void) {
  uint16_t high, low;
  do {
    high = REG_TM1CNT_L;
    low = REG_TM0CNT_L;
  } while (high != REG_TM1CNT_L);
  return (uint32_t)high << 16 | low;
}

static void file(int slot, kfs_drive *d, uint32_t size) {
  kfs_file f;
  uint32_t crc = 0xFFFFFFFFu, read_cycles = 0, open_cycles = cycles();
  int32_t got;
  int result = kfs_open(d, path, &f);
  open_cycles = cycles() - open_cycles;
  if (result != KFS_OK) {
    put_error(path, result);
    return;
  }
  for (;;) {
    uint32_t start = cycles(), i;
    got = kfs_read(&f, chunk, sizeof chunk);
    read_cycles += cycles() - start;
    if (got <= 0) break;
    for (i = 0; i < (uint32_t)got; ++i) crc = crc_table[(crc ^ chunk[i]) & 0xFFu] ^ crc >> 8;
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
    big_read_cycles = read_cycles;
    big_open_cycles = open_cycles;
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

int main(void) {
  kfs_params params, found;
  kfs_drive drive;
  char name[KFS_NAME_MAX + 1];
  uint32_t i, bit;
  int slot, result;

  listing.done = 0;
  listing.length = 0;
  REG_DISPCNT = 0x0080; /* forced blank: nothing to show */
  REG_WAITCNT = 0x4317; /* cartridge 3/1 wait states with prefetch, as games set it */
  REG_TM0CNT_L = 0;
  REG_TM1CNT_L = 0;
  REG_TM1CNT_H = 0x0084; /* counts timer 0's overflows */
  REG_TM0CNT_H = 0x0080; /* every cycle */
  for (i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (bit = 0; bit < 8; ++bit) c = c & 1u ? 0xEDB88320u ^ c >> 1 : c >> 1;
    crc_table[i] = c;
  }

  result = kfs_decode_params(kivo_block + 11, &params);
  if (result != KFS_OK) put_error("params", result);
  /* The search must find the same block: the library never holds the marker itself. */
  result = kfs_find_params(CARTRIDGE, CARTRIDGE_MAX, &found);
  if (result != KFS_OK || memcmp(found.start, params.start, sizeof found.start) != 0 ||
      memcmp(found.end, params.end, sizeof found.end) != 0) {
    put_error("find", result == KFS_OK ? KFS_ERR_FORMAT : result);
  }
  for (slot = 0; slot < 2; ++slot) {
    if (params.start[slot] == 0 && params.end[slot] == 0) continue;
    result = kfs_mount_memory(&drive, CARTRIDGE + params.start[slot],
                              params.end[slot] - params.start[slot] + 1);
    if (result != KFS_OK) {
      put_error("mount", result);
      continue;
    }
    kfs_drive_name(&drive, name);
    put("drive");
    put_number((uint32_t)slot, 10);
    put(" ");
    put(name);
    put("\n");
    walk(slot, &drive, 0);
  }
  put("speed");
  put_number(big_size, 10);
  put_number(big_read_cycles, 10);
  put_number(big_open_cycles, 10);
  put("\n");
  listing.done = LISTING_DONE;
  for (;;) {
  }
}
