// The C library's string and memory functions, for the Windows build, which
// links no C runtime: the ones the program calls, and memcpy and memset,
// which GCC calls itself for copies and initialisers. The host builds take
// the C library's own.
//
// Compiled with -fno-builtin -fno-tree-loop-distribute-patterns (see
// CMakeLists.txt): otherwise GCC recognises these loops and turns them back
// into calls to the very functions they define.
#include <string.h>

extern "C" {

size_t strlen(const char *text) {
  const char *end = text;
  while (*end != '\0') ++end;
  return (size_t)(end - text);
}

char *strcpy(char *target, const char *source) {
  char *to = target;
  while ((*to++ = *source++) != '\0') {
  }
  return target;
}

char *strchr(const char *text, int c) {
  for (;; ++text) {
    if (*text == (char)c) return (char *)text;
    if (*text == '\0') return NULL;
  }
}

char *strrchr(const char *text, int c) {
  const char *last = NULL;
  for (;; ++text) {
    if (*text == (char)c) last = text;
    if (*text == '\0') return (char *)last;
  }
}

int strncmp(const char *a, const char *b, size_t count) {
  for (; count != 0; --count, ++a, ++b) {
    unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
    if (x != y) return x < y ? -1 : 1;
    if (x == '\0') return 0;
  }
  return 0;
}

void *memchr(const void *block, int c, size_t count) {
  const unsigned char *p = (const unsigned char *)block;
  for (; count != 0; --count, ++p) {
    if (*p == (unsigned char)c) return (void *)p;
  }
  return NULL;
}

void *memcpy(void *target, const void *source, size_t count) {
  unsigned char *to = (unsigned char *)target;
  const unsigned char *from = (const unsigned char *)source;
  while (count-- != 0) *to++ = *from++;
  return target;
}

// Overlapping blocks: a quoted value is moved one byte to the left in place.
void *memmove(void *target, const void *source, size_t count) {
  unsigned char *to = (unsigned char *)target;
  const unsigned char *from = (const unsigned char *)source;
  if (to <= from) {
    while (count-- != 0) *to++ = *from++;
  } else {
    while (count-- != 0) to[count] = from[count];
  }
  return target;
}

void *memset(void *target, int c, size_t count) {
  unsigned char *to = (unsigned char *)target;
  while (count-- != 0) *to++ = (unsigned char)c;
  return target;
}

}  // extern "C"
