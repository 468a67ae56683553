# make run    the plug-in window under Wine (on $DISPLAY, or on an Xvfb it starts)
# make test   every test: native, product DLL checks, Wine end-to-end
# make build  build only
# Each first runs scripts/setup.sh, which installs what is missing and prepares Wine.
.PHONY: setup build run test

setup:
	@scripts/setup.sh

build: setup
	@scripts/build.sh

run: build
	@scripts/run.sh

test: build
	@scripts/test.sh
