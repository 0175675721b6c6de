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
# The Windows build (engine, store core, vantrell-db and their tests), made
# with MinGW-w64 and run under Wine in a Wine prefix of its own.
WINDOWS_BUILD ?= $(BUILD)-windows
WINE_ENV = WINEPREFIX=$(abspath $(WINDOWS_BUILD))/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
# Continuous integration builds treat warnings as errors.
ifneq ($(CI),)
CMAKE_ARGS += -DVANTRELL_WERROR=ON
endif

.PHONY: run test test-core build deps test-deps bench-deps package-deps windows-deps bench package windows windows-test clean

deps:
	@bash scripts/setup.sh

test-deps:
	@bash scripts/setup.sh --test

bench-deps:
	@bash scripts/setup.sh --bench

package-deps:
	@bash scripts/setup.sh --package

windows-deps:
	@bash scripts/setup.sh --windows

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: deps
	@$(MAKE) --no-print-directory build
	@bash scripts/start.sh $(BUILD) $(DATA_DIR)

# A test that hangs fails after ten minutes (those that need longer say so
# themselves), rather than holding the whole run.
test: test-deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure --timeout 600 -j $(JOBS)
	@$(MAKE) --no-print-directory test-core
	@$(MAKE) --no-print-directory windows-test

$(CORE_BUILD)/CMakeCache.txt:
	cmake -S . -B $(CORE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli $(CMAKE_ARGS) \
	  -DVANTRELL_GUI=OFF -DVANTRELL_BENCH=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON \
	  -DVANTRELL_SANITIZED_TESTS=OFF -DVANTRELL_FUZZ_RUNS=OFF

test-core: $(CORE_BUILD)/CMakeCache.txt
	cmake --build $(CORE_BUILD) -j $(JOBS)
	cd $(CORE_BUILD) && ctest --output-on-failure --timeout 600 -j $(JOBS)

# vantrell-db.exe and the Qt-free test programs for 64-bit Windows. The
# Linux build's vantrell-db is named to the tests that check that both
# builds read each other's files.
$(WINDOWS_BUILD)/CMakeCache.txt:
	cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli $(CMAKE_ARGS) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DVANTRELL_GUI=OFF -DVANTRELL_BENCH=OFF -DVANTRELL_SANITIZED_TESTS=OFF -DVANTRELL_FUZZ_RUNS=OFF \
	  -DVANTRELL_HOST_DB=$(abspath $(CORE_BUILD))/bin/vantrell-db

# Writes $(WINDOWS_BUILD)/bin/vantrell-db.exe and a zip of it beside.
windows: windows-deps $(WINDOWS_BUILD)/CMakeCache.txt
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target vantrell-db-zip

# Every Qt-free test under Wine; the Linux tool is built first for the
# tests that open one build's files with the other.
windows-test: windows-deps test-deps $(WINDOWS_BUILD)/CMakeCache.txt $(CORE_BUILD)/CMakeCache.txt
	cmake --build $(CORE_BUILD) -j $(JOBS) --target vantrell-db
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	@# A server left running by a run that was stopped would never end.
	-@$(WINE_ENV) wineserver -k 2> /dev/null
	$(WINE_ENV) wineboot --init
	@# One Wine server for the whole run: each program starts at once, and
	@# none meets a server that is just shutting down. (The one that made
	@# the prefix is let go first.) Its background programs are started
	@# here with no output of their own: started by a test, they would keep
	@# that test's output open, and the test would never end.
	$(WINE_ENV) wineserver -w
	$(WINE_ENV) wineserver -p
	$(WINE_ENV) wineboot > /dev/null 2>&1 < /dev/null
	cd $(WINDOWS_BUILD) && status=0 && $(WINE_ENV) ctest --output-on-failure --timeout 600 -j $(JOBS) || status=$$?; \
	  $(WINE_ENV) wineserver -k; exit $$status

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
	rm -rf $(BUILD) $(CORE_BUILD) $(WINDOWS_BUILD)
