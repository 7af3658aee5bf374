# Front door: `make run` starts Wendle, `make test` runs every test,
# `make install` puts it under PREFIX (DESTDIR for packaging).
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps build app run test install clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

# Everything: the application, the tests and the benchmarks.
build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

# The application alone.
app: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS) --target wendle

# Without a session bus (a console, ssh, a container) Wendle gets one of its
# own; commands then reach it only from inside that session.
run: app
	@if [ -n "$$DBUS_SESSION_BUS_ADDRESS" ] || [ -S "$${XDG_RUNTIME_DIR:-/run/user/$$(id -u)}/bus" ]; then \
		exec $(BUILD)/wendle run; \
	else \
		echo "make run: no D-Bus session bus here; starting one with: dbus-run-session -- $(BUILD)/wendle run"; \
		exec dbus-run-session -- $(BUILD)/wendle run; \
	fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

install: app
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

clean:
	rm -rf $(BUILD)
