/* kivofs_reader: see kivofs_reader.h. Every byte of an image is untrusted: each read goes
 * through kfs_fetch, which checks it against the mounted range first. */
#include "kivofs_reader.h"

#include <stddef.h>
#include <string.h>

/* The drive image format. */
#define KFS_CLUSTER 512u
#define KFS_VERSION 100u
#define KFS_BOOT_SIZE 512u
#define KFS_FAT_START 512u
#define KFS_ROOT_SIZE 4096u
#define KFS_FIXED_SIZE (KFS_BOOT_SIZE + KFS_ROOT_SIZE)
#define KFS_MAX_IMAGE 0x7FFFFFFFu /* sizes are signed 32-bit in the format */
#define KFS_END_OF_CHAIN 0xFFFFFFFFu
#define KFS_SLOT_SIZE 35u
#define KFS_SLOTS 117u
#define KFS_DIR_CLUSTERS 8u
#define KFS_SUBDIR_FIRST_SLOT 2u  /* slots 0 and 1 of a directory block hold "." and ".." */
#define KFS_KIND_DIR 0xFFFFFFFFu  /* -1 */
#define KFS_KIND_FILE 0xFFFFFFFEu /* -2 */

/* Header block offsets. */
#define KFS_H_VERSION 0u
#define KFS_H_NAME 4u
#define KFS_H_DRIVE_SIZE 20u
#define KFS_H_BOOT_SIZE 24u
#define KFS_H_FAT_SIZE 28u
#define KFS_H_ROOT_SIZE 32u
#define KFS_H_DATA_SIZE 36u
#define KFS_H_FAT_START 40u
#define KFS_H_ROOT_START 44u
#define KFS_H_DATA_START 48u
#define KFS_H_END 52u

/* Directory entry offsets. */
#define KFS_E_SIZE 16u
#define KFS_E_CLUSTER 20u
#define KFS_E_KIND 24u
#define KFS_E_DATE 28u /* 3 bytes, most significant first */
#define KFS_E_HOUR 31u
#define KFS_E_MINUTE 32u
#define KFS_E_SECOND 33u

/* Parameter block. */
#define KFS_MARKER_SIZE 11u
#define KFS_BLOCK_SIZE 17u
#define KFS_P_SAVEFLASH 16u

#define KFS_MOUNTED 0x4B465344u
/* Allocation-table entries fetched per read while a chain is checked. */
#define KFS_LINK_BATCH 16u

/* Changes with every mount of any drive, so a remount never repeats a drive's generation. */
static uint32_t kfs_mount_count;

