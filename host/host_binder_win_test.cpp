// The Windows binder against stand-in DLLs that export by number only: each bound operation
// reaches its own function with its arguments, a DLL lacking an operation or a file that is no
// DLL gives one line and stays unloaded, and orvanLib.dll is taken from the program's own
// directory only: never from the current directory or the search path.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/host_binder.h"
#include "testing/test_util.h"

namespace {

namespace fs = std::filesystem;

// A file of the fakes\ directory beside this test program.
std::string Fake(const char* name) {
  return (test_util::ExecutablePath().parent_path() / "fakes" / name).string();
}
const std::string kFullPath = Fake(FAKE_HOST_FULL_NAME);
const std::string kLackingPath = Fake(FAKE_HOST_LACKING_NAME);
const std::string kFailingPath = Fake(FAKE_HOST_FAILING_NAME);
const std::string kProbePath = Fake(HOST_BIND_PROBE_NAME);

// Mirrors the stand-in library's log (fake_host_dll.cpp).
struct FakeHostLog {
  int32_t called[32];
  int32_t calledCount;
  int32_t ints[2];
  const void* ptrs[3];
};

// The log of the loaded stand-in at `path`, or null when that DLL is not loaded.
FakeHostLog* LogOf(const char* path) {
  const HMODULE module = GetModuleHandleA(path);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<FakeHostLog*>(GetProcAddress(module, "fake_host_log"));
}

TEST(HostBinderWin, BindsAllTenByNumberAndEachReachesItsOwnOperation) {
  std::string error = "untouched";
  std::unique_ptr<HostLibrary> host = BindHostLibraryAt(kFullPath.c_str(), &error);
  ASSERT_NE(host, nullptr) << error;
  EXPECT_EQ(error, "untouched");
  FakeHostLog* log = LogOf(kFullPath.c_str());
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->calledCount, 0) << "binding must call nothing";
  // Exported by number only: no name finds an operation.
  EXPECT_EQ(GetProcAddress(GetModuleHandleA(kFullPath.c_str()), "FakeAttach"), nullptr);

  static UserRecord user;
  static MessageRecord message;
  const char* program = "orLexmon";
  const char* name = "user";
  const char* folder = "folder";
  const char* kind = "kind";
  EXPECT_EQ(host->HostAttach(0, program), 1001);
  EXPECT_EQ(log->ptrs[0], program);
  EXPECT_EQ(host->HostOpenUserList(7, 8, "*"), 1100);
  EXPECT_EQ(log->ints[0], 7);
  EXPECT_EQ(log->ints[1], 8);
  EXPECT_EQ(host->HostNextUser(&user, 1), 1102);
  EXPECT_EQ(log->ptrs[0], &user);
  EXPECT_EQ(log->ints[0], 1);
  EXPECT_EQ(host->HostOpenFolder(name, folder, 5, kind), 1270);
  EXPECT_EQ(log->ptrs[0], name);
  EXPECT_EQ(log->ptrs[1], folder);
  EXPECT_EQ(log->ptrs[2], kind);
  EXPECT_EQ(log->ints[0], 5);
  EXPECT_EQ(host->HostNextMessage(&message, 9), 1273);
  EXPECT_EQ(log->ptrs[0], &message);
  EXPECT_EQ(log->ints[0], 9);
  EXPECT_EQ(host->HostStoreScore(-3, 2147483647), 1284);
  EXPECT_EQ(log->ints[0], -3);
  EXPECT_EQ(log->ints[1], 2147483647);
  EXPECT_EQ(host->HostFinishMessage(), 1275);
  EXPECT_EQ(host->HostCloseFolder(), 1272);
  EXPECT_EQ(host->HostCloseUserList(), 1101);
  EXPECT_EQ(host->HostDetach(), 1002);
  EXPECT_EQ(std::vector<int32_t>(log->called, log->called + log->calledCount),
            (std::vector<int32_t>{1, 100, 102, 270, 273, 284, 275, 272, 101, 2}));

  host.reset();
  EXPECT_EQ(GetModuleHandleA(kFullPath.c_str()), nullptr) << "unloaded with the bound host";
}

