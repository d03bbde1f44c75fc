/* kfs_ds: see kfs_ds.h. */
#include "kfs_ds.h"

#include <string.h>

#define KFS_MARKER_SIZE 11u

static int kfs_names_nds(const char *path) {
  size_t n = path == NULL ? 0 : strlen(path);
  const char *ext;
  if (n < 4) return 0;
  ext = path + n - 4;
  if (ext[0] != '.') return 0;
  return (ext[1] == 'n' || ext[1] == 'N') && (ext[2] == 'd' || ext[2] == 'D') &&
         (ext[3] == 's' || ext[3] == 'S');
}

static int kfs_mount_slots(kfs_ds *ds, kfs_read_fn read, void *ctx, kfs_drive drives[2]) {
  int slot, result = KFS_OK;
  for (slot = 0; slot < 2; ++slot) {
    const kfs_params *p = &ds->params;
    if (slot == 1 && p->start[1] == 0 && p->end[1] == 0) {
      kfs_mount_callback(&drives[1], NULL, NULL, 0, 0); /* leaves it unmounted */
      continue;
    }
    if (result == KFS_OK) {
      result = kfs_mount_callback(&drives[slot], read, ctx, p->start[slot],
                                  p->end[slot] - p->start[slot] + 1);
    } else {
      kfs_mount_callback(&drives[slot], NULL, NULL, 0, 0);
    }
  }
  return result;
}

static uint32_t kfs_header_word(const volatile uint8_t *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

int kfs_mount_ds(kfs_ds *ds, const volatile uint8_t *block, const char *argv0,
                 const volatile uint8_t *header, kfs_drive drives[2]) {
  int result;
  if (ds == NULL || block == NULL || drives == NULL) return KFS_ERR_ARG;
  memset(ds, 0, sizeof *ds);
  result = kfs_decode_params(block + KFS_MARKER_SIZE, &ds->params);
  if (result != KFS_OK) return result;
  if (kfs_names_nds(argv0) && (ds->file = fopen(argv0, "rb")) != NULL) {
    ds->medium = KFS_DS_FILE;
    kfs_ndsfile_init(&ds->nds_file, ds->file);
    return kfs_mount_slots(ds, kfs_ndsfile_read, &ds->nds_file, drives);
  }
  if (header == NULL) {
    kfs_mount_callback(&drives[0], NULL, NULL, 0, 0);
    kfs_mount_callback(&drives[1], NULL, NULL, 0, 0);
    return KFS_ERR_IO;
  }
  ds->medium = KFS_DS_CARD;
  kfs_card_init(&ds->card, kfs_header_word(header + KFS_NDS_ROMCTRL));
  return kfs_mount_slots(ds, kfs_card_read, &ds->card, drives);
}

void kfs_ds_close(kfs_ds *ds) {
  if (ds == NULL) return;
  if (ds->file != NULL) fclose(ds->file);
  ds->file = NULL;
  ds->medium = KFS_DS_NONE;
}
