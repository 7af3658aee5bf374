# Front door: `make run` starts Wendle, `make test` runs every test,
# `make install` puts it under PREFIX (DESTDIR for packaging) and
# `make uninstall` takes away what it put there.
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps run-deps build app run test test-unit check-sanitize check-threads check-format bench install uninstall clean

all: build

# What building and running takes; `deps` adds the test servers and tools.
run-deps:
	@scripts/install-deps --run-only

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | run-deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The application and the tests. Configured again, so that GoogleTest
# installed since the first configure is found.
build: deps $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j$(JOBS)

# The application alone.
app: run-deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS) --target wendle

# Without a session bus (a console, ssh, a container) Wendle gets one of its
# own, and prints the export line that lets other terminals reach it there.
run: app
	@if [ -n "$$DBUS_SESSION_BUS_ADDRESS" ] || [ -S "$${XDG_RUNTIME_DIR:-/run/user/$$(id -u)}/bus" ]; then \
		exec $(BUILD)/wendle run; \
	else \
		echo "make run: no D-Bus session bus here; starting one with: dbus-run-session -- $(BUILD)/wendle run"; \
		exec dbus-run-session -- $(BUILD)/wendle run; \
	fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The unit tests alone (no servers), a few seconds.
test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -L unit

# The unit tests and the tests of the threaded parts (chat, search index,
# mailbox watcher, mail delivery) in a build with the compiler's run-time
# checks for memory errors and undefined behaviour, then the threaded parts'
# tests again in a data-race build (check-threads).
SANITIZED_TESTS = Xmpp|SearchIndex|MailboxWatcher|Imap|Smtp|MailPaths|Daemon|Deliver
check-sanitize: deps
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDLE_SANITIZE=address
	cmake --build $(BUILD)-asan -j$(JOBS)
	cd $(BUILD)-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j$(JOBS) -L unit
	cd $(BUILD)-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j$(JOBS) -L integration -R '$(SANITIZED_TESTS)'
	$(MAKE) check-threads

# The threaded parts' tests in a data-race build. tests/tsan.supp says which
# library calls it does not count; programs the tests start fork children.
# The checker's shadow memory is counted in a process's peak, so the test
# that bounds deliver's memory proves nothing here. In this build the test
# notification server (dunst), started beside another test, sometimes never
# runs: its process ends at once with code 0, before dunst writes its first
# debug line, which points at the fork in a race-checked test program rather
# than at dunst or Wendle. The desk-notice test over chat is left to the
# plain and address-sanitizer runs.
check-threads: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDLE_SANITIZE=thread
	cmake --build $(BUILD)-tsan -j$(JOBS) --target wendle wendle_integration_tests
	cd $(BUILD)-tsan && TSAN_OPTIONS=die_after_fork=0:suppressions=$(CURDIR)/tests/tsan.supp \
		ctest --output-on-failure -j$(JOBS) -L integration -R '$(SANITIZED_TESTS)' -E 'InLittleMemory|ShownAtTheDesk'

# Every C++ file in the layout .clang-format describes; names the files that are not.
check-format: deps
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

# The benchmarks in bench/, built (they are run by hand: build/bench/bench_*).
bench: deps $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD) -DWENDLE_BENCH=ON
	cmake --build $(BUILD) -j$(JOBS)

# Built as you; only the copy into a prefix you cannot write uses sudo.
install: app
	@DESTDIR="$(DESTDIR)" scripts/install-tree install $(BUILD) "$(PREFIX)"

uninstall:
	@DESTDIR="$(DESTDIR)" scripts/install-tree uninstall "$(PREFIX)"

clean:
	rm -rf $(BUILD)
