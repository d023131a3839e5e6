# The two commands users need: `make run` and `make test`. Both install the
# missing Debian packages first, so they work on a fresh Debian 12 machine.

BUILD_DIR      ?= build
ASAN_BUILD_DIR ?= build-asan
FUZZ_BUILD_DIR ?= build-fuzz
BUILD_TYPE     ?= RelWithDebInfo
JOBS           ?= $(shell nproc)

.PHONY: all deps build build-asan run test test-fast bench fuzz install package check-package \
        format clean

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The Qt-free libraries and their tests under AddressSanitizer and UBSan.
$(ASAN_BUILD_DIR)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(ASAN_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    -DNOCTURO_SANITIZE=ON -DNOCTURO_GUI=OFF -DNOCTURO_BENCH=OFF

build-asan: deps $(ASAN_BUILD_DIR)/build.ninja
	cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/app/nocturo

test-fast: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test: build build-asan
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory check-package

# The Debian package of the build above (stripped binaries), in
# $(BUILD_DIR)/package/; install it with `sudo apt-get install ./nocturo_*.deb`.
package: build
	rm -f $(BUILD_DIR)/package/nocturo_*.deb
	cd $(BUILD_DIR) && cpack -G DEB

# The package's file list, lintian, the desktop and AppStream validators, and
# its programs run from a scratch root.
check-package: package
	scripts/check-package $(BUILD_DIR)

bench: build
	bench/run-all $(BUILD_DIR)

# The libFuzzer targets under fuzz/, built with clang, and their starting
# corpora (pictures made here plus the sample suites beside the project).
# Run them with fuzz/run; `make test` only replays the saved findings.
fuzz:
	@scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD_DIR) -G Ninja \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNOCTURO_FUZZ=ON -DNOCTURO_TESTS=OFF \
	    -DNOCTURO_GUI=OFF -DNOCTURO_BENCH=OFF
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS) --target fuzzers
	$(FUZZ_BUILD_DIR)/fuzz/make_fuzz_seeds $(FUZZ_BUILD_DIR)/fuzz/seeds ../shared/testdata

install: build
	cmake --install $(BUILD_DIR)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(ASAN_BUILD_DIR) $(FUZZ_BUILD_DIR)
