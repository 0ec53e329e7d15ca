#include "orvanhost/admin.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "orvanhost/cp932_convert.h"
#include "orvanhost/store.h"
#include "orvanhost/test_store.h"

namespace {

const std::string kTestData = ORVANHOST_TESTDATA;

class OrvanHostToolTest : public ::testing::Test {
 protected:
  // Runs the tool on this test's store; keeps the output and the errors.
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store_});
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunOrvanHost(args, out, err);
    out_ = out.str();
    err_ = err.str();
    return status;
  }
  void Init() {
    ASSERT_EQ(Run({"init"}), 0) << err_;
    ASSERT_EQ(Run({"add-user", "山田"}), 0) << err_;
    ASSERT_EQ(Run({"add-user", "掲示板一号", "--board"}), 0) << err_;
  }
  int64_t Count(const std::string& sql) {
    SideConnection side(store_);
    return side.Integer(sql);
  }

  TempDir dir_;
  std::string store_ = dir_.File("store.sqlite");
  std::string out_;  // standard output of the last run
  std::string err_;  // standard error of the last run
};

TEST_F(OrvanHostToolTest, InitAndAddUserBuildUsersWithTheirFolders) {
  Init();
  SideConnection side(store_);
  EXPECT_EQ(side.Bytes("SELECT hex(name) FROM users ORDER BY position LIMIT 1"), "8E529363");
  EXPECT_EQ(side.Bytes("SELECT hex(f.name) FROM folders f JOIN users u ON f.user = u.position "
                       "WHERE hex(u.name) = '8E529363'"),
            Hex(std::string(kSentFolderName)));
  EXPECT_EQ(side.Bytes("SELECT hex(kind) FROM users ORDER BY position LIMIT 1"), "");
  EXPECT_EQ(side.Bytes("SELECT hex(kind) FROM users ORDER BY position DESC LIMIT 1"),
            Hex(std::string(kBoardKind)));
  EXPECT_EQ(side.Bytes("SELECT f.name FROM folders f JOIN users u ON f.user = u.position "
                       "ORDER BY u.position DESC LIMIT 1"),
            "<null>");
  EXPECT_EQ(side.Integer("PRAGMA user_version"), 1);
  EXPECT_EQ(side.Bytes("PRAGMA journal_mode"), "wal");
}

TEST_F(OrvanHostToolTest, CommandErrorsNameTheirSubjectAndChangeNothing) {
  struct ErrorCase {
    std::vector<std::string> args;  // the command line after --store
    const char* message;            // the error line, after "orvan-host: "
    int status;                     // the exit status
  };
  // Before the store exists.
  EXPECT_EQ(Run({"report"}), 1);
  EXPECT_EQ(err_,
            "orvan-host: " + store_ + ": no such store (create one with 'orvan-host init')\n");
  EXPECT_NE(access(store_.c_str(), F_OK), 0);  // not created by the failing command
  Init();
  const std::string missing = dir_.File("missing.eml");
  const ErrorCase cases[] = {
      {{"init"}, ": already exists", 1},
      {{"add-user", "山田"}, "user 山田: already exists", 1},
      {{"add-user", "😀"}, "user 😀: the name has characters that code page 932 cannot hold", 1},
      {{"import", "誰", kTestData + "/sjis_qp.eml"}, "user 誰: no such user", 1},
      {{"import", "山田", missing}, ": cannot read: No such file or directory", 1},
      {{"import", "山田", kTestData}, ": not a regular file", 1},
      {{"import", "山田", "/dev/null"}, ": not a regular file", 1},
      {{"frobnicate"}, "unknown command frobnicate (see orvan-host --help)", 2},
      {{"report", "extra"}, "wrong number of arguments for report (see orvan-host --help)", 2},
      {{"reset", "--json"}, "--json does not go with reset (see orvan-host --help)", 2},
      {{"--nope"}, "unknown option --nope (see orvan-host --help)", 2},
  };
  for (const ErrorCase& c : cases) {
    EXPECT_EQ(Run(c.args), c.status) << c.message;
    EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
  }
  EXPECT_EQ(Count("SELECT count(*) FROM users"), 2);
  EXPECT_EQ(Count("SELECT count(*) FROM messages"), 0);
}

