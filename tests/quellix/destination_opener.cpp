// The opener of the destinations: the nine loopback ports, IPADR items (well formed,
// cut short, impossible, too long), the ACTIVE_ and INACTIVE_ keys, a destination named
// twice opened once; the opener thread running while other threads send and rebuild;
// and the datagrams as an outside listener (socat) writes them to a file.
//
// These tests send to (and some bind) the fixed ports 7551-7559, hence their suite names.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/config.h"
#include "tests/quellix/destinations_fixture.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"
#include "tests/support/wait.h"

extern char** environ;

namespace qx_test {
namespace {

std::vector<std::string> local(int first, int last) {
  std::vector<std::string> out;
  for (int p = first; p <= last; ++p) out.push_back("localhost:" + std::to_string(p));
  return out;
}

std::vector<std::string> plus(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using Ports7551Opener = DestinationsTest;

TEST_F(Ports7551Opener, DefaultListsWithoutAddressesOrKeys) {
  udp_listener p7551(7551), p7552(7552), p7553(7553);
  qx_open_destinations();
  // 7553 went into the third slot and out again: the slot stays, empty.
  EXPECT_EQ(qx_destination_texts(QX_SELECTED),
            (std::vector<std::string>{"localhost:7551", "localhost:7552", ""}));
  EXPECT_EQ(qx_destination_texts(QX_NOT_SELECTED), local(7553, 7559));
  EXPECT_EQ(qx_destination_texts(QX_SENDING), qx_destination_texts(QX_SELECTED));
  EXPECT_EQ(sockets(), 9);
  // The rebuild at the end frames the new sending list with a STOP.
  EXPECT_EQ(p7551.take(), std::vector<std::string>{kStop});
  EXPECT_EQ(p7552.take(), std::vector<std::string>{kStop});
  EXPECT_TRUE(p7553.take().empty());
  qx_diffuse("$GPGGA,x*00\r\n", 13, 0);
  EXPECT_EQ(p7551.take(), std::vector<std::string>{"$GPGGA,x*00\r\n"});
  EXPECT_TRUE(p7553.take().empty());
}

struct ipadr_case {
  const char* name;
  std::string ipadr;
  std::vector<std::string> selected;  // non-empty slots, in slot order
};

class Ports7551Ipadr : public DestinationsTest, public ::testing::WithParamInterface<ipadr_case> {};

TEST_P(Ports7551Ipadr, ItemsAreReadUpToTheFirstBadOne) {
  const ipadr_case& c = GetParam();
  config_set("IPADR", c.ipadr.c_str());
  qx_open_destinations();
  EXPECT_EQ(names(QX_SELECTED), c.selected) << c.ipadr.substr(0, 80);
  // Any IPADR unselects every loopback port.
  EXPECT_EQ(names(QX_NOT_SELECTED), local(7551, 7559));
  EXPECT_EQ(sockets(), 9 + int(c.selected.size()));
}

const std::string kLongHost(1000, 'h');

INSTANTIATE_TEST_SUITE_P(
    Ports7551Items, Ports7551Ipadr,
    ::testing::Values(
        ipadr_case{"Two", "127.0.0.2:4000_127.0.0.3:4001", {"127.0.0.2:4000", "127.0.0.3:4001"}},
        ipadr_case{"PortThenLetters", "127.0.0.2:12abc_127.0.0.3:4001", {"127.0.0.2:12"}},
        ipadr_case{"LettersThenColon", "127.0.0.2:12xyz_127.0.0.3:4001", {"127.0.0.2:12"}},
        ipadr_case{"TrailingSeparator", "127.0.0.2:4000_", {"127.0.0.2:4000"}},
        ipadr_case{"BlankBeforePort", "127.0.0.2: 4000", {"127.0.0.2:4000"}},
        ipadr_case{"NoColon", "127.0.0.2", {}},
        ipadr_case{"NoHost", ":4000_127.0.0.3:4001", {}},
        ipadr_case{"NoPort", "127.0.0.2:_127.0.0.3:4001", {}},
        ipadr_case{"SecondWithoutPort", "127.0.0.2:4000_127.0.0.3", {"127.0.0.2:4000"}},
        // Impossible ports are refused, never wrapped; the next item is still read.
        ipadr_case{"PortAbove16Bits", "127.0.0.2:69536_127.0.0.3:4001", {"127.0.0.3:4001"}},
        ipadr_case{"HugePort", "127.0.0.2:99999999999_127.0.0.3:4001", {"127.0.0.3:4001"}},
        ipadr_case{"PortZero", "127.0.0.2:0_127.0.0.3:4001", {"127.0.0.3:4001"}},
        ipadr_case{"NegativePort", "127.0.0.2:-4000_127.0.0.3:4001", {"127.0.0.3:4001"}},
        // A host too long for its buffer is refused whole, not cut into another name.
        ipadr_case{"HostOf1000", kLongHost + ":4000_127.0.0.3:4001", {"127.0.0.3:4001"}},
        ipadr_case{"NamedTwice", "127.0.0.2:4000_127.0.0.2:4000", {"127.0.0.2:4000"}}),
    [](const ::testing::TestParamInfo<ipadr_case>& info) { return std::string(info.param.name); });

// A loopback port named in IPADR stays one channel: the item brings it back.
TEST_F(Ports7551Opener, LoopbackNamedInIpadrIsSelectedAgainNotOpenedTwice) {
  config_set("IPADR", "localhost:7552");
  qx_open_destinations();
  EXPECT_EQ(names(QX_SELECTED), std::vector<std::string>{"localhost:7552"});
  EXPECT_EQ(names(QX_NOT_SELECTED), plus(local(7551, 7551), local(7553, 7559)));
  EXPECT_EQ(sockets(), 9);
}

TEST_F(Ports7551Opener, ActiveAndInactiveKeys) {
  config_set("ACTIVE_NMEA_UDP_DIFFUSE_ADR1", "127.0.0.2 4000");
  config_set("ACTIVE_NMEA_UDP_DIFFUSE_ADR3", "  127.0.0.3   4001");  // gaps and blanks
  config_set("ACTIVE_NMEA_UDP_DIFFUSE_ADR9", "localhost 7555");    // a known one comes back
  config_set("ACTIVE_NMEA_UDP_DIFFUSE_ADR4", "127.0.0.4");          // no port
  config_set("ACTIVE_NMEA_UDP_DIFFUSE_ADR5", (std::string(96, 'k') + " 4000").c_str());  // host too long
  config_set("ACTIVE_NMEA_UDP_DIFFUSE_ADR6", "127.0.0.6 70000");
  config_set("INACTIVE_NMEA_UDP_DIFFUSE_ADR1", "127.0.0.5 4002");
  config_set("INACTIVE_NMEA_UDP_DIFFUSE_ADR2", "127.0.0.3 4001");  // active above: sent back
  config_set("ACTIVE_NMEA_UDP_DIFFUSE_ADR10", "127.0.0.7 4003");   // beyond the nine keys
  qx_open_destinations();
  EXPECT_EQ(names(QX_SELECTED), (std::vector<std::string>{"localhost:7551", "localhost:7552", "127.0.0.2:4000",
                                                          "localhost:7555"}));
  // 127.0.0.5 takes the slot 7555 left empty; 127.0.0.3 goes after the last slot.
  EXPECT_EQ(names(QX_NOT_SELECTED),
            plus(plus(plus(local(7553, 7554), {"127.0.0.5:4002"}), local(7556, 7559)), {"127.0.0.3:4001"}));
  EXPECT_EQ(sockets(), 9 + 3);
}

TEST_F(Ports7551Opener, DestinationNamedEverywhereIsOpenedOnce) {
  config_set("IPADR", "127.0.0.2:4000_127.0.0.2:4000");
  config_set("ACTIVE_NMEA_UDP_DIFFUSE_ADR1", "127.0.0.2 4000");
  config_set("ACTIVE_NMEA_UDP_DIFFUSE_ADR2", "127.0.0.2 4000");
  config_set("INACTIVE_NMEA_UDP_DIFFUSE_ADR1", "127.0.0.2 4000");
  qx_open_destinations();
  EXPECT_TRUE(names(QX_SELECTED).empty());
  EXPECT_EQ(names(QX_NOT_SELECTED), plus(local(7551, 7559), {"127.0.0.2:4000"}));
  EXPECT_EQ(sockets(), 10);
}

// The opener thread fills the lists while the live reader sends and the window thread
// rebuilds the sending list: every walk holds the lists' mutex (the thread sanitizer
// build reports any walk that does not).
TEST_F(Ports7551Opener, OpenerThreadAlongsideSendersAndRebuilds) {
  config_set("IPADR", "");
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) qx_diffuse("$GPGGA,r*00\r\n", 13, 0);
  });
  ASSERT_TRUE(qx_start_destination_thread());
  // At least one rebuild, even when the opener is done before the first look: the
  // thread may well finish first once its ports were opened by an earlier run.
  int rebuilds = 0;
  do {
    qx_reset_destinations();
    qx_destination_texts(QX_SELECTED);
    ++rebuilds;
  } while (qx_destinations_opening());
  stop = true;
  reader.join();
  EXPECT_GT(rebuilds, 0);
  EXPECT_EQ(names(QX_SELECTED), (std::vector<std::string>{"localhost:7551", "localhost:7552"}));
  EXPECT_EQ(names(QX_SENDING), names(QX_SELECTED));
  EXPECT_EQ(sockets(), 9);
}

