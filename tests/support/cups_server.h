// A private CUPS scheduler for the printing tests: `cupsd -f` with a configuration of
// its own in a fresh temporary folder, listening only on a Unix socket in that folder,
// which the test process reaches through CUPS_SERVER. Queues are made with lpadmin on
// that socket; a queue's device is a file in the folder (FileDevice Yes), so a job's
// document can be read back.
//
// The scheduler runs as the user that runs the tests (as root it runs its filters as
// "lp", so the folder is readable by all). It is stopped (SIGTERM, then SIGKILL) and
// the folder removed when the object goes; it also receives SIGTERM should the test
// process die first, so that no scheduler outlives its test.
#pragma once
#include <sys/types.h>

#include <string>

namespace tm_test {

class CupsServer {
 public:
  CupsServer() = default;
  ~CupsServer() { stop(); }
  CupsServer(const CupsServer&) = delete;
  CupsServer& operator=(const CupsServer&) = delete;

  // Starts the scheduler and points CUPS_SERVER at it. False, with the reason in
  // *why, when cupsd is missing or does not start listening within ten seconds.
  bool start(std::string* why);
  // A queue printing into the file `device_file` of the folder through the test PPD
  // (tests/fixtures/print/pdf-file.ppd); a queue not enabled is stopped and refuses
  // jobs. False with lpadmin's output in *why.
  bool add_queue(const std::string& name, const std::string& device_file, bool enabled, std::string* why);
  // Makes a queue the server's default destination.
  bool set_default(const std::string& name);
  // Stops the scheduler, restores CUPS_SERVER and removes the folder.
  void stop();

  const std::string& dir() const { return dir_; }  // with a trailing '/'
  std::string socket_path() const { return dir_ + "sock"; }
  // Waits (real time, at most `seconds`) for a queue's device file to hold a whole PDF
  // document; its path, or "" when none came.
  std::string wait_for_device_file(const std::string& device_file, int seconds = 30) const;
  // The last lines of the scheduler's error log, for a failure message.
  std::string log_tail() const;

 private:
  std::string dir_;
  pid_t pid_ = -1;
  bool env_set_ = false, had_server_ = false;
  std::string old_server_;
};

}  // namespace tm_test
