/* What newlib asks of the system: a heap for malloc (the streams of kfs_fopen) in external
 * work RAM after the program's data, and file descriptors, of which a cartridge has none:
 * stdio links the calls for stdin and stdout, and every one of them fails. */
#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/stat.h>

extern uint8_t __heap_start[], __heap_end[];

void *_sbrk(ptrdiff_t increment);
int _read(int fd, void *buffer, size_t n);
int _write(int fd, const void *buffer, size_t n);
int _close(int fd);
long _lseek(int fd, long offset, int whence);
int _fstat(int fd, struct stat *st);
int _isatty(int fd);

void *_sbrk(ptrdiff_t increment) {
  static uint8_t *top = __heap_start;
  uint8_t *old = top;
  if (increment > __heap_end - top || increment < __heap_start - top) {
    errno = ENOMEM;
    return (void *)-1;
  }
  top += increment;
  return old;
}

static int no_descriptor(void) {
  errno = EBADF;
  return -1;
}

int _read(int fd, void *buffer, size_t n) {
  (void)fd, (void)buffer, (void)n;
  return no_descriptor();
}

int _write(int fd, const void *buffer, size_t n) {
  (void)fd, (void)buffer, (void)n;
  return no_descriptor();
}

int _close(int fd) {
  (void)fd;
  return no_descriptor();
}

long _lseek(int fd, long offset, int whence) {
  (void)fd, (void)offset, (void)whence;
  return no_descriptor();
}

int _fstat(int fd, struct stat *st) {
  (void)fd, (void)st;
  return no_descriptor();
}

int _isatty(int fd) {
  (void)fd;
  errno = EBADF;
  return 0;
}
