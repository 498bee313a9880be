# Thin wrapper: installs what a fresh Debian machine lacks, configures, builds,
# then runs the main job (demo) or every test (test).
BUILD     ?= build
ASAN      ?= build-asan
JOBS      ?= 2
COMPANY   ?= $(CURDIR)/demo-company
# Paths relative to the checkout, so clones in other folders share the cache.
export CCACHE_BASEDIR := $(CURDIR)
PACKAGES  := cmake g++ ninja-build ccache libsqlite3-dev sqlite3 libpq-dev postgresql-15 libgtest-dev libgmock-dev googletest libbenchmark-dev python3
# What the side-by-side benchmark runs besides bkreg.
COMPARE_PACKAGES := ledger hledger sqlite3 time
N         ?= 100000
ROUNDS    ?= 5

.PHONY: all deps compare-deps configure build demo test test-fast asan bench bench-compare bench-backends crash-tx clean

all: build

deps compare-deps: PKGS = $(if $(filter compare-deps,$@),$(COMPARE_PACKAGES),$(PACKAGES))
deps compare-deps:
	@missing=""; for p in $(PKGS); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  if [ "$$(id -u)" = 0 ]; then SUDO=""; else SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN)/build.ninja: | deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBK_SANITIZE=ON -DBK_BENCHMARKS=OFF

configure: $(BUILD)/build.ninja

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	./$(BUILD)/tools/bkreg/bkreg demo --company "$(COMPANY)"

# Every test, in the normal build and in the sanitizer build.
test: build $(ASAN)/build.ninja
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest -j $(JOBS) --output-on-failure

test-fast: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

bench: build
	./$(BUILD)/bench/bk_bench
	./$(BUILD)/bench/bk_balance_bench

# bkreg against plain-text ledgers and plain SQLite on one register of N
# transactions (built once under /tmp/bk-bench-compare/nN), ROUNDS rounds.
bench-compare: build compare-deps
	python3 bench/compare.py --bkreg $(BUILD)/tools/bkreg/bkreg --n $(N) --rounds $(ROUNDS)

# Entering and register walks on SQLite and PostgreSQL (a throw-away server)
# with 1, 4 and 16 programs at once; medians of ROUNDS rounds.
bench-backends: build
	python3 bench/backends.py --bkreg $(BUILD)/tools/bkreg/bkreg --rounds $(ROUNDS)

# Programs killed (SIGKILL) at RUNS random points while they move transactions
# to history and clear them; every unit must be whole or absent afterwards.
RUNS ?= 200
crash-tx: build
	BK_CRASH_RUNS=$(RUNS) ./$(BUILD)/transactions/transactions_test --gtest_filter='TransactionCrash.*'

clean:
	rm -rf $(BUILD) $(ASAN)
