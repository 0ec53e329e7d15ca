// Reading mail files for `orvan-host import`: one RFC 5322 message (.eml) or an mbox, MIME
// decoded by GMime, with every text converted to code page 932.
#pragma once

#include <string>
#include <vector>

// One message as the store keeps it.
struct ImportedMessage {
  std::string title;        // Subject, code page 932
  std::string destination;  // To, code page 932 ("name <address>, ...")
  std::string body;         // the text body (text/plain, else the first other text part)
  int replaced = 0;         // characters that code page 932 cannot hold, stored as 〓
};

// Reads every message of the file at `path`: an mbox when it begins with "From ", else one
// message. On success appends them to `*messages` and returns true. On failure (unreadable,
// empty, not a message) appends nothing, stores a one-line reason without the file's name in
// `*error` and returns false.
[[nodiscard]] bool ReadMailFile(const std::string& path, std::vector<ImportedMessage>* messages,
                                std::string* error);
