// The keyword list loader on arbitrary file bytes: the table's invariants hold after the load,
// the index marks exactly the keywords that no earlier keyword is a prefix of as live, and the
// release empties every slot.
#include <cstring>
#include <memory>

#include "fuzz/fuzz_util.h"
#include "scoring/keyword_table.h"
#include "scoring/scan_index.h"

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
  if (n > 0 && n <= 300) {
    for (int k = 0; k < n; ++k) {
      const std::string_view keyword = table->m_pKeywords[k]->View();
      bool shadowed = false;
      for (int j = 0; j < k && !shadowed; ++j) {
        shadowed = keyword.substr(0, table->m_pKeywords[j]->View().size()) ==
                   table->m_pKeywords[j]->View();
      }
      FUZZ_CHECK(table->Index()->IsLive(k) == !shadowed);
    }
  }
  table->ReleaseKeywords();
  FUZZ_CHECK(table->Index() == nullptr);
  for (const CString* slot : table->m_pKeywords) FUZZ_CHECK(slot == nullptr);
  return 0;
}
