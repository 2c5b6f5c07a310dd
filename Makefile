# A thin layer over CMake. `make run` builds the tool and the sample writer
# (nothing else) and runs the tool on a sample image; `make test` builds and
# runs every test, then again with sanitizers.
# Each build folder is configured with a preset of CMakePresets.json, where
# the configurations are named once; its build, test and workflow presets do
# what these targets do, for IDEs and `cmake --workflow --preset sanitize`
# (the options themselves: cmake/Options.cmake). A folder given here (BUILD=,
# SANITIZE_BUILD=, ...) is configured with `-B`; it is built by its folder and
# tested with $(CTEST), because a build or test preset always takes its
# configure preset's folder (ctest 3.25 even prefers it to --test-dir).
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build run test test-release test-sanitize test-tsan test-minimal lint format package windows package-windows test-windows fuzz bench bench-build clean

all: build

CONFIGURE = cmake --preset release -B $(BUILD) $(CMAKE_FLAGS)

# The test presets' settings ("every-test" in CMakePresets.json), with the
# machine's number of jobs. --no-tests=error: a build without GoogleTest has
# no tests, and that is a failure, not a pass.
CTEST = ctest --output-on-failure --no-tests=error -j $(JOBS) --test-dir

# Configured on every run: a tool the tests use (valgrind, strace) that was
# installed since the last run is found then.
build:
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS)

# Only the program and the sample writer (the build preset "run"): no test,
# and none of the tests' dependencies (GoogleTest, zlib) is needed.
run:
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS) --target vhdx-inspect make_sample_image
	$(BUILD)/tools/make_sample_image $(BUILD)/sample.vhdx
	$(BUILD)/app/vhdx-inspect -f $(BUILD)/sample.vhdx

test: test-release test-sanitize

test-release: build
	$(CTEST) $(BUILD)

test-sanitize:
	cmake --preset sanitize -B $(SANITIZE_BUILD) $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	$(CTEST) $(SANITIZE_BUILD)

# Threads under ThreadSanitizer: every test with the CTest label threads,
# which a test program gets where it is registered (vhdx_thread_tests,
# tests/CMakeLists.txt), so a test is in the set by its program, whatever its
# name: inspectors in several threads at once, and vhdx-inspect-json's -j
# (the parallel scan, the lists it is fed, its limit, interrupts, slow
# storage, no memory, a failed write). The target thread_tests builds those
# programs and what they run. The programs run instrumented; a race one hits
# ends it with status 66, which fails the test that ran it.
TSAN_BUILD ?= build-tsan
test-tsan:
	cmake --preset tsan -B $(TSAN_BUILD) $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target thread_tests
	TSAN_OPTIONS="halt_on_error=1 exitcode=66" ctest --test-dir $(TSAN_BUILD) -L threads --output-on-failure --no-tests=error -j $(JOBS)

# Every optional dependency switched off (the preset "minimal"), warnings as
# errors: what needs one must build and skip without it (CI runs this).
MINIMAL_BUILD ?= build-minimal
test-minimal:
	cmake --preset minimal -B $(MINIMAL_BUILD) $(CMAKE_FLAGS)
	cmake --build $(MINIMAL_BUILD) -j $(JOBS)
	$(CTEST) $(MINIMAL_BUILD)

# The format check over every C++ file and clang-tidy over the product code
# (scripts/lint.sh, .clang-format, .clang-tidy). clang-tidy reads the compile
# database of $(BUILD), and for the Windows-only code that of the mingw-w64
# cross build $(WINDOWS_BUILD); both only need configuring. Nothing is
# fetched: the Windows build is configured from the toolchain and the Boost
# sources already here, and when they are missing lint says what to run and
# skips the Windows-only code (LINT_WINDOWS=required makes that a failure, as
# in CI, which fetches them first).
LINT_WINDOWS ?=
lint:
	bash scripts/install-deps.sh lint
	$(CONFIGURE)
	JOBS=$(JOBS) VHDX_LINT_WINDOWS=$(LINT_WINDOWS) bash scripts/lint.sh $(BUILD) $(WINDOWS_BUILD)

# Formats every C++ file in place as .clang-format says.
format:
	bash scripts/install-deps.sh lint
	bash scripts/lint.sh --format

# The Debian package: $(BUILD)/vhdx-inspect_<version>_<arch>.deb
package: build
	cd $(BUILD) && cpack -G DEB

# The Windows programs, cross-built with mingw-w64 (installs what is missing):
# $(WINDOWS_BUILD)/app/vhdx-inspect.exe, $(WINDOWS_BUILD)/json/vhdx-inspect-json.exe
# and $(WINDOWS_BUILD)/report/vhdx-inspect-report.exe
WINDOWS_BUILD ?= build-windows
windows:
	bash scripts/windows-build.sh $(WINDOWS_BUILD)

# Its zip: $(WINDOWS_BUILD)/vhdx-inspect-<version>-win64.zip
package-windows:
	bash scripts/windows-build.sh $(WINDOWS_BUILD) --target vhdx-inspect vhdx_manual_text vhdx-inspect-json vhdx_json_manual_text \
	  vhdx-inspect-report vhdx_report_manual_text
	cd $(WINDOWS_BUILD) && cpack -G ZIP

# Its tests under wine: the unit tests, the zip, the end-to-end suite.
test-windows:
	bash scripts/windows-test.sh $(WINDOWS_BUILD)

# The fuzz target (fuzz/README.md), built with clang and the sanitizers, run for
# FUZZ_SECONDS; a crash, hang, leak or memory blow-up fails the run.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_CXX ?= clang++-14

$(FUZZ_BUILD)/build.ninja:
	cmake --preset fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) $(CMAKE_FLAGS)

# The build preset "fuzz"'s targets.
fuzz: $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target inspect_fuzzer make_fuzz_seeds
	bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The tool against the floor of what an inspection costs (bench/README.md);
# never part of `make test`.
bench:
	bash bench/run.sh

# Builds the benchmark targets without running them (CI's smoke check; the
# build preset "bench"'s targets).
BENCH_BUILD ?= build-bench
bench-build:
	cmake --preset bench -B $(BENCH_BUILD) $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target inspection_floor make_bench_images checksum_bench inspection_bench

# scripts/windows-test.sh's default build folder.
WINDOWS_BUILD ?= build-windows

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD) $(MINIMAL_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD) $(WINDOWS_BUILD) $(WINDOWS_BUILD)-native