// ---- An outside listener --------------------------------------------------------------------

// socat receiving UDP on 127.0.0.1:port and appending every datagram to a file.
class socat_listener {
 public:
  socat_listener(int port, const std::string& file) : file_(file) {
    const std::string recv = "UDP4-RECV:" + std::to_string(port) + ",bind=127.0.0.1";
    const std::string out = "OPEN:" + file + ",creat,append";
    std::vector<std::string> args = {"socat", "-u", recv, out};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "socat", nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    // Ready once the port is taken.
    tm_test::wait_for([&] { return pid_ < 0 || port_taken(port); }, 5000);
  }
  ~socat_listener() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status;
      waitpid(pid_, &status, 0);
    }
  }
  bool running() const { return pid_ > 0; }
  // The file's bytes once they have reached `size` (bounded real wait).
  std::string contents(size_t size) const {
    std::string text;
    tm_test::wait_for(
        [&] {
          std::ifstream in(file_, std::ios::binary);
          std::stringstream ss;
          ss << in.rdbuf();
          text = ss.str();
          return text.size() >= size;
        },
        5000);
    return text;
  }

 private:
  // Looked up in the kernel's table rather than by binding, which could take the port
  // from under socat.
  static bool port_taken(int port) {
    std::ifstream in("/proc/net/udp");
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X ", unsigned(port));
    for (std::string line; std::getline(in, line);)
      if (line.find(local) != std::string::npos) return true;
    return false;
  }
  std::string file_;
  pid_t pid_ = -1;
};

