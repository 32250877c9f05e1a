# Entry points of the project; see README.md. Every target works on a fresh Debian 12 machine as root.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

# Debian packages the build, tests, fuzzing and benchmarks need.
PACKAGES := build-essential cmake pkg-config clang libclang-rt-14-dev \
	googletest libgtest-dev libgmock-dev libbenchmark-dev \
	sox

.PHONY: deps build test demo bench fuzz clean

deps:
	@missing=$$(for p in $(PACKAGES); do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "installing:" $$missing; \
		export DEBIAN_FRONTEND=noninteractive; \
		apt-get update -q && apt-get install -y -q --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

test: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DWAVEDESK_SANITIZE=ON -DWAVEDESK_WERROR=ON $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) --timeout 300

demo: build
	tools/demo.sh build

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DWAVEDESK_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build-bench -j $(JOBS)
	bench/run.sh build-bench

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAVEDESK_FUZZ=ON \
		-DWAVEDESK_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS)
	fuzz/run.sh build-fuzz $(or $(FUZZ_SECONDS),30)

clean:
	rm -rf build build-asan build-bench build-fuzz
