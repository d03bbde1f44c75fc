/* Mounting a DS program's own drives, wherever its .nds is read from.
 *
 * On a DS the drives lie in the .nds file behind the loaded binary, so the program finds
 * them through its own parameter block (KFS_DEFINE_BLOCK, filled by `kivofs attach`), not by
 * searching memory. kfs_mount_ds then chooses the medium, in this order:
 *   1. the file that argv[0] names, when it ends in ".nds" and opens: a flashcart or the
 *      DSi's SD card started the program from it. It comes first because there the card
 *      bus answers with the flashcart's own bytes (or another cartridge's), not this ROM's.
 *   2. the card bus (kfs_card.h), when `header` is given: a real cartridge, or an emulator
 *      booting the ROM directly. The card must answer with this program's drives: each
 *      drive's own header has to name exactly the size that the parameter block gives it,
 *      which a flashcart's bytes do not. (The .nds header itself lies below 0x8000, where
 *      the card's data-read command cannot reach.)
 * Needs <stdio.h> (fopen, fseek, fread, fclose); the rest is as freestanding as the reader.
 * Not safe from two contexts at once (see kfs_card.h). */
#ifndef KFS_DS_H
#define KFS_DS_H

#include <stdint.h>
#include <stdio.h>

#include "kfs_card.h"
#include "kfs_ndsfile.h"
#include "kivofs_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Where the DS boot leaves a copy of the program's header, in main RAM. */
#define KFS_DS_BOOT_HEADER ((const volatile uint8_t *)0x027FFE00u)

enum { KFS_DS_NONE = 0, KFS_DS_FILE = 1, KFS_DS_CARD = 2 };

typedef struct kfs_ds {
  int medium;        /* KFS_DS_NONE, KFS_DS_FILE or KFS_DS_CARD: the one in use */
  kfs_params params; /* the program's parameter block */
  FILE *file;        /* with KFS_DS_FILE: the .nds, closed by kfs_ds_close */
  kfs_ndsfile nds_file;
  kfs_card card;
} kfs_ds;

/* Decodes `block` (the 28-byte array of KFS_DEFINE_BLOCK), chooses the medium as above and
 * mounts slot 1 into drives[0] and, when it is used, slot 2 into drives[1] (otherwise
 * drives[1] stays unmounted). `argv0` may be NULL or ""; `header` is the program's header
 * (KFS_DS_BOOT_HEADER on a DS), or NULL where there is no card bus. `ds` must outlive the
 * drives. Returns KFS_OK once every used slot is mounted; otherwise the first error, with
 * KFS_ERR_IO when no medium answered (no file, no header, a card that failed or a drive
 * below 0x8000 on the card: attach with --nds-header). */
int kfs_mount_ds(kfs_ds *ds, const volatile uint8_t *block, const char *argv0,
                 const volatile uint8_t *header, kfs_drive drives[2]);
/* Closes the file that kfs_mount_ds opened, if any; the drives are then unusable. Call it
 * before mounting with the same kfs_ds again, or the file stays open. */
void kfs_ds_close(kfs_ds *ds);

#ifdef __cplusplus
}
#endif

#endif
