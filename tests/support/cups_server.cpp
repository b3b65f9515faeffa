#include "tests/support/cups_server.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/run_tool.h"

namespace tm_test {

namespace {

constexpr int kStartSeconds = 10;
constexpr int kStopSeconds = 5;

// The scheduler and its administration tool live in sbin, which a user's PATH may lack.
std::string find_program(const char* name) {
  for (const char* dir : {"/usr/sbin/", "/usr/local/sbin/", "/sbin/"}) {
    std::string path = std::string(dir) + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return tool_present(name) ? std::string(name) : std::string();
}

bool write_text(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  return bool(out);
}

bool socket_answers(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

// Waits for the process to end, at most `seconds`; true when it has.
bool reap(pid_t pid, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace

bool CupsServer::start(std::string* why) {
  const std::string cupsd = find_program("cupsd");
  if (cupsd.empty()) {
    *why = "cupsd is not installed (scripts/install-deps.sh installs cups)";
    return false;
  }
  // Under /tmp, not the test's sandbox: the socket's path must stay short, and a
  // scheduler run as root hands its filters to "lp", which must reach the folder.
  char templ[] = "/tmp/tm-cups-XXXXXX";
  if (!mkdtemp(templ)) {
    *why = std::string("no temporary folder: ") + std::strerror(errno);
    return false;
  }
  dir_ = std::string(templ) + "/";
  chmod(templ, 0755);
  for (const char* sub : {"spool", "spool/tmp", "cache", "state", "log", "out"}) mkdir((dir_ + sub).c_str(), 0755);
  const std::string files_conf =
      "FileDevice Yes\nServerRoot " + dir_ + "\nRequestRoot " + dir_ + "spool\nTempDir " + dir_ +
      "spool/tmp\nCacheDir " + dir_ + "cache\nStateDir " + dir_ + "state\nErrorLog " + dir_ +
      "log/error_log\nAccessLog " + dir_ + "log/access_log\nPageLog " + dir_ +
      "log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\nPrintcap " + dir_ +
      "printcap\nSandboxing Relaxed\n";
  const std::string conf = "Listen " + socket_path() +
                           "\nBrowsing Off\nLogLevel debug\nWebInterface No\n"
                           "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n";
  if (!write_text(dir_ + "cups-files.conf", files_conf) || !write_text(dir_ + "cupsd.conf", conf)) {
    *why = "cannot write the scheduler's configuration in " + dir_;
    stop();
    return false;
  }
  const std::string conf_path = dir_ + "cupsd.conf", files_path = dir_ + "cups-files.conf";
  const std::string log_path = dir_ + "log/stdout";
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // The scheduler ends with the test process, however that ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    int out = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    if (in >= 0) dup2(in, 0);
    execl(cupsd.c_str(), cupsd.c_str(), "-f", "-c", conf_path.c_str(), "-s", files_path.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid_ < 0) {
    *why = std::string("cannot start cupsd: ") + std::strerror(errno);
    stop();
    return false;
  }
  const char* old = getenv("CUPS_SERVER");
  had_server_ = old != nullptr;
  old_server_ = old ? old : "";
  env_set_ = true;
  setenv("CUPS_SERVER", socket_path().c_str(), 1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (socket_answers(socket_path())) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *why = "cupsd did not start listening on " + socket_path() + ": " + log_tail();
  stop();
  return false;
}

bool CupsServer::add_queue(const std::string& name, const std::string& device_file, bool enabled,
                           std::string* why) {
  const std::string lpadmin = find_program("lpadmin");
  if (lpadmin.empty()) {
    *why = "lpadmin is not installed (scripts/install-deps.sh installs cups-client)";
    return false;
  }
  std::vector<std::string> args = {lpadmin, "-p", name};
  if (enabled) args.push_back("-E");
  for (const std::string& a : {std::string("-v"), "file://" + dir_ + "out/" + device_file, std::string("-P"),
                               std::string(TM_FIXTURE_DIR) + "/print/pdf-file.ppd"})
    args.push_back(a);
  std::string out;
  if (run_tool(args, &out, 30000) != 0) {
    *why = "lpadmin: " + out;
    return false;
  }
  return true;
}

bool CupsServer::set_default(const std::string& name) {
  const std::string lpadmin = find_program("lpadmin");
  return !lpadmin.empty() && run_tool({lpadmin, "-d", name}, nullptr, 30000) == 0;
}

void CupsServer::stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (!reap(pid_, kStopSeconds)) {
      kill(pid_, SIGKILL);
      reap(pid_, kStopSeconds);
    }
    pid_ = -1;
  }
  if (env_set_) {
    if (had_server_)
      setenv("CUPS_SERVER", old_server_.c_str(), 1);
    else
      unsetenv("CUPS_SERVER");
    env_set_ = false;
  }
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    dir_.clear();
  }
}

std::string CupsServer::wait_for_device_file(const std::string& device_file, int seconds) const {
  const std::string path = dir_ + "out/" + device_file;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    // The device file is written while the job prints: whole once it ends the document.
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string bytes = text.str();
    const size_t eof = bytes.rfind("%%EOF");
    if (eof != std::string::npos && bytes.find_first_not_of("\r\n", eof + 5) == std::string::npos) return path;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return std::string();
}

std::string CupsServer::log_tail() const {
  std::ifstream in(dir_ + "log/error_log");
  std::stringstream all;
  all << in.rdbuf();
  std::string text = all.str();
  std::ifstream out(dir_ + "log/stdout");
  std::stringstream early;
  early << out.rdbuf();
  text += early.str();
  return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

}  // namespace tm_test
