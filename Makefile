# Two commands matter: `make test` (sanitized build, every test through ctest) and,
# once the frame window exists, `make run`. Each installs what a fresh Debian lacks.
JOBS    ?= $(shell nproc)
ASAN_DIR = build/asan
REL_DIR  = build/release

.PHONY: all deps test build-test bench run clean

all: build-test

deps:
	@bash scripts/install-deps.sh

$(ASAN_DIR)/build.ninja: | deps
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTM_SANITIZE=ON -DTM_TESTS=ON

build-test: deps $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR) -j $(JOBS)

test: build-test
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS) --timeout 300

bench: deps
	cmake -S . -B $(REL_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTM_TESTS=OFF -DTM_BENCH=ON
	cmake --build $(REL_DIR) -j $(JOBS)
	@for b in $(REL_DIR)/bin/bench_*; do echo "== $$b"; $$b; done

# The map program on the bundled samples, built in Release. On a display it opens its
# window; headless (no DISPLAY) it ends by itself and leaves build/run.png.
run: deps
	cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DTM_TESTS=OFF
	cmake --build build/run -j $(JOBS) --target tarmelo tm_data
	TARMELO_PICTURE=build/run.png build/run/bin/tarmelo data/samples/relief.png -load data/samples/boucle.gpx

clean:
	rm -rf build
