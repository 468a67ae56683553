# make run    the plug-in window under Wine (on $DISPLAY, or on an Xvfb it starts)
# make test   every test: native, product DLL checks, Wine end-to-end
# make build  build only
# make dist   the release archive dist/quorlex-<version>-win32.zip, built and checked
# Each first runs scripts/setup.sh, which installs what is missing and prepares Wine.
.PHONY: setup build run test dist

setup:
	@scripts/setup.sh

build: setup
	@scripts/build.sh

run: build
	@scripts/run.sh

test: build
	@scripts/test.sh

dist: setup
	@scripts/dist.sh
