// Process and machine information: the program's own folder and name, the XDG
// folders (from the sandbox's variables, and their defaults under $HOME), memory and
// disk figures, counting running copies of a program, process priority, the user's
// language and run-time modules.
#include "platform/sys/sysinfo.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_env.h"

namespace {

bool is_dir(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Sets (or, for null, unsets) environment variables for one test and puts the old
// values back afterwards.
class EnvGuard {
 public:
  void set(const char* name, const char* value) {
    const char* old = getenv(name);
    saved_.push_back({name, old != nullptr, old ? old : ""});
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~EnvGuard() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->was_set) setenv(it->name.c_str(), it->value.c_str(), 1);
      else unsetenv(it->name.c_str());
    }
  }

 private:
  struct saved {
    std::string name;
    bool was_set;
    std::string value;
  };
  std::vector<saved> saved_;
};

TEST(ProgramFolder, NamesTheRunningExecutable) {
  const std::string dir = plat::program_dir();
  const std::string name = plat::program_name();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
  EXPECT_EQ(dir.back(), '/');
  EXPECT_EQ(name, "test_platform");
  struct stat exe {}, self {};
  ASSERT_EQ(stat((dir + name).c_str(), &exe), 0);
  ASSERT_EQ(stat("/proc/self/exe", &self), 0);
  EXPECT_EQ(exe.st_ino, self.st_ino);
  EXPECT_EQ(exe.st_dev, self.st_dev);
}

TEST(XdgFolders, FollowTheVariables) {
  const std::string& box = tm_test::sandbox_dir();
  EXPECT_EQ(plat::user_config_dir(), box + "config/");
  EXPECT_EQ(plat::user_data_dir(), box + "data/");
  EXPECT_EQ(plat::temp_dir(), box + "tmp/");
}

TEST(XdgFolders, CreateMissingFoldersAndNormaliseTheTrailingSlash) {
  const std::string base = tm_test::fresh_dir("xdg");
  EnvGuard env;
  env.set("XDG_CONFIG_HOME", (base + "deep/conf//").c_str());
  env.set("XDG_DATA_HOME", (base + "deep/data").c_str());
  env.set("TMPDIR", (base + "t/").c_str());
  EXPECT_EQ(plat::user_config_dir(), base + "deep/conf/");
  EXPECT_EQ(plat::user_data_dir(), base + "deep/data/");
  EXPECT_EQ(plat::temp_dir(), base + "t/");
  EXPECT_TRUE(is_dir(base + "deep/conf"));
  EXPECT_TRUE(is_dir(base + "deep/data"));
  EXPECT_TRUE(is_dir(base + "t"));
}

TEST(XdgFolders, DefaultsWhenTheVariablesAreUnsetRelativeOrEmpty) {
  const std::string home = tm_test::fresh_dir("home");
  for (const char* value : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
    SCOPED_TRACE(value ? value : "(unset)");
    EnvGuard env;
    env.set("HOME", home.c_str());
    env.set("XDG_CONFIG_HOME", value);
    env.set("XDG_DATA_HOME", value);
    env.set("TMPDIR", value);
    EXPECT_EQ(plat::user_config_dir(), home + ".config/");
    EXPECT_EQ(plat::user_data_dir(), home + ".local/share/");
    EXPECT_EQ(plat::temp_dir(), "/tmp/");
    EXPECT_TRUE(is_dir(home + ".config"));
    EXPECT_TRUE(is_dir(home + ".local/share"));
  }
}

