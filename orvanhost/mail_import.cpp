// Mail parsing with GMime 3: header decoding (RFC 2047 encoded words), transfer decoding
// (base64, quoted-printable) and the choice of the text body. Charsets are converted with our
// own iconv step (cp932_convert.h) so that every character code page 932 cannot hold is counted.
// The file is parsed straight from disk, one message at a time; GMime keeps a part's content
// as a place in the file until it is decoded, so only the message at hand is in memory.
#include "orvanhost/mail_import.h"

#include <gmime/gmime.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "orvanhost/cp932_convert.h"

namespace {

template <typename T>
struct GObjectDeleter {
  void operator()(T* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter<T>>;

void InitGMime() {
  static const bool initialized = [] {
    g_mime_init();
    return true;
  }();
  (void)initialized;
}

// The text body: the first text/plain part that is no attachment, else the first text/html,
// else the first other text part. Attached messages are not looked into.
GMimeObject* FindTextBody(GMimeObject* object, const char* subtype) {
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) {
      if (GMimeObject* found = FindTextBody(g_mime_multipart_get_part(multipart, i), subtype)) {
        return found;
      }
    }
    return nullptr;
  }
  if (!GMIME_IS_PART(object)) return nullptr;
  GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
  if (disposition != nullptr && g_mime_content_disposition_is_attachment(disposition)) {
    return nullptr;
  }
  GMimeContentType* type = g_mime_object_get_content_type(object);
  return g_mime_content_type_is_type(type, "text", subtype) ? object : nullptr;
}

// Why the MIME structure under `object` hides its parts, or empty when it does not: a multipart
// without a boundary, whose parts cannot be told apart, or one that the parser left unread
// because it lies too deep. GMime keeps what it could not read in such a multipart's prologue.
std::string UnreadablePart(GMimeObject* object, int depth = 0) {
  if (!GMIME_IS_MULTIPART(object)) return {};
  GMimeMultipart* multipart = GMIME_MULTIPART(object);
  const int count = g_mime_multipart_get_count(multipart);
  if (g_mime_object_get_content_type_parameter(object, "boundary") == nullptr) {
    return "a multipart without a boundary";
  }
  const char* prologue = g_mime_multipart_get_prologue(multipart);
  if (count == 0 && prologue != nullptr && prologue[0] != '\0') {
    return "multiparts nested deeper than " + std::to_string(depth) + " levels cannot be read";
  }
  for (int i = 0; i < count; ++i) {
    std::string reason = UnreadablePart(g_mime_multipart_get_part(multipart, i), depth + 1);
    if (!reason.empty()) return reason;
  }
  return {};
}

std::string DecodedContent(GMimeObject* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
  if (content == nullptr) return {};
  GObjectPtr<GMimeStream> memory(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(content, memory.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

// `text` converted to code page 932, each NUL (which would end the host's text and hide the
// rest of it from the scan) stored as 〓 and counted with the characters replaced.
std::string ToStore(Cp932Converter& converter, std::string_view text, std::string_view charset,
                    int* replaced) {
  std::string converted = converter.ToCp932(text, charset, replaced);
  if (converted.find('\0') == std::string::npos) return converted;
  std::string result;
  result.reserve(converted.size() + 16);
  for (const char c : converted) {
    if (c == '\0') {
      result += kGetaMark;
      ++*replaced;
    } else {
      result += c;
    }
  }
  return result;
}

// The message as the store keeps it; false with a reason when its text cannot be found.
bool Convert(Cp932Converter& converter, GMimeMessage* message, ImportedMessage* result,
             std::string* error) {
  if (const char* subject = g_mime_message_get_subject(message)) {
    result->title = ToStore(converter, subject, "UTF-8", &result->replaced);
  }
  if (InternetAddressList* to = g_mime_message_get_to(message);
      to != nullptr && internet_address_list_length(to) > 0) {
    char* text = internet_address_list_to_string(to, nullptr, FALSE);
    if (text != nullptr) result->destination = ToStore(converter, text, "UTF-8", &result->replaced);
    g_free(text);
  }
  GMimeObject* root = g_mime_message_get_mime_part(message);
  GMimeObject* body = nullptr;
  if (root != nullptr) {
    for (const char* subtype : {"plain", "html", "*"}) {
      if ((body = FindTextBody(root, subtype)) != nullptr) break;
    }
  }
  if (body != nullptr) {
    const std::string bytes = DecodedContent(body);
    const char* charset = g_mime_object_get_content_type_parameter(body, "charset");
    std::string_view name = charset != nullptr ? charset : "";
    // Old Japanese mail often sends ISO-2022-JP without naming it.
    if (name.empty() && bytes.find("\x1B$B") != std::string::npos) name = "ISO-2022-JP";
    result->body = ToStore(converter, bytes, name, &result->replaced);
  }
  if (result->body.empty() && root != nullptr) {
    // A message without text is imported as it is; one whose text the structure hides is not.
    if (const std::string reason = UnreadablePart(root); !reason.empty()) {
      *error = "no text body found: " + reason;
      return false;
    }
  }
  return true;
}

bool HasHeaders(GMimeMessage* message) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
  return headers != nullptr && g_mime_header_list_get_count(headers) > 0;
}

// Whether the file at `file` (open, at its start) holds anything but blanks, and whether it
// begins with an mbox's "From " line. Leaves the file at its start.
bool Inspect(std::FILE* file, bool* mbox, bool* blank) {
  char start[5] = {};
  const size_t got = std::fread(start, 1, sizeof start, file);
  *mbox = got == sizeof start && std::memcmp(start, "From ", 5) == 0;
  *blank = true;
  for (size_t i = 0; i < got && *blank; ++i) *blank = std::strchr(" \t\r\n", start[i]) != nullptr;
  int c;
  while (*blank && (c = std::fgetc(file)) != EOF) *blank = std::strchr(" \t\r\n", c) != nullptr;
  const bool ok = !std::ferror(file);
  std::rewind(file);
  return ok;
}

}  // namespace

bool ReadMailFile(const std::string& path, Cp932Converter& converter,
                  const std::function<bool(ImportedMessage&&)>& take, std::string* error) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    *error = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  bool mbox = false;
  bool blank = false;
  if (!Inspect(file, &mbox, &blank) || blank) {
    *error = blank ? "empty file" : "cannot be read";
    std::fclose(file);
    return false;
  }
  InitGMime();
  // The parser reads the file as it goes; the stream owns the FILE from here on.
  GObjectPtr<GMimeStream> stream(g_mime_stream_file_new(file));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), mbox ? GMIME_FORMAT_MBOX : GMIME_FORMAT_MESSAGE);
  GMimeParserOptions* options = g_mime_parser_options_new();
  // Raw 8-bit header texts: tried in this order.
  const char* fallback[] = {"utf-8", "iso-2022-jp", "cp932", "euc-jp", nullptr};
  g_mime_parser_options_set_fallback_charsets(options, fallback);

  bool ok = true;
  int number = 0;
  do {
    ++number;
    const std::string which = mbox ? "message " + std::to_string(number) + ": " : "";
    GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options));
    if (message == nullptr && mbox && number > 1 && g_mime_parser_eos(parser.get())) break;
    if (message == nullptr || !HasHeaders(message.get())) {
      // The parser cannot go on past a message it could not read: the rest of the mbox would
      // be lost, so the whole file fails.
      *error = mbox ? "message " + std::to_string(number) + " of the mbox cannot be parsed"
                    : "not an RFC 5322 message (no header lines)";
      ok = false;
      break;
    }
    ImportedMessage read;
    read.number = number;
    read.in_mbox = mbox;
    std::string reason;
    if (!Convert(converter, message.get(), &read, &reason)) {
      *error = which + reason;
      ok = false;
      break;
    }
    if (!take(std::move(read))) {
      error->clear();
      ok = false;
      break;
    }
  } while (mbox && !g_mime_parser_eos(parser.get()));
  g_mime_parser_options_free(options);
  if (ok && std::ferror(file)) {
    *error = "cannot be read";
    ok = false;
  }
  return ok;
}
