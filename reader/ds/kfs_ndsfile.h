/* A file as a medium: the program's own .nds opened through argv[0] on a flashcart or the
 * DSi's SD card, or any ROM in a host tool. Needs only fseek and fread from <stdio.h>. */
#ifndef KFS_NDSFILE_H
#define KFS_NDSFILE_H

#include <stdint.h>
#include <stdio.h>

#include "kivofs_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct kfs_ndsfile {
  FILE *file;
  uint32_t pos;  /* where the file stands after the last read */
  int pos_known; /* 0 until a read succeeded: seek first */
} kfs_ndsfile;

/* Reads through `file`, which the caller opened ("rb") and closes. */
void kfs_ndsfile_init(kfs_ndsfile *medium, FILE *file);
/* The kfs_read_fn: pass the kfs_ndsfile as `ctx` to kfs_mount_callback. -1 when the file
 * cannot seek there or ends before `size` bytes. */
int kfs_ndsfile_read(void *medium, uint32_t offset, void *dst, uint32_t size);

#ifdef __cplusplus
}
#endif

#endif
