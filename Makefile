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

run:
	@echo "The map program's frame window is not built yet: there is nothing to run."
	@exit 1

clean:
	rm -rf build
