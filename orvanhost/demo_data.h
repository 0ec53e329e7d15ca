// The demo store's contents and its matching keyword list, in UTF-8 (converted to code page 932
// when written). The messages exercise the normalization: hiragana, katakana, half-width
// katakana, full-width letters and digits, and ASCII in both cases; some are already scored.
#pragma once

#include <span>

struct DemoMessage {
  const char* title;        // Subject
  const char* destination;  // To
  const char* body;         // text body
  int score_state;          // negative: not scored yet
  int hits;                 // stored hits when scored
  int points;               // stored points when scored
};

struct DemoUser {
  const char* name;                       // the user's name
  bool board;                             // a board account (kind 掲示板, its own folder)
  std::span<const DemoMessage> messages;  // in delivery order
};

struct DemoKeyword {
  const char* keyword;  // as written in the keyword list
  const char* weight;   // the weight text after the TAB; null: no TAB and no weight
};

// The demo users in delivery order.
[[nodiscard]] std::span<const DemoUser> DemoUsers();
// The demo keyword list in file order.
[[nodiscard]] std::span<const DemoKeyword> DemoKeywords();
