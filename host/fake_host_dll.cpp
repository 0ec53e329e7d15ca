// A stand-in orvanLib.dll for the Windows binder's tests. The .def files export its operations by
// number only (fake_host_full.def all ten, fake_host_lacking.def all but 284,
// fake_host_failing.def all ten and the optional failure operation by its name) and its log by
// name. Each operation returns 1000 plus its number, so that a test can tell which one ran.
#include <cstdint>

#include "host/host_library.h"

// What the library saw.
struct FakeHostLog {
  int32_t called[32];   // numbers of the operations called, in order
  int32_t calledCount;  // entries used in called
  int32_t ints[2];      // integer arguments of the last call, in order
  const void* ptrs[3];  // pointer arguments of the last call, in order
};

extern "C" {

FakeHostLog fake_host_log;

static int32_t Called(int32_t ordinal) {
  if (fake_host_log.calledCount < 32) fake_host_log.called[fake_host_log.calledCount++] = ordinal;
  return 1000 + ordinal;
}
static void Args(int32_t a, int32_t b, const void* p, const void* q, const void* r) {
  fake_host_log.ints[0] = a;
  fake_host_log.ints[1] = b;
  fake_host_log.ptrs[0] = p;
  fake_host_log.ptrs[1] = q;
  fake_host_log.ptrs[2] = r;
}

int32_t ORVAN_API FakeAttach(int32_t zero, const char* program) {
  Args(zero, 0, program, nullptr, nullptr);
  return Called(1);
}
int32_t ORVAN_API FakeOpenUserList(int32_t zero1, int32_t zero2, const char* pattern) {
  Args(zero1, zero2, pattern, nullptr, nullptr);
  return Called(100);
}
int32_t ORVAN_API FakeNextUser(UserRecord* record, int32_t one) {
  Args(one, 0, record, nullptr, nullptr);
  return Called(102);
}
int32_t ORVAN_API FakeOpenFolder(const char* user, const char* folder, int32_t zero,
                                 const char* kind) {
  Args(zero, 0, user, folder, kind);
  return Called(270);
}
int32_t ORVAN_API FakeNextMessage(MessageRecord* record, int32_t zero) {
  Args(zero, 0, record, nullptr, nullptr);
  return Called(273);
}
int32_t ORVAN_API FakeStoreScore(int32_t hits, int32_t points) {
  Args(hits, points, nullptr, nullptr, nullptr);
  return Called(284);
}
int32_t ORVAN_API FakeFinishMessage() { return Called(275); }
int32_t ORVAN_API FakeCloseFolder() { return Called(272); }
int32_t ORVAN_API FakeCloseUserList() { return Called(101); }
int32_t ORVAN_API FakeDetach() { return Called(2); }

// The optional failure operation; only fake_host_failing.def exports it.
int32_t ORVAN_API OrvanLibLastFailure(char* buffer, int32_t size) {
  const char failure[] = "the store is locked";
  if (size <= 0) return 1;
  int32_t i = 0;
  for (; i < size - 1 && failure[i] != '\0'; ++i) buffer[i] = failure[i];
  buffer[i] = '\0';
  return 1;
}

}  // extern "C"
