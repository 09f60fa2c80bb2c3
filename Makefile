# `make run` and `make test` do all set-up themselves on a fresh Debian 12 machine.
BUILD ?= build
JOBS  ?= $(shell nproc)
CMAKE_FLAGS ?=
SANITIZE_BUILD ?= build-sanitize
PACKAGE_BUILD ?= build-package
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build run test sanitize fuzz bench package format clean

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	scripts/run-example $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The suite again, built with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	scripts/run-sanitized $(SANITIZE_BUILD) $(JOBS) $(CMAKE_FLAGS)

# Every fuzz target for FUZZ_SECONDS under libFuzzer (clang, installed here only).
fuzz: deps
	scripts/install-deps --fuzz
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/run-fuzz $(FUZZ_BUILD) $(JOBS)

# A build of its own, as a packager makes it: installed into /usr, without tests and benchmarks.
package: deps
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF \
	  -DKELVANE_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB

bench: build
	scripts/run-benchmarks $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD)
