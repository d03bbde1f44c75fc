/* kivofs_stdio: files of a mounted drive as standard C streams (FILE *), so that code made
 * for stdio (fgets, fscanf, fread, image and sound loaders) reads them unchanged.
 *
 * Optional, and hosted: it needs a C library with fopencookie (glibc, newlib, musl) or
 * funopen (the BSDs, macOS; or define KFS_STDIO_FUNOPEN), and allocates the stream and
 * one kfs_file with malloc. The reader itself (kivofs_reader.c) stays freestanding.
 *
 * Streams are read-only and unbuffered: every fread is one kfs_read straight into the
 * caller's buffer (no second copy through a stdio buffer), and a refused fseek leaves the
 * position as it was. fgetc and fgets then ask for one byte at a time; for much text, call
 * setvbuf(stream, NULL, _IOFBF, BUFSIZ) before the first read. (With a buffer, glibc seeks
 * to a block boundary and reads on before it seeks the rest, so a refused fseek past the
 * end may leave the position at the end.)
 *
 * The stream refers to its drive like a kfs_file: the drive must outlive it, and after a
 * remount reading or seeking fails with EBADF. Use a stream from one context at a time.
 */
#ifndef KIVOFS_STDIO_H
#define KIVOFS_STDIO_H

#include <stdio.h>

#include "kivofs_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the file at `path` of a mounted drive. `mode` is "r" or "rb" ("t", "e" and "x" are
 * accepted and ignored). NULL with errno: EROFS for any write, update or append mode
 * ("w", "a", "r+", ...), EINVAL for a malformed mode, a NULL argument or an unmounted drive,
 * ENOENT, ENOTDIR, EISDIR for the path, EIO for a damaged image or a failing medium, ENOMEM.
 * fseek takes SEEK_SET, SEEK_CUR and SEEK_END; a place before the start or past the end
 * fails with EINVAL and leaves the position as it was. A failed read sets EIO. */
FILE *kfs_fopen(kfs_drive *d, const char *path, const char *mode);

#ifdef __cplusplus
}
#endif

#endif
