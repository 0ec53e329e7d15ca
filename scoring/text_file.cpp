// Text-mode reading of the keyword list, done by our own code so that it behaves the same on
// every platform. The file is small and read once, so a simple read-ahead buffer is enough.
#include "scoring/text_file.h"

#include <cassert>
#include <cerrno>

#include "scoring/module_path.h"

namespace {
constexpr int kEndOfFileMark = 0x1A;  // Ctrl-Z ends a text file
}

TextFile::~TextFile() {
  if (m_file != nullptr) std::fclose(m_file);
  delete[] m_buffer;
}

bool TextFile::Open(const char* path) {
  assert(m_file == nullptr);
  errno = 0;
  m_file = OpenFileForReading(path);
  if (m_file == nullptr) {
    m_nError = errno != 0 ? errno : EIO;
    return false;
  }
  m_buffer = new unsigned char[kBufferSize];
  return true;
}

int TextFile::PeekByte() {
  if (m_begin == m_end) {
    if (m_ended) return -1;
    m_begin = 0;
    errno = 0;
    m_end = std::fread(m_buffer, 1, kBufferSize, m_file);
    if (m_end < kBufferSize && std::ferror(m_file)) {
      // What was read before the error is of no use: the caller must not take a part for all.
      m_nError = errno != 0 ? errno : EIO;
      m_end = 0;
    }
    if (m_end == 0) {
      m_ended = true;
      return -1;
    }
  }
  return m_buffer[m_begin];
}

int TextFile::NextByte() {
  const int byte = PeekByte();
  if (byte >= 0) ++m_begin;
  return byte;
}

bool TextFile::ReadPiece(char* buffer, size_t size) {
  assert(m_file != nullptr && size >= 2);
  size_t length = 0;
  while (length + 1 < size) {
    int byte = NextByte();
    if (byte < 0) break;
    if (byte == kEndOfFileMark) {
      m_ended = true;
      m_begin = m_end;
      break;
    }
    if (byte == '\r' && PeekByte() == '\n') byte = NextByte();
    buffer[length++] = static_cast<char>(byte);
    if (byte == '\n') break;
  }
  buffer[length] = '\0';
  return length > 0;
}
