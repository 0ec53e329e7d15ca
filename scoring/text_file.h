// Reading a file as text, the way the keyword list is read: CR LF reads as LF, a CR not followed
// by LF stays, and a byte 0x1A ends the file (it and everything after it are not read).
//
//   TextFile file;
//   if (file.Open(path)) {
//     char piece[4096];
//     while (file.ReadPiece(piece, sizeof piece)) { ... }
//   }
//
// Not copyable: it owns the open file.
#pragma once

#include <cstddef>
#include <cstdio>

class TextFile {
 public:
  TextFile() = default;
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Opens `path` for reading, once: a FIFO or a process substitution is read as it comes.
  // Returns false when it cannot be opened, with the reason in ErrorNumber().
  [[nodiscard]] bool Open(const char* path);

  // Reads the bytes up to and including the next LF, or size - 1 bytes, or the rest of the file,
  // whichever is shortest (counted after CR LF has become LF), and appends a NUL. Returns false,
  // with nothing read, at the end of the file, at a 0x1A byte, or on a read error; ErrorNumber()
  // tells a read error from the end.
  // REQUIRES: Open succeeded; size >= 2.
  bool ReadPiece(char* buffer, size_t size);

  // 0 while the file opened and every read succeeded; else the errno of the failed open or read
  // (EIO when the library gave none). A directory opened as a file fails its first read.
  [[nodiscard]] int ErrorNumber() const { return m_nError; }

 private:
  static constexpr size_t kBufferSize = 64 * 1024;

  int NextByte();  // the next raw byte, or -1 at end or error
  int PeekByte();  // the next raw byte without taking it, or -1

  std::FILE* m_file = nullptr;   // the open file, or null
  unsigned char* m_buffer = nullptr;  // raw bytes read ahead
  size_t m_begin = 0;            // first unread byte in m_buffer
  size_t m_end = 0;              // end of the bytes in m_buffer
  bool m_ended = false;          // end of file, error or 0x1A seen: nothing more is read
  int m_nError = 0;              // errno of the failed open or read, or 0
};