TEST_F(Ports7551Opener, SocatOnTheFirstLoopbackPortWritesTheExactBytes) {
  if (!tm_test::tool_present("socat")) GTEST_SKIP() << "socat is not installed";
  const std::string file = tm_test::fresh_dir("socat7551") + "received.bin";
  socat_listener socat(7551, file);
  ASSERT_TRUE(socat.running());
  qx_open_destinations();  // STOP to the new sending list
  const std::string group = "$GPGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
                            "$GPRMC,120000,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
  qx_diffuse(group.data(), int(group.size()), 0);
  const std::string expected = std::string(kStop) + group;
  EXPECT_EQ(socat.contents(expected.size()), expected);
}

TEST_F(Ports7551Opener, SocatOnAnAddedPortHearsOnlyWhileSelected) {
  if (!tm_test::tool_present("socat")) GTEST_SKIP() << "socat is not installed";
  int port;
  {
    udp_listener free_port;
    port = free_port.port;
  }
  const std::string file = tm_test::fresh_dir("socat_added") + "received.bin";
  socat_listener socat(port, file);
  ASSERT_TRUE(socat.running());
  add("127.0.0.1", port);
  qx_reset_destinations();                    // STOP
  qx_diffuse("$ONE\r\n", 6, 0);               // heard
  qx_remove_destination("127.0.0.1", port);
  qx_diffuse("$TWO\r\n", 6, 1);               // still in the sending list: heard
  qx_reset_destinations();                    // STOP to the old list, not the new one
  qx_diffuse("$THREE\r\n", 8, 1);             // not heard
  add("127.0.0.1", port);
  qx_reset_destinations();                    // STOP to the new list only
  qx_diffuse("$FOUR\r\n", 7, 1);              // heard, after anything sent before it
  const std::string expected = std::string(kStop) + "$ONE\r\n$TWO\r\n" + kStop + kStop + "$FOUR\r\n";
  EXPECT_EQ(socat.contents(expected.size()), expected);
}

}  // namespace
}  // namespace qx_test
