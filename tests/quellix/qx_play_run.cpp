// The command line's replay, as a separate process: "quellix -diffuse_127.0.0.1:PORT -play
// track.gpx" with a UDP listener on a port the system chose. The first pass of the
// replay must start with the track's first fix and bring every fix after it, each once,
// in order, as itself (never an in-between position in its place before it), at the
// track's pace: with times, each fix when the replay clock reaches its time (within a
// tick, never before it); without, at about 50 km/h. A file named relative to the
// working folder (with a folder, or a bare name) plays as well. The program is the one
// built beside the test program; without it the test is skipped.
//
// The program replays in a loop until it is stopped: it is killed once the first pass
// has been heard (or has ended), and every wait is bounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
  // With times: the seconds of each fix after the first; every fix must come when the
  // replay clock (from the run's START) reaches it, within a tick, never before.
  std::vector<double> due_s;
  // Without times: the replay clock must have passed this many seconds before the last
  // fix goes out (its distance at 50 km/h).
  double last_fix_not_before_s = 0;
};

// Where a case's words place the -diffuse_ address (else it comes first).
const std::string kAddress = "<address>";

// One run of the program: what its listener heard from the first START marker on (the
// first pass), until the pass ended (its STOP, not kept) or brought as many fixes as the
// track holds; then the program is killed. `words` are its arguments besides the
// -diffuse_ address; the program runs in `folder` when one is given.
struct play_run {
  const char* name = "";
  std::vector<std::string> words;
  std::string folder;
  std::vector<fix_place> track;
  Listener listener;
  std::vector<heard_datagram> heard;
  bool run_started = false;
  bool pass_ended = false;
  size_t fixes_heard = 0;
  int stops_before_start = 0;
  std::string out;

  void run(const std::string& program) {
    const auto started = clock_type::now();
    const auto pass_over = [&] {
      for (std::string& d : listener.drain()) {
        const double at = std::chrono::duration<double>(clock_type::now() - started).count();
        if (!run_started) {
          run_started = d == start_marker();
          if (d == stop_marker()) ++stops_before_start;
        }
        if (!run_started || pass_ended) continue;
        pass_ended = d == stop_marker();
        if (pass_ended) continue;
        // A fix's group carries the GLL sentence (counted without a regex: the runs'
        // threads would share the library's locale cache).
        if (d.find("$GPGLL,") != std::string::npos) ++fixes_heard;
        heard.push_back({std::move(d), at});
      }
      return pass_ended || (!track.empty() && fixes_heard >= track.size());
    };
    std::vector<std::string> args;
    if (!folder.empty()) args = {"env", "-C", folder};
    args.push_back(program);
    const std::string address = "-diffuse_127.0.0.1:" + std::to_string(listener.sock.port);
    if (std::find(words.begin(), words.end(), kAddress) == words.end()) args.push_back(address);
    for (const std::string& w : words) args.push_back(w == kAddress ? address : w);
    tm_test::run_tool(args, &out, kRunBoundMs, pass_over);
    pass_over();  // what came before a program that ended by itself
  }
  static constexpr int kRunBoundMs = 40000;
};

// Runs every program at once, headless, with a private home folder, in the environment
// set here (the threads do not change it).
void run_all(const std::string& program, std::vector<std::unique_ptr<play_run>>& runs) {
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string child_asan = (asan && *asan ? std::string(asan) + ":" : std::string()) + "detect_leaks=0";
  tm_test::scoped_env display("DISPLAY", nullptr);
  tm_test::scoped_env picture("QUELLIX_PICTURE", nullptr);
  tm_test::scoped_env home("HOME", tm_test::fresh_dir("quellix-play-home").c_str());
  tm_test::scoped_env leaks("ASAN_OPTIONS", child_asan.c_str());
  std::vector<std::thread> threads;
  for (auto& r : runs) threads.emplace_back([&program, run = r.get()] { run->run(program); });
  for (std::thread& t : threads) t.join();
}

// The first pass starts with the track's first fix and brings every fix once, in order,
// none replaced by an in-between position.
void judge_first_pass(const play_run* r) {
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
}

// When each fix was heard, in seconds after the run's START (the replay clock's start).
std::vector<double> fix_moments(const play_run* r) {
  std::vector<double> out;
  for (const heard_datagram& h : r->heard)
    if (!heard_fixes({h.text}).empty()) out.push_back(h.at_s - r->heard.front().at_s);
  return out;
}

// The replay ticks every 0.4 s; the wire, the listener's 20 ms polls and a loaded machine
// add some more.
constexpr double kTickS = 0.4;
constexpr double kLateS = 0.35;
constexpr double kEarlyS = 0.05;

