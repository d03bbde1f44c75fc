/* kivofs_stdio: see kivofs_stdio.h. */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* fopencookie and its types (and newlib's funopen), also under -std=c99 */
#endif

#include "kivofs_stdio.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/types.h>

#if defined(KFS_STDIO_FUNOPEN) || defined(__APPLE__) || defined(__FreeBSD__) || \
    defined(__NetBSD__) || defined(__OpenBSD__) || defined(__DragonFly__)
#define KFS_USE_FUNOPEN 1
#endif

static int kfs_errno(int err) {
  switch (err) {
    case KFS_ERR_NOT_FOUND:
      return ENOENT;
    case KFS_ERR_NOT_DIR:
      return ENOTDIR;
    case KFS_ERR_IS_DIR:
      return EISDIR;
    case KFS_ERR_ARG:
      return EINVAL;
    case KFS_ERR_NO_DRIVE:
      return ENODEV;
    default: /* KFS_ERR_IO, KFS_ERR_FORMAT */
      return EIO;
  }
}

/* Once a stream is open, a bad argument can only be a file made stale by a remount. */
static int kfs_stream_errno(int err) { return err == KFS_ERR_ARG ? EBADF : kfs_errno(err); }

/* 0 for a read mode, EROFS for one that would write, EINVAL for a malformed one. */
static int kfs_mode_error(const char *mode) {
  const char *c;
  int writes;
  if (mode == NULL || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) return EINVAL;
  writes = mode[0] != 'r';
  for (c = mode + 1; *c != '\0'; ++c) {
    if (*c == '+') {
      writes = 1;
    } else if (*c != 'b' && *c != 't' && *c != 'e' && *c != 'x') {
      return EINVAL;
    }
  }
  return writes ? EROFS : 0;
}

static long kfs_cookie_read(void *cookie, char *buf, size_t size) {
  uint32_t asked = size > 0x7FFFFFFFu ? 0x7FFFFFFFu : (uint32_t)size;
  int32_t got = kfs_read((kfs_file *)cookie, buf, asked);
  if (got < 0) {
    errno = kfs_stream_errno(got);
    return -1;
  }
  return (long)got;
}

/* Moves to `offset` from `whence`; -1 with errno, and the position unchanged, for a place
 * outside the file. */
static long long kfs_cookie_place(void *cookie, long long offset, int whence) {
  kfs_file *f = (kfs_file *)cookie;
  long long base;
  int result;
  if (whence == SEEK_SET) {
    base = 0;
  } else if (whence == SEEK_CUR) {
    base = kfs_tell(f);
  } else if (whence == SEEK_END) {
    base = kfs_size(f);
  } else {
    errno = EINVAL;
    return -1;
  }
  if (offset < -base || offset > (long long)kfs_size(f) - base) {
    errno = EINVAL;
    return -1;
  }
  result = kfs_seek(f, (uint32_t)(base + offset));
  if (result != KFS_OK) {
    errno = kfs_stream_errno(result);
    return -1;
  }
  return base + offset;
}

static int kfs_cookie_close(void *cookie) {
  free(cookie);
  return 0;
}

#ifdef KFS_USE_FUNOPEN
static int kfs_funopen_read(void *cookie, char *buf, int size) {
  return (int)kfs_cookie_read(cookie, buf, size < 0 ? 0 : (size_t)size);
}

static fpos_t kfs_funopen_seek(void *cookie, fpos_t offset, int whence) {
  return (fpos_t)kfs_cookie_place(cookie, (long long)offset, whence);
}

static FILE *kfs_stream(kfs_file *f) {
  return funopen(f, kfs_funopen_read, NULL, kfs_funopen_seek, kfs_cookie_close);
}
#else
#if defined(__GLIBC__)
typedef off64_t kfs_cookie_off;
#elif defined(__NEWLIB__) && defined(__LARGE64_FILES)
typedef _off64_t kfs_cookie_off;
#else
typedef off_t kfs_cookie_off;
#endif

static ssize_t kfs_fopencookie_read(void *cookie, char *buf, size_t size) {
  return (ssize_t)kfs_cookie_read(cookie, buf, size);
}

static int kfs_fopencookie_seek(void *cookie, kfs_cookie_off *offset, int whence) {
  long long place = kfs_cookie_place(cookie, (long long)*offset, whence);
  if (place < 0) return -1;
  *offset = (kfs_cookie_off)place;
  return 0;
}

static FILE *kfs_stream(kfs_file *f) {
  cookie_io_functions_t io;
  io.read = kfs_fopencookie_read;
  io.write = NULL;
  io.seek = kfs_fopencookie_seek;
  io.close = kfs_cookie_close;
  return fopencookie(f, "r", io);
}
#endif

FILE *kfs_fopen(kfs_drive *d, const char *path, const char *mode) {
  kfs_file *f;
  FILE *stream;
  int error = kfs_mode_error(mode), result;
  if (error == 0 && (d == NULL || path == NULL)) error = EINVAL;
  if (error != 0) {
    errno = error;
    return NULL;
  }
  f = (kfs_file *)malloc(sizeof *f);
  if (f == NULL) {
    errno = ENOMEM;
    return NULL;
  }
  result = kfs_open(d, path, f);
  if (result != KFS_OK) {
    free(f);
    errno = kfs_errno(result);
    return NULL;
  }
  stream = kfs_stream(f);
  if (stream == NULL) {
    error = errno != 0 ? errno : ENOMEM;
    free(f);
    errno = error;
    return NULL;
  }
  /* The bytes are in memory or behind the reader's callback already: a stdio buffer would
   * only copy them twice. */
  (void)setvbuf(stream, NULL, _IONBF, 0);
  return stream;
}
