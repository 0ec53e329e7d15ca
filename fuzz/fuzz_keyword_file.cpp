// The keyword list loader on arbitrary file bytes: the table's invariants hold after the load,
// the load's report agrees with the table, the index marks exactly the keywords that no earlier
// keyword is a prefix of as live, and the release empties every slot.
#include <cstring>
#include <memory>

#include "fuzz/fuzz_util.h"
#include "scoring/keyword_table.h"
#include "scoring/scan_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = WriteScratchFile(data, size);
  auto table = std::make_unique<KeywordTable>();
  KeywordListReport report;
  int error_number = 0;
  const int n = table->LoadKeywordFileFrom(path, &error_number, &report);
  FUZZ_CHECK(error_number == 0);
  FUZZ_CHECK(n >= 0 && n <= KeywordTable::kMaxKeywords);
  FUZZ_CHECK(std::strlen(table->m_szFirstBytes) == static_cast<size_t>(n));
  FUZZ_CHECK(report.keywords.size() == static_cast<size_t>(n));
  FUZZ_CHECK(report.ignored_lines.size() == static_cast<size_t>(table->IgnoredLines()));
  int previous_line = 1;
  for (int k = 0; k < n; ++k) {
    const CString* keyword = table->m_pKeywords[k];
    FUZZ_CHECK(keyword != nullptr && keyword->GetLength() > 0);
    FUZZ_CHECK(std::strlen(keyword->GetString()) == static_cast<size_t>(keyword->GetLength()));
    FUZZ_CHECK(table->m_szFirstBytes[k] == keyword->GetString()[0]);
    FUZZ_CHECK(table->m_nWeights[k] >= 1);
    const KeywordListReport::Source& source = report.keywords[static_cast<size_t>(k)];
    FUZZ_CHECK(source.line >= previous_line && source.piece >= 0);
    previous_line = source.line;
    using Weight = KeywordListReport::Weight;
    if (source.weight == Weight::kAbsent) FUZZ_CHECK(source.field.empty());
    if (source.weight != Weight::kRead && source.weight != Weight::kWrapped) {
      FUZZ_CHECK(table->m_nWeights[k] == 1);
    }
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
