// The keyword list loader on arbitrary file bytes: the table's invariants hold after the load,
// and the release empties every slot.
#include <cstring>
#include <memory>

#include "fuzz/fuzz_util.h"
#include "scoring/keyword_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = WriteScratchFile(data, size);
  auto table = std::make_unique<KeywordTable>();
  const int n = table->LoadKeywordFileFrom(path);
  FUZZ_CHECK(n >= 0 && n <= KeywordTable::kMaxKeywords);
  FUZZ_CHECK(std::strlen(table->m_szFirstBytes) == static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    const CString* keyword = table->m_pKeywords[k];
    FUZZ_CHECK(keyword != nullptr && keyword->GetLength() > 0);
    FUZZ_CHECK(std::strlen(keyword->GetString()) == static_cast<size_t>(keyword->GetLength()));
    FUZZ_CHECK(table->m_szFirstBytes[k] == keyword->GetString()[0]);
    FUZZ_CHECK(table->m_nWeights[k] >= 1);
  }
  FUZZ_CHECK(table->m_pKeywords[n] == nullptr);
  table->ReleaseKeywords();
  for (const CString* slot : table->m_pKeywords) FUZZ_CHECK(slot == nullptr);
  return 0;
}
