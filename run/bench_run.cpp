// bench_run: the whole check run, without a window, over a bundled-host store of 100,000
// messages of about 2 KB of Japanese text with 100 keywords. Reports messages per second and how
// the run's time splits between the host library, the scoring and the rest (the run's own steps
// and the queue).
//
// The store is generated once into --dir (default /tmp/orlexmon-bench) from the Japanese manual
// pages (manpages-ja, converted to code page 932 with iconv) and reused while it has the
// requested size; before every measured run all its messages are marked unscored again. The
// host is loaded through the binder exactly as the program loads it, and a timing wrapper sits
// between the run and the host.
//
//   bench_run [--dir DIR] [--messages N] [--repeat R]
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_binder.h"
#include "run/headless_run.h"
#include "run/test_store.h"
#include "scoring/normalize.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Nanos = std::chrono::nanoseconds;

constexpr int kUsers = 100;               // one of them a board
constexpr size_t kBodyBytes = 2048;       // about this much text per message body
constexpr int kDefaultMessages = 100000;  // messages in the walked folders

// The keyword list: everyday words of the manual pages, and some ASCII ones (which match
// upper- and lower-case text alike after normalization). Weights 1 to 10.
constexpr const char* kKeywordWords[] = {
    "ファイル", "ディレクトリ", "オプション", "表示", "指定", "設定", "引数", "出力", "入力",
    "標準", "エラー", "コマンド", "ユーザー", "システム", "プログラム", "実行", "環境変数",
    "場合", "値", "名前", "書式", "説明", "使用", "作成", "削除", "変更", "形式", "文字", "行",
    "番号", "端末", "画面", "接続", "ネットワーク", "パスワード", "権限", "管理者", "起動",
    "終了", "停止", "プロセス", "シグナル", "メモリー", "デバイス", "ディスク", "パーティション",
    "マウント", "カーネル", "モジュール", "ライブラリ", "パッケージ", "インストール", "更新",
    "バージョン", "情報", "一覧", "検索", "比較", "圧縮", "展開", "暗号", "証明書", "鍵", "署名",
    "時刻", "日付", "時間", "秒", "言語", "文字コード", "翻訳", "マニュアル", "著者", "著作権",
    "バグ", "報告", "警告", "無視", "デフォルト", "フォーマット",
    "file", "option", "directory", "user", "system", "error", "default", "output", "input",
    "command", "size", "time", "mode", "name", "path", "shell", "version", "help", "print",
    "list"};
static_assert(std::size(kKeywordWords) == 100);

// Text of the Japanese manual pages in code page 932, roff requests and font escapes removed.
std::string LoadCorpus() {
  const char* command =
      "zcat /usr/share/man/ja/man*/*.gz 2>/dev/null | grep -v '^[.'\"'\"']' | "
      "sed -e 's/\\\\f[BIRP]//g' -e 's/\\\\-/-/g' -e 's/\\\\[,\\/&]//g' | "
      "iconv -c -f UTF-8 -t CP932";
  FILE* pipe = popen(command, "r");
  std::string corpus;
  if (pipe == nullptr) return corpus;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) corpus.append(buffer, n);
  pclose(pipe);
  return corpus;
}

// The start of the character at or after `at` (never a second byte), walking from a line start.
size_t CharacterStart(const std::string& text, size_t at) {
  size_t line = text.rfind('\n', at);
  size_t i = line == std::string::npos ? 0 : line + 1;
  while (i < at) i += IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
  return std::min(i, text.size());
}

// `length` bytes or a little less of the corpus from a random place, whole characters only.
std::string Slice(const std::string& corpus, std::mt19937_64& random, size_t length) {
  size_t start = CharacterStart(corpus, random() % (corpus.size() - length - 2));
  size_t end = start;
  while (end < corpus.size()) {
    size_t step = IsLeadByte(static_cast<unsigned char>(corpus[end])) ? 2 : 1;
    if (end + step - start > length) break;
    end += step;
  }
  return corpus.substr(start, end - start);
}

// The first line of a slice, at most 60 bytes: a title.
std::string TitleOf(const std::string& corpus, std::mt19937_64& random) {
  std::string text = Slice(corpus, random, 60);
  size_t newline = text.find('\n');
  return newline == std::string::npos ? text : text.substr(0, newline);
}

int64_t CountMessages(const std::string& path) {
  sqlite3* db = nullptr;
  int64_t count = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM messages", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW) {
      count = sqlite3_column_int64(s, 0);
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return count;
}

