/* A stand-in host library for the binder's tests. It exports the lookup function and a log of
 * what it was asked for and which operation was called with which arguments. Built in four
 * variants: complete, lacking the operation FAKE_HOST_OMIT, without the lookup function
 * (FAKE_HOST_NO_LOOKUP), and complete with the optional failure operation, which reports the
 * failure FAKE_HOST_FAILURE. Each operation returns 1000 plus its number, so that a test can
 * tell which one ran. */
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define FAKE_EXPORT __attribute__((visibility("default")))

/* What the library saw. */
struct FakeHostLog {
  int32_t asked[32];      /* numbers passed to the lookup function, in order */
  int32_t asked_count;    /* entries used in asked */
  int32_t called[32];     /* numbers of the operations called, in order */
  int32_t called_count;   /* entries used in called */
  int32_t ints[2];        /* integer arguments of the last call, in order */
  const void* ptrs[3];    /* pointer arguments of the last call, in order */
};
FAKE_EXPORT struct FakeHostLog fake_host_log;

static int32_t Called(int32_t ordinal) {
  if (fake_host_log.called_count < 32) fake_host_log.called[fake_host_log.called_count++] = ordinal;
  return 1000 + ordinal;
}
static void Ints(int32_t a, int32_t b) {
  fake_host_log.ints[0] = a;
  fake_host_log.ints[1] = b;
}
static void Ptrs(const void* a, const void* b, const void* c) {
  fake_host_log.ptrs[0] = a;
  fake_host_log.ptrs[1] = b;
  fake_host_log.ptrs[2] = c;
}

static int32_t Attach(int32_t zero, const char* program) {
  Ints(zero, 0);
  Ptrs(program, NULL, NULL);
  return Called(1);
}
static int32_t OpenUserList(int32_t zero1, int32_t zero2, const char* pattern) {
  Ints(zero1, zero2);
  Ptrs(pattern, NULL, NULL);
  return Called(100);
}
static int32_t NextUser(void* record, int32_t one) {
  Ints(one, 0);
  Ptrs(record, NULL, NULL);
  return Called(102);
}
static int32_t OpenFolder(const char* user, const char* folder, int32_t zero, const char* kind) {
  Ints(zero, 0);
  Ptrs(user, folder, kind);
  return Called(270);
}
static int32_t NextMessage(void* record, int32_t zero) {
  Ints(zero, 0);
  Ptrs(record, NULL, NULL);
  return Called(273);
}
static int32_t StoreScore(int32_t hits, int32_t points) {
  Ints(hits, points);
  return Called(284);
}
static int32_t FinishMessage(void) { return Called(275); }
static int32_t CloseFolder(void) { return Called(272); }
static int32_t CloseUserList(void) { return Called(101); }
static int32_t Detach(void) { return Called(2); }

#ifdef FAKE_HOST_FAILURE
/* The optional failure operation, exported by name only; the lookup never hands it out. */
FAKE_EXPORT int32_t OrvanLibLastFailure(char* buffer, int32_t size) {
  if (size <= 0) return 1;
  strncpy(buffer, FAKE_HOST_FAILURE, (size_t)size - 1);
  buffer[size - 1] = '\0';
  return 1;
}
#endif

#ifndef FAKE_HOST_OMIT
#define FAKE_HOST_OMIT 0
#endif

/* The variant without the lookup function exports it under another name. */
#ifdef FAKE_HOST_NO_LOOKUP
#define FAKE_HOST_LOOKUP FakeHostNotTheLookup
#else
#define FAKE_HOST_LOOKUP OrvanLibProcByOrdinal
#endif

/* Through an integer: ISO C has no direct conversion from a function to a data pointer. */
#define PROC(f) ((void*)(uintptr_t)(f))

FAKE_EXPORT void* FAKE_HOST_LOOKUP(int32_t ordinal) {
  if (fake_host_log.asked_count < 32) fake_host_log.asked[fake_host_log.asked_count++] = ordinal;
  if (ordinal == FAKE_HOST_OMIT) return NULL;
  switch (ordinal) {
    case 1: return PROC(Attach);
    case 2: return PROC(Detach);
    case 100: return PROC(OpenUserList);
    case 101: return PROC(CloseUserList);
    case 102: return PROC(NextUser);
    case 270: return PROC(OpenFolder);
    case 272: return PROC(CloseFolder);
    case 273: return PROC(NextMessage);
    case 275: return PROC(FinishMessage);
    case 284: return PROC(StoreScore);
    default: return NULL;
  }
}
