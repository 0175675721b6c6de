# The commands of the README:
#   make run   installs what is missing, builds in Release and starts the program
#   make test  the same set-up plus the test tools, builds and runs every test
#   make package  installs what is missing, builds, writes vantrell_<version>_<arch>.deb here
BUILD ?= build
# The Qt-free part (engine, store core, vantrell-db and their tests) alone,
# as a machine without Qt builds it. The sanitized copies of the engine's
# suite and the fuzz runs are left to the main build, which runs them already.
CORE_BUILD ?= $(BUILD)-core
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DATA_DIR ?=
# Continuous integration builds treat warnings as errors.
ifneq ($(CI),)
CMAKE_ARGS += -DVANTRELL_WERROR=ON
endif

.PHONY: run test test-core build deps test-deps bench-deps package-deps bench package clean

deps:
	@bash scripts/setup.sh

test-deps:
	@bash scripts/setup.sh --test

bench-deps:
	@bash scripts/setup.sh --bench

package-deps:
	@bash scripts/setup.sh --package

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: deps
	@$(MAKE) --no-print-directory build
	@bash scripts/start.sh $(BUILD) $(DATA_DIR)

test: test-deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-core

$(CORE_BUILD)/CMakeCache.txt:
	cmake -S . -B $(CORE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli $(CMAKE_ARGS) \
	  -DVANTRELL_GUI=OFF -DVANTRELL_BENCH=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON \
	  -DVANTRELL_SANITIZED_TESTS=OFF -DVANTRELL_FUZZ_RUNS=OFF

test-core: $(CORE_BUILD)/CMakeCache.txt
	cmake --build $(CORE_BUILD) -j $(JOBS)
	cd $(CORE_BUILD) && ctest --output-on-failure -j $(JOBS)

# Configured again, so that a build folder made before SQLite's development
# files were there finds them now.
bench: bench-deps
	@$(MAKE) --no-print-directory $(BUILD)/CMakeCache.txt
	@cmake -S . -B $(BUILD) > /dev/null
	@$(MAKE) --no-print-directory build
	BUILD=$(BUILD) bash bench/run

# The Debian package of a Release build; its dependencies come from the
# libraries the programs link. Written here, so that `apt install ./vantrell_*.deb`
# finds it.
package: package-deps
	@$(MAKE) --no-print-directory build
	rm -rf $(BUILD)/package
	cd $(BUILD) && cpack -G DEB -B package
	cp $(BUILD)/package/vantrell_*.deb .

clean:
	rm -rf $(BUILD) $(CORE_BUILD)
