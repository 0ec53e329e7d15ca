// The two records that the host library fills: raw byte buffers of fixed size, of which the
// program reads and writes only the fields named here. Each text field is NUL-terminated within
// its field; a field runs from its offset to the next known offset (or the record's end).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The current user, filled by HostNextUser.
struct UserRecord {
  static constexpr size_t kSize = 69264;
  static constexpr size_t kNameOffset = 0;        // the user's name
  static constexpr size_t kKindOffset = 69162;    // account kind; 掲示板 marks a board
  static constexpr size_t kNameSize = kKindOffset - kNameOffset;
  static constexpr size_t kKindSize = kSize - kKindOffset;

  char* Name() { return bytes + kNameOffset; }
  const char* Name() const { return bytes + kNameOffset; }
  char* Kind() { return bytes + kKindOffset; }
  const char* Kind() const { return bytes + kKindOffset; }

  char bytes[kSize];  // the record as the host lays it out
};
static_assert(sizeof(UserRecord) == UserRecord::kSize);

// One message, filled by HostNextMessage.
struct MessageRecord {
  static constexpr size_t kSize = 143536;
  static constexpr size_t kTitleOffset = 204;           // title
  static constexpr size_t kDestinationOffset = 936;     // destination
  static constexpr size_t kScoreStateOffset = 77992;    // int32; negative until scored
  static constexpr size_t kStoredPointsOffset = 77996;  // int32; the stored points
  static constexpr size_t kBodyOffset = 110768;         // body, within the last 32768 bytes
  static constexpr size_t kTitleSize = kDestinationOffset - kTitleOffset;
  static constexpr size_t kDestinationSize = kScoreStateOffset - kDestinationOffset;
  static constexpr size_t kBodySize = kSize - kBodyOffset;

  char* Title() { return bytes + kTitleOffset; }
  char* Destination() { return bytes + kDestinationOffset; }
  char* Body() { return bytes + kBodyOffset; }
  int32_t ScoreState() const { return ReadInt(kScoreStateOffset); }
  int32_t StoredPoints() const { return ReadInt(kStoredPointsOffset); }
  void SetScoreState(int32_t value) { WriteInt(kScoreStateOffset, value); }
  void SetStoredPoints(int32_t value) { WriteInt(kStoredPointsOffset, value); }

  char bytes[kSize];  // the record as the host lays it out

 private:
  int32_t ReadInt(size_t offset) const {
    int32_t value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
  }
  void WriteInt(size_t offset, int32_t value) { std::memcpy(bytes + offset, &value, sizeof value); }
};
static_assert(sizeof(MessageRecord) == MessageRecord::kSize);
static_assert(MessageRecord::kBodySize == 32768);
static_assert(MessageRecord::kStoredPointsOffset + 4 <= MessageRecord::kBodyOffset);

// Makes sure a text field holds a NUL: a field without one is cut at its last byte.
inline void TerminateField(char* field, size_t size) {
  if (std::memchr(field, '\0', size) == nullptr) field[size - 1] = '\0';
}
