/* kivofs_reader: reads Kivo drive images from inside a GBA or DS program.
 *
 * C99, freestanding: no allocation, no stdio, no OS call. Copy this header and
 * kivofs_reader.c into a project, or add this folder with CMake (target kivofs_reader).
 *
 * Lifetimes: an open kfs_file or kfs_dir refers to its kfs_drive, so the drive must
 * outlive it. Mounting a drive again (successfully or not) invalidates every file and
 * directory opened on it before: kfs_read, kfs_seek and kfs_readdir answer KFS_ERR_ARG from
 * then on. A drive whose mount failed answers every call with KFS_ERR_ARG (and
 * kfs_drive_name with "").
 *
 * Interrupts and threads: on a memory mount, kfs_read, kfs_seek, kfs_map, kfs_offset,
 * kfs_tell and kfs_size change nothing but the one kfs_file they are given, and only read
 * the drive (fields that change only when it is mounted or its copy function is set). So
 * different files of one drive may be read at once from the main program and from an
 * interrupt handler (or from threads), as long as the copy function is reentrant too and
 * nobody mounts the drive or sets its copy function meanwhile. One file is never safe to
 * use from two contexts at once. A callback mount stays single-context: its callback
 * decides what the medium allows. Different drives are independent.
 */
#ifndef KIVOFS_READER_H
#define KIVOFS_READER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Names are stored cut to 16 bytes. */
#define KFS_NAME_MAX 16

enum {
  KFS_OK = 0,
  KFS_ERR_IO = -1,        /* the read callback failed */
  KFS_ERR_FORMAT = -2,    /* the image or the parameter block breaks the format */
  KFS_ERR_NOT_FOUND = -3, /* no such path, or no marker */
  KFS_ERR_NOT_DIR = -4,   /* a directory was needed */
  KFS_ERR_IS_DIR = -5,    /* a file was needed */
  KFS_ERR_NO_DRIVE = -6,  /* the parameter block names no drive */
  KFS_ERR_ARG = -7        /* a bad argument, an unmounted drive or a stale file */
};

/* Reads `size` bytes at byte `offset` of the medium into `dst`; 0 on success. */
typedef int (*kfs_read_fn)(void *ctx, uint32_t offset, void *dst, uint32_t size);

/* Copies `n` bytes (n > 0) from `src` to `dst` as memcpy does; the ranges never overlap. */
typedef void (*kfs_copy_fn)(void *dst, const void *src, uint32_t n);

typedef struct kfs_params {
  uint32_t start[2]; /* offset of each drive in the ROM; 0 when the slot is unused */
  uint32_t end[2];   /* offset of its last byte (inclusive); 0 when unused */
  uint8_t saveflash; /* the block's flag byte */
} kfs_params;

/* Decodes the 17 bytes after the marker. `out` is filled whatever the result.
 * KFS_ERR_NO_DRIVE: slot 1 is empty. KFS_ERR_FORMAT: a used slot ends before it starts. */
int kfs_decode_params(const volatile uint8_t *block, kfs_params *out);

/* Finds the first marker in `rom` whose 17-byte block fits in `rom_size` bytes and decodes
 * it. KFS_ERR_NO_DRIVE when there is none (or slot 1 is empty); KFS_ERR_FORMAT when a used
 * slot lies outside the given bytes. */
int kfs_find_params(const void *rom, uint32_t rom_size, kfs_params *out);

typedef struct kfs_drive {
  const uint8_t *image; /* memory mount: the image's first byte */
  kfs_read_fn read;     /* callback mount: the medium, and the image's offset on it */
  void *ctx;
  uint32_t base;
  uint32_t size;        /* bytes of the image */
  uint32_t fat_entries; /* entries in the allocation table (from offset 512) */
  uint32_t root_start;  /* offset of the root directory */
  uint32_t first_data;  /* first cluster of the data area */
  uint32_t generation;  /* changes with every mount; files and directories keep a copy */
  uint32_t state;
  kfs_copy_fn copy;     /* memory mount: how kfs_read copies a file's bytes */
  char name[KFS_NAME_MAX + 1];
} kfs_drive;

/* Mounts an image that is mapped in memory (a GBA cartridge at 0x08000000 + offset). */
int kfs_mount_memory(kfs_drive *d, const void *image, uint32_t size);
/* Mounts the image at `offset` of a medium read through `read` (a DS card). The callback
 * is asked for any offset and size inside the image; wrap block devices (see ds/kfs_block.h,
 * and ds/kfs_ds.h for a DS program's own drives). */
