/* A GBA program: mounts the drives attached to it and reads every file three ways, through
 * kfs_map (no copy), kfs_read with the DMA3 copier, and fread on a stream of kfs_fopen,
 * while a timer interrupt streams another file of drive 0 and checks it. Then it times
 * each way of reading the largest file. It writes a listing into external work RAM, where
 * the test's emulator runner reads it (see listing.h; an f line means all three ways gave
 * these bytes), and these lines:
 *   irq NAME READS BYTES DURING BAD    (the interrupt's stream: pieces read, bytes checked,
 *                                       pieces read while the main loop was in a read, and
 *                                       pieces that differed from the mapped bytes)
 *   speed WAY BYTES CYCLES             (the largest file)
 * Cycles are CPU cycles (16.78 MHz) spent in the calls, counted by timers 0 and 1. */
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "dma_copy.h"
#include "kivofs_reader.h"
#include "kivofs_stdio.h"
#include "listing.h"
#include "timer.h"

KFS_DEFINE_BLOCK(kivo_block);

#define REG_DISPCNT (*(volatile uint16_t *)0x04000000)
#define REG_TM2CNT_L (*(volatile uint16_t *)0x04000108)
#define REG_TM2CNT_H (*(volatile uint16_t *)0x0400010A)
#define REG_IE (*(volatile uint16_t *)0x04000200)
#define REG_IF (*(volatile uint16_t *)0x04000202)
#define REG_WAITCNT (*(volatile uint16_t *)0x04000204)
#define REG_IME (*(volatile uint16_t *)0x04000208)
#define IRQ_VECTOR (*(volatile uint32_t *)0x03007FFC)
#define IRQ_TIMER2 0x0020u
#define CARTRIDGE ((const uint8_t *)0x08000000)
#define CARTRIDGE_MAX 0x02000000u /* 32 MiB */
/* Cycles between two interrupts of the stream: odd, so that they land everywhere. */
#define STREAM_PERIOD 9973u
/* The walk's kfs_read asks for this much at a time: little, so that the interrupt often
 * lands while a copy is being set up; even but not a multiple of 4, so that the copier's
 * 32-bit and 16-bit transfers and its memcpy heads and tails all take turns. */
#define WALK_PIECE 302u

__attribute__((section(".ewram"), aligned(4))) static uint8_t ewram_chunk[16 * 1024];
__attribute__((aligned(4))) static uint8_t iwram_chunk[16 * 1024];
static kfs_drive drives[2];
static int mounted[2];
/* The largest file: where it is, for the timings. */
static char big_path[256];
static int big_slot = -1;
static uint32_t big_size;

/* The interrupt's file, read a piece at a time and compared with its mapped bytes. */
static struct {
  kfs_file file;
  const uint8_t *bytes;
  char name[KFS_NAME_MAX + 1];
  uint32_t reads, heard, during, bad;
  __attribute__((aligned(4))) uint8_t piece[256];
} stream;
static volatile int main_reading;

void irq_entry(void);
void irq_handler(uint32_t raised);

/* "error WAY PATH CODE": one way of reading a file failed or gave other bytes. */
static void put_failure(const char *way, const char *file, int code) {
  put("error ");
  put(way);
  put(" ");
  put(file);
  put_number((uint32_t)code, 10);
  put("\n");
}

static void put_speed(const char *way, uint32_t bytes, uint32_t spent) {
  put("speed ");
  put(way);
  put_number(bytes, 10);
  put_number(spent, 10);
  put("\n");
}

void irq_handler(uint32_t raised) {
  uint32_t pos;
  int32_t got;
  if ((raised & IRQ_TIMER2) == 0) return;
  pos = kfs_tell(&stream.file);
  if (pos == kfs_size(&stream.file)) {
    pos = 0;
    if (kfs_seek(&stream.file, 0) != KFS_OK) ++stream.bad;
  }
  got = kfs_read(&stream.file, stream.piece, sizeof stream.piece);
  ++stream.reads;
  if (main_reading) ++stream.during;
  if (got <= 0 || memcmp(stream.piece, stream.bytes + pos, (uint32_t)got) != 0) {
    ++stream.bad;
  } else {
    stream.heard += (uint32_t)got;
  }
}

/* The CRC-32 of a whole file read from its start through kfs_read, `chunk` bytes at a time
 * into `buffer`; the cycles spent in kfs_read go to *spent. The last kfs_read's result. */
static int32_t crc_by_read(kfs_file *f, uint8_t *buffer, uint32_t chunk, uint32_t *crc,
                           uint32_t *spent) {
  uint32_t sum = 0xFFFFFFFFu, total = 0;
  int32_t got = kfs_seek(f, 0);
  if (got != KFS_OK) return got;
  for (;;) {
    uint32_t start = timer_count();
    main_reading = 1;
    got = kfs_read(f, buffer, chunk);
    main_reading = 0;
    total += timer_count() - start;
    if (got <= 0) break;
    sum = crc32_update(sum, buffer, (uint32_t)got);
  }
  *crc = ~sum;
  *spent = total;
  return got;
}