TEST(QuellixPlayRun, TheFirstPassBringsEveryFixInOrderFromTheFirstOn) {
  const std::string program = tm_test::program_folder() + "quellix";
  if (!file_exists(program.c_str())) GTEST_SKIP() << "no program " << program;
  const play_case cases[] = {
      // Fixes 1 s and 2 s apart, 11 m each: the 2 s gap lies exactly on the resampler's
      // first step, where nothing is to be inserted.
      {"timed", gpx_track({0, 0.0001, 0.0002, 0.0003}, {0, 1, 2, 4}), {0, 1, 2, 4}},
      // Six fixes 2 s apart: the second comes 2 s after the first, the last 10 s after.
      {"every_2_s", gpx_track({0, 0.0001, 0.0002, 0.0003, 0.0004, 0.0005}, {0, 2, 4, 6, 8, 10}),
       {0, 2, 4, 6, 8, 10}},
      // Without times, about 50 km/h: 30 m (some 2.2 s, with an in-between position),
      // then 11 m: the last fix some 2.9 s after the first.
      {"untimed", gpx_track({0, 0.00027, 0.00037}, {}), {}, 2.9},
  };
  std::vector<std::unique_ptr<play_run>> runs;
  for (const play_case& c : cases) {
    auto r = std::make_unique<play_run>();
    r->name = c.name;
    r->words = {"-play", tm_test::write_file(tm_test::fresh_dir(c.name) + "track.gpx", c.gpx)};
    r->track = gpx_track_points(c.gpx);
    ASSERT_NE(r->listener.sock.port, 0);
    runs.push_back(std::move(r));
  }
  run_all(program, runs);

  // Each run is judged on its own (an assertion ends only its own judgement).
  const auto judge = [](const play_run* r, const play_case& c) {
    judge_first_pass(r);
    if (::testing::Test::HasFatalFailure()) return;
    const std::vector<double> at = fix_moments(r);
    ASSERT_EQ(at.size(), r->track.size());
    // With times: each fix when the replay clock reaches it, never before.
    for (size_t i = 0; i < c.due_s.size() && i < at.size(); ++i) {
      EXPECT_GE(at[i], c.due_s[i] - kEarlyS) << "fix " << i << " before its time";
      EXPECT_LE(at[i], c.due_s[i] + kTickS + kLateS) << "fix " << i << " late";
    }
    // Without: the pace of 50 km/h.
    if (c.due_s.empty()) EXPECT_GE(at.back(), c.last_fix_not_before_s - kEarlyS);
  };
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    judge(runs[i].get(), cases[i]);
  }
}

// "quellix -play folder/track.gpx", "-play track.gpx" or a lone "track.gpx" typed in the
// working folder: the track is heard as with its absolute path. "-load" loads it without
// playing: the new player's STOP comes before the STOP of the program's end, and no START.
TEST(QuellixPlayPaths, AFileNamedRelativeToTheWorkingFolderIsReplayed) {
  const std::string program = tm_test::program_folder() + "quellix";
  if (!file_exists(program.c_str())) GTEST_SKIP() << "no program " << program;
  const std::string gpx = gpx_track({0, 0.0001, 0.0002}, {0, 1, 2});
  const std::string work = tm_test::fresh_dir("quellix-work");
  std::filesystem::create_directories(work + "samples");
  tm_test::write_file(work + "samples/t3.gpx", gpx);
  tm_test::write_file(work + "t3.gpx", gpx);
  struct path_case {
    const char* name;
    std::vector<std::string> words;
    std::string folder;
    bool plays;
  };
  const path_case cases[] = {
      {"play_with_folder", {"-play", "samples/t3.gpx"}, work, true},
      {"play_bare_name", {"-play", "t3.gpx"}, work, true},
      {"play_dot_folder", {"-play", "./t3.gpx"}, work, true},
      {"lone_first_word", {"t3.gpx", kAddress}, work + "samples/", true},
      {"load_with_folder", {"-load", "samples/t3.gpx"}, work, false},
  };
  std::vector<std::unique_ptr<play_run>> runs;
  for (const path_case& c : cases) {
    auto r = std::make_unique<play_run>();
    r->name = c.name;
    r->words = c.words;
    r->folder = c.folder;
    if (c.plays) r->track = gpx_track_points(gpx);
    ASSERT_NE(r->listener.sock.port, 0);
    runs.push_back(std::move(r));
  }
  run_all(program, runs);
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const play_run* r = runs[i].get();
    if (cases[i].plays) {
      judge_first_pass(r);
    } else {
      EXPECT_FALSE(r->run_started) << "a track loaded with -load does not play";
      EXPECT_GE(r->stops_before_start, 2) << "no player was made; the program said:\n" << r->out;
    }
  }
}

}  // namespace
}  // namespace qx_test