int kfs_mount_callback(kfs_drive *d, kfs_read_fn read, void *ctx, uint32_t offset, uint32_t size);
/* The drive name, zero-terminated; "" for a drive that is not mounted. */
void kfs_drive_name(const kfs_drive *d, char name[KFS_NAME_MAX + 1]);
/* Sets how kfs_read copies file bytes out of a memory mount, e.g. a DMA copier (see
 * examples/gba/dma_copy.c); NULL restores memcpy. Every mount starts with memcpy, so set it
 * after mounting. The function is called only with ranges inside the file being read; the
 * drive's own tables and directories are still read with memcpy. KFS_ERR_ARG on a callback
 * mount (its callback copies) and on a drive that is not mounted. */
int kfs_set_copy(kfs_drive *d, kfs_copy_fn fn);

typedef struct kfs_stat {
  char name[KFS_NAME_MAX + 1]; /* zero-terminated */
  uint32_t size;               /* bytes; 4096 for a directory */
  uint8_t is_dir;
  uint16_t year;               /* full year */
  uint8_t month, day, weekday; /* month 1-12, day 1-31, weekday 0 = Sunday */
  uint8_t hour, minute, second;
} kfs_stat;

typedef struct kfs_file {
  kfs_drive *drive;
  uint32_t generation;
  uint32_t start; /* offset of the file's first byte in the image */
  uint32_t size;
  uint32_t pos;
} kfs_file;

typedef struct kfs_dir {
  kfs_drive *drive;
  uint32_t generation;
  uint32_t region; /* offset of the directory's slots in the image */
  uint32_t slot;   /* next slot to read; 117 at the end */
} kfs_dir;

/* Paths are '/'-separated, a leading '/' is optional, "" and "/" are the root; names
 * match ignoring ASCII case in their first 16 bytes. The root has size 4096, name "" and a
 * zero date. */
int kfs_stat_path(kfs_drive *d, const char *path, kfs_stat *st);
int kfs_open(kfs_drive *d, const char *path, kfs_file *f);
int32_t kfs_read(kfs_file *f, void *dst, uint32_t n); /* bytes read, 0 at the end, < 0 error */
int kfs_seek(kfs_file *f, uint32_t pos);              /* pos <= size */
uint32_t kfs_tell(const kfs_file *f);
uint32_t kfs_size(const kfs_file *f);
/* Memory mounts only: the file's bytes where they lie in the mounted image (a file is one
 * consecutive run), with no copy. They stay there as long as the image stays mapped (on
 * the GBA, for good); remounting the drive does not move them, but the file turns stale.
 * An empty file may give any pointer, NULL included. KFS_ERR_ARG (and NULL, 0) on a
 * callback mount and on a stale or invalid file. */
int kfs_map(const kfs_file *f, const void **data, uint32_t *size);
/* Where the file's first byte lies in the drive image, for either mount; add the mount's
 * offset (the slot's start from the parameter block) for its place in the ROM, e.g. to
 * stream it with a DMA channel, the DS's ARM7 or the card bus. 0 for a stale or invalid
 * file: no file lies at offset 0. */
uint32_t kfs_offset(const kfs_file *f);
int kfs_opendir(kfs_drive *d, const char *path, kfs_dir *dir);
int kfs_readdir(kfs_dir *dir, kfs_stat *st); /* 1 entry, 0 end, < 0 error; no "." or ".." */
const char *kfs_strerror(int err);

/* Defines `name`: the 11-byte marker and the 17 bytes of its parameter block, which
 * `kivofs attach` fills in the built ROM. It is volatile so that the compiler never folds
 * the zeros it was built with. It lives in the section ".kivofs_block", marked `used` (and
 * `retain` where the compiler and assembler honour it): a linker script that gathers
 * sections itself must KEEP(*(.kivofs_block)) in an output section stored in the ROM
 * image, or --gc-sections may drop it. Define it once per program: the attach tool fills
 * the first marker in the ROM. */
#if defined(__GNUC__) || defined(__clang__)
#if (defined(__clang__) || defined(__linux__)) && defined(__has_attribute)
#if __has_attribute(retain)
#define KFS_KEEP_ __attribute__((used, retain, section(".kivofs_block")))
#endif
#endif
#ifndef KFS_KEEP_
#define KFS_KEEP_ __attribute__((used, section(".kivofs_block")))
#endif
#else
#define KFS_KEEP_
#endif
#define KFS_DEFINE_BLOCK(name)                                               \
  KFS_KEEP_ const volatile uint8_t name[28] = {'K', 'i', 'v', 'o', 'F', 'S', \
                                               'D', 'r', 'i', 'v', 'e'}

#ifdef __cplusplus
}
#endif

#endif
