// Inflate speed: the system's Deflate decoder against zlib's, on the same streams, in
// the same program.
//
// Figures guarded (Release, one core), as megabytes per second of decoded output:
//   Inflate/text/ours, Inflate/image/ours - a 200 MB zlib stream of generated text
//                          (words, lines) and one of generated image rows (gradients,
//                          flat areas, lines and noise), compressed by zlib at its
//                          default level; target: at least the zlib figure below.
//   Inflate/text/zlib, Inflate/image/zlib - zlib's inflate on the same streams into a
//                          newly allocated flat buffer, the Adler-32 check included on
//                          both sides.
//   Inflate/.../zlib-warm  - the same into one buffer reused from run to run: not a
//                          target, it shows what the allocation of new memory costs.
//
// The system's side reads the stream through the buffered reader from an in-memory
// file and writes the output into a new line store, as gzip and ZIP members are
// decoded; that is part of what is measured. Every decoded output is checked against
// the CRC-32 of the input before the figures are taken.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/checksum.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/inflate.h"
#include "core/line_store.h"
#include "core/object.h"
#include "core/reader.h"

namespace {

constexpr size_t kInputSize = size_t(200) * 1000 * 1000;

// ---- Generated inputs -------------------------------------------------------------------

struct lcg {
  uint32_t state;
  uint32_t next() {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  }
};

std::string text_input() {
  static const char* const kWords[] = {
      "map", "layer", "track", "point", "route", "waypoint", "north", "south", "east",
      "west", "grid", "scale", "datum", "ellipsoid", "projection", "contour", "river",
      "road", "bridge", "forest", "village", "summit", "valley", "coast", "harbour",
      "the", "of", "and", "to", "in", "a", "is", "on", "altitude", "latitude",
      "longitude", "meridian", "parallel", "survey", "sheet", "legend", "symbol"};
  constexpr size_t kCount = sizeof kWords / sizeof kWords[0];
  lcg rng{1};
  std::string s;
  s.reserve(kInputSize + 64);
  int in_line = 0;
  while (s.size() < kInputSize) {
    s += kWords[rng.next() % kCount];
    if (rng.next() % 50 == 0) s += std::to_string(rng.next() % 100000);
    if (++in_line > 8 + int(rng.next() % 8)) {
      s += ".\n";
      in_line = 0;
    } else {
      s += ' ';
    }
  }
  s.resize(kInputSize);
  return s;
}

// RGB rows of 4000 pixels: gradients with a little noise, flat areas and lines.
std::string image_input() {
  constexpr int kWidth = 4000;
  lcg rng{2};
  std::string s(kInputSize, '\0');
  uint8_t* p = reinterpret_cast<uint8_t*>(s.data());
  const size_t row_bytes = size_t(kWidth) * 3;
  for (size_t row = 0; row * row_bytes < kInputSize; ++row) {
    const int band = int(row / 97 % 4);
    for (int x = 0; x < kWidth; ++x) {
      const size_t at = row * row_bytes + size_t(x) * 3;
      if (at + 3 > kInputSize) break;
      uint8_t r, g, b;
      if (band == 0) {  // flat paper colour
        r = 240, g = 236, b = 220;
      } else if ((x + int(row)) % 211 < 3) {  // a drawn line
        r = 20, g = 20, b = 120;
      } else {  // a shaded area
        const uint32_t noise = band == 3 ? rng.next() % 8 : 0;
        r = uint8_t(x / 16 + noise), g = uint8_t(row / 8 + noise), b = uint8_t((x + row) / 32);
      }
      p[at] = r, p[at + 1] = g, p[at + 2] = b;
    }
  }
  return s;
}

struct stream {
  std::string compressed;
  uint32_t crc = 0;
  size_t size = 0;
};

stream compress_input(const std::string& data) {
  stream st;
  st.crc = crc32_update(kCrc32Init, data.data(), data.size());
  st.size = data.size();
  uLongf bound = compressBound(uLong(data.size()));
  st.compressed.resize(bound);
  if (compress2(reinterpret_cast<Bytef*>(st.compressed.data()), &bound,
                 reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()),
                 Z_DEFAULT_COMPRESSION) != Z_OK)
    std::abort();
  st.compressed.resize(bound);
  return st;
}

const stream& input_stream(int kind) {
  static std::map<int, stream> made;
  auto it = made.find(kind);
  if (it == made.end()) it = made.emplace(kind, compress_input(kind == 0 ? text_input() : image_input())).first;
  return it->second;
}

// ---- File objects for the decoder ---------------------------------------------------------
// The smallest stand-in of the map model's file objects: a record of a run-time class,
// its fields and in-memory content kept beside it.

struct bench_file {
  int64_t fields[FF_FIELD_COUNT] = {};
  obj_t* store = nullptr;
};
std::map<obj_t*, bench_file> g_files;
int g_class = 0;