TEST(XdgFolders, UnusableVariableFallsBackAndNothingUsableGivesEmpty) {
  const std::string base = tm_test::fresh_dir("unusable");
  // A regular file where a folder must be created makes the variable unusable.
  tm_test::write_file(base + "file", "x");
  const std::string blocked = base + "file/sub";
  {
    EnvGuard env;
    env.set("HOME", (base + "home").c_str());
    env.set("XDG_CONFIG_HOME", blocked.c_str());
    env.set("TMPDIR", blocked.c_str());
    EXPECT_EQ(plat::user_config_dir(), base + "home/.config/");
    EXPECT_EQ(plat::temp_dir(), "/tmp/");
  }
  {
    EnvGuard env;
    env.set("HOME", nullptr);
    env.set("XDG_CONFIG_HOME", nullptr);
    env.set("XDG_DATA_HOME", blocked.c_str());
    EXPECT_EQ(plat::user_config_dir(), "");
    EXPECT_EQ(plat::user_data_dir(), "");
  }
}

TEST(MemoryStatus, FiguresArePositiveAndConsistent) {
  const plat::memory_status st = plat::get_memory_status();
  EXPECT_GT(st.total_physical, 0);
  EXPECT_GT(st.available_physical, 0);
  EXPECT_LE(st.available_physical, st.total_physical);
  EXPECT_GE(st.total_swap, 0);
  EXPECT_GE(st.available_swap, 0);
  EXPECT_LE(st.available_swap, st.total_swap);
  EXPECT_GT(st.process_committed, 0);
  EXPECT_LT(st.process_committed, st.total_physical + st.total_swap);
}

TEST(MemoryStatus, CommittedFigureFollowsWhatTheProcessHolds) {
  const size_t size = 64u << 20;
  const double before = plat::get_memory_status().process_committed;
  std::vector<char> block(size);
  std::memset(block.data(), 1, size);
  const double after = plat::get_memory_status().process_committed;
  EXPECT_GE(after - before, static_cast<double>(size) / 2);
  EXPECT_EQ(block[size - 1], 1);
}

TEST(DiskFree, ReadsTheFileSystemOrAnswersMinusOne) {
  EXPECT_GE(plat::disk_free_bytes(tm_test::sandbox_dir().c_str()), 0);
  EXPECT_GE(plat::disk_free_bytes("/"), 0);
  EXPECT_EQ(plat::disk_free_bytes((tm_test::sandbox_dir() + "no/such/folder").c_str()), -1);
  EXPECT_EQ(plat::disk_free_bytes(""), -1);
  EXPECT_EQ(plat::disk_free_bytes(nullptr), -1);
}

// A running program whose name is longer than the 15 characters the kernel keeps as
// the command name: a copy of cat, under that name in the sandbox, reading a pipe until
// the object closes it.
class LongNamedChild {
 public:
  explicit LongNamedChild(const std::string& name) {
    const std::string path = tm_test::fresh_dir("long-named") + name;
    std::filesystem::copy_file("/bin/cat", path);
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    input_ = fds[1];
  }
  ~LongNamedChild() {
    if (input_ >= 0) close(input_);  // cat sees the end of its input and ends
    int status = 0;
    if (pid_ > 0) waitpid(pid_, &status, 0);
  }
  bool running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
};

TEST(ProcessCount, FindsAProgramByItsFullName) {
  // The name is longer than the kernel's command name, so only the executable's name can
  // match it whole.
  struct Case {
    std::string name;
    bool at_least_one;
  };
  const std::string self = "tm-process-count-probe";
  const LongNamedChild child(self);
  ASSERT_TRUE(child.running());
  std::string upper = self;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_GT(self.size(), 15u);
  const Case cases[] = {
      {self, true},
      {upper, true},
      {plat::program_name(), true},  // this program
      {self.substr(0, 15), false},
      {self + "x", false},
      {"no-such-program-anywhere", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.at_least_one) EXPECT_GE(plat::count_processes_named(c.name.c_str()), 1);
    else EXPECT_EQ(plat::count_processes_named(c.name.c_str()), 0);
  }
  EXPECT_EQ(plat::count_processes_named(""), 0);
  EXPECT_EQ(plat::count_processes_named(nullptr), 0);
}

int nice_of(long tid) {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
}

