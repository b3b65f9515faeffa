// ZIP archives: the walk of the local headers (members made, folder entries and the
// central directory passed over, the stops), the decoding of compressed members, the
// reading of stored ones in place, the check of every member's CRC-32, and a member
// too large for the memory budget.
#include "core/checksum.h"
#include "core/obj_list.h"
#include "tests/core/inflate_fixture.h"

namespace tm_test {
namespace {

class ZipArchive : public InflateFixture {};

std::string input(const std::string& kind) { return read_deflate_fixture("input_" + kind + ".bin"); }

std::vector<obj_t*> list_archive(obj_t* archive) {
  container_t* target = nullptr;
  obj_list_new(&target);
  EXPECT_EQ(zip_list_archive(archive, reinterpret_cast<obj_t*>(target)), 0);
  EXPECT_EQ(get_gblerr(), 0);
  std::vector<obj_t*> out;
  for (int i = 0; i < obj_list_count(target); ++i) {
    obj_t* e = nullptr;
    out.push_back(obj_list_get(target, i, &e));
  }
  free_obj(&target);
  return out;
}

// Everything the reader gives for a file object.
std::string read_through_reader(obj_t* f) {
  if (rd_open(f, 0, 1) != 0) return "<cannot open>";
  std::string out(size_t(rd_size()), '\0');
  if (rd_read_bytes(out.data(), int64_t(out.size())) != int64_t(out.size())) return "<short>";
  return out;
}

struct member_case {
  std::string name;
  int kind;
  std::string input;  // fixture input kind it holds
};

struct archive_case {
  const char* file;
  std::vector<member_case> members;
};

TEST_F(ZipArchive, ListsAndReadsMembers) {
  const archive_case cases[] = {
      {"python.zip", {{"docs/readme.txt", 1, "text"}, {"data/image.bin", 0, "image"}, {"runs.bin", 1, "runs"}}},
      {"tool.zip", {{"text.txt", 1, "text"}, {"sub/far.bin", 1, "far"}, {"stored.bin", 0, "image"}}},
      {"extra_field.zip", {{"first.txt", 1, "text"}, {"second.bin", 1, "runs"}}},
      {"method9.zip", {{"wide.txt", 2, "text"}}},
      {"stops.zip", {{"kept.txt", 1, "text"}}},           // then an encrypted member
      {"unknown_method.zip", {{"kept.txt", 1, "text"}}},  // then method 12
      {"truncated.zip", {{"first.txt", 1, "text"}}},      // then data past the end
      {"empty_member.zip", {{"full.txt", 1, "text"}}},    // after an empty member
  };
  for (const archive_case& c : cases) {
    SCOPED_TRACE(c.file);
    obj_t* archive = fixture_file(c.file);
    const std::vector<obj_t*> members = list_archive(archive);
    EXPECT_EQ(file_get(archive, FF_TYPE), 128);
    EXPECT_EQ(file_get(archive, FF_FORMAT), 53);
    ASSERT_EQ(members.size(), c.members.size());
    for (size_t i = 0; i < members.size(); ++i) {
      const member_case& m = c.members[i];
      SCOPED_TRACE(m.name);
      obj_t* f = members[i];
      const std::string expected = input(m.input);
      EXPECT_EQ(std::string(file_name_of(f)), std::string(file_name_of(archive)) + "/" + m.name);
      EXPECT_EQ(get_file_ops().container(f), archive);
      EXPECT_EQ(file_get(f, FF_TYPE), 7);
      EXPECT_EQ(file_get(f, FF_FORMAT), 53);
      EXPECT_EQ(file_get(f, FF_PACK_KIND), m.kind);
      EXPECT_EQ(file_get(f, FF_SIZE), int64_t(expected.size()));
      EXPECT_TRUE(read_through_reader(f) == expected);
      EXPECT_EQ(file_get(f, FF_CONTENT_STATE), 2);
      EXPECT_EQ(get_gblerr(), 0);
    }
  }
}

// Folder entries make no member; the central directory after the last local header
// ends the walk without an error.
TEST_F(ZipArchive, FolderEntriesMakeNoMember) {
  for (const char* file : {"python.zip", "tool.zip"}) {
    SCOPED_TRACE(file);
    obj_t* archive = fixture_file(file);
    const std::vector<obj_t*> members = list_archive(archive);
    EXPECT_EQ(members.size(), 3u);
    const std::string base = file_name_of(archive);
    for (const char* folder : {"/docs/", "/docs", "/sub/", "/sub", "/data/"})
      EXPECT_EQ(get_file_ops().find_by_name((base + folder).c_str()), nullptr) << folder;
  }
}

// A member whose sizes follow its data cannot be stepped over: the archive is
// unreadable, and what the walk made is dropped; a file object that existed before
// the walk is left alone.
TEST_F(ZipArchive, DataDescriptorMarksTheArchiveUnreadable) {
  obj_t* archive = fixture_file("descriptor.zip");
  const std::string base = file_name_of(archive);
  obj_t* earlier = stub_file((base + "/first.txt").c_str());
  EXPECT_TRUE(list_archive(archive).empty());
  EXPECT_EQ(file_get(archive, FF_TYPE), 125);
  EXPECT_EQ(get_file_ops().find_by_name((base + "/first.txt").c_str()), earlier);
  EXPECT_EQ(get_file_ops().find_by_name((base + "/streamed.bin").c_str()), nullptr);
  EXPECT_EQ(get_file_ops().find_by_name((base + "/third.bin").c_str()), nullptr);
  // Without the earlier object, the member the walk made is dropped as well.
  obj_t* again = fixture_file("descriptor.zip");
  const std::string other = file_name_of(again);
  EXPECT_TRUE(list_archive(again).empty());
  EXPECT_EQ(file_get(again, FF_TYPE), 125);
  EXPECT_EQ(get_file_ops().find_by_name((other + "/first.txt").c_str()), nullptr);
}

// A member already known by its path is taken as it is, not made twice.
TEST_F(ZipArchive, TakesKnownMembers) {
  obj_t* archive = fixture_file("extra_field.zip");
  obj_t* earlier = stub_file((std::string(file_name_of(archive)) + "/second.bin").c_str());
  const std::vector<obj_t*> members = list_archive(archive);
  ASSERT_EQ(members.size(), 2u);
  EXPECT_TRUE(members[0] == earlier || members[1] == earlier);
}

// The check value is found in the local header however long the extra field between
// it and the data (bad.bin's holds 3000 bytes, bad_stored.bin's 70).
TEST_F(ZipArchive, ChecksTheCrcOfEveryMember) {
  obj_t* archive = fixture_file("bad_crc.zip");
  const std::vector<obj_t*> members = list_archive(archive);
  ASSERT_EQ(members.size(), 3u);
  const struct {
    size_t index;
    int code;
    int type;
  } cases[] = {{0, 0, 7}, {1, 14, 125}, {2, 14, 125}};
  for (const auto& c : cases) {
    SCOPED_TRACE(file_name_of(members[c.index]));
    obj_t* f = members[c.index];
    EXPECT_EQ(zip_open_member(f, 0), c.code);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_EQ(file_get(f, FF_TYPE), c.type);
    if (c.code != 0) {
      EXPECT_EQ(file_store_of(f), nullptr);
    }
  }
  EXPECT_TRUE(store_bytes(file_store_of(members[0])) == input("text"));
}

// A probe decodes the first blocks only and leaves the member marked partial.
TEST_F(ZipArchive, ProbeDecodesAPrefix) {
  obj_t* archive = fixture_file("tool.zip");
  const std::vector<obj_t*> members = list_archive(archive);
  ASSERT_EQ(members.size(), 3u);
  obj_t* far = members[1];
  ASSERT_EQ(zip_open_member(far, 100), 0);
  EXPECT_EQ(file_get(far, FF_CONTENT_STATE), 1);
  EXPECT_EQ(file_get(far, FF_TYPE), 7);
  const std::string got = store_bytes(file_store_of(far));
  EXPECT_GE(got.size(), 100u);
  EXPECT_TRUE(got == input("far").substr(0, got.size()));
  EXPECT_EQ(file_get(far, FF_SIZE), int64_t(got.size()));
}

// A local header (method 8, no data descriptor) and its data.
std::string deflated_member(const std::string& name, const std::string& packed, uint32_t size,
                            uint32_t crc, uint32_t method = 8) {
  std::string h;
  auto u16 = [&h](uint32_t v) {
    h.push_back(char(v & 0xFF));
    h.push_back(char(v >> 8 & 0xFF));
  };
  auto u32 = [&u16](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  u32(0x04034b50);
  u16(20);  // version needed
  u16(0);   // flags
  u16(method);  // 8 Deflate, 9 its 64 KiB-window variant
  u32(0);   // time and date
  u32(crc);
  u32(uint32_t(packed.size()));
  u32(size);
  u16(uint32_t(name.size()));
  u16(0);  // no extra field
  return h + name + packed;
}

// Method 9 members are decoded with Deflate's codes and a 64 KiB window: the distance
// codes 30 and 31 that only that method defines are refused, never decoded as something
// else; Deflate's farthest distance (32768) is decoded.
TEST_F(ZipArchive, MethodNineRefusesItsOwnDistanceCodes) {
  const std::string head(40000, 'x');
  const struct {
    const char* name;
    int distance_code;
    uint32_t extra;
    int code;
  } cases[] = {{"code 30", 30, 0, 14}, {"code 31", 31, 0, 14}, {"code 29 at 32768", 29, 8191, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bit_writer w;
    w.bits(1, 1);
    w.bits(1, 2);
    for (char ch : head) w.fixed_symbol(uint8_t(ch));
    w.fixed_symbol(257);  // length 3
    w.fixed_distance(c.distance_code);
    w.bits(c.extra, c.distance_code == 29 ? 13 : 14);  // 30 and 31 (method 9) have 14
    w.fixed_symbol(256);
    const std::string data = head + "xxx";
    const std::string zip =
        deflated_member("m9.txt", w.data(), uint32_t(data.size()), crc32_update(kCrc32Init, data.data(), data.size()), 9);
    obj_t* archive = disk_file(zip, "m9.zip");
    const std::vector<obj_t*> members = list_archive(archive);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(zip_open_member(members[0], 0), c.code);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_EQ(file_get(members[0], FF_TYPE), c.code == 0 ? 7 : 125);
    if (c.code == 0) EXPECT_TRUE(store_bytes(file_store_of(members[0])) == data);
  }
}

class ZipBomb : public InflateBudgetFixture {};

// A member that would decode to 128 MiB stops at the memory budget (about 100 MiB): it
// becomes unreadable and the error is cleared; the member decoded before it keeps its
// content.
TEST_F(ZipBomb, StopsAtTheMemoryBudget) {
  const int copies = 128 * 1048576 / 258;
  const std::string text = input("text");
  const std::string packed = read_deflate_fixture("trailing.gz").substr(10, 1485 - 18);
  const std::string bytes =
      deflated_member("text.txt", packed, uint32_t(text.size()),
                      crc32_update(kCrc32Init, text.data(), text.size())) +
      deflated_member("bomb.bin", bomb_stream(copies), uint32_t(1 + copies * 258), 0);
  obj_t* archive = disk_file(bytes, "bomb.zip");
  const std::vector<obj_t*> members = list_archive(archive);
  ASSERT_EQ(members.size(), 2u);
  ASSERT_EQ(zip_open_member(members[0], 0), 0);
  EXPECT_EQ(zip_open_member(members[1], 0), ERR_MEMORY);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(file_get(members[1], FF_TYPE), 125);
  EXPECT_EQ(file_store_of(members[1]), nullptr);
  EXPECT_EQ(rd_open(members[1], 0, 1), 1);
  EXPECT_TRUE(store_bytes(file_store_of(members[0])) == text);
}

}  // namespace
}  // namespace tm_test
