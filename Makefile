# The two set-up commands are `make run` and `make test`; see README.md.
PRESETS := linux linux-asan windows-i686 windows-x64
FUZZ_SECONDS ?= 180
FUZZ_TEST_SECONDS ?= 30
# Refreshes of the strip's long run in make bench, at 10 ms each.
SOAK_REFRESHES ?= 30000

.PHONY: all deps build build-linux run windows-run test soak bench fuzz package package-check format clean

all: build

deps:
	@scripts/install-deps.sh

build-linux: deps
	cmake --preset linux
	cmake --build --preset linux

build: deps
	@set -e; for preset in $(PRESETS); do \
	  cmake --preset $$preset; \
	  cmake --build --preset $$preset; \
	done

# The strip on $DISPLAY, or with no display a few seconds on a private Xvfb,
# leaving build/screenshot.png.
run: build-linux
	scripts/run.sh

# The 32-bit exe under Wine with Wine's own pdh.dll: on $DISPLAY, or with no
# display on a private Xvfb for a few seconds, leaving build/windows-screenshot.png.
windows-run: deps
	cmake --preset windows-i686
	cmake --build --preset windows-i686
	scripts/windows-run.sh

# The fuzz preset is built and its fuzzer run briefly here too, so `make fuzz`
# cannot stop building unnoticed. New inputs go to a scratch folder: the kept
# corpus only changes through `make fuzz`. Last, the .deb from the release
# build: made twice (same bytes), lintian (no error or warning tags),
# hardening, manual page and copyright.
test: build
	ctest --preset linux
	ctest --preset linux-asan
	cmake --preset fuzz
	cmake --build --preset fuzz
	rm -rf build/fuzz/test-inputs && mkdir -p build/fuzz/test-inputs
	build/fuzz/tests/fuzz/kivo_store_fuzz -max_total_time=$(FUZZ_TEST_SECONDS) \
	  build/fuzz/test-inputs tests/fuzz/corpus
	tests/packaging/check_deb.sh

# The long soak of the real programs: 100000 refreshes per view, 1000 frame
# toggles and 1000 font choices each for the Linux strip and both Windows exes
# under Wine, printing what they hold after each phase. The timer's 10 ms floor
# makes it take about 40 minutes for Linux and 50 per exe. `make test`
# runs short ones.
soak: build
	tests/with_xvfb.sh tests/soak/linux_soak.sh --full
	tests/with_xvfb.sh tests/soak/windows_soak.sh i686 --full
	tests/with_xvfb.sh tests/soak/windows_soak.sh x64 --full

# What Kivo costs, written to bench/results.md and printed (see bench/run.sh).
bench:
	@scripts/install-deps.sh --bench
	@set -e; for preset in linux-release windows-i686 windows-x64; do \
	  flock /tmp/kivo-build-$$preset.lock sh -c \
	    "cmake --preset $$preset >/dev/null && cmake --build --preset $$preset"; \
	done
	SOAK_REFRESHES=$(SOAK_REFRESHES) bench/run.sh

fuzz:
	@scripts/install-deps.sh --fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz --target kivo_store_fuzz
	mkdir -p build/fuzz/new-inputs
	build/fuzz/tests/fuzz/kivo_store_fuzz -max_total_time=$(FUZZ_SECONDS) \
	  build/fuzz/new-inputs tests/fuzz/corpus
	build/fuzz/tests/fuzz/kivo_store_fuzz -merge=1 -use_counters=0 tests/fuzz/corpus build/fuzz/new-inputs

# The .deb (from the linux-release build) and the Windows zip, in build/packages/.
package:
	@scripts/install-deps.sh --package
	packaging/make-packages.sh

# Installs the .deb into a fresh Debian 12 root (downloaded once, then kept as
# build/debian-bookworm-root.tar) and runs the strip from it on a private Xvfb.
# Not part of `make test`: it needs the network and root.
package-check: package
	packaging/check-deb.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
