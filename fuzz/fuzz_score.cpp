// ScoreMessage with a fuzzed keyword table and fuzzed texts, against the reference scoring.
// The input's first byte picks the vector width; the rest is split at the first two bytes
// 0xFF 0xFE into the keyword file and the message, and the message at the next 0xFF 0xFE into
// body and title. Each text sits in a buffer of exactly its size, so any read past its NUL is
// caught. Both scorings must give the same bytes, hits and points; and scan indexes over the
// same keywords whose buckets are all tries, lists of one keyword, or long lists must give the
// reference's hits and points on the normalized body.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "bench/reference_scoring.h"
#include "fuzz/fuzz_util.h"
#include "scoring/keyword_table.h"
#include "scoring/scan_index.h"
#include "scoring/scan_kernel.h"
#include "scoring/vectors.h"

namespace {

std::string_view TakeUntilMark(std::string_view& rest) {
  const size_t mark = rest.find("\xFF\xFE");
  std::string_view head = rest.substr(0, mark);
  rest = mark == std::string_view::npos ? std::string_view() : rest.substr(mark + 2);
  return head;
}

std::unique_ptr<char[]> Text(std::string_view bytes) {
  const size_t length = std::min(bytes.size(), bytes.find('\0'));
  auto text = std::make_unique<char[]>(length + 1);
  if (length > 0) std::memcpy(text.get(), bytes.data(), length);
  text[length] = '\0';
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const Vectors widths[] = {Vectors::kWidest, Vectors::k32, Vectors::k16, Vectors::kNone};
  UseVectors(widths[data[0] % 4]);
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string_view keywords = TakeUntilMark(rest);
  const std::string_view body_bytes = TakeUntilMark(rest);
  const std::string_view title_bytes = rest;

  auto table = std::make_unique<KeywordTable>();
  const char* path =
      WriteScratchFile(reinterpret_cast<const uint8_t*>(keywords.data()), keywords.size());
  if (table->LoadKeywordFileFrom(path) == 0) return 0;

  auto body = Text(body_bytes);
  auto title = Text(title_bytes);
  auto reference_body = Text(body_bytes);
  auto reference_title = Text(title_bytes);
  const size_t total = std::strlen(body.get()) + std::strlen(title.get());
  const Score score = table->ScoreMessage(body.get(), title.get());
  const Score expected =
      reference::ScoreMessage(*table, reference_body.get(), reference_title.get());
  FUZZ_CHECK(score.hits == expected.hits && score.points == expected.points);
  FUZZ_CHECK(std::strcmp(body.get(), reference_body.get()) == 0);
  FUZZ_CHECK(std::strcmp(title.get(), reference_title.get()) == 0);
  FUZZ_CHECK(score.hits >= 0 && static_cast<size_t>(score.hits) <= total);
  FUZZ_CHECK(score.hits == 0 || score.points > 0);

  std::vector<const char*> strings;
  std::vector<uint32_t> lengths;
  for (int k = 0; k < table->Count(); ++k) {
    strings.push_back(table->m_pKeywords[k]->GetString());
    lengths.push_back(static_cast<uint32_t>(table->m_pKeywords[k]->GetLength()));
  }
  int32_t expected_points = 0, expected_hits = 0;
  reference::ScanText(*table, body.get(), expected_points, expected_hits);
  for (const size_t limit : {size_t{0}, size_t{1}, size_t{64}}) {
    const auto index = ScanIndex::BuildWithListLimit(strings.data(), lengths.data(),
                                                     table->m_nWeights, table->Count(), limit);
    int32_t points = 0, hits = 0;
    ScanActive(*index, body.get(), ScanCounters{&points, &hits});
    FUZZ_CHECK(points == expected_points && hits == expected_hits);
  }
  return 0;
}
