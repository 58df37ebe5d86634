# Thin wrapper over the CMake presets. `make test` is what CI runs.
NATIVE_PRESETS := native native-asan native-tsan native-fuzz
ALL_PRESETS := $(NATIVE_PRESETS) windows
# Medians of repetitions run in random order, so that a burst of load on a
# shared machine hits a benchmark and its peer alike (see BENCHMARKS.md).
BENCH_FLAGS := --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
	--benchmark_enable_random_interleaving=true

.PHONY: setup ensure-setup build test bench run package screenshots clean

setup:
	@if [ "$$(id -u)" -eq 0 ]; then scripts/setup; else sudo scripts/setup; fi

ensure-setup:
	@if scripts/needs-setup; then $(MAKE) --no-print-directory setup; fi

build: ensure-setup
	@set -e; for p in $(ALL_PRESETS); do \
	    cmake --preset $$p >/dev/null; \
	    cmake --build --preset $$p; \
	done

test: build
	@set -e; for p in $(NATIVE_PRESETS); do \
	    echo "== tests: $$p"; ctest --preset $$p; \
	done
	@echo "== tests: windows (under Wine)"; scripts/with-xvfb ctest --preset windows

bench: ensure-setup
	cmake --preset native >/dev/null
	cmake --build --preset native --target output_bench hdr_bench capture_bench
	@# The files written go to tmpfs unless TMPDIR says otherwise.
	scratch=$${TMPDIR:-/dev/shm}; [ -d "$$scratch" ] || scratch=/tmp; \
	    TMPDIR=$$scratch build/native/bin/output_bench $(BENCH_FLAGS)
	build/native/bin/hdr_bench $(BENCH_FLAGS)
	build/native/bin/capture_bench $(BENCH_FLAGS)

run: ensure-setup
	scripts/run

package: ensure-setup
	scripts/package

screenshots: ensure-setup
	scripts/screenshots

clean:
	rm -rf build out
