// CString: the growable byte string of the framework.
//
// Holds code-page-932 bytes, always NUL-terminated, with its length stored. Setting it copies a
// text up to its NUL; appending adds a text at its end. It never converts its bytes: conversion
// to Unicode happens only where text reaches the screen (see the toolkit backend).
//
//   CString user;
//   user = "\x83\x86\x81\x5B\x83\x55\x81\x5B";  // ユーザー
//   user += " : ...";
//   std::string_view bytes = user.View();
//
// Intentionally copyable. Not thread-safe; the program has one thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class CString {
 public:
  CString() = default;
  CString(const char* text) { Assign(text); }  // NOLINT: implicit like the framework's.
  explicit CString(std::string_view bytes) : m_bytes(bytes) {}

  CString& operator=(const char* text) {
    Assign(text);
    return *this;
  }
  CString& operator+=(const char* text) {
    if (text != nullptr) m_bytes.append(text);
    return *this;
  }
  CString& operator+=(const CString& other) {
    m_bytes.append(other.m_bytes);
    return *this;
  }

  // The text, NUL-terminated; valid until the string changes.
  operator const char*() const { return m_bytes.c_str(); }  // NOLINT: LPCTSTR-like.
  const char* GetString() const { return m_bytes.c_str(); }
  int GetLength() const { return static_cast<int>(m_bytes.size()); }
  bool IsEmpty() const { return m_bytes.empty(); }
  void Empty() { m_bytes.clear(); }
  std::string_view View() const { return m_bytes; }

  // Replaces the contents with the given bytes (which may hold NULs; callers that need a text
  // pass bytes without NUL).
  void SetBytes(std::string_view bytes) { m_bytes.assign(bytes); }

  friend bool operator==(const CString& a, const CString& b) { return a.m_bytes == b.m_bytes; }
  friend bool operator==(const CString& a, const char* b) { return a.m_bytes == b; }

 private:
  void Assign(const char* text) {
    if (text == nullptr) {
      m_bytes.clear();
    } else {
      m_bytes.assign(text);
    }
  }

  std::string m_bytes;  // the bytes, without the terminating NUL that c_str() adds
};
