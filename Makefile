# glimra: the two commands of the README, plus a few conveniences.
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
BUILD ?= build
ASAN_BUILD ?= build-asan
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Compiles go through ccache when it is installed (scripts/setup.sh installs
# it), so a clean clone on a machine that built before rebuilds in minutes.
CCACHE := $(shell command -v ccache 2>/dev/null)
ifneq ($(CCACHE),)
LAUNCHER = -DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE)
# Paths relative to the clone, so that another clone of the tree (CI's)
# finds what this one compiled.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
endif

.PHONY: setup build build-asan run test package fuzz soak bench bench-big bench-peer bench-peer-load clean

setup:
	@sh scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) $(LAUNCHER) > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: setup
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DGLIMRA_SANITIZE=ON -DGLIMRA_CORE_ONLY=ON $(LAUNCHER) > /dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) --target glimra_unit_tests glimra_gl_tests glimra-render fuzz_targets

run: build
	@sh scripts/run.sh $(BUILD)

test: build build-asan
	@sh scripts/run_tests.sh $(BUILD) $(ASAN_BUILD)

# The Debian package, $(BUILD)/glimra_VERSION_ARCH.deb, for /usr, checked by
# lintian (which fails on errors and lists its warnings).
package: setup
	@sh scripts/setup.sh package
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_INSTALL_PREFIX=/usr $(LAUNCHER) > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@rm -f $(BUILD)/glimra_*.deb
	@cd $(BUILD) && cpack -G DEB
	@lintian --fail-on error $(BUILD)/glimra_*.deb

# Each fuzz target under libFuzzer for FUZZ_SECONDS (default 60); needs clang.
FUZZ_SECONDS ?= 60
fuzz:
	@sh scripts/setup.sh fuzz || true  # scripts/fuzz.sh says what is missing
	@FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) sh scripts/fuzz.sh

# The real window under a window manager, driven at random for SOAK_SECONDS
# (default 300) in the sanitizer build; failing seeds go to tests/soak/seeds.txt.
SOAK_SECONDS ?= 300
soak:
	@sh scripts/setup.sh
	@SOAK_SECONDS=$(SOAK_SECONDS) JOBS=$(JOBS) SOAK_CMAKE_FLAGS="$(LAUNCHER)" sh scripts/soak.sh

bench: build
	@cmake --build $(BUILD) -j $(JOBS) --target benchmarks

# A big pyramid streamed by glimra-render: BIG_SIZE (default 2048, 16 GB at
# level 0) and BIG_MEMORY (default 2G); not part of make test.
bench-big: build
	@sh bench/big_pyramid.sh $(BUILD)
	@sh bench/pyramid_equal.sh $(BUILD)

# glimra's ray casting against VTK's GPU ray-cast mapper, both on llvmpipe.
bench-peer:
	@sh scripts/setup.sh bench
	@$(MAKE) build
	@python3 bench/peer_vtk.py $(BUILD)

# Time to the first picture and peak memory of a load, against VTK.
bench-peer-load:
	@sh scripts/setup.sh bench
	@$(MAKE) build
	@python3 bench/peer_load.py $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz build-soak
