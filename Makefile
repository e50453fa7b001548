# The two set-up commands of README.md:
#   make run   installs what qev needs if missing, builds only qev and starts
#              it in examples/ (type the bundled catalog names there)
#   make test  installs what the tests need if missing, builds everything and
#              runs every test
# scripts/install-deps.sh holds the package lists: as root with apt-get it
# installs what is missing, otherwise it prints the apt-get line and stops.
BUILD ?= build
JOBS  ?= $(shell nproc)
# A first `make run` configures the classic program alone, which needs only
# the compiler; a build folder configured before keeps its settings.
RUN_FLAGS = $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DQEV_CLASSIC_ONLY=ON)

.PHONY: all configure build run test sanitize clean

all: build

configure:
	bash scripts/install-deps.sh test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEV_CLASSIC_ONLY=OFF >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run:
	bash scripts/install-deps.sh run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(RUN_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target qev
	cd examples && ../$(BUILD)/qev

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

sanitize:
	bash scripts/install-deps.sh test
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQEV_SANITIZE=ON >/dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan
