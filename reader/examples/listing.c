#include "listing.h"

#include <string.h>

struct listing {
  volatile uint32_t done;
  uint32_t length;
  char text[60 * 1024];
};
__attribute__((section(".listing"))) struct listing listing;
static uint32_t crc_table[256];
static char path[256];

void listing_start(void) {
  uint32_t i, bit;
  listing.done = 0;
  listing.length = 0;
  for (i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (bit = 0; bit < 8; ++bit) c = c & 1u ? 0xEDB88320u ^ c >> 1 : c >> 1;
    crc_table[i] = c;
  }
}

void listing_finish(void) {
  listing.done = LISTING_DONE;
}

void put(const char *text) {
  uint32_t n = (uint32_t)strlen(text);
  if (n > sizeof listing.text - listing.length) n = sizeof listing.text - listing.length;
  memcpy(listing.text + listing.length, text, n);
  listing.length += n;
}

void put_number(uint32_t value, uint32_t base) {
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

void put_error(const char *what, int code) {
  put("error ");
  put(what);
  put_number((uint32_t)-code, 10);
  put("\n");
}

static void put_entry(const char *kind, int slot, const char *text) {
  put(kind);
  put_number((uint32_t)slot, 10);
  put(" ");
  put(text);
}

void put_drive(int slot, const kfs_drive *drive) {
  char name[KFS_NAME_MAX + 1];
  kfs_drive_name(drive, name);
  put_entry("drive", slot, name);
  put("\n");
}

void put_file(int slot, const char *file, uint32_t size, uint32_t crc) {
  put_entry("f", slot, file);
  put_number(size, 10);
  put_number(crc, 16);
  put("\n");
}

uint32_t crc32_update(uint32_t crc, const uint8_t *bytes, uint32_t n) {
  uint32_t i;
  for (i = 0; i < n; ++i) crc = crc_table[(crc ^ bytes[i]) & 0xFFu] ^ crc >> 8;
  return crc;
}

/* Lists the directory whose path is the first `length` bytes of `path`. Names hold at most
 * 16 bytes, and the reader refuses directories that lead back up, so the depth is bounded
 * by the path buffer. */
static void walk(int slot, kfs_drive *drive, uint32_t length, listing_file_fn file) {
  kfs_dir dir;
  kfs_stat st;
  int result;
  path[length] = '\0';
  result = kfs_opendir(drive, path, &dir);
  while (result == KFS_OK && (result = kfs_readdir(&dir, &st)) == 1) {
    uint32_t start = length == 0 ? 0 : length + 1, n = (uint32_t)strlen(st.name);
    if (start + n + 1 > sizeof path) {
      put_error("path too long", KFS_ERR_ARG);
      continue;
    }
    if (length != 0) path[length] = '/';
    memcpy(path + start, st.name, n + 1);
    if (st.is_dir) {
      put_entry("d", slot, path);
      put("\n");
      walk(slot, drive, start + n, file);
    } else {
      file(slot, drive, path, st.size);
    }
    result = KFS_OK;
  }
  if (result < 0) {
    path[length] = '\0';
    put_error(length == 0 ? "/" : path, result);
  }
}

void list_drive(int slot, kfs_drive *drive, listing_file_fn file) {
  walk(slot, drive, 0, file);
}