// Runs in a child process (the nice value of the test program itself must not
// change): idle priority reaches every thread, and a request equal to the last
// one changes nothing.
void priority_child() {
  std::atomic<long> worker_tid{0};
  std::atomic<bool> release{false};
  std::thread worker([&] {
    worker_tid = syscall(SYS_gettid);
    while (!release) std::this_thread::yield();
  });
  while (worker_tid == 0) std::this_thread::yield();
  const long main_tid = syscall(SYS_gettid);
  int failures = 0;
  if (nice_of(main_tid) != 0 || nice_of(worker_tid) != 0) failures |= 1;
  plat::set_process_priority(false);
  if (nice_of(main_tid) != 19 || nice_of(worker_tid) != 19) failures |= 2;
  // Same as the last setting: nothing is done, whatever the current value.
  setpriority(PRIO_PROCESS, static_cast<id_t>(worker_tid.load()), 10);
  plat::set_process_priority(false);
  if (nice_of(worker_tid) != 10) failures |= 4;
  release = true;
  worker.join();
  _exit(failures);
}

TEST(ProcessPriority, IdleReachesEveryThreadOnlyOnChange) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  if (nice_of(syscall(SYS_gettid)) != 0) GTEST_SKIP() << "the test program does not run at nice 0";
  EXPECT_EXIT(priority_child(), ::testing::ExitedWithCode(0), "");
}

TEST(UserLanguage, TakesTheFirstSetLocaleVariable) {
  struct Case {
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, "fr_FR.UTF-8", "fr"},
      {nullptr, nullptr, "eu_ES", "eu"},
      {nullptr, nullptr, "C", ""},
      {nullptr, nullptr, "en_GB", "en"},
      {nullptr, nullptr, "POSIX", ""},
      {nullptr, nullptr, "C.UTF-8", ""},
      {nullptr, nullptr, "FR_be", "fr"},
      {nullptr, nullptr, "de", "de"},
      {nullptr, nullptr, "ca_ES@valencia", "ca"},
      {nullptr, nullptr, "ast_ES.UTF-8", "ast"},
      {nullptr, nullptr, "x_Y", ""},
      {nullptr, nullptr, "e1_ES", ""},
      {nullptr, nullptr, nullptr, ""},
      {"", "", "", ""},
      {"de_DE.UTF-8", "es_ES", "fr_FR", "de"},
      {"", "es_ES.UTF-8", "fr_FR", "es"},
      {nullptr, "", "eu_FR", "eu"},
      // The first variable that is set decides, even when it names no language.
      {"C", nullptr, "fr_FR", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lc_all ? c.lc_all : "-") + " " + (c.lc_messages ? c.lc_messages : "-") +
                 " " + (c.lang ? c.lang : "-"));
    EnvGuard env;
    env.set("LC_ALL", c.lc_all);
    env.set("LC_MESSAGES", c.lc_messages);
    env.set("LANG", c.lang);
    EXPECT_EQ(plat::user_language(), c.expected);
  }
}

TEST(Modules, LoadFindSymbolsAndFailCleanly) {
  EXPECT_EQ(plat::module_load((tm_test::sandbox_dir() + "missing.so").c_str()), nullptr);
  EXPECT_EQ(plat::module_load(nullptr), nullptr);
  EXPECT_EQ(plat::module_load(""), nullptr);
  // A file that is not a shared library.
  const std::string fake = tm_test::write_file(tm_test::sandbox_dir() + "fake.so", "not a library");
  EXPECT_EQ(plat::module_load(fake.c_str()), nullptr);
  EXPECT_EQ(plat::module_symbol(nullptr, "cos"), nullptr);
  plat::module_unload(nullptr);

  void* libm = plat::module_load("libm.so.6");
  ASSERT_NE(libm, nullptr);
  void* sym = plat::module_symbol(libm, "cos");
  ASSERT_NE(sym, nullptr);
  auto cosine = reinterpret_cast<double (*)(double)>(sym);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(plat::module_symbol(libm, "no_such_symbol_here"), nullptr);
  EXPECT_EQ(plat::module_symbol(libm, nullptr), nullptr);
  plat::module_unload(libm);
}

}  // namespace