// Makes the store and the keyword list in `dir` unless a store of `messages` is there already.
bool Prepare(const fs::path& dir, int messages) {
  fs::create_directories(dir);
  std::string store = (dir / "orvan.sqlite").string();
  std::string keywords = (dir / "orvan.key").string();
  {
    std::string list;
    int weight = 0;
    for (const char* word : kKeywordWords) {
      list += test_store::Sjis(word) + "\t" + std::to_string(weight % 10 + 1) + "\n";
      ++weight;
    }
    std::ofstream(keywords, std::ios::binary) << list;
  }
  if (CountMessages(store) == messages) return true;

  std::fprintf(stderr, "bench_run: generating %d messages into %s ...\n", messages,
               store.c_str());
  fs::remove(store);
  fs::remove(store + "-wal");
  fs::remove(store + "-shm");
  std::string corpus = LoadCorpus();
  if (corpus.size() < 100000) {
    std::fprintf(stderr, "bench_run: the Japanese manual pages (manpages-ja) are not installed\n");
    return false;
  }
  std::mt19937_64 random(20261211);
  test_store::Store db(store, true);
  db.Exec("PRAGMA journal_mode=WAL");
  db.Begin();
  const std::string sent = test_store::Sjis("送信済みトレイ");
  const std::string_view sentName = sent;
  int made = 0;
  for (int u = 0; u < kUsers; ++u) {
    bool board = u == kUsers / 2;
    int64_t user = db.AddUser(test_store::Sjis("社員") + std::to_string(u),
                              board ? test_store::Sjis("掲示板") : "");
    int64_t folder = db.AddFolder(user, board ? nullptr : &sentName);
    int count = messages / kUsers + (u < messages % kUsers ? 1 : 0);
    for (int m = 0; m < count; ++m, ++made) {
      db.AddMessage(folder, TitleOf(corpus, random), "user" + std::to_string(m) + "@example.jp",
                    Slice(corpus, random, kBodyBytes));
    }
  }
  db.Commit();
  std::fprintf(stderr, "bench_run: %d messages, corpus %zu bytes\n", made, corpus.size());
  return true;
}

// The host with a stopwatch around every operation.
class TimingHost final : public HostLibrary {
 public:
  explicit TimingHost(HostLibrary& host) : m_host(host) {}

  Nanos nextUser{}, openFolder{}, nextMessage{}, storeScore{}, finishMessage{}, closeFolder{},
      listAndAttach{};  // time spent in each operation

  Nanos Total() const {
    return nextUser + openFolder + nextMessage + storeScore + finishMessage + closeFolder +
           listAndAttach;
  }

  int32_t HostAttach(int32_t zero, const char* program) override {
    return Time(listAndAttach, [&] { return m_host.HostAttach(zero, program); });
  }
  int32_t HostOpenUserList(int32_t a, int32_t b, const char* pattern) override {
    return Time(listAndAttach, [&] { return m_host.HostOpenUserList(a, b, pattern); });
  }
  int32_t HostNextUser(UserRecord* record, int32_t one) override {
    return Time(nextUser, [&] { return m_host.HostNextUser(record, one); });
  }
  int32_t HostOpenFolder(const char* user, const char* folder, int32_t zero,
                         const char* kind) override {
    return Time(openFolder, [&] { return m_host.HostOpenFolder(user, folder, zero, kind); });
  }
  int32_t HostNextMessage(MessageRecord* record, int32_t zero) override {
    return Time(nextMessage, [&] { return m_host.HostNextMessage(record, zero); });
  }
  int32_t HostStoreScore(int32_t hits, int32_t points) override {
    return Time(storeScore, [&] { return m_host.HostStoreScore(hits, points); });
  }
  int32_t HostFinishMessage() override {
    return Time(finishMessage, [&] { return m_host.HostFinishMessage(); });
  }
  int32_t HostCloseFolder() override {
    return Time(closeFolder, [&] { return m_host.HostCloseFolder(); });
  }
  int32_t HostCloseUserList() override {
    return Time(listAndAttach, [&] { return m_host.HostCloseUserList(); });
  }
  int32_t HostDetach() override {
    return Time(listAndAttach, [&] { return m_host.HostDetach(); });
  }

 private:
  template <typename F>
  static int32_t Time(Nanos& into, F call) {
    Clock::time_point start = Clock::now();
    int32_t result = call();
    into += Clock::now() - start;
    return result;
  }

  HostLibrary& m_host;  // the bound host library
};

