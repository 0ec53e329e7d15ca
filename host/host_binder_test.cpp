// The binder against stand-in host libraries: the order in which operations are asked for, that
// each bound operation reaches its own function with its arguments, the search order of the
// library, and the one-line failures.
#include "host/host_binder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Mirrors the stand-in library's log (fake_host_lib.c).
struct FakeHostLog {
  int32_t asked[32];
  int32_t asked_count;
  int32_t called[32];
  int32_t called_count;
  int32_t ints[2];
  const void* ptrs[3];
};

// The log of an already loaded stand-in library.
FakeHostLog* LogOf(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  auto* log = static_cast<FakeHostLog*>(dlsym(handle, "fake_host_log"));
  dlclose(handle);  // drops only the reference taken here
  return log;
}

std::vector<int32_t> Asked(const FakeHostLog& log) {
  return std::vector<int32_t>(log.asked, log.asked + log.asked_count);
}

const std::vector<int32_t> kBindOrder = {1, 100, 102, 270, 273, 284, 275, 272, 101, 2};

TEST(HostBinder, BindsAllTenInOrderAndEachReachesItsOwnOperation) {
  std::string error = "untouched";
  std::unique_ptr<HostLibrary> host = BindHostLibraryAt(FAKE_HOST_FULL, &error);
  ASSERT_NE(host, nullptr) << error;
  EXPECT_EQ(error, "untouched");
  FakeHostLog* log = LogOf(FAKE_HOST_FULL);
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(Asked(*log), kBindOrder);
  EXPECT_EQ(log->called_count, 0) << "binding must call nothing";

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
  EXPECT_EQ(log->called_count, 10);
}

// The optional failure operation is found by its name, never asked for by a number, and a
// library without it reports no failure.
TEST(HostBinder, FailureOperationIsOptionalAndBoundByName) {
  std::string error;
  std::unique_ptr<HostLibrary> failing = BindHostLibraryAt(FAKE_HOST_FAILING, &error);
  ASSERT_NE(failing, nullptr) << error;
  EXPECT_EQ(Asked(*LogOf(FAKE_HOST_FAILING)), kBindOrder);
  EXPECT_EQ(HostFailureText(*failing), "the store is locked");
  char small[9];
  EXPECT_NE(failing->HostLastFailure(small, sizeof small), 0);
  EXPECT_STREQ(small, "the stor");  // cut to fit, NUL-terminated

  std::unique_ptr<HostLibrary> plain = BindHostLibraryAt(FAKE_HOST_FULL, &error);
  ASSERT_NE(plain, nullptr) << error;
  char buffer[16] = "untouched";
  EXPECT_EQ(plain->HostLastFailure(buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(HostFailureText(*plain), "");
}

TEST(HostBinder, UnloadsTheLibraryWithTheBoundHost) {
  std::string error;
  std::unique_ptr<HostLibrary> host = BindHostLibraryAt(FAKE_HOST_FULL, &error);
  ASSERT_NE(host, nullptr) << error;
  host.reset();
  EXPECT_EQ(LogOf(FAKE_HOST_FULL), nullptr);
}

TEST(HostBinder, LibraryLackingAnOperationNamesTheNumberAndIsUnloaded) {
  std::string error;
  std::unique_ptr<HostLibrary> host = BindHostLibraryAt(FAKE_HOST_LACKING, &error);
  EXPECT_EQ(host, nullptr);
  EXPECT_NE(error.find("lacks operation 284 (HostStoreScore)"), std::string::npos) << error;
  EXPECT_NE(error.find(FAKE_HOST_LACKING), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
  EXPECT_EQ(LogOf(FAKE_HOST_LACKING), nullptr) << "a half-bound library stays loaded";
}

TEST(HostBinder, LibraryWithoutLookupFunction) {
  std::string error;
  EXPECT_EQ(BindHostLibraryAt(FAKE_HOST_NOLOOKUP, &error), nullptr);
  EXPECT_NE(error.find("does not export OrvanLibProcByOrdinal"), std::string::npos) << error;
  EXPECT_EQ(LogOf(FAKE_HOST_NOLOOKUP), nullptr);
}

TEST(HostBinder, MissingOrBrokenFileIsOneLine) {
  fs::path dir = fs::temp_directory_path() / ("host_test_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "not_a_library.so") << "this is not an ELF file\n";
  for (fs::path path : {dir / "missing.so", dir / "not_a_library.so"}) {
    std::string error;
    EXPECT_EQ(BindHostLibraryAt(path.c_str(), &error), nullptr);
    EXPECT_EQ(error.rfind("cannot load the host library " + path.string() + ": ", 0), 0u)
        << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
  fs::remove_all(dir);
}

// The probe program in a directory of its own, run with a controlled library path.
class BinderSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("host_search_" + std::to_string(getpid()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir / "exe");
    fs::create_directories(m_dir / "syslib");
    fs::copy_file(HOST_BIND_PROBE, m_dir / "exe" / "probe");
  }
  void TearDown() override { fs::remove_all(m_dir); }

  void Place(const char* library, const fs::path& where) {
    fs::copy_file(library, where / kHostLibraryFileName, fs::copy_options::overwrite_existing);
  }

  // Runs the probe with LD_LIBRARY_PATH set to `library_path`; returns its exit status and its
  // standard output and error, joined.
  int RunProbe(const std::string& library_path, std::string* output) {
    std::string command = "LD_LIBRARY_PATH='" + library_path + "' '" +
                          (m_dir / "exe" / "probe").string() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    output->clear();
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) *output += buffer;
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path m_dir;  // exe/ holds the probe, syslib/ stands for the system library path
};

TEST_F(BinderSearch, ExecutableDirectoryComesFirst) {
  Place(FAKE_HOST_FULL, m_dir / "exe");
  Place(FAKE_HOST_LACKING, m_dir / "syslib");
  std::string output;
  EXPECT_EQ(RunProbe((m_dir / "syslib").string(), &output), 0) << output;
  EXPECT_EQ(output, "1001\n");
}

TEST_F(BinderSearch, FallsBackToTheLibraryPath) {
  Place(FAKE_HOST_FULL, m_dir / "syslib");
  std::string output;
  EXPECT_EQ(RunProbe((m_dir / "syslib").string(), &output), 0) << output;
  EXPECT_EQ(output, "1001\n");
}

TEST_F(BinderSearch, NoLibraryAnywhereIsAStartUpFailure) {
  std::string output;
  EXPECT_EQ(RunProbe((m_dir / "syslib").string(), &output), kHostBindFailureStatus);
  EXPECT_EQ(output.rfind("host_bind_probe: cannot find the host library liborvanLib.so in " +
                             (m_dir / "exe").string() + "/ or the system library path: ",
                         0),
            0u)
      << output;
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
}

TEST_F(BinderSearch, LibraryBesideTheExecutableLackingAnOperation) {
  Place(FAKE_HOST_LACKING, m_dir / "exe");
  Place(FAKE_HOST_FULL, m_dir / "syslib");  // never reached: the first one found is used
  std::string output;
  EXPECT_EQ(RunProbe((m_dir / "syslib").string(), &output), kHostBindFailureStatus);
  EXPECT_EQ(output, "host_bind_probe: the host library " + (m_dir / "exe").string() +
                        "/liborvanLib.so lacks operation 284 (HostStoreScore)\n");
}

}  // namespace