TEST_F(OrvanHostToolTest, ImportsMimeMessagesInCodePage932) {
  Init();
  ASSERT_EQ(Run({"import", "山田", kTestData + "/iso2022jp.eml", kTestData + "/sjis_qp.eml",
                 kTestData + "/utf8_base64.eml", kTestData + "/multipart_eucjp.eml",
                 kTestData + "/two.mbox"}),
            0)
      << err_;
  struct Expected {
    const char* title;        // UTF-8, converted here
    const char* destination;  // UTF-8
    const char* body_start;   // UTF-8: how the body begins
  };
  const Expected expected[] = {
      {"セールのお知らせ", "佐藤花子 <hanako@example.jp>", "セールは来週です。"},
      {"パスワード", "all@example.jp", "パスワードを変更してください。ﾊﾟｽﾜｰﾄﾞ ①"},
      {"絵文字 〓 テスト", "b@example.jp", "こんにちは 〓 ＡＢＣ abc"},
      {"見積", "c@example.jp", "お見積もりです。"},  // text/plain, not the html or attachment
      {"first", "x@example.jp", "first body"},
      {"二通目", "y@example.jp", "二通目の本文"},
  };
  SideConnection side(store_);
  ASSERT_EQ(side.Integer("SELECT count(*) FROM messages"),
            static_cast<int64_t>(std::size(expected)));
  int row = 0;
  for (const Expected& e : expected) {
    const std::string where =
        " FROM messages ORDER BY position LIMIT 1 OFFSET " + std::to_string(row++);
    int replaced = 0;
    EXPECT_EQ(side.Bytes("SELECT title" + where), ConvertToCp932(e.title, "UTF-8", &replaced));
    EXPECT_EQ(side.Bytes("SELECT destination" + where),
              ConvertToCp932(e.destination, "UTF-8", &replaced));
    const std::string body_start = ConvertToCp932(e.body_start, "UTF-8", &replaced);
    EXPECT_EQ(side.Bytes("SELECT body" + where).substr(0, body_start.size()), body_start);
    EXPECT_EQ(side.Integer("SELECT score_state" + where), -1);
  }
  // The messages went into the user's "送信済みトレイ".
  EXPECT_EQ(side.Integer("SELECT count(DISTINCT folder) FROM messages"), 1);
  EXPECT_EQ(side.Bytes("SELECT hex(name) FROM folders WHERE id = (SELECT folder FROM messages)"),
            Hex(std::string(kSentFolderName)));
  // The emoji in the subject and in the body are reported with the file they came from.
  EXPECT_NE(out_.find("utf8_base64.eml \"絵文字 〓 テスト\": 2 characters replaced by 〓"),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("imported 6 messages into 山田; 2 characters replaced by 〓 in 1 message"),
            std::string::npos)
      << out_;
}

TEST_F(OrvanHostToolTest, ImportIntoABoardUsesItsOwnFolder) {
  Init();
  ASSERT_EQ(Run({"import", "掲示板一号", kTestData + "/sjis_qp.eml"}), 0) << err_;
  EXPECT_EQ(Count("SELECT count(*) FROM messages m JOIN folders f ON m.folder = f.id "
                  "WHERE f.name IS NULL"),
            1);
}

TEST_F(OrvanHostToolTest, ABadFileImportsNothingAtAll) {
  Init();
  EXPECT_EQ(Run({"import", "山田", kTestData + "/sjis_qp.eml", kTestData + "/not_a_message.eml"}),
            1);
  EXPECT_EQ(err_, "orvan-host: " + kTestData +
                      "/not_a_message.eml: not an RFC 5322 message (no header lines)\n");
  EXPECT_EQ(Count("SELECT count(*) FROM messages"), 0);
}

// One bad message fails the whole import, with its number, even after good files; so does a
// message whose MIME structure hides its text, which would otherwise come in with an empty body.
TEST_F(OrvanHostToolTest, ABadMessageFailsTheWholeImportAndSaysWhich) {
  Init();
  // 10,000 multiparts, one inside the other, around the text.
  const std::string deep = dir_.File("deep.eml");
  {
    std::ofstream file(deep, std::ios::binary);
    file << "From: a@example.jp\nSubject: deep\nMIME-Version: 1.0\n";
    for (int i = 0; i < 10000; ++i) {
      file << "Content-Type: multipart/mixed; boundary=\"b" << i << "\"\n\n--b" << i << "\n";
    }
    file << "Content-Type: text/plain\n\ndeep text\n";
    for (int i = 9999; i >= 0; --i) file << "--b" << i << "--\n";
  }
  const struct {
    std::string file;    // imported after a good one
    std::string reason;  // the error, after "orvan-host: FILE: "
  } cases[] = {
      {kTestData + "/bad_third.mbox", "message 3 of the mbox cannot be parsed"},
      {kTestData + "/no_boundary.eml", "no text body found: a multipart without a boundary"},
      {deep, "no text body found: multiparts nested deeper than 1024 levels cannot be read"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run({"import", "山田", kTestData + "/sjis_qp.eml", c.file}), 1) << c.file;
    EXPECT_EQ(err_, "orvan-host: " + c.file + ": " + c.reason + "\n");
    EXPECT_EQ(out_, "");
  }
  EXPECT_EQ(Count("SELECT count(*) FROM messages"), 0);
}

// A NUL inside a text would end the host's text there and hide the rest from the scan: it is
// stored as 〓, and said so.
TEST_F(OrvanHostToolTest, NulInATextIsReplacedAndReported) {
  Init();
  ASSERT_EQ(Run({"import", "山田", kTestData + "/nul_byte.eml"}), 0) << err_;
  SideConnection side(store_);
  EXPECT_EQ(side.Bytes("SELECT body FROM messages"),
            "before\x81\xAC"
            "after abc");
  EXPECT_EQ(out_, kTestData +
                      "/nul_byte.eml \"nul\": 1 character replaced by 〓\n"
                      "imported 1 message into 山田; 1 character replaced by 〓 in 1 message\n");
}