// The run with a stopwatch around the scoring of each new message.
class TimingRun final : public CHeadlessRun {
 public:
  using CHeadlessRun::CHeadlessRun;
  Nanos scoring{};      // time spent scoring
  int64_t scored = 0;   // messages scored
  int64_t hits = 0;     // their hits, summed
  int64_t points = 0;   // their points, summed

 protected:
  Score ScoreNewMessage(char* body, char* title) override {
    Clock::time_point start = Clock::now();
    Score score = CHeadlessRun::ScoreNewMessage(body, title);
    scoring += Clock::now() - start;
    ++scored;
    hits += score.hits;
    points += score.points;
    return score;
  }
};

double Seconds(Nanos n) { return std::chrono::duration<double>(n).count(); }

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = "/tmp/orlexmon-bench";
  int messages = kDefaultMessages;
  int repeat = 1;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (arg == "--messages" && i + 1 < argc) {
      messages = std::atoi(argv[++i]);
    } else if (arg == "--repeat" && i + 1 < argc) {
      repeat = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_run [--dir DIR] [--messages N] [--repeat R]\n");
      return 2;
    }
  }
  if (messages < kUsers || repeat < 1) {
    std::fprintf(stderr, "bench_run: --messages must be at least %d, --repeat at least 1\n",
                 kUsers);
    return 2;
  }
  if (!Prepare(dir, messages)) return 1;
  std::string store = (dir / "orvan.sqlite").string();
  std::string keywords = (dir / "orvan.key").string();
  setenv("ORVAN_STORE", store.c_str(), 1);

  std::string error;
  std::unique_ptr<HostLibrary> bound = BindHostLibrary(&error);
  if (bound == nullptr) {
    std::fprintf(stderr, "bench_run: %s\n", error.c_str());
    return kHostBindFailureStatus;
  }

  std::printf("%-4s %10s %9s %7s %7s %7s   %s\n", "run", "messages", "msg/s", "host", "score",
              "rest", "host: next-message / store / finish / other");
  for (int r = 1; r <= repeat; ++r) {
    {
      test_store::Store db(store, false);
      db.Exec("UPDATE messages SET score_state = -1, points = 0, hits = NULL");
      db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    TimingHost host(*bound);
    auto run = std::make_unique<TimingRun>(host);
    Clock::time_point start = Clock::now();
    int end = RunHeadless(host, *run, keywords.c_str());
    Nanos total = Clock::now() - start;
    if (end != kIdOk || run->scored != messages) {
      std::fprintf(stderr, "bench_run: the run ended with %d after %lld messages\n", end,
                   static_cast<long long>(run->scored));
      return 1;
    }
    Nanos rest = total - host.Total() - run->scoring;
    double t = Seconds(total);
    Nanos other = host.nextUser + host.openFolder + host.closeFolder + host.listAndAttach;
    std::printf("%-4d %10lld %9.0f %6.1f%% %6.1f%% %6.1f%%   %.1f%% / %.1f%% / %.1f%% / %.1f%%\n",
                r, static_cast<long long>(run->scored), static_cast<double>(run->scored) / t,
                100 * Seconds(host.Total()) / t, 100 * Seconds(run->scoring) / t,
                100 * Seconds(rest) / t, 100 * Seconds(host.nextMessage) / t,
                100 * Seconds(host.storeScore) / t, 100 * Seconds(host.finishMessage) / t,
                100 * Seconds(other) / t);
    std::printf("     total %.2f s; per message: host %.1f us, scoring %.1f us, rest %.1f us; "
                "%lld hits, %lld points\n",
                t, 1e6 * Seconds(host.Total()) / static_cast<double>(run->scored),
                1e6 * Seconds(run->scoring) / static_cast<double>(run->scored),
                1e6 * Seconds(rest) / static_cast<double>(run->scored),
                static_cast<long long>(run->hits), static_cast<long long>(run->points));
    std::printf("     host per call: next-message %.1f us, store %.1f us, finish %.1f us; per folder: "
                "next-user %.2f ms, open %.2f ms, close %.2f ms; attach, list, detach %.2f ms\n",
                1e6 * Seconds(host.nextMessage) / static_cast<double>(run->scored),
                1e6 * Seconds(host.storeScore) / static_cast<double>(run->scored),
                1e6 * Seconds(host.finishMessage) / static_cast<double>(run->scored),
                1e3 * Seconds(host.nextUser) / kUsers, 1e3 * Seconds(host.openFolder) / kUsers,
                1e3 * Seconds(host.closeFolder) / kUsers, 1e3 * Seconds(host.listAndAttach));
    std::fflush(stdout);
  }
  return 0;
}
