/* The listing that the example programs write into RAM for an emulator (or a debugger) to
 * read once `done` holds LISTING_DONE: text lines, among them
 *   drive SLOT NAME
 *   d SLOT PATH
 *   f SLOT PATH SIZE CRC32     (size in decimal, the CRC-32 in hex)
 *   error WHAT CODE
 * The linker script places the section .listing where the reading side looks for it. */
#ifndef KFS_EXAMPLE_LISTING_H
#define KFS_EXAMPLE_LISTING_H

#include <stdint.h>

#include "kivofs_reader.h"

#define LISTING_DONE 0x54534C4Bu

/* Empties the listing and readies crc32_update; first thing in main. */
void listing_start(void);
/* Marks the listing complete. */
void listing_finish(void);

void put(const char *text);
/* A space, then `value` in base 10 or 16. */
void put_number(uint32_t value, uint32_t base);
/* "error WHAT CODE": `code` is a negative KFS_ERR_* value. */
void put_error(const char *what, int code);
/* "drive SLOT NAME" for a mounted drive. */
void put_drive(int slot, const kfs_drive *drive);
/* "f SLOT PATH SIZE CRC32". */
void put_file(int slot, const char *path, uint32_t size, uint32_t crc);

/* The CRC-32 that gzip stores, carried on from `crc` (0xFFFFFFFF to start; complement the
 * last result). */
uint32_t crc32_update(uint32_t crc, const uint8_t *bytes, uint32_t n);

/* Reads one file for the listing: `path` is from the drive's root, `size` as its directory
 * gives it. */
typedef void (*listing_file_fn)(int slot, kfs_drive *drive, const char *path, uint32_t size);
/* Lists every directory of the drive, depth first, and hands every file to `file`. */
void list_drive(int slot, kfs_drive *drive, listing_file_fn file);

#endif