TEST_F(OrvanHostToolTest, ReportAndReset) {
  Init();
  ASSERT_EQ(Run({"import", "山田", kTestData + "/two.mbox"}), 0) << err_;
  {
    SideConnection side(store_);
    side.Execute(
        "UPDATE messages SET score_state = 0, hits = 3, points = 12 WHERE position = "
        "(SELECT min(position) FROM messages)");
  }
  ASSERT_EQ(Run({"report"}), 0) << err_;
  EXPECT_EQ(out_,
            "山田\tmessages 2\tscored 1\tunscored 1\thits 3\tpoints 12\n"
            "掲示板一号 (掲示板)\tmessages 0\tscored 0\tunscored 0\thits 0\tpoints 0\n");
  ASSERT_EQ(Run({"report", "--json"}), 0) << err_;
  EXPECT_EQ(out_,
            "[\n"
            "  {\"name\": \"山田\", \"board\": false, \"messages\": 2, \"scored\": 1, "
            "\"unscored\": 1, \"hits\": 3, \"points\": 12},\n"
            "  {\"name\": \"掲示板一号\", \"board\": true, \"messages\": 0, \"scored\": 0, "
            "\"unscored\": 0, \"hits\": 0, \"points\": 0}\n"
            "]\n");
  ASSERT_EQ(Run({"reset"}), 0) << err_;
  EXPECT_EQ(out_, "2 messages marked unscored\n");
  EXPECT_EQ(Count("SELECT count(*) FROM messages WHERE score_state = -1 AND hits IS NULL AND "
                  "points = 0"),
            2);
}

// report only reads: it works on a store that the operator may not write, and leaves a store
// in its own journal mode.
TEST_F(OrvanHostToolTest, ReportOnlyReads) {
  Init();
  {
    SideConnection side(store_);
    side.Execute("PRAGMA journal_mode = DELETE");
  }
  ASSERT_EQ(Run({"report"}), 0) << err_;
  EXPECT_EQ(SideConnection(store_).Bytes("PRAGMA journal_mode"), "delete");
  SideConnection(store_).Execute("PRAGMA journal_mode = WAL");
  // Read-only in a directory that cannot be written either (so SQLite cannot make the -shm file
  // that WAL mode reads through), and in one that can.
  ASSERT_EQ(chmod(store_.c_str(), 0444), 0);
  for (const mode_t directory_mode : {0755, 0777}) {
    ASSERT_EQ(chmod(dir_.path().c_str(), directory_mode), 0);
    const int status = RunInChild(
        [this] {
          const int code = Run({"report"});
          return code == 0 && out_.rfind("山田\tmessages 0\t", 0) == 0 ? 0 : 10 + code;
        },
        /*as_other_user=*/true);
    EXPECT_EQ(status, 0) << std::oct << directory_mode;
  }
  // A file of 0 bytes is no store, and stays 0 bytes.
  const std::string zero = dir_.File("zero.sqlite");
  std::ofstream{zero};
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunOrvanHost({"--store", zero, "report"}, out, err), 1);
  EXPECT_EQ(err.str(), "orvan-host: " + zero +
                           ": not an orvan store (no users, folders and messages tables)\n");
  EXPECT_EQ(std::filesystem::file_size(zero), 0u);
}

TEST_F(OrvanHostToolTest, DemoWritesAStoreAndItsKeywordList) {
  const std::string keywords = dir_.File("orvan.key");
  ASSERT_EQ(Run({"demo", "--keywords", keywords}), 0) << err_;
  SideConnection side(store_);
  EXPECT_EQ(side.Integer("SELECT count(*) FROM users WHERE kind = x'8C668EA694C2'"), 1);
  EXPECT_GE(side.Integer("SELECT count(*) FROM users"), 4);
  EXPECT_GT(side.Integer("SELECT count(*) FROM messages WHERE score_state >= 0"), 0);
  EXPECT_GT(side.Integer("SELECT count(*) FROM messages WHERE score_state < 0"), 0);
  // Half-width katakana (ｾｰﾙ) and full-width letters (ＳＡＬＥ) are among the texts.
  EXPECT_GT(side.Integer("SELECT count(*) FROM messages WHERE instr(body, x'BEB0D9') > 0"), 0);
  EXPECT_GT(
      side.Integer("SELECT count(*) FROM messages WHERE instr(body, x'82728260826B8264') > 0"), 0);
  std::ifstream file(keywords, std::ios::binary);
  const std::string list((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(list.substr(0, 9), "\x83\x5A\x81\x5B\x83\x8B\t3\r");  // セール<TAB>3
  // A second demo does not overwrite, unless told to.
  EXPECT_EQ(Run({"demo", "--keywords", keywords}), 1);
  EXPECT_NE(err_.find("already exists (--force replaces it)"), std::string::npos);
  EXPECT_EQ(Run({"demo", "--keywords", keywords, "--force"}), 0) << err_;
}

TEST_F(OrvanHostToolTest, HelpPrintsTheUsage) {
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_EQ(out_, kOrvanHostUsage);
}

}  // namespace