bench_file* find(obj_t* f) {
  auto it = g_files.find(f);
  return it == g_files.end() ? nullptr : &it->second;
}
int64_t get_field(obj_t* f, file_field field) {
  bench_file* d = find(f);
  return d ? d->fields[field] : (field == FF_TYPE || field == FF_FORMAT ? 125 : 0);
}
void set_field(obj_t* f, file_field field, int64_t v) {
  if (bench_file* d = find(f)) d->fields[field] = v;
}
const char* name_of(obj_t*) { return ""; }
double date_of(obj_t*) { return 0; }
obj_t* store_of(obj_t* f) {
  bench_file* d = find(f);
  return d ? d->store : nullptr;
}
void set_store(obj_t* f, obj_t* s) {
  bench_file* d = find(f);
  if (!d || d->store == s) return;
  obj_t* old = d->store;
  d->store = s;
  if (old) free_obj(&old);
}
obj_t* no_object(obj_t*) { return nullptr; }
void no_link(obj_t*, obj_t*) {}
obj_t* new_in_memory() {
  obj_t* f = nullptr;
  alloc_obj(g_class, &f);
  g_files[f].fields[FF_TYPE] = 7;
  filemobj_t* s = nullptr;
  filemobj_create(f, f, 0, 32768, 0, &s);
  set_store(f, reinterpret_cast<obj_t*>(s));
  return f;
}
obj_t* no_open(obj_t*, const char*) { return nullptr; }
obj_t* no_find(const char*) { return nullptr; }
int no_load(obj_t*, obj_t*, int) { return 1; }
void free_file(obj_t* f) {
  set_store(f, nullptr);
  g_files.erase(f);
  free_obj(&f);
}

const file_ops kOps = {get_field, set_field, name_of,       date_of,  store_of,
                       set_store, no_object, no_link,       new_in_memory,
                       no_open,   no_find,   no_load,       free_file};

const attr_desc kAttrs[] = {{"id", AT_ID}, {"type", AT_INT}};
const objdesc kDesc = {"benchfile", 2, kAttrs};

void setup_store() {
  static bool done = false;
  if (done) return;
  done = true;
  obj_store_init();
  obj_register_core_classes();
  line_store_register();
  obj_register_user_class(&kDesc, &g_class);
  file_ops_install(&kOps);
}

// An in-memory file object holding the compressed stream.
obj_t* memory_file(const std::string& bytes) {
  obj_t* f = new_in_memory();
  filemobj_append(reinterpret_cast<filemobj_t*>(store_of(f)), bytes.data(), int64_t(bytes.size()));
  set_field(f, FF_SIZE, int64_t(bytes.size()));
  return f;
}

// ---- The two decoders ---------------------------------------------------------------------

// Decodes with the system's inflater into a fresh line store; returns that store's
// file object (the caller frees it).
obj_t* inflate_ours(obj_t* input) {
  obj_t* output = new_in_memory();
  inflater_t inf;
  inf.input = input;
  inf.output = inf.output_file = output;
  inf.store = reinterpret_cast<filemobj_t*>(store_of(output));
  rd_open(input, 131072, 1);
  if (zlib_read_header(&inf) != 0 || inflate_blocks(&inf) != 0) {
    std::fprintf(stderr, "inflate failed: %d\n", get_gblerr());
    std::abort();
  }
  return output;
}

uint32_t crc_of_store(obj_t* file) {
  filemobj_t* s = reinterpret_cast<filemobj_t*>(store_of(file));
  uint32_t crc = kCrc32Init;
  int64_t at = 0;
  const int64_t size = filemobj_data_size(s);
  while (at < size) {
    int64_t n = size - at;
    const uint8_t* p = filemobj_read_ptr(s, at, &n);
    if (!p || n <= 0) break;
    crc = crc32_update(crc, p, size_t(n));
    at += n;
  }
  return at == size ? crc : ~crc;
}

void inflate_zlib(const stream& st, uint8_t* out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) std::abort();
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(st.compressed.data()));
  z.avail_in = uInt(st.compressed.size());
  z.next_out = out;
  z.avail_out = uInt(st.size);
  if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.total_out != st.size) std::abort();
  inflateEnd(&z);
}

void BM_InflateOurs(benchmark::State& state, int kind) {
  setup_store();
  const stream& st = input_stream(kind);
  obj_t* input = memory_file(st.compressed);
  obj_t* check = inflate_ours(input);
  if (crc_of_store(check) != st.crc) {
    state.SkipWithError("decoded data differs from the input");
    free_file(check);
    free_file(input);
    return;
  }
  free_file(check);
  for (auto _ : state) {
    obj_t* output = inflate_ours(input);
    state.PauseTiming();
    free_file(output);
    state.ResumeTiming();
  }
  rd_close_all();
  free_file(input);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(st.size));
}

// zlib into new memory each time, as ours writes into a new line store; with `warm`,
// into one buffer kept from the first run (its pages already mapped).
void BM_InflateZlib(benchmark::State& state, int kind, bool warm) {
  const stream& st = input_stream(kind);
  std::unique_ptr<uint8_t[]> kept(new uint8_t[st.size]);
  inflate_zlib(st, kept.get());
  if (crc32_update(kCrc32Init, kept.get(), st.size) != st.crc) {
    state.SkipWithError("zlib's output differs from the input");
    return;
  }
  if (!warm) kept.reset();
  for (auto _ : state) {
    if (warm) {
      inflate_zlib(st, kept.get());
      benchmark::DoNotOptimize(kept.get());
    } else {
      std::unique_ptr<uint8_t[]> out(new uint8_t[st.size]);
      inflate_zlib(st, out.get());
      benchmark::DoNotOptimize(out.get());
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(st.size));
}

void register_all() {
  const struct {
    const char* name;
    int kind;
  } inputs[] = {{"text", 0}, {"image", 1}};
  for (const auto& in : inputs) {
    const std::string base = std::string("Inflate/") + in.name;
    benchmark::RegisterBenchmark((base + "/ours").c_str(), BM_InflateOurs, in.kind)
        ->Unit(benchmark::kMillisecond)->MinTime(3.0);
    benchmark::RegisterBenchmark((base + "/zlib").c_str(), BM_InflateZlib, in.kind, false)
        ->Unit(benchmark::kMillisecond)->MinTime(3.0);
    benchmark::RegisterBenchmark((base + "/zlib-warm").c_str(), BM_InflateZlib, in.kind, true)
        ->Unit(benchmark::kMillisecond)->MinTime(3.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
