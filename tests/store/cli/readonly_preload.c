// Loaded into the tool under test ahead of the C library (LD_PRELOAD), it
// makes one file read-only even for a user whom the system lets write
// read-only files (root): opening that file for writing, or truncating it,
// fails with EACCES, the answer everyone else gets from the system. The file
// is the one VANTRELL_READONLY_FILE names when the program starts, known by
// its device and inode however the program spells its path. Every other
// open goes through unchanged.
#undef _FILE_OFFSET_BITS
#undef _FORTIFY_SOURCE
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/stat.h>

static int g_on;
static dev_t g_dev;
static ino_t g_ino;

__attribute__((constructor)) static void LoadReadOnlyFile(void) {
  const char* file = getenv("VANTRELL_READONLY_FILE");
  struct stat st;
  if (file && *file && stat(file, &st) == 0) {
    g_dev = st.st_dev;
    g_ino = st.st_ino;
    g_on = 1;
  }
}

static int Refused(int dirfd, const char* path, int flags) {
  if (!g_on || !path) return 0;
  if ((flags & O_ACCMODE) == O_RDONLY && !(flags & O_TRUNC)) return 0;
  struct stat st;
  if (fstatat(dirfd, path, &st, 0) != 0 || st.st_dev != g_dev || st.st_ino != g_ino) return 0;
  errno = EACCES;
  return 1;
}

static int NeedsMode(int flags) { return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE; }

typedef int (*OpenFn)(const char*, int, ...);
typedef int (*OpenAtFn)(int, const char*, int, ...);
typedef int (*Open2Fn)(const char*, int);
typedef int (*OpenAt2Fn)(int, const char*, int);

#define MODE_ARG(flags)        \
  mode_t mode = 0;             \
  if (NeedsMode(flags)) {      \
    va_list ap;                \
    va_start(ap, flags);       \
    mode = va_arg(ap, mode_t); \
    va_end(ap);                \
  }

#define DEFINE_OPEN(name)                                          \
  int name(const char* path, int flags, ...) {                     \
    MODE_ARG(flags)                                                \
    if (Refused(AT_FDCWD, path, flags)) return -1;                 \
    static OpenFn real;                                            \
    if (!real) real = (OpenFn)dlsym(RTLD_NEXT, #name);             \
    return real(path, flags, mode);                                \
  }

#define DEFINE_OPENAT(name)                                        \
  int name(int dirfd, const char* path, int flags, ...) {          \
    MODE_ARG(flags)                                                \
    if (Refused(dirfd, path, flags)) return -1;                    \
    static OpenAtFn real;                                          \
    if (!real) real = (OpenAtFn)dlsym(RTLD_NEXT, #name);           \
    return real(dirfd, path, flags, mode);                         \
  }

// The checked forms a program built with _FORTIFY_SOURCE calls.
#define DEFINE_OPEN2(name)                                         \
  int name(const char* path, int flags) {                          \
    if (Refused(AT_FDCWD, path, flags)) return -1;                 \
    static Open2Fn real;                                           \
    if (!real) real = (Open2Fn)dlsym(RTLD_NEXT, #name);            \
    return real(path, flags);                                      \
  }

#define DEFINE_OPENAT2(name)                                       \
  int name(int dirfd, const char* path, int flags) {               \
    if (Refused(dirfd, path, flags)) return -1;                    \
    static OpenAt2Fn real;                                         \
    if (!real) real = (OpenAt2Fn)dlsym(RTLD_NEXT, #name);          \
    return real(dirfd, path, flags);                               \
  }

DEFINE_OPEN(open)
DEFINE_OPEN(open64)
DEFINE_OPENAT(openat)
DEFINE_OPENAT(openat64)
DEFINE_OPEN2(__open_2)
DEFINE_OPEN2(__open64_2)
DEFINE_OPENAT2(__openat_2)
DEFINE_OPENAT2(__openat64_2)
