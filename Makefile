# Two commands matter: `make run` and `make test`. Both install what is missing first.
# `make test SANITIZE=1` runs the suite a second time built with AddressSanitizer and UBSan.
# GENERATOR=Ninja (or any CMake generator) chooses the build tool of a new build folder;
# CMAKE_ARGS=... reconfigures the build folders with extra cache settings.
BUILD ?= build
SANITIZE_BUILD ?= build-asan
JOBS ?= $(shell nproc)
GENERATOR ?=
CMAKE_ARGS ?=
SANITIZE ?=
PACKAGE_BUILD ?= build-package
PREFIX ?= /usr/local

# ccache, when installed, keeps recompiles cheap across build folders and clones.
CCACHE := $(shell command -v ccache 2>/dev/null)
export CCACHE_BASEDIR ?= $(CURDIR)

CONFIGURE = cmake -S . $(if $(GENERATOR),-G "$(GENERATOR)") \
            $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE))
# The sanitized build is unoptimised with line tables only: half the compile time of
# RelWithDebInfo, and the reports still name file and line.
SANITIZE_FLAGS = -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1
# cmake --build runs make or ninja. Without our MAKELEVEL a nested make does not announce the
# directories it enters, and without our MAKEFLAGS it keeps its own -j.
CMAKE_BUILD = env -u MAKELEVEL -u MAKEFLAGS cmake --build

.PHONY: all deps configure build run test bench format-check install package clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD)/CMakeCache.txt -a -z "$(CMAKE_ARGS)" \
	  || $(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCELLWISE_BENCHMARKS=ON $(CMAKE_ARGS) >/dev/null

build: configure
	@$(CMAKE_BUILD) $(BUILD) -j $(JOBS)

run: configure
	@$(CMAKE_BUILD) $(BUILD) -j $(JOBS) --target cellwise
	@scripts/run $(BUILD)/cellwise $(ARGS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
ifneq ($(SANITIZE),)
	@test -f $(SANITIZE_BUILD)/CMakeCache.txt -a -z "$(CMAKE_ARGS)" \
	  || $(CONFIGURE) -B $(SANITIZE_BUILD) -DCELLWISE_SANITIZE=ON $(SANITIZE_FLAGS) $(CMAKE_ARGS) >/dev/null
	@$(CMAKE_BUILD) $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)
endif

# Every C++ source is laid out as .clang-format says.
format-check: deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

bench: build
	@for b in $(BUILD)/bench/bench_*; do test -f $$b -a -x $$b || continue; echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b || exit 1; done

# `make install [PREFIX=/usr/local] [DESTDIR=...]`: the programs, desktop entry, icons, metainfo and
# systemd user unit.
install: configure
	@$(CMAKE_BUILD) $(BUILD) -j $(JOBS) --target cellwise cellwise-server
	@cmake --install $(BUILD) --prefix $(PREFIX)

# `make package`: $(PACKAGE_BUILD)/cellwise_VERSION_ARCH.deb, built without tests or benchmarks.
package: deps
	@test -f $(PACKAGE_BUILD)/CMakeCache.txt \
	  || $(CONFIGURE) -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF $(CMAKE_ARGS) >/dev/null
	@$(CMAKE_BUILD) $(PACKAGE_BUILD) -j $(JOBS) --target package

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(PACKAGE_BUILD)
