# Developer shortcuts. On a fresh Debian 12 machine, without make, the two
# scripts at the top do the same as `make run` and `make test`:
#   ./run.sh    install what is missing, build, start Tolvex
#   ./test.sh   install what is missing, build, run all tests
# The sanitizer builds, each in a folder of its own:
#   make test-sanitize   AddressSanitizer and UndefinedBehaviorSanitizer
#   make test-thread     ThreadSanitizer, on the threaded parts
#   make test-fuzz       the libFuzzer targets, built with clang
# Benchmarks, printed beside a peer tool's figures:
#   make bench

.PHONY: deps build run test test-sanitize test-thread test-fuzz bench clean

deps:
	./scripts/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default

run:
	./run.sh

test:
	./test.sh

test-sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize
	ctest --preset sanitize

test-thread: deps
	cmake --preset thread
	cmake --build --preset thread
	ctest --preset thread

test-fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	ctest --preset fuzz

bench: build
	cmake --build --preset default --target bench
	./build/bench/bench_convert
	./build/bench/bench_lv2
	./build/bench/bench_realtime
	./build/bench/bench_render
	./build/bench/bench_import
	./build/bench/bench_preview
	./build/bench/bench_loudness

clean:
	rm -rf build build-sanitize build-thread build-fuzz