// The optional failure operation is taken by its name, and a DLL without it reports no failure.
TEST(HostBinderWin, FailureOperationIsOptionalAndBoundByName) {
  std::string error;
  std::unique_ptr<HostLibrary> failing = BindHostLibraryAt(kFailingPath.c_str(), &error);
  ASSERT_NE(failing, nullptr) << error;
  EXPECT_EQ(HostFailureText(*failing), "the store is locked");
  char small[9];
  EXPECT_NE(failing->HostLastFailure(small, sizeof small), 0);
  EXPECT_STREQ(small, "the stor");
  std::unique_ptr<HostLibrary> plain = BindHostLibraryAt(kFullPath.c_str(), &error);
  ASSERT_NE(plain, nullptr) << error;
  EXPECT_EQ(HostFailureText(*plain), "");
}

TEST(HostBinderWin, LibraryLackingAnOperationNamesTheNumberAndIsUnloaded) {
  std::string error;
  EXPECT_EQ(BindHostLibraryAt(kLackingPath.c_str(), &error), nullptr);
  EXPECT_NE(error.find("lacks operation 284 (HostStoreScore)"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
  EXPECT_EQ(GetModuleHandleA(kLackingPath.c_str()), nullptr) << "a half-bound library stays loaded";
}

TEST(HostBinderWin, MissingOrBrokenFileIsOneLine) {
  const test_util::TempDir dir("host");
  std::ofstream(dir.path() / "not_a_library.dll") << "this is not a DLL\n";
  for (const fs::path& path : {dir.path() / "missing.dll", dir.path() / "not_a_library.dll"}) {
    std::string error;
    EXPECT_EQ(BindHostLibraryAt(path.string().c_str(), &error), nullptr);
    EXPECT_EQ(error.rfind("cannot load the host library " + path.string() + ": ", 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

// The probe program in a directory of its own (exe\), started from another directory (cwd\)
// with a third one (path\) first on its search path.
class BinderSearchWin : public ::testing::Test {
 protected:
  BinderSearchWin() : m_dir("search") {
    for (const char* sub : {"exe", "cwd", "path"}) fs::create_directories(m_dir.path() / sub);
    fs::copy_file(kProbePath, m_dir.path() / "exe" / "probe.exe");
  }
  void Place(const char* library, const char* where) {
    fs::copy_file(library, m_dir.path() / where / kHostLibraryFileName,
                  fs::copy_options::overwrite_existing);
  }
  int RunProbe(std::string* output) {
    const std::wstring path =
        L"PATH=" + (m_dir.path() / "path").wstring() + L";" + _wgetenv(L"PATH");
    return test_util::RunProgram(m_dir.path() / "exe" / "probe.exe", L"", m_dir.path() / "cwd",
                                 {path}, output);
  }
  fs::path Exe() const { return m_dir.path() / "exe"; }

 private:
  test_util::TempDir m_dir;  // exe\, cwd\ and path\.
};

TEST_F(BinderSearchWin, LibraryBesideTheProgramIsBound) {
  Place(kFullPath.c_str(), "exe");
  std::string output;
  EXPECT_EQ(RunProbe(&output), 0) << output;
  EXPECT_EQ(output, "1001\n");
}

TEST_F(BinderSearchWin, LibrariesPlantedInTheCurrentDirectoryOrOnThePathAreNeverLoaded) {
  Place(kFullPath.c_str(), "cwd");
  Place(kFullPath.c_str(), "path");
  std::string output;
  EXPECT_EQ(RunProbe(&output), kHostBindFailureStatus) << output;
  EXPECT_EQ(output, "host_bind_probe: cannot find the host library orvanLib.dll in " +
                        Exe().string() +
                        "\\ (it is loaded from the program's own directory only)\n");
}

TEST_F(BinderSearchWin, LibraryBesideTheProgramLackingAnOperationIsNotReplacedByAPlantedOne) {
  Place(kLackingPath.c_str(), "exe");
  Place(kFullPath.c_str(), "cwd");
  std::string output;
  EXPECT_EQ(RunProbe(&output), kHostBindFailureStatus) << output;
  EXPECT_EQ(output, "host_bind_probe: the host library " + (Exe() / "orvanLib.dll").string() +
                        " lacks operation 284 (HostStoreScore)\n");
}

}  // namespace