/* The same through fread on a stream: 0, or errno. */
static int crc_by_fread(FILE *f, uint8_t *buffer, uint32_t chunk, uint32_t *crc,
                        uint32_t *spent) {
  uint32_t sum = 0xFFFFFFFFu, total = 0;
  size_t got;
  errno = 0;
  do {
    uint32_t start = timer_count();
    main_reading = 1;
    got = fread(buffer, 1, chunk, f);
    main_reading = 0;
    total += timer_count() - start;
    sum = crc32_update(sum, buffer, (uint32_t)got);
  } while (got > 0);
  *crc = ~sum;
  *spent = total;
  return ferror(f) ? (errno != 0 ? errno : EIO) : 0;
}

/* Reads the file at `path` through fread `chunk` bytes at a time; 0, or errno. */
static int crc_of_stream(kfs_drive *d, const char *file, int buffered, uint32_t chunk,
                         uint32_t *crc, uint32_t *spent) {
  FILE *f = kfs_fopen(d, file, "rb");
  int result;
  if (f == NULL) return errno;
  if (buffered && setvbuf(f, NULL, _IOFBF, BUFSIZ) != 0) {
    fclose(f);
    return EINVAL;
  }
  result = crc_by_fread(f, ewram_chunk, chunk, crc, spent);
  fclose(f);
  return result;
}

/* Reads the file at `file` through kfs_map, kfs_read and fread; lists it when all three
 * give the same bytes, of the size its directory gives. */
static void check_file(int slot, kfs_drive *drive, const char *file, uint32_t size) {
  kfs_file f;
  const void *data;
  uint32_t mapped, crc, crc_read, crc_stream, spent;
  int result = kfs_open(drive, file, &f);
  if (result == KFS_OK) result = kfs_map(&f, &data, &mapped);
  if (result != KFS_OK) {
    put_error(file, result);
    return;
  }
  crc = ~crc32_update(0xFFFFFFFFu, (const uint8_t *)data, mapped);
  if (mapped != size) put_failure("kfs_map", file, (int)mapped);
  result = crc_by_read(&f, ewram_chunk, WALK_PIECE, &crc_read, &spent);
  if (result != 0 || crc_read != crc) put_failure("kfs_read", file, result);
  result = crc_of_stream(drive, file, 0, 4096, &crc_stream, &spent);
  if (result != 0 || crc_stream != crc) put_failure("fread", file, result);
  put_file(slot, file, size, crc);
  if (big_slot < 0 || size > big_size) {
    big_slot = slot;
    big_size = size;
    memcpy(big_path, file, strlen(file) + 1);
  }
}

/* Starts the timer interrupt on the largest file in the root of drive 0. */
static void start_stream(void) {
  kfs_dir dir;
  kfs_stat st;
  const void *data;
  uint32_t size = 0;
  int result = kfs_opendir(&drives[0], "", &dir);
  while (result == KFS_OK && kfs_readdir(&dir, &st) == 1) {
    if (!st.is_dir && st.size > size) {
      size = st.size;
      memcpy(stream.name, st.name, sizeof stream.name);
    }
  }
  if (result == KFS_OK && size == 0) result = KFS_ERR_NOT_FOUND;
  if (result == KFS_OK) result = kfs_open(&drives[0], stream.name, &stream.file);
  if (result == KFS_OK) result = kfs_map(&stream.file, &data, &size);
  if (result != KFS_OK) {
    put_error("stream", result);
    return;
  }
  stream.bytes = (const uint8_t *)data;
  IRQ_VECTOR = (uint32_t)(uintptr_t)irq_entry;
  REG_TM2CNT_L = (uint16_t)(0x10000u - STREAM_PERIOD);
  REG_TM2CNT_H = 0x00C0; /* every cycle, interrupt on overflow */
  REG_IF = 0xFFFF;
  REG_IE = IRQ_TIMER2;
  REG_IME = 1;
}

static void stop_stream(void) {
  REG_IME = 0;
  REG_TM2CNT_H = 0;
  if (stream.bytes == NULL) return;
  put("irq ");
  put(stream.name);
  put_number(stream.reads, 10);
  put_number(stream.heard, 10);
  put_number(stream.during, 10);
  put_number(stream.bad, 10);
  put("\n");
}

/* kfs_read of the whole file with each copy function into each work RAM, 16 KiB at a time
 * (and 4 KiB, as fread below). */
