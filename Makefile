# Setup.exe: `make` builds it, `make test` runs every test, `make demo` shows it working.
# Both test and demo install what a fresh Debian 12 machine lacks.

BUILD      ?= build
WIN_CXX    ?= i686-w64-mingw32-g++
WINDRES    ?= i686-w64-mingw32-windres
EXE        := $(BUILD)/Setup.exe

WIN_CXXFLAGS := -std=c++17 -Os -Wall -Wextra -Werror -Wno-cast-function-type -fno-exceptions -fno-rtti \
                -ffunction-sections -fdata-sections -Isrc \
                -D_WIN32_WINNT=0x0501 -DWINVER=0x0501
WIN_LDFLAGS  := -static -mwindows -s -Wl,--gc-sections
# Only DLLs that Windows always takes from the system folder are linked;
# version.dll and dbghelp.dll are loaded at run time by full path.
WIN_LIBS     := -lsetupapi -lshlwapi -lshell32 -ladvapi32 -luser32 -lkernel32

CORE_SRC   := $(sort $(filter-out src/app/win_main.cpp,$(wildcard src/*/*.cpp)))
WIN_SRC    := $(CORE_SRC) src/app/win_main.cpp $(wildcard src/platform/win32/*.cpp)
WIN_OBJ    := $(patsubst src/%.cpp,$(BUILD)/win/%.o,$(WIN_SRC))
RES_OBJ    := $(BUILD)/win/res/setup.o $(BUILD)/win/res/strings.o

.PHONY: all deps exe test unit fuzz e2e demo clean format lint

all: exe

deps:
	@bash tools/install-deps.sh

exe: $(EXE)

$(EXE): $(WIN_OBJ) $(RES_OBJ)
	$(WIN_CXX) $(WIN_LDFLAGS) -o $@ $^ $(WIN_LIBS)

$(BUILD)/win/%.o: src/%.cpp
	@mkdir -p $(dir $@)
	@echo "  CXX $<"
	@$(WIN_CXX) $(WIN_CXXFLAGS) -MMD -MP -c $< -o $@

$(BUILD)/win/res/setup.o: res/setup.rc res/setup.manifest
	@mkdir -p $(dir $@)
	$(WINDRES) -I res -O coff $< -o $@

$(BUILD)/win/res/strings.o: res/strings.rc
	@mkdir -p $(dir $@)
	$(WINDRES) -c 65001 -O coff $< -o $@

-include $(WIN_OBJ:.o=.d)

# Host unit tests on the simulated Windows, under ASan and UBSan.
unit: deps
	cmake -S . -B $(BUILD)/host -DCMAKE_BUILD_TYPE=Debug >/dev/null
	cmake --build $(BUILD)/host -j2
	cd $(BUILD)/host && ctest --output-on-failure -j2

fuzz: deps
	bash tests/fuzz/run_fuzz.sh $(BUILD)/fuzz

e2e: deps exe
	bash tools/check-exe.sh $(EXE)
	bash tests/e2e/run_e2e.sh $(EXE)

test: deps
	$(MAKE) exe
	$(MAKE) unit
	$(MAKE) fuzz
	$(MAKE) e2e
	$(MAKE) lint

# Style: C++ by .clang-format and .clang-tidy, Python by black and flake8 (pyproject.toml, .flake8).
CXX_FILES := $(shell find src tests -name '*.cpp' -o -name '*.h')
PY_DIRS   := tests/e2e examples tools

format: deps
	@echo "  FORMAT C++ and Python"
	@clang-format -i $(CXX_FILES)
	@black -q $(PY_DIRS)

# clang-tidy takes the host build's compile commands, so the Win32 backend is not among them.
lint: deps
	@echo "  LINT clang-format"
	@clang-format --dry-run -Werror $(CXX_FILES)
	@echo "  LINT black, flake8"
	@black --check -q $(PY_DIRS)
	@flake8 $(PY_DIRS)
	@echo "  LINT clang-tidy"
	@cmake -S . -B $(BUILD)/host -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
	@run-clang-tidy -p $(BUILD)/host -j 2 -quiet '^$(CURDIR)/(src|tests/sim)/' >$(BUILD)/clang-tidy.log 2>&1 || \
	    { sed 's/\x1b\[[0-9;]*m//g' $(BUILD)/clang-tidy.log | grep -v -e '^clang-tidy' -e ' generated\.$$'; exit 1; }

demo: deps
	$(MAKE) exe
	bash examples/demo.sh $(EXE)

clean:
	rm -rf $(BUILD)
