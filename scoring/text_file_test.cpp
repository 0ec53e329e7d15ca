#include "scoring/text_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "testing/test_util.h"

namespace {

std::vector<std::string> Pieces(const std::string& bytes, size_t size) {
  const test_util::TempDir dir("text");
  const std::string path = (dir.path() / "text").string();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  std::vector<std::string> pieces;
  TextFile file;
  EXPECT_TRUE(file.Open(path.c_str()));
  std::vector<char> buffer(size);
  while (file.ReadPiece(buffer.data(), size)) pieces.emplace_back(buffer.data());
  return pieces;
}

TEST(TextFileTest, TextModeRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Pieces("", 16), V{});
  EXPECT_EQ(Pieces("a\nb", 16), (V{"a\n", "b"}));
  EXPECT_EQ(Pieces("a\r\nb\r\n", 16), (V{"a\n", "b\n"}));
  EXPECT_EQ(Pieces("a\rb\r\r\n", 16), (V{"a\rb\r\n"}));  // a lone CR stays
  EXPECT_EQ(Pieces("a\r", 16), (V{"a\r"}));
  EXPECT_EQ(Pieces("ab\ncd\x1A" "ef\n", 16), (V{"ab\n", "cd"}));
  EXPECT_EQ(Pieces("\x1A" "ab", 16), V{});
  EXPECT_EQ(Pieces("abcdefg\n", 4), (V{"abc", "def", "g\n"}));
  EXPECT_EQ(Pieces("ab\r\ncd", 4), (V{"ab\n", "cd"}));  // counted after CR LF became LF
}

TEST(TextFileTest, CrLfAcrossTheReadAheadBuffer) {
  // The CR falls on the last byte of the first 64 KB read.
  std::string bytes(64 * 1024 - 1, 'x');
  bytes += "\r\ny";
  const auto pieces = Pieces(bytes, 128 * 1024);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].size(), 64u * 1024);
  EXPECT_EQ(pieces[0].back(), '\n');
  EXPECT_EQ(pieces[1], "y");
}

TEST(TextFileTest, OpenAndReadErrorsAreToldFromTheEnd) {
  const test_util::TempDir dir("text");
  {
    TextFile file;
    EXPECT_FALSE(file.Open((dir.path() / "missing").string().c_str()));
    EXPECT_EQ(file.ErrorNumber(), ENOENT);
  }
  {
    // A directory: Linux opens it as a file, which then fails its first read; Windows refuses
    // to open it.
    TextFile file;
    if (file.Open(dir.path().string().c_str())) {
      char piece[16];
      EXPECT_FALSE(file.ReadPiece(piece, sizeof piece));
    }
    EXPECT_NE(file.ErrorNumber(), 0);
  }
  {
    const std::string empty = (dir.path() / "empty").string();
    std::fclose(std::fopen(empty.c_str(), "wb"));
    TextFile file;
    ASSERT_TRUE(file.Open(empty.c_str()));
    char piece[16];
    EXPECT_FALSE(file.ReadPiece(piece, sizeof piece));
    EXPECT_EQ(file.ErrorNumber(), 0);  // a plain end
  }
}

}  // namespace
