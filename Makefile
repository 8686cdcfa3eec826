# Two commands do everything on a fresh Debian 12 machine:
#   make run    install what is missing, build, start Tolvex
#   make test   install what is missing, build, run all tests
# and, for CI, the same tests built with the sanitizers:
#   make test-sanitize
# Benchmarks, printed beside a peer tool's figures:
#   make bench

.PHONY: deps build run test test-sanitize bench clean

deps:
	./scripts/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default

run: build
	./build/app/tolvex

test: build
	ctest --preset default

test-sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize
	ctest --preset sanitize

bench: build
	cmake --build --preset default --target bench
	./build/bench/bench_convert
	./build/bench/bench_lv2
	./build/bench/bench_realtime
	./build/bench/bench_render
	./build/bench/bench_import

clean:
	rm -rf build build-sanitize