static void time_reads(kfs_file *f, uint32_t crc) {
  static const struct {
    const char *way;
    kfs_copy_fn copy;
    int iwram;
    uint32_t chunk;
  } ways[] = {{"read-memcpy-ewram", NULL, 0, sizeof ewram_chunk},
              {"read-dma-ewram", gba_dma_copy, 0, sizeof ewram_chunk},
              {"read-memcpy-iwram", NULL, 1, sizeof iwram_chunk},
              {"read-dma-iwram", gba_dma_copy, 1, sizeof iwram_chunk},
              {"read-memcpy-ewram-4k", NULL, 0, 4096},
              {"read-dma-ewram-4k", gba_dma_copy, 0, 4096}};
  uint32_t i, got_crc, spent;
  for (i = 0; i < sizeof ways / sizeof ways[0]; ++i) {
    uint8_t *buffer = ways[i].iwram ? iwram_chunk : ewram_chunk;
    int32_t result = kfs_set_copy(&drives[big_slot], ways[i].copy);
    if (result == KFS_OK) result = crc_by_read(f, buffer, ways[i].chunk, &got_crc, &spent);
    if (result != 0 || got_crc != crc) put_failure(ways[i].way, big_path, result);
    put_speed(ways[i].way, big_size, spent);
  }
}

/* fread of the whole file, 4 KiB at a time, with each copy function; also through a stdio
 * buffer, to show what the second copy costs. */
static void time_freads(uint32_t crc) {
  static const struct {
    const char *way;
    kfs_copy_fn copy;
    int buffered;
  } ways[] = {{"fread-memcpy-ewram", NULL, 0},
              {"fread-dma-ewram", gba_dma_copy, 0},
              {"fread-dma-ewram-buffered", gba_dma_copy, 1}};
  uint32_t i, got_crc, spent;
  for (i = 0; i < sizeof ways / sizeof ways[0]; ++i) {
    int result = kfs_set_copy(&drives[big_slot], ways[i].copy);
    if (result == KFS_OK) {
      result = crc_of_stream(&drives[big_slot], big_path, ways[i].buffered, 4096, &got_crc, &spent);
    }
    if (result != 0 || got_crc != crc) put_failure(ways[i].way, big_path, result);
    put_speed(ways[i].way, big_size, spent);
  }
}

/* Times opening, mapping and reading the largest file, with no interrupt running. */
static void time_largest(void) {
  kfs_file f;
  const void *data;
  uint32_t open_cycles, map_cycles, size, crc;
  int result;
  if (big_slot < 0) return;
  open_cycles = timer_count();
  result = kfs_open(&drives[big_slot], big_path, &f);
  open_cycles = timer_count() - open_cycles;
  map_cycles = timer_count();
  if (result == KFS_OK) result = kfs_map(&f, &data, &size);
  map_cycles = timer_count() - map_cycles;
  if (result != KFS_OK) {
    put_error(big_path, result);
    return;
  }
  put_speed("open", big_size, open_cycles);
  put_speed("map", big_size, map_cycles);
  crc = ~crc32_update(0xFFFFFFFFu, (const uint8_t *)data, size);
  time_reads(&f, crc);
  time_freads(crc);
  kfs_set_copy(&drives[big_slot], gba_dma_copy);
}

static void start_hardware(void) {
  REG_DISPCNT = 0x0080; /* forced blank: nothing to show */
  REG_WAITCNT = 0x4317; /* cartridge 3/1 wait states with prefetch, as games set it */
  timer_start(); /* counts CPU cycles */
}

/* Mounts both slots, reading with DMA3. */
static void mount_drives(const kfs_params *params) {
  int slot, result;
  for (slot = 0; slot < 2; ++slot) {
    if (params->start[slot] == 0 && params->end[slot] == 0) continue;
    result = kfs_mount_memory(&drives[slot], CARTRIDGE + params->start[slot],
                              params->end[slot] - params->start[slot] + 1);
    if (result == KFS_OK) result = kfs_set_copy(&drives[slot], gba_dma_copy);
    if (result != KFS_OK) {
      put_error("mount", result);
      continue;
    }
    mounted[slot] = 1;
    put_drive(slot, &drives[slot]);
  }
}

int main(void) {
  kfs_params params, found;
  int result;
  listing_start();
  start_hardware();
  result = kfs_decode_params(kivo_block + 11, &params);
  if (result != KFS_OK) put_error("params", result);
  /* The search must find the same block: the library never holds the marker itself. */
  result = kfs_find_params(CARTRIDGE, CARTRIDGE_MAX, &found);
  if (result != KFS_OK || memcmp(found.start, params.start, sizeof found.start) != 0 ||
      memcmp(found.end, params.end, sizeof found.end) != 0) {
    put_error("find", result == KFS_OK ? KFS_ERR_FORMAT : result);
  }
  mount_drives(&params);
  start_stream();
  if (mounted[0]) list_drive(0, &drives[0], check_file);
  if (mounted[1]) list_drive(1, &drives[1], check_file);
  stop_stream();
  time_largest();
  listing_finish();
  for (;;) {
  }
}
