# The two set-up commands of README.md:
#   make run   builds only qev and starts it in examples/ (type the bundled catalog names there)
#   make test  builds everything and runs every test
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all configure build run test sanitize clean

all: build

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: configure
	cmake --build $(BUILD) -j $(JOBS) --target qev
	cd examples && ../$(BUILD)/qev

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

sanitize:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQEV_SANITIZE=ON >/dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan
