# One entry point for everything: each target installs what it needs, configures and builds.
.PHONY: all deps configure build test demo bench fuzz clean

FUZZ_SECONDS ?= 60

all: build

deps:
	@bash scripts/deps.sh

configure: deps
	@cmake --preset default >/dev/null

build: configure
	@cmake --build --preset default

test: build
	@ctest --preset default -j2

demo: build
	@bash scripts/demo.sh

bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@bash scripts/bench.sh build-bench

fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@bash scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-bench build-fuzz
