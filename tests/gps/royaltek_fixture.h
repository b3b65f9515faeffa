// Shared by the RoyalTek and Emtac logger tests: the reader fixture (real file objects,
// geodesy tables, a fresh folder) with the port class registered and the driver table
// saved and restored, both families installed; a pty standing for the logger's line;
// and helpers to read what a log reader made.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "gps/gpsport.h"
#include "gps/loggers/emtac.h"
#include "gps/loggers/royaltek.h"
#include "gps/loggers/royaltek_log.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/royaltek_sim_clock.h"

namespace rtk_test {

// A call on a worker thread under the virtual clock, as tm_test::virtual_worker, whose
// clock also waits for the simulated logger on `master`: no step while the simulator
// is busy or bytes wait for it on the master side.
//
// No real-time grace is needed around a new wait: a command the driver wrote before it
// began waiting is seen on the master at once (master_pending polls, which waits for
// the kernel's hand-over), the simulator holds its busy count from before it reads a
// command until its answer has reached the slave, and a driver whose descriptor has
// bytes no longer counts as waiting (port_waiters_waiting polls it too). The state is
// looked at twice around the simulator's so that a hand-over between the looks shows.
class logger_worker {
 public:
  logger_worker(int master, std::function<void()> call) : master_(master) {
    plat::use_virtual_clock(true);
    start_ = plat::now_ms();
    thread_ = std::thread([this, call = std::move(call)] {
      call();
      elapsed_ = plat::now_ms() - start_;
      done_ = true;
    });
  }
  ~logger_worker() { finish(); }
  logger_worker(const logger_worker&) = delete;
  logger_worker& operator=(const logger_worker&) = delete;

  bool idle() const {
    return tm_test::clock_idle() && tm_test::logger_sim_busy().load() == 0 &&
           tm_test::master_pending(master_) == 0 && tm_test::clock_idle();
  }
  // Moves the clock in steps until the call returns: its virtual duration, or -1 when
  // it did not return within a generous real bound. While an outside program serves the
  // line (logger_sim_outside) the clock follows real time instead.
  int64_t run(int64_t step_ms = 1, int bound_ms = 60000) {
    using clock = std::chrono::steady_clock;
    const auto until = clock::now() + std::chrono::milliseconds(bound_ms);
    auto followed = clock::now();
    while (!done_) {
      const auto now = clock::now();
      if (now > until) return -1;
      if (tm_test::logger_sim_outside().load() > 0) {
        follow_real_time(now, &followed);
        continue;
      }
      followed = now;
      if (!idle()) {
        std::this_thread::yield();
        continue;
      }
      plat::advance_virtual_ms(step_ms);
    }
    return elapsed_;
  }
  void finish() {
    if (!thread_.joinable()) return;
    run();
    plat::use_virtual_clock(false);
    thread_.join();
  }

 private:
  // An outside program runs in real time: the clock follows real time while the call
  // waits on its port (its time-outs last as long as the program expects), and jumps
  // over the call's pauses (sleeps with no port wait), which nothing on the line waits
  // for.
  static void follow_real_time(std::chrono::steady_clock::time_point now,
                               std::chrono::steady_clock::time_point* followed) {
    const int sleeping = plat::virtual_sleepers_waiting();
    if (plat::port_waiters() == 0 && sleeping > 0 && sleeping == plat::virtual_sleepers()) {
      plat::advance_virtual_ms(1);
      *followed = now;
      return;
    }
    const auto real_ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - *followed);
    if (real_ms.count() > 0) {
      plat::advance_virtual_ms(real_ms.count());
      *followed += real_ms;
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

  int master_;
  std::thread thread_;
  int64_t start_ = 0;
  std::atomic<int64_t> elapsed_{0};
  std::atomic<bool> done_{false};
};

class LoggerFixture : public tm_test::ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    std::memcpy(saved_table_, gps_device_table, sizeof saved_table_);
    for (int f = 1; f <= kGpsFamilyCount; ++f) {
      gps_device_column& c = gps_device_table[f];
      c.identify = nullptr;
      c.connect = nullptr;
      for (auto& d : c.download) d = nullptr;
      c.erase[0] = c.erase[1] = nullptr;
      c.switch_off = nullptr;
      c.close = nullptr;
    }
    royaltek_install();
    emtac_install();
    gpsport_register();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void TearDown() override {
    set_gblerr(0);
    obj_t* cursor = nullptr;
    std::vector<obj_t*> ports;
    while (obj_class_next(CLS_GPSPORT, &cursor)) ports.push_back(cursor);
    for (obj_t* p : ports) free_obj(&p);
    std::memcpy(gps_device_table, saved_table_, sizeof saved_table_);
    ReaderFixture::TearDown();
  }
  void free_tables() override {
    gpslog_free();
    emtac_sentence_free();
  }

