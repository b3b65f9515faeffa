# Two commands matter: `make test` (sanitized build, every test through ctest) and
# `make run` (the map program on the bundled samples). Each installs what a fresh Debian
# lacks. `make tsan` runs the tests under ThreadSanitizer in a tree of its own (not in CI:
# run it before closing any change that touches threads); `make fuzz` runs the readers'
# libFuzzer harnesses (clang, FUZZ_SECONDS each); `make bench` prints the table
# comparing our work with outside tools on the same work (`make bench-micro`: the benchmark
# programs alone).
JOBS    ?= $(shell nproc)
ASAN_DIR = build/asan
REL_DIR  = build/release
TSAN_DIR = build/tsan
FUZZ_DIR = build/fuzz
FUZZ_SECONDS ?= 180

.PHONY: all deps test build-test tsan fuzz bench bench-micro run clean

all: build-test

deps:
	@bash scripts/install-deps.sh

$(ASAN_DIR)/build.ninja: | deps
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTM_SANITIZE=ON -DTM_TESTS=ON

build-test: deps $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR) -j $(JOBS)

test: build-test
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS) --timeout 300

$(TSAN_DIR)/build.ninja: | deps
	cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTM_TSAN=ON -DTM_TESTS=ON

tsan: deps $(TSAN_DIR)/build.ninja
	cmake --build $(TSAN_DIR) -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/support/tsan.supp" \
	  ctest --test-dir $(TSAN_DIR) --output-on-failure -j $(JOBS) --timeout 600

# libFuzzer harnesses of the byte readers (clang; not in CI): each runs FUZZ_SECONDS on its
# seed fixtures and a corpus of its own; what one finds lands in build/fuzz/artifacts/<name>/.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTM_FUZZ=ON -DTM_TESTS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target tm_fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash fuzz/run.sh $(FUZZ_DIR)

# The comparison table (docs/benchmarks.md): BENCH_ROWS=regex picks rows, BENCH_ROUNDS
# sets the rounds (default 3), BENCH_CORES the two pinned cores.
BENCH_PROGRAMS = tm_work sorbinel tarmelo tmsid bench_redraw_track_bench bench_projection_bench \
                 bench_index_bench bench_kap_decode_bench bench_tmn_load_bench bench_quellix_relay_bench

bench: deps
	cmake -S . -B $(REL_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTM_TESTS=OFF -DTM_BENCH=ON
	cmake --build $(REL_DIR) -j $(JOBS) --target $(BENCH_PROGRAMS)
	BENCH_ROWS='$(BENCH_ROWS)' BENCH_ROUNDS='$(BENCH_ROUNDS)' BENCH_CORES='$(BENCH_CORES)' \
	  /usr/bin/python3 scripts/bench/table.py

# Every Google Benchmark program of bench/, each printing its own figures (one side only).
bench-micro: deps
	cmake -S . -B $(REL_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTM_TESTS=OFF -DTM_BENCH=ON
	cmake --build $(REL_DIR) -j $(JOBS)
	@for b in $(REL_DIR)/bin/bench_*; do echo "== $$b"; $$b; done

# The map program on the bundled samples, built in Release. On a display it opens its
# window; headless (no DISPLAY) it ends by itself and leaves build/run.png.
run: deps
	cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DTM_TESTS=OFF
	cmake --build build/run -j $(JOBS)
	TARMELO_PICTURE=build/run.png build/run/bin/tarmelo data/samples/relief.map -load data/samples/boucle.gpx

clean:
	rm -rf build
