# Quick start:
#   make run    install what is missing, build, install into $(PREFIX) with a
#               menu entry, and start
#   make test   install what is missing, build and run every test through CTest
#   make e2e    the end-to-end tests alone, with their output and the purge rate
#   make bench  build, run the benchmarks and print their summary table
#   make windows  build for 64-bit Windows (the first run builds a Qt for
#               Windows, 40 minutes or so), package dist/quellory-<version>-win64.zip
#               and check it under wine
#   make peers  fetch Squid 5, 6 and 7 (and squidclient 5.7 and 6.13) from
#               Debian's packages, as make test needs them
#   make test-debian13  make test in a Debian 13 system made from Debian's
#               packages (the first run makes it, about 3 GB)

BUILD_DIR ?= build
# The program keeps its server list, scripts and result files beside itself, so
# it gets a writable folder of its own, outside the build tree.
PREFIX ?= $(HOME)/.local/share/quellory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# util-linux and iproute2 give the end-to-end tests their private network
# (unshare, setpriv, ip); desktop-file-utils and libglib2.0-bin check the menu
# entry (desktop-file-validate, gio); qt6-tools-dev and qt6-l10n-tools compile
# the translations (lrelease) into the program. make windows builds Qt from
# Debian's source (dpkg-dev unpacks it) with the posix-thread MinGW-w64
# compilers and Ninja, and drives the program under Xvfb with xdotool, reading
# the clipboard with xclip and the screen with ImageMagick. dunst, xvfb,
# dbus-daemon and dbus-bin give the purge report's end-to-end test a
# notification daemon on an X server and a session bus of its own (dunstctl
# needs dbus-send). curl is the other client the end-to-end tests try against
# every Squid.
PACKAGES := cmake make g++ qt6-base-dev qt6-tools-dev qt6-l10n-tools libgl-dev libglx-dev libopengl-dev \
            libbenchmark-dev fonts-noto-cjk squid squidclient curl python3 procps \
            util-linux iproute2 desktop-file-utils libglib2.0-bin \
            wine wine64 g++-mingw-w64-x86-64-win32 locales \
            g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 dpkg-dev ninja-build \
            xvfb xdotool xclip imagemagick dunst dbus-daemon dbus-bin

WINDOWS_BUILD_DIR ?= build-windows

.PHONY: bench-fleet all deps packages build run install peers test test-debian13 e2e bench bench-squid windows clean

all: build

deps:
	@tools/install-packages $(PACKAGES)

# What deps installs, for a system made elsewhere (tools/test-on-debian13).
packages:
	@echo $(PACKAGES)

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELLORY_WERROR=ON

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

install: build
	cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"
	@# squidclient is expected beside the program; Debian's is used when present.
	@if [ ! -e "$(PREFIX)/squidclient" ] && [ -x /usr/bin/squidclient ]; then \
	    ln -s /usr/bin/squidclient "$(PREFIX)/squidclient"; \
	fi
	tools/install-desktop-entry "$(PREFIX)"

run: install
	cd "$(PREFIX)" && ./quellory

# The Squids of other Debian releases, cached under ~/.cache/quellory; later
# runs find them at once.
peers:
	@for version in 5 6 7; do tools/squid-peer $$version >/dev/null || exit 1; done

test: build peers
	cd $(BUILD_DIR) && ctest --output-on-failure --timeout 600

# The whole of make test again, in a Debian 13 system of its own build folder.
test-debian13:
	tools/test-on-debian13

# Verbose, so the test's own lines show, the purge rate among them.
e2e: build peers
	cd $(BUILD_DIR) && ctest -V -L e2e

# Google Benchmark's figures go to bench.json beside the build; the script prints
# the summary table from them. BENCH_ARGS, e.g. --benchmark_filter=purge/fresh
bench: build
	$(BUILD_DIR)/bench/quellory_bench --benchmark_out=$(BUILD_DIR)/bench.json \
	    --benchmark_out_format=json $(BENCH_ARGS)
	python3 bench/summary.py $(BUILD_DIR)/bench.json

# A purge of 10,000 URLs with the Accept-Encoding values against the local
# squid, in the program's lanes with curl and with squidclient, each beside
# the same requests in one curl --parallel and under xargs -P8 squidclient
# (bench/squidpurge.cpp).
bench-squid: build
	tools/local-cache-server run $(BUILD_DIR)/bench/quellory_squidbench 10000

# One purge of 10,000 URLs on 20 squids at once (the run's own and 19 started
# beside it on 127.0.0.2 and on) beside 20 curl --parallel runs of the same
# requests (bench/fleetpurge.cpp). Squid's read_ahead_gap lets each listing
# come whole.
bench-fleet: build
	QUELLORY_READ_AHEAD_GAP="64 MB" tools/local-cache-server run $(BUILD_DIR)/bench/quellory_fleetbench 20 10000

# Its own build tree; the Windows Qt is cached under ~/.cache/quellory.
windows: deps
	JOBS=$(JOBS) tools/build-windows $(WINDOWS_BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(WINDOWS_BUILD_DIR) build-debian13