  // A port record on the pty as a probe leaves it (closed).
  gpsport_t* new_port(const std::string& path) {
    gpsport_t* port = nullptr;
    gpsport_create(0, 0, 0, 0, nullptr, &port);
    port->kind = GPSPORT_SERIAL;
    str_set(path.c_str(), &port->device_path);
    return port;
  }

  // Loads a file through a reader; the list it made (kept until the end of the test).
  container_t* load_with(int (*reader)(obj_t*, container_t*), const std::string& path,
                         int* result) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return nullptr;
    *result = reader(f, f->sot);
    loaded_.unload_at_end(f, *result != 0);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    return f->sot;
  }

  static std::vector<trackseg_t*> segments_of(const container_t* list) {
    std::vector<trackseg_t*> out;
    for (tracklog_t* t : tm_test::objects_of<tracklog_t>(list, CLS_TRACKLOG))
      for (int i = 0; i < obj_list_count(t->sons); ++i)
        if (t->sons->elems[i]->cls == CLS_TRACKSEG)
          out.push_back(static_cast<trackseg_t*>(t->sons->elems[i]));
    return out;
  }
  static std::vector<gpspos_t*> points_of(const trackseg_t* s) {
    std::vector<gpspos_t*> out;
    for (int i = 0; i < obj_list_count(s->sons); ++i)
      out.push_back(static_cast<gpspos_t*>(s->sons->elems[i]));
    return out;
  }
  static std::vector<gpspos_t*> all_points(const container_t* list) {
    std::vector<gpspos_t*> out;
    for (trackseg_t* s : segments_of(list))
      for (gpspos_t* p : points_of(s)) out.push_back(p);
    return out;
  }
  // Seconds of the day of a point's time.
  static double seconds_of_day(const gpspos_t* p) {
    date_rec r;
    std::memcpy(&r, &p->time, sizeof r);
    return std::round((r.day - std::floor(r.day)) * 86400.0);
  }

  gps_device_column saved_table_[kGpsFamilyCount + 1];
};

// The logger fixture with a pty line for a driver and its simulator (pty_), and the
// base name of the files the last download wrote (base_).
class LoggerDriverFixture : public LoggerFixture {
 protected:
  // The probe of every installed family on the pty: the port found, or null.
  gpsport_t* probe(int filter = 0) {
    gpsport_t* port = nullptr;
    logger_worker w(pty_.master(), [&] { gps_probe(pty_.path().c_str(), filter, &port); });
    EXPECT_GE(w.run(5), 0);
    return port;
  }
  // The whole transfer of the items in `flags` into dir_/log: its result code and count.
  // On the virtual clock (following real time while an outside program serves the line).
  int download(gpsport_t* port, int32_t* count, int flags = GPS_DATALOG) {
    base_ = dir_ + "/log";
    int err = 0;
    auto call = [&] {
      gps_download(port, base_.c_str(), flags, count);
      err = get_gblerr();
      set_gblerr(0);
    };
    logger_worker w(pty_.master(), call);
    EXPECT_GE(w.run(5), 0) << "the download hangs";
    return err;
  }

  tm_test::pty_pair pty_;
  std::string base_;
};

}  // namespace rtk_test