static uint32_t kfs_le32(const uint8_t *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint32_t kfs_le32v(const volatile uint8_t *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static int kfs_mounted(const kfs_drive *d) { return d != NULL && d->state == KFS_MOUNTED; }

static void kfs_memcpy(void *dst, const void *src, uint32_t n) { memcpy(dst, src, n); }

/* Reads `n` bytes at `offset` of the image, only when all of them lie inside it; a memory
 * mount copies them with `copy`. */
static int kfs_fetch_with(const kfs_drive *d, uint32_t offset, void *dst, uint32_t n,
                          kfs_copy_fn copy) {
  if (n > d->size || offset > d->size - n) return KFS_ERR_FORMAT;
  if (n == 0) return KFS_OK;
  if (d->read == NULL) {
    copy(dst, d->image + offset, n);
    return KFS_OK;
  }
  return d->read(d->ctx, d->base + offset, dst, n) == 0 ? KFS_OK : KFS_ERR_IO;
}

static int kfs_fetch(const kfs_drive *d, uint32_t offset, void *dst, uint32_t n) {
  return kfs_fetch_with(d, offset, dst, n, kfs_memcpy);
}

int kfs_decode_params(const volatile uint8_t *block, kfs_params *out) {
  int i;
  if (block == NULL || out == NULL) return KFS_ERR_ARG;
  for (i = 0; i < 2; ++i) {
    out->start[i] = kfs_le32v(block + 8 * i);
    out->end[i] = kfs_le32v(block + 8 * i + 4);
  }
  out->saveflash = block[KFS_P_SAVEFLASH];
  if (out->start[0] == 0 && out->end[0] == 0) return KFS_ERR_NO_DRIVE;
  for (i = 0; i < 2; ++i) {
    if (out->end[i] < out->start[i]) return KFS_ERR_FORMAT;
  }
  return KFS_OK;
}

/* The marker with every byte raised by one. The library must never hold the marker in one
 * piece: the attach tool fills the first marker in the ROM, and a copy in this code could
 * come before the program's block. The shift is read through a volatile so that the
 * compiler cannot rebuild the marker as constants. */
static const uint8_t kfs_marker_raised[KFS_MARKER_SIZE] = {'L', 'j', 'w', 'p', 'G', 'T',
                                                           'E', 's', 'j', 'w', 'f'};
static const volatile uint8_t kfs_marker_shift = 1;

int kfs_find_params(const void *rom, uint32_t rom_size, kfs_params *out) {
  const uint8_t *bytes = (const uint8_t *)rom;
  uint8_t needle[KFS_MARKER_SIZE];
  uint8_t shift = kfs_marker_shift;
  uint32_t i, last;
  int result, slot;
  if (rom == NULL || out == NULL) return KFS_ERR_ARG;
  memset(out, 0, sizeof *out);
  for (i = 0; i < KFS_MARKER_SIZE; ++i) needle[i] = (uint8_t)(kfs_marker_raised[i] - shift);
  if (rom_size < KFS_MARKER_SIZE + KFS_BLOCK_SIZE) return KFS_ERR_NO_DRIVE;
  last = rom_size - (KFS_MARKER_SIZE + KFS_BLOCK_SIZE);
  for (i = 0; i <= last; ++i) {
    if (bytes[i] == needle[0] && memcmp(bytes + i, needle, KFS_MARKER_SIZE) == 0) break;
  }
  if (i > last) return KFS_ERR_NO_DRIVE;
  result = kfs_decode_params(bytes + i + KFS_MARKER_SIZE, out);
  if (result != KFS_OK) return result;
  for (slot = 0; slot < 2; ++slot) {
    int used = out->start[slot] != 0 || out->end[slot] != 0;
    if (used && out->end[slot] >= rom_size) return KFS_ERR_FORMAT;
  }
  return KFS_OK;
}

/* Checks the header against the format: every region where it must be, the image exactly
 * `d->size` bytes long. */
static int kfs_mount_checked(kfs_drive *d) {
  uint8_t h[KFS_H_END];
  uint32_t fat_size, data_size, i;
  int result;
  if (d->size > KFS_MAX_IMAGE || d->size < KFS_FIXED_SIZE) return KFS_ERR_FORMAT;
  result = kfs_fetch(d, 0, h, KFS_H_END);
  if (result != KFS_OK) return result;
  fat_size = kfs_le32(h + KFS_H_FAT_SIZE);
  data_size = kfs_le32(h + KFS_H_DATA_SIZE);
  if (kfs_le32(h + KFS_H_VERSION) != KFS_VERSION ||
      kfs_le32(h + KFS_H_BOOT_SIZE) != KFS_BOOT_SIZE ||
      kfs_le32(h + KFS_H_ROOT_SIZE) != KFS_ROOT_SIZE ||
      kfs_le32(h + KFS_H_FAT_START) != KFS_FAT_START || kfs_le32(h + KFS_H_DRIVE_SIZE) != d->size ||
      fat_size % KFS_CLUSTER != 0 || data_size % KFS_CLUSTER != 0 ||
      fat_size > d->size - KFS_FIXED_SIZE || data_size != d->size - KFS_FIXED_SIZE - fat_size ||
      kfs_le32(h + KFS_H_ROOT_START) != KFS_FAT_START + fat_size ||
      kfs_le32(h + KFS_H_DATA_START) != KFS_FIXED_SIZE + fat_size) {
    return KFS_ERR_FORMAT;
  }
  d->fat_entries = fat_size / 4;
  d->root_start = KFS_FAT_START + fat_size;
  d->first_data = (KFS_FIXED_SIZE + fat_size) / KFS_CLUSTER;
  for (i = 0; i < KFS_NAME_MAX && h[KFS_H_NAME + i] != 0; ++i) d->name[i] = (char)h[KFS_H_NAME + i];
  d->name[i] = '\0';
  return KFS_OK;
}

/* Forgets the last mount: files and directories opened on it turn stale. */
static void kfs_unmount(kfs_drive *d) {
  memset(d, 0, sizeof *d);
  d->generation = ++kfs_mount_count;
}

static int kfs_mount(kfs_drive *d, const uint8_t *image, kfs_read_fn read, void *ctx, uint32_t base,
                     uint32_t size) {
  int result;
  kfs_unmount(d);
  d->image = image;
  d->read = read;
  d->ctx = ctx;
  d->base = base;
  d->size = size;
  d->copy = kfs_memcpy;
  result = kfs_mount_checked(d);
  if (result == KFS_OK) d->state = KFS_MOUNTED;
  return result;
}

int kfs_mount_memory(kfs_drive *d, const void *image, uint32_t size) {
  if (d == NULL) return KFS_ERR_ARG;
  if (image == NULL) {
    kfs_unmount(d);
    return KFS_ERR_ARG;
  }
  return kfs_mount(d, (const uint8_t *)image, NULL, NULL, 0, size);
}

int kfs_mount_callback(kfs_drive *d, kfs_read_fn read, void *ctx, uint32_t offset, uint32_t size) {
  if (d == NULL) return KFS_ERR_ARG;
  /* The image's last byte must have an offset on the medium. */
  if (read == NULL || (size > 0 && size - 1 > 0xFFFFFFFFu - offset)) {
    kfs_unmount(d);
    return KFS_ERR_ARG;
  }
  return kfs_mount(d, NULL, read, ctx, offset, size);
}

void kfs_drive_name(const kfs_drive *d, char name[KFS_NAME_MAX + 1]) {
  if (name == NULL) return;
  if (kfs_mounted(d)) {
    memcpy(name, d->name, KFS_NAME_MAX + 1);
  } else {
    name[0] = '\0';
  }
}

int kfs_set_copy(kfs_drive *d, kfs_copy_fn fn) {
  if (!kfs_mounted(d) || d->read != NULL) return KFS_ERR_ARG;
  d->copy = fn != NULL ? fn : kfs_memcpy;
  return KFS_OK;
}

/* Checks that the chain of `count` clusters from `first` is consecutive, ends there and lies
 * in the data area. Valid images hold nothing else, which is what lets a read be one copy. */
static int kfs_check_chain(const kfs_drive *d, uint32_t first, uint32_t count) {
  uint8_t links[4 * KFS_LINK_BATCH];
  uint32_t clusters = d->size / KFS_CLUSTER, done = 0;
  if (first < d->first_data || first >= clusters || count > clusters - first ||
      first + count > d->fat_entries) {
    return KFS_ERR_FORMAT;
  }
  while (done < count) {
    uint32_t n = count - done < KFS_LINK_BATCH ? count - done : KFS_LINK_BATCH, i;
    int result = kfs_fetch(d, KFS_FAT_START + 4 * (first + done), links, 4 * n);
    if (result != KFS_OK) return result;
    for (i = 0; i < n; ++i, ++done) {
      uint32_t want = done + 1 == count ? KFS_END_OF_CHAIN : first + done + 1;
      if (kfs_le32(links + 4 * i) != want) return KFS_ERR_FORMAT;
    }
  }
  return KFS_OK;
}

/* An item found in a directory, or the root. */
typedef struct kfs_node {
  kfs_stat st;
  uint32_t cluster; /* first cluster; 0 for the root, which lies at root_start, in no chain */
  uint32_t region;  /* a directory's slots */
  uint32_t first_slot;
} kfs_node;

static int kfs_decode_slot(const uint8_t *s, kfs_stat *st, uint32_t *cluster) {
  uint32_t kind = kfs_le32(s + KFS_E_KIND), date, i;
  if (kind != KFS_KIND_DIR && kind != KFS_KIND_FILE) return KFS_ERR_FORMAT;
  memset(st, 0, sizeof *st);
  for (i = 0; i < KFS_NAME_MAX && s[i] != 0; ++i) st->name[i] = (char)s[i];
  st->size = kfs_le32(s + KFS_E_SIZE);
  st->is_dir = kind == KFS_KIND_DIR;
  if (st->is_dir && st->size != KFS_ROOT_SIZE) return KFS_ERR_FORMAT;
  date = (uint32_t)s[KFS_E_DATE] << 16 | (uint32_t)s[KFS_E_DATE + 1] << 8 | s[KFS_E_DATE + 2];
  st->weekday = (uint8_t)(date >> 21 & 0x7u);
  st->day = (uint8_t)(date >> 16 & 0x1Fu);
  st->month = (uint8_t)((date >> 12 & 0xFu) + 1);
  st->year = (uint16_t)(date & 0xFFFu);
  st->hour = s[KFS_E_HOUR];
  st->minute = s[KFS_E_MINUTE];
  st->second = s[KFS_E_SECOND];
  *cluster = kfs_le32(s + KFS_E_CLUSTER);
  return KFS_OK;
}

static int kfs_names_match(const uint8_t *stored, const char *name, uint32_t len) {
  uint32_t i;
  if (len > KFS_NAME_MAX) len = KFS_NAME_MAX; /* longer names were stored cut */
  for (i = 0; i < len; ++i) {
    uint8_t a = stored[i], b = (uint8_t)name[i];
    if (a >= 'A' && a <= 'Z') a = (uint8_t)(a + ('a' - 'A'));
    if (b >= 'A' && b <= 'Z') b = (uint8_t)(b + ('a' - 'A'));
    if (a != b) return 0;
  }
  return len == KFS_NAME_MAX || stored[len] == 0;
}

static void kfs_enter(const kfs_drive *d, kfs_node *node) {
  if (node->cluster == 0) {
    node->region = d->root_start;
    node->first_slot = 0;
  } else {
    node->region = node->cluster * KFS_CLUSTER;
    node->first_slot = KFS_SUBDIR_FIRST_SLOT;
  }
}

static int kfs_find(const kfs_drive *d, kfs_node *dir, const char *name, uint32_t len) {
  uint8_t s[KFS_SLOT_SIZE];
  uint32_t slot, cluster, after;
  int result;
  for (slot = dir->first_slot; slot < KFS_SLOTS; ++slot) {
    result = kfs_fetch(d, dir->region + slot * KFS_SLOT_SIZE, s, KFS_SLOT_SIZE);
    if (result != KFS_OK) return result;
    if (s[0] == 0) break;
    if (!kfs_names_match(s, name, len)) continue;
    /* The builder places a directory's block before everything it holds, so an item that
     * lies at or before its directory's block is damage, and refusing it rules out loops. */
    after = dir->cluster == 0 ? d->first_data : dir->cluster + KFS_DIR_CLUSTERS;
    result = kfs_decode_slot(s, &dir->st, &cluster);
    if (result != KFS_OK) return result;
    if (cluster < after) return KFS_ERR_FORMAT;
    dir->cluster = cluster;
    if (dir->st.is_dir) {
      result = kfs_check_chain(d, cluster, KFS_DIR_CLUSTERS);
      if (result != KFS_OK) return result;
      kfs_enter(d, dir);
    }
    return KFS_OK;
  }
  return KFS_ERR_NOT_FOUND;
}

static int kfs_resolve(const kfs_drive *d, const char *path, kfs_node *node) {
  if (!kfs_mounted(d) || path == NULL) return KFS_ERR_ARG;
  memset(node, 0, sizeof *node);
  node->st.is_dir = 1;
  node->st.size = KFS_ROOT_SIZE;
  kfs_enter(d, node);
  for (;;) {
    uint32_t len = 0;
    int result;
    while (*path == '/') ++path;
    if (*path == '\0') return KFS_OK;
    while (path[len] != '\0' && path[len] != '/') ++len;
    if (!node->st.is_dir) return KFS_ERR_NOT_DIR;
    if ((len == 1 && path[0] == '.') || (len == 2 && path[0] == '.' && path[1] == '.')) {
      return KFS_ERR_NOT_FOUND;
    }
    result = kfs_find(d, node, path, len);
    if (result != KFS_OK) return result;
    path += len;
  }
}

int kfs_stat_path(kfs_drive *d, const char *path, kfs_stat *st) {
  kfs_node node;
  int result;
  if (st == NULL) return KFS_ERR_ARG;
  result = kfs_resolve(d, path, &node);
  if (result == KFS_OK) *st = node.st;
  return result;
}

/* Clears the handle `out` of `size` bytes that an open fills in, then finds `path`. */
static int kfs_resolve_for(kfs_drive *d, const char *path, void *out, size_t size,
                           kfs_node *node) {
  if (out == NULL) return KFS_ERR_ARG;
  memset(out, 0, size);
  return kfs_resolve(d, path, node);
}

int kfs_open(kfs_drive *d, const char *path, kfs_file *f) {
  kfs_node node;
  int result = kfs_resolve_for(d, path, f, sizeof *f, &node);
  if (result != KFS_OK) return result;
  if (node.st.is_dir) return KFS_ERR_IS_DIR;
  /* A file of L bytes takes L / 512 + 2 clusters. */
  result = kfs_check_chain(d, node.cluster, node.st.size / KFS_CLUSTER + 2);
  if (result != KFS_OK) return result;
  f->drive = d;
  f->generation = d->generation;
  f->start = node.cluster * KFS_CLUSTER;
  f->size = node.st.size;
  return KFS_OK;
}

static int kfs_file_valid(const kfs_file *f) {
  return f != NULL && kfs_mounted(f->drive) && f->generation == f->drive->generation;
}

/* An interrupt handler may read another file of the drive in the middle of this one's
 * copy: the file's position is read once and written once, and the drive only read. */
int32_t kfs_read(kfs_file *f, void *dst, uint32_t n) {
  const kfs_drive *d;
  uint32_t pos;
  int result;
  if (!kfs_file_valid(f) || (dst == NULL && n > 0)) return KFS_ERR_ARG;
  d = f->drive;
  pos = f->pos;
  if (n > f->size - pos) n = f->size - pos;
  /* Opening checked that the chain is consecutive: the bytes are one range. */
  result = kfs_fetch_with(d, f->start + pos, dst, n, d->copy);
  if (result != KFS_OK) return result;
  f->pos = pos + n;
  return (int32_t)n;
}

int kfs_seek(kfs_file *f, uint32_t pos) {
  if (!kfs_file_valid(f) || pos > f->size) return KFS_ERR_ARG;
  f->pos = pos;
  return KFS_OK;
}

uint32_t kfs_tell(const kfs_file *f) { return f != NULL ? f->pos : 0; }

uint32_t kfs_size(const kfs_file *f) { return f != NULL ? f->size : 0; }

int kfs_map(const kfs_file *f, const void **data, uint32_t *size) {
  if (data != NULL) *data = NULL;
  if (size != NULL) *size = 0;
  if (!kfs_file_valid(f) || data == NULL || size == NULL || f->drive->read != NULL) {
    return KFS_ERR_ARG;
  }
  *data = f->drive->image + f->start;
  *size = f->size;
  return KFS_OK;
}

uint32_t kfs_offset(const kfs_file *f) { return kfs_file_valid(f) ? f->start : 0; }

int kfs_opendir(kfs_drive *d, const char *path, kfs_dir *dir) {
  kfs_node node;
  int result = kfs_resolve_for(d, path, dir, sizeof *dir, &node);
  if (result != KFS_OK) return result;
  if (!node.st.is_dir) return KFS_ERR_NOT_DIR;
  dir->drive = d;
  dir->generation = d->generation;
  dir->region = node.region;
  dir->slot = node.first_slot;
  return KFS_OK;
}

int kfs_readdir(kfs_dir *dir, kfs_stat *st) {
  uint8_t s[KFS_SLOT_SIZE];
  uint32_t cluster;
  int result;
  if (dir == NULL || st == NULL || !kfs_mounted(dir->drive) ||
      dir->generation != dir->drive->generation) {
    return KFS_ERR_ARG;
  }
  if (dir->slot >= KFS_SLOTS) return 0;
  result = kfs_fetch(dir->drive, dir->region + dir->slot * KFS_SLOT_SIZE, s, KFS_SLOT_SIZE);
  if (result != KFS_OK) return result;
  if (s[0] == 0) {
    dir->slot = KFS_SLOTS;
    return 0;
  }
  result = kfs_decode_slot(s, st, &cluster);
  if (result != KFS_OK) return result;
  ++dir->slot;
  return 1;
}

const char *kfs_strerror(int err) {
  switch (err) {
    case KFS_OK:
      return "no error";
    case KFS_ERR_IO:
      return "the medium could not be read";
    case KFS_ERR_FORMAT:
      return "damaged drive image or parameter block";
    case KFS_ERR_NOT_FOUND:
      return "no such file or directory";
    case KFS_ERR_NOT_DIR:
      return "not a directory";
    case KFS_ERR_IS_DIR:
      return "is a directory";
    case KFS_ERR_NO_DRIVE:
      return "no drive attached";
    case KFS_ERR_ARG:
      return "bad argument, drive not mounted or file no longer valid";
    default:
      return "unknown error";
  }
}
