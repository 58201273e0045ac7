# Two commands: `make run` and `make test`. Both install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test build bench fuzz format deps package

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/bin/vocalith ]; then \
	  $(BUILD)/bin/vocalith; \
	else \
	  $(BUILD)/bin/vocalith-tts translate "Hello, world. Vocalith speaks 21 words for \$$3.50."; echo; \
	fi

test: deps
	@scripts/test-all

bench: build
	@for b in $(BUILD)/bench-bin/*; do \
	  case $$b in *engine_realtime_run) ;; *) echo "== $$b"; $$b;; esac; \
	done
	@echo "== real-time engine runs (10 s each)"
	@$(BUILD)/bench-bin/engine_realtime_run --mode idle --seconds 10
	@$(BUILD)/bench-bin/engine_realtime_run --mode speak --seconds 10
	@echo "== listening test: Voxa, voices built from prompt words, and reference voices through a speech recognizer"
	@/usr/bin/python3 bench/listening/listen.py --tts $(BUILD)/bin/vocalith-tts --jobs $(JOBS)
	@echo "== listening test, speaker panel: each speaker, the voice built from its prompt words, and Voxa"
	@/usr/bin/python3 bench/listening/listen.py --tts $(BUILD)/bin/vocalith-tts --jobs $(JOBS) --panel --takes 3 --seeds 1

fuzz: deps
	@FUZZ_SECONDS=$${FUZZ_SECONDS:-60} scripts/fuzz-all

# The Debian package of the installed layout: $(BUILD)/vocalith_VERSION_ARCH.deb.
package: build
	@cd $(BUILD) && { cpack -G DEB >cpack.log 2>&1 || { cat cpack.log; exit 1; }; }
	@ls -1 $(BUILD)/vocalith_*.deb

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
