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
  // it did not return within a generous real bound.
  int64_t run(int64_t step_ms = 1, int bound_ms = 60000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
    uint64_t waits = plat::port_waits_begun();
    uint64_t releases = tm_test::logger_sim_releases().load();
    while (!done_) {
      if (std::chrono::steady_clock::now() > until) return -1;
      if (!idle()) {
        std::this_thread::yield();
        continue;
      }
      // A new wait of the driver usually follows a command it has just written, which
      // reaches the simulator a moment later (longer on a loaded machine): time stands
      // still until the simulator takes it up, the driver wakes, or a while has passed.
      // A simulator that just let go may likewise have bytes on their way.
      const uint64_t w = plat::port_waits_begun(), r = tm_test::logger_sim_releases().load();
      if (w != waits) {
        waits = w;
        releases = r;
        const auto grace = std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
        while (!done_ && idle() && plat::port_waits_begun() == w &&
               std::chrono::steady_clock::now() < grace)
          std::this_thread::sleep_for(std::chrono::microseconds(100));
        continue;
      }
      if (r != releases) {
        releases = r;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
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
  // On the virtual clock, or in real time for a live outside host.
  int download(gpsport_t* port, int32_t* count, int flags = GPS_DATALOG, bool real_time = false) {
    base_ = dir_ + "/log";
    int err = 0;
    auto call = [&] {
      gps_download(port, base_.c_str(), flags, count);
      err = get_gblerr();
      set_gblerr(0);
    };
    if (real_time) {
      call();
    } else {
      logger_worker w(pty_.master(), call);
      EXPECT_GE(w.run(5), 0) << "the download hangs";
    }
    return err;
  }

  tm_test::pty_pair pty_;
  std::string base_;
};

}  // namespace rtk_test
