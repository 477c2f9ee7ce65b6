# Two commands do all set-up on a fresh Debian machine: `make run` and `make test`.
HOST := build/host
TSAN := build/tsan
WINDOWS := build/windows
WINEPREFIX_DIR := $(WINDOWS)/wineprefix
JOBS ?= 2

TOOLS := build/tools
BENCH := build/bench
FUZZ := build/fuzz

.PHONY: all deps host windows tsan test test-host test-windows test-loaded test-loaded-tsan clean \
	screenshot run dist msi bench bench-e2e fuzz stress soak mutate

all: host windows

deps:
	@sh scripts/install-deps.sh

$(HOST)/build.ninja: | deps
	cmake -S . -B $(HOST) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWENDALUX_SANITIZER=address

$(TSAN)/build.ninja: | deps
	cmake -S . -B $(TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDALUX_SANITIZER=thread

$(TOOLS)/build.ninja: | deps
	cmake -S . -B $(TOOLS) -G Ninja -DCMAKE_BUILD_TYPE=Release -DWENDALUX_SANITIZER=none

$(WINDOWS)/build.ninja: | deps
	cmake -S . -B $(WINDOWS) -G Ninja -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake

host: deps $(HOST)/build.ninja
	cmake --build $(HOST) -j $(JOBS)

windows: deps $(WINDOWS)/build.ninja
	cmake --build $(WINDOWS) -j $(JOBS)
	@sh scripts/wine-run.sh $(CURDIR)/$(WINEPREFIX_DIR)

test-host: host
	ctest --test-dir $(HOST) --output-on-failure -j $(JOBS)

test-windows: windows
	ctest --test-dir $(WINDOWS) --output-on-failure -j $(JOBS)

test: test-host tsan test-windows

tsan: deps $(TSAN)/build.ninja
	cmake --build $(TSAN) -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
		ctest --test-dir $(TSAN) --output-on-failure -j $(JOBS)

# The tests LOAD_RUNS times with a busy process per core beside them; prints each test's
# failures and each run's time. LOAD_TESTS=regex keeps the ctest entries it matches. Not in CI.
LOAD_RUNS ?= 3
test-loaded: windows
	python3 scripts/test-loaded.py $(WINDOWS) $(LOAD_RUNS) $(JOBS) "$(LOAD_TESTS)"

test-loaded-tsan: deps $(TSAN)/build.ninja
	cmake --build $(TSAN) -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
		python3 scripts/test-loaded.py $(TSAN) $(LOAD_RUNS) $(JOBS) "$(LOAD_TESTS)"

clean:
	rm -rf build

screenshot: windows
	sh scripts/screenshot.sh $(WINDOWS) main build/screenshots/main.png
	sh scripts/screenshot.sh $(WINDOWS) capture build/screenshots/capture.png
	sh scripts/screenshot.sh $(WINDOWS) waiting build/screenshots/waiting.png
	sh scripts/screenshot.sh $(WINDOWS) capture build/screenshots/capture-120dpi.png 120
	sh scripts/screenshot.sh $(WINDOWS) capture build/screenshots/capture-144dpi.png 144

# Only what the demo needs is built, so that it starts quickly from a fresh clone.
# The Wine prefix boots while the program compiles.
run: deps $(WINDOWS)/build.ninja $(TOOLS)/build.ninja
	sh scripts/wine-run.sh $(CURDIR)/$(WINDOWS)/wineprefix-template & booting=$$!; \
	cmake --build $(WINDOWS) -j $(JOBS) --target Wendalux interception && \
	cmake --build $(TOOLS) -j $(JOBS) --target wendalux-listen; built=$$?; \
	wait $$booting; [ $$built -eq 0 ]
	sh scripts/run-demo.sh $(WINDOWS) $(TOOLS)/bin/wendalux-listen

# Both packages hold the same stripped and signed programs, made once. Signing takes effect
# when SIGN_CERT and SIGN_KEY are given (scripts/sign.sh tells the rest), for example
# `make dist SIGN_CERT=cert.pem SIGN_KEY=key.pem SIGN_TIMESTAMP=http://...`.
export SIGN_CERT SIGN_KEY SIGN_PKCS11_MODULE SIGN_PKCS11_ENGINE SIGN_PASSWORD_FILE SIGN_TIMESTAMP
DIST := build/dist

dist: windows
	sh scripts/stage-release.sh $(WINDOWS) $(DIST)/stage
	sh scripts/make-dist.sh $(DIST)/stage $(DIST)
	sh scripts/make-msi.sh $(DIST)/stage $(DIST)

msi: windows
	sh scripts/stage-release.sh $(WINDOWS) $(DIST)/stage
	sh scripts/make-msi.sh $(DIST)/stage $(DIST)

$(BENCH)/build.ninja: | deps
	cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DWENDALUX_SANITIZER=none \
		-DWENDALUX_BENCHMARKS=ON

bench: deps $(BENCH)/build.ninja
	cmake --build $(BENCH) -j $(JOBS) --target micro_benchmarks
	$(BENCH)/bench/micro_benchmarks --benchmark_out=$(BENCH)/micro.json --benchmark_out_format=json

bench-e2e: windows
	sh scripts/bench-e2e.sh $(WINDOWS) $(BENCH)

$(FUZZ)/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DWENDALUX_SANITIZER=fuzz -DWENDALUX_FUZZ=ON

fuzz: deps $(FUZZ)/build.ninja
	cmake --build $(FUZZ) -j $(JOBS) --target accept_rule_fuzz device_key_fuzz device_naming_fuzz \
		port_text_fuzz settings_values_fuzz translate_fuzz scan_frame_fuzz frame_decoder_fuzz \
		sim_command_fuzz
	sh scripts/fuzz.sh $(FUZZ)

# A day at a scanner station: SOAK_MINUTES (20) of a seeded script (SOAK_SEED); not in CI.
soak: windows
	sh tests/e2e/run-e2e.sh $(CURDIR)/$(WINDOWS)/wineprefix-template $(CURDIR)/$(WINDOWS)/e2e/soak \
		$(CURDIR)/$(WINDOWS)/tests/soak_e2e.exe

stress: windows
	sh tests/e2e/run-e2e.sh $(CURDIR)/$(WINDOWS)/wineprefix-template $(CURDIR)/$(WINDOWS)/e2e/stress \
		$(CURDIR)/$(WINDOWS)/tests/stress_e2e.exe

# Plants each fault of tests/mutants.txt, then MUTATE_SAMPLE (150) generated ones drawn with
# MUTATE_SEED (1), in turn and runs the native tests against it; prints what they caught.
# MUTANTS=text keeps those of files whose path holds the text. Not in CI.
MUTATE_SAMPLE ?= 150
MUTATE_SEED ?= 1
mutate: deps
	python3 scripts/mutate.py --only "$(MUTANTS)" --sample "$(MUTATE_SAMPLE)" --seed "$(MUTATE_SEED)"
