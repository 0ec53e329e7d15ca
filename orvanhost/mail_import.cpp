// Mail parsing with GMime 3: header decoding (RFC 2047 encoded words), transfer decoding
// (base64, quoted-printable) and the choice of the text body. Charsets are converted with our
// own iconv step (cp932_convert.h) so that every character code page 932 cannot hold is counted.
#include "orvanhost/mail_import.h"

#include <gmime/gmime.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

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

std::string DecodedContent(GMimeObject* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
  if (content == nullptr) return {};
  GObjectPtr<GMimeStream> memory(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(content, memory.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

ImportedMessage Convert(GMimeMessage* message) {
  ImportedMessage result;
  if (const char* subject = g_mime_message_get_subject(message)) {
    result.title = ConvertToCp932(subject, "UTF-8", &result.replaced);
  }
  if (InternetAddressList* to = g_mime_message_get_to(message);
      to != nullptr && internet_address_list_length(to) > 0) {
    char* text = internet_address_list_to_string(to, nullptr, FALSE);
    if (text != nullptr) result.destination = ConvertToCp932(text, "UTF-8", &result.replaced);
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
    result.body = ConvertToCp932(bytes, name, &result.replaced);
  }
  return result;
}

bool HasHeaders(GMimeMessage* message) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
  return headers != nullptr && g_mime_header_list_get_count(headers) > 0;
}

}  // namespace

bool ReadMailFile(const std::string& path, std::vector<ImportedMessage>* messages,
                  std::string* error) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    *error = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  const std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    *error = "cannot be read";
    return false;
  }
  if (data.find_first_not_of(" \t\r\n") == std::string::npos) {
    *error = "empty file";
    return false;
  }
  InitGMime();
  const bool mbox = data.rfind("From ", 0) == 0;
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(data.data(), data.size()));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), mbox ? GMIME_FORMAT_MBOX : GMIME_FORMAT_MESSAGE);
  GMimeParserOptions* options = g_mime_parser_options_new();
  // Raw 8-bit header texts: tried in this order.
  const char* fallback[] = {"utf-8", "iso-2022-jp", "cp932", "euc-jp", nullptr};
  g_mime_parser_options_set_fallback_charsets(options, fallback);

  std::vector<ImportedMessage> read;
  bool ok = true;
  do {
    GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options));
    if (message == nullptr || !HasHeaders(message.get())) {
      if (mbox && message == nullptr && !read.empty()) break;  // the mbox's end
      *error = read.empty()
                   ? "not an RFC 5322 message (no header lines)"
                   : "message " + std::to_string(read.size() + 1) + " of the mbox cannot be parsed";
      ok = false;
      break;
    }
    read.push_back(Convert(message.get()));
  } while (mbox && !g_mime_parser_eos(parser.get()));
  g_mime_parser_options_free(options);
  if (!ok) return false;
  messages->insert(messages->end(), std::make_move_iterator(read.begin()),
                   std::make_move_iterator(read.end()));
  return true;
}
