/* Preloaded into the zavol program by the tests: a system that refuses threads. pthread_create
 * fails with EAGAIN, as it does for a user out of processes, for the threads the C++ standard
 * library starts (std::thread: every team of ours and OpenEXR's pool) beyond the first
 * ZAVOL_TEST_THREADS_ALLOWED; other libraries' threads (FFmpeg's) start as usual. At exit the
 * number refused is written to the file ZAVOL_TEST_REFUSALS names, so a test can tell a run that
 * met refusals from one that never asked. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int (*CreateFunction)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

static CreateFunction realCreate;
static atomic_int allowed;
static atomic_int refused;

__attribute__((constructor)) static void ReadAllowance(void) {
  realCreate = (CreateFunction)dlsym(RTLD_NEXT, "pthread_create");
  const char* text = getenv("ZAVOL_TEST_THREADS_ALLOWED");
  atomic_store(&allowed, text != NULL ? atoi(text) : 0);
}

__attribute__((destructor)) static void WriteRefusals(void) {
  const char* path = getenv("ZAVOL_TEST_REFUSALS");
  FILE* out = path != NULL ? fopen(path, "w") : NULL;
  if (out == NULL) return;
  fprintf(out, "%d\n", atomic_load(&refused));
  fclose(out);
}

/* std::thread hands pthread_create a start routine of the standard library's own. */
static int FromTheStandardLibrary(void* (*start)(void*)) {
  Dl_info info;
  return dladdr((void*)start, &info) != 0 && info.dli_fname != NULL &&
         strstr(info.dli_fname, "libstdc++") != NULL;
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  if (FromTheStandardLibrary(start) && atomic_fetch_sub(&allowed, 1) <= 0) {
    atomic_fetch_add(&refused, 1);
    return EAGAIN;
  }
  return realCreate(thread, attr, start, arg);
}
