/* kfs_ndsfile: see kfs_ndsfile.h. A seek on a flashcart's FAT driver may walk the cluster chain,
 * so consecutive reads skip it. */
#include "kfs_ndsfile.h"

#include <limits.h>

void kfs_ndsfile_init(kfs_ndsfile *medium, FILE *file) {
  medium->file = file;
  medium->pos = 0;
  medium->pos_known = 0;
}

int kfs_ndsfile_read(void *medium, uint32_t offset, void *dst, uint32_t size) {
  kfs_ndsfile *m = (kfs_ndsfile *)medium;
  if (m == NULL || m->file == NULL || (size > 0 && size - 1 > 0xFFFFFFFFu - offset)) return -1;
  if (!m->pos_known || m->pos != offset) {
    m->pos_known = 0;
#if LONG_MAX < 0xFFFFFFFF
    if (offset > (uint32_t)LONG_MAX) return -1; /* fseek takes a long: 32 bits on the DS */
#endif
    if (fseek(m->file, (long)offset, SEEK_SET) != 0) return -1;
  }
  if (size > 0 && fread(dst, 1, size, m->file) != size) {
    m->pos_known = 0;
    return -1;
  }
  m->pos = offset + size;
  m->pos_known = 1;
  return 0;
}
