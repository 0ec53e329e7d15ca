// Reading mail files for `orvan-host import`: one RFC 5322 message (.eml) or an mbox, MIME
// decoded by GMime, with every text converted to code page 932.
//
// An mbox is read one message at a time, so memory does not grow with the file:
//
//   Cp932Converter converter;
//   std::string error;
//   if (!ReadMailFile(path, converter, [&](ImportedMessage&& m) { return Store(m); }, &error)) ...
#pragma once

#include <functional>
#include <string>

#include "orvanhost/cp932_convert.h"

// One message as the store keeps it.
struct ImportedMessage {
  int number = 0;           // its place in the file, from 1
  bool in_mbox = false;     // the file is an mbox (else it holds this message only)
  std::string title;        // Subject, code page 932
  std::string destination;  // To, code page 932 ("name <address>, ...")
  std::string body;         // the text body (text/plain, else the first other text part)
  int replaced = 0;         // characters stored as 〓: those that code page 932 cannot hold,
                            // and NUL bytes, which would end a host text early
};

// Reads the messages of the file at `path` in file order: an mbox when it begins with "From ",
// else one message. Hands each to `take` as soon as it is read; `take` returns false to stop
// (its caller then knows why). Returns true when every message was read and taken. On failure
// stores a one-line reason without the file's name in `*error` and returns false; the messages
// taken before it were taken. A failure is a file that cannot be read, is empty or is no
// message, a message of an mbox that cannot be parsed ("message N ..."), or a message whose
// MIME structure hides its text: a multipart without a boundary, or nested too deep to be read,
// that leaves the body empty.
[[nodiscard]] bool ReadMailFile(const std::string& path, Cp932Converter& converter,
                                const std::function<bool(ImportedMessage&&)>& take,
                                std::string* error);
