// The command line's replay, as a separate process: "quellix -diffuse_127.0.0.1:PORT -play
// track.gpx" with a UDP listener on a port the system chose. The first pass of the
// replay must start with the track's first fix and bring every fix after it, each once,
// in order, as itself (never an in-between position in its place before it), at the
// track's pace: with times, on the track's clock; without, at about 50 km/h. The program
// is the one built beside the test program; without it the test is skipped.
//
// The program replays in a loop until it is stopped: it is killed once the first pass
// has been heard (or has ended), and every wait is bounded.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/paths.h"
#include "tests/quellix/qx_heard_positions.h"
#include "tests/quellix/qx_player_fixture.h"
#include "tests/support/program_run.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace qx_test {
namespace {

using clock_type = std::chrono::steady_clock;

// A GPX track of points at these latitudes (degrees north of 45, at 6 degrees east),
// with the given times (seconds after 10:00:00), or none.
std::string gpx_track(const std::vector<double>& north, const std::vector<int>& seconds) {
  std::string gpx =
      "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
      "<trk><name>T</name><trkseg>\n";
  for (size_t i = 0; i < north.size(); ++i) {
    char point[160];
    std::snprintf(point, sizeof point, "<trkpt lat=\"%.6f\" lon=\"6.000000\">", 45.0 + north[i]);
    gpx += point;
    if (i < seconds.size()) {
      char time[64];
      std::snprintf(time, sizeof time, "<time>2020-05-01T10:00:%02dZ</time>", seconds[i]);
      gpx += time;
    }
    gpx += "</trkpt>\n";
  }
  return gpx + "</trkseg></trk></gpx>\n";
}

struct heard_datagram {
  std::string text;
  double at_s = 0;  // seconds after the listener started
};

std::vector<std::string> texts_of(const std::vector<heard_datagram>& heard) {
  std::vector<std::string> out;
  for (const heard_datagram& h : heard) out.push_back(h.text);
  return out;
}

struct play_case {
  const char* name;
  std::string gpx;
  // The replay clock must have passed this many seconds before the last fix goes out
  // (the point before it lies there): the pace of the track is kept.
  double last_fix_not_before_s;
};

// One run of the program on a case's track: what its listener heard from the first
// START marker on (the first pass), until the pass ended (its STOP, not kept) or brought
// as many fixes as the track holds; then the program is killed.
struct play_run {
  const play_case* c = nullptr;
  std::string path;
  std::vector<fix_place> track;
  Listener listener;
  std::vector<heard_datagram> heard;
  bool run_started = false;
  bool pass_ended = false;
  size_t fixes_heard = 0;
  std::string out;

  void run(const std::string& program) {
    const auto started = clock_type::now();
    const auto pass_over = [&] {
      for (std::string& d : listener.drain()) {
        const double at = std::chrono::duration<double>(clock_type::now() - started).count();
        if (!run_started) run_started = d == start_marker();
        if (!run_started || pass_ended) continue;
        pass_ended = d == stop_marker();
        if (pass_ended) continue;
        // A fix's group carries the GLL sentence (counted without a regex: the two runs'
        // threads would share the library's locale cache).
        if (d.find("$GPGLL,") != std::string::npos) ++fixes_heard;
        heard.push_back({std::move(d), at});
      }
      return pass_ended || fixes_heard >= track.size();
    };
    tm_test::run_tool({program, "-diffuse_127.0.0.1:" + std::to_string(listener.sock.port), "-play", path},
                      &out, kRunBoundMs, pass_over);
  }
  static constexpr int kRunBoundMs = 40000;
};

TEST(QuellixPlayRun, TheFirstPassBringsEveryFixInOrderFromTheFirstOn) {
  const std::string program = tm_test::program_folder() + "quellix";
  if (!file_exists(program.c_str())) GTEST_SKIP() << "no program " << program;
  const play_case cases[] = {
      // Fixes 1 s and 2 s apart, 11 m each: the 2 s gap lies exactly on the resampler's
      // first step, where nothing is to be inserted.
      {"timed", gpx_track({0, 0.0001, 0.0002, 0.0003}, {0, 1, 2, 4}), 2.0},
      // Without times, about 50 km/h: 30 m (some 2.2 s, with an in-between position),
      // then 11 m.
      {"untimed", gpx_track({0, 0.00027, 0.00037}, {}), 2.1},
  };
  // Both programs run at once, headless, with a private home folder, in the environment
  // set here (the threads do not change it).
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string child_asan = (asan && *asan ? std::string(asan) + ":" : std::string()) + "detect_leaks=0";
  tm_test::scoped_env display("DISPLAY", nullptr);
  tm_test::scoped_env picture("QUELLIX_PICTURE", nullptr);
  tm_test::scoped_env home("HOME", tm_test::fresh_dir("quellix-play-home").c_str());
  tm_test::scoped_env leaks("ASAN_OPTIONS", child_asan.c_str());
  std::vector<std::unique_ptr<play_run>> runs;
  for (const play_case& c : cases) {
    auto r = std::make_unique<play_run>();
    r->c = &c;
    r->path = tm_test::write_file(tm_test::fresh_dir(c.name) + "track.gpx", c.gpx);
    r->track = gpx_track_points(c.gpx);
    ASSERT_NE(r->listener.sock.port, 0);
    runs.push_back(std::move(r));
  }
  std::vector<std::thread> threads;
  for (auto& r : runs) threads.emplace_back([&program, run = r.get()] { run->run(program); });
  for (std::thread& t : threads) t.join();

  // Each run is judged on its own (an assertion ends only its own judgement).
  const auto judge = [](const play_run* r) {
    ASSERT_TRUE(r->run_started) << "no START heard; the program said:\n" << r->out;
    const std::vector<std::string> texts = texts_of(r->heard);
    const std::vector<heard_position> positions = heard_positions(texts);
    const std::vector<fix_place>& track = r->track;
    ASSERT_FALSE(positions.empty());
    // The first position heard is the track's first fix.
    EXPECT_TRUE(positions[0].fix);
    EXPECT_NEAR(positions[0].at.lat, track[0].lat, 1e-6);
    EXPECT_NEAR(positions[0].at.lon, track[0].lon, 1e-6);
    // Every fix once, in order.
    const std::vector<fix_place> fixes = heard_fixes(texts);
    ASSERT_EQ(fixes.size(), track.size());
    for (size_t i = 0; i < track.size(); ++i) {
      EXPECT_NEAR(fixes[i].lat, track[i].lat, 1e-6) << "fix " << i;
      EXPECT_NEAR(fixes[i].lon, track[i].lon, 1e-6) << "fix " << i;
    }
    // No in-between position stands in a fix's place.
    for (const heard_position& p : positions) {
      if (p.fix) continue;
      for (const fix_place& f : track)
        EXPECT_FALSE(std::fabs(p.at.lat - f.lat) < 1e-6 && std::fabs(p.at.lon - f.lon) < 1e-6)
            << "an in-between position at the fix " << f.lat << " " << f.lon;
    }
    // The pace: the last fix does not come before the replay clock passed the point
    // before it.
    double last_fix_at = -1;
    for (const heard_datagram& h : r->heard)
      if (!heard_fixes({h.text}).empty()) last_fix_at = h.at_s;
    EXPECT_GE(last_fix_at - r->heard.front().at_s, r->c->last_fix_not_before_s - 0.1);
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r->c->name);
    judge(r.get());
  }
}

}  // namespace
}  // namespace qx_test
