/* A demangler that keeps account of the texts it hands out.
 *
 * Names that begin with "plain" give NULL; every other name gives a new
 * malloc'ed "<name>". Each text handed out is remembered until it comes back
 * through demangle_free; a free of anything else (NULL, a text freed before,
 * a pointer never handed out) counts as a stray free. The test reads the
 * counts through demangle_test_counts from the same loaded copy, so it keeps
 * the library open across the writer's own load and unload. */
#include <stdlib.h>
#include <string.h>

#define MAX_TEXTS 1024

static char* outstanding[MAX_TEXTS];
static int handedOut;
static int freed;
static int strayFrees;

__attribute__((visibility("default"))) char* demangle_ghs_name(const char* mangled) {
  if (strncmp(mangled, "plain", 5) == 0) return NULL;
  size_t length = strlen(mangled);
  char* text = malloc(length + 3);
  if (text == NULL) return NULL;
  text[0] = '<';
  memcpy(text + 1, mangled, length);
  text[length + 1] = '>';
  text[length + 2] = '\0';
  for (int i = 0; i < MAX_TEXTS; ++i) {
    if (outstanding[i] == NULL) {
      outstanding[i] = text;
      ++handedOut;
      return text;
    }
  }
  free(text);
  return NULL;
}

__attribute__((visibility("default"))) void demangle_free(char* text) {
  for (int i = 0; text != NULL && i < MAX_TEXTS; ++i) {
    if (outstanding[i] == text) {
      outstanding[i] = NULL;
      ++freed;
      free(text);
      return;
    }
  }
  ++strayFrees;
}

/* Texts handed out, texts given back, stray frees; then all three restart. */
__attribute__((visibility("default"))) void demangle_test_counts(int* handed, int* given, int* stray) {
  *handed = handedOut;
  *given = freed;
  *stray = strayFrees;
  handedOut = 0;
  freed = 0;
  strayFrees = 0;
}
