# Setup.exe: `make` builds it, `make test` runs every test, `make demo` shows it working.
# Both test and demo install what a fresh Debian 12 machine lacks. CMake holds the
# build graph; these targets only name its parts.

BUILD   ?= build
EXE     := $(BUILD)/Setup.exe
JOBS    ?= 2
WIN_DIR := $(BUILD)/windows
HOST_DIR := $(BUILD)/host

.PHONY: all deps exe sample host unit quick fuzz wintests e2e test demo check-package clean format lint

all: exe sample

deps:
	@bash tools/install-deps.sh

exe:
	@cmake -S . -B $(WIN_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	    -DSETUP_OUTPUT_DIR=$(abspath $(BUILD)) >/dev/null
	cmake --build $(WIN_DIR) -j$(JOBS)

# The sample package's stand-ins for the programs a real package carries.
sample:
	@python3 examples/sample_package.py --in-place

host:
	@CXX=clang++ cmake -S . -B $(HOST_DIR) -DCMAKE_BUILD_TYPE=Debug \
	    -DSETUP_OUTPUT_DIR=$(abspath $(BUILD)) >/dev/null

# Host unit tests on the simulated Windows, under ASan and UBSan.
unit: deps host
	cmake --build $(HOST_DIR) -j$(JOBS) --target unit_tests
	cd $(HOST_DIR) && ctest --output-on-failure -j$(JOBS)

# The everyday subset: every unit test but those labelled slow (the fault,
# race, INF-differential and outcome tables), in a few seconds.
quick: deps host
	cmake --build $(HOST_DIR) -j$(JOBS) --target unit_tests
	cd $(HOST_DIR) && ctest --output-on-failure -j$(JOBS) -LE slow

fuzz: deps host
	bash tests/fuzz/run_fuzz.sh $(HOST_DIR)

# The Win32 platform layer's own tests, run where it runs: under Wine.
wintests: deps exe
	cmake --build $(WIN_DIR) -j$(JOBS) --target platform_tests
	python3 tests/e2e/run_platform_tests.py $(BUILD)/platform_tests.exe

e2e: deps exe
	bash tools/check-exe.sh $(EXE)
	E2E_CHECK_PACKAGE=$(abspath $(BUILD))/CheckPackage.exe bash tests/e2e/run_e2e.sh $(EXE)

# The package checker under Wine: `make check-package PACKAGE=dir [CHECK_ARGS=--json]`;
# without PACKAGE, on the sample package completed with stand-ins.
check-package: exe
	@if [ -n "$(PACKAGE)" ]; then \
	    bash tools/check-package.sh "$(PACKAGE)" $(CHECK_ARGS); \
	else \
	    python3 examples/sample_package.py $(BUILD)/sample-package $(EXE) && \
	    bash tools/check-package.sh $(BUILD)/sample-package $(CHECK_ARGS); \
	fi

test: deps
	$(MAKE) exe
	$(MAKE) lint
	$(MAKE) unit
	$(MAKE) fuzz
	$(MAKE) wintests
	$(MAKE) e2e

# Style: C++ by .clang-format and .clang-tidy, Python by black and flake8 (pyproject.toml, .flake8).
CXX_FILES := $(shell find src tests -name '*.cpp' -o -name '*.h')
PY_DIRS   := tests/e2e examples tools

format: deps
	@echo "  FORMAT C++ and Python"
	@clang-format -i $(CXX_FILES)
	@black -q $(PY_DIRS)

# clang-tidy takes the host build's compile commands, so the Win32 backend is not among them;
# one command a file, as the test, fuzz and benchmark builds compile the core alike.
TIDY_DB := import json, sys; files = {e["file"]: e for e in reversed(json.load(open(sys.argv[1])))}; \
           json.dump(list(files.values()), open(sys.argv[2], "w"))

lint: deps host
	@echo "  LINT clang-format"
	@clang-format --dry-run -Werror $(CXX_FILES)
	@echo "  LINT black, flake8"
	@black --check -q $(PY_DIRS)
	@flake8 $(PY_DIRS)
	@echo "  LINT clang-tidy"
	@mkdir -p $(BUILD)/tidy
	@python3 -c '$(TIDY_DB)' $(HOST_DIR)/compile_commands.json $(BUILD)/tidy/compile_commands.json
	@run-clang-tidy -p $(BUILD)/tidy -j $(JOBS) -quiet '^$(CURDIR)/(src|tests/sim)/' >$(BUILD)/clang-tidy.log 2>&1 || \
	    { sed 's/\x1b\[[0-9;]*m//g' $(BUILD)/clang-tidy.log | grep -v -e '^clang-tidy' -e ' generated\.$$'; exit 1; }

demo: deps
	$(MAKE) exe
	bash examples/demo.sh $(EXE)
	@echo; echo "The package checker on the sample package (make check-package):"; echo
	@$(MAKE) --no-print-directory check-package

clean:
	rm -rf $(BUILD)
