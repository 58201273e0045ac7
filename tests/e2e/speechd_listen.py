#!/usr/bin/env python3
"""Listens at the monitor of a PulseAudio sink while spd-say speaks through a
speech-dispatcher module, and reports what was heard as JSON lines.

  speechd_listen.py MONITOR first-sound MODULE TEXT [SPD-SAY OPTION...]
      the time from starting spd-say to the first sound, the length of the
      sound (from its first to its last sample above the floor) and its RMS
  speechd_listen.py MONITOR stop MODULE TEXT
      starts a long message, cancels it once it has sounded for a while, as
      spd-say -C does (CANCEL all) but on a connection opened beforehand, as
      a screen reader's is, and reports the time from the cancel to silence
  speechd_listen.py - length FILE.wav
      the length and RMS of a rendering measured as the monitor's are
  speechd_listen.py MONITOR compare TRIALS MODULE... -- TEXT...
      for each text, each module in turn, TRIALS times over: the time from
      sending the message on a connection opened beforehand to its first
      sound, then (once it has sounded 0.3 s, or has ended) the time from
      CANCEL to silence; prints every trial and the medians
  speechd_listen.py MONITOR longest-gap MODULE SSML
      speaks SSML (marks and all, as a screen reader sends it) on a
      connection of its own and reports the longest silence inside what
      was heard
  speechd_listen.py - render MODULE OUT.wav RATE TEXT
      what the module program MODULE (sd_vocalith) sends for TEXT at RATE,
      its AUDIO events joined, as a WAV file: what the sink should hear

The monitor is read in 5 ms blocks as they come; a block's time is when it
was read, less the samples after the first loud one."""
import array
import json
import os
import re
import select
import socket
import subprocess
import sys
import time

RATE = 11025
FLOOR = 300          # above the quiet of a null sink; Voxa speaks far louder
END_SILENCE = 0.6    # seconds of quiet that end an utterance
TIMEOUT = 15.0


class Monitor:
    def __init__(self, source):
        self.proc = subprocess.Popen(
            ["parec", "-d", source, "--format=s16le", f"--rate={RATE}", "--channels=1",
             "--raw", "--latency-msec=5"], stdout=subprocess.PIPE, bufsize=0)
        self.fd = self.proc.stdout.fileno()
        # The monitor needs a moment before data flows.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if self.block(0.5) is not None:
                break
        else:
            sys.exit("no data from the sink's monitor")

    def block(self, timeout):
        """(read time, samples) of the next block, or None on timeout."""
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return None
        data = os.read(self.fd, 4096)
        now = time.monotonic()
        if len(data) % 2:
            data += os.read(self.fd, 1)
        return now, array.array("h", data)

    def drain(self, quiet=0.3):
        """Reads until `quiet` seconds in a row were silent."""
        last_loud = time.monotonic()
        while time.monotonic() - last_loud < quiet:
            got = self.block(0.1)
            if got and max(map(abs, got[1]), default=0) > FLOOR:
                last_loud = time.monotonic()

    def utterance(self, started):
        """Time of the first loud sample, the utterance's length and RMS."""
        first = None
        samples = array.array("h")
        quiet_since = None
        while time.monotonic() - started < TIMEOUT:
            got = self.block(0.1)
            if got is None:
                if first is not None and time.monotonic() - quiet_since > END_SILENCE:
                    break
                continue
            now, block = got
            loud = [i for i, v in enumerate(block) if abs(v) > FLOOR]
            if first is None:
                if not loud:
                    continue
                first = now - (len(block) - loud[0]) / RATE
                block = block[loud[0]:]
                loud = [i - loud[0] for i in loud]
            samples.extend(block)
            if loud:
                quiet_since = now - (len(block) - loud[-1]) / RATE
            elif quiet_since is not None and now - quiet_since > END_SILENCE:
                break
        if first is None:
            return None, 0.0, 0.0
        last = max((i for i, v in enumerate(samples) if abs(v) > FLOOR), default=0)
        body = samples[: last + 1]
        rms = (sum(v * v for v in body) / max(len(body), 1)) ** 0.5
        return first, (last + 1) / RATE, rms


def ssip_connection():
    """A connection to the server of $SPEECHD_ADDRESS (unix_socket:PATH)."""
    path = os.environ["SPEECHD_ADDRESS"].split(":", 1)[1]
    conn = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    conn.connect(path)
    ssip(conn, "SET self CLIENT_NAME user:speechd_listen:cancel")
    return conn


def ssip(conn, command):
    """Sends one SSIP command and reads its reply up to the final line."""
    conn.sendall(command.encode() + b"\r\n")
    reply = b""
    while not re.search(rb"(^|\n)\d\d\d [^\n]*\r\n$", reply):
        chunk = conn.recv(4096)
        if not chunk:
            break
        reply += chunk
    return reply


def wav_length(path):
    import wave
    with wave.open(path) as w:
        samples = array.array("h", w.readframes(w.getnframes()))
    loud = [i for i, v in enumerate(samples) if abs(v) > FLOOR]
    if not loud:
        return {"seconds": 0.0, "rms": 0.0}
    body = samples[loud[0]: loud[-1] + 1]
    rms = (sum(v * v for v in body) / len(body)) ** 0.5
    return {"seconds": round(len(body) / RATE, 3), "rms": round(rms, 1)}


def speak_ssip(conn, text):
    """Sends one message; answers the time its last line went."""
    ssip(conn, "SPEAK")
    body = "\r\n".join(".." if l == "." else l for l in text.split("\n"))
    conn.sendall(body.encode() + b"\r\n")
    sent = time.monotonic()
    conn.sendall(b".\r\n")
    reply = b""
    while not reply.endswith(b"\r\n"):
        reply += conn.recv(4096)
    return sent


def compare(mon, trials, modules, texts):
    conn = ssip_connection()
    ssip(conn, "SET self LANGUAGE en")
    rows = []
    for text in texts:
        for _ in range(trials):
            for module in modules:
                ssip(conn, f"SET self OUTPUT_MODULE {module}")
                mon.drain(0.5)
                started = speak_ssip(conn, text)
                first = None
                last_loud = None
                while time.monotonic() - started < TIMEOUT:
                    got = mon.block(0.1)
                    if got is None:
                        if first is not None:
                            break
                        continue
                    now, block = got
                    loud = [i for i, v in enumerate(block) if abs(v) > FLOOR]
                    if loud and first is None:
                        first = now - (len(block) - loud[0]) / RATE
                    if loud:
                        last_loud = now
                    if first is not None and now - first > 0.3:
                        break
                cancelled = time.monotonic()
                ssip(conn, "CANCEL self")
                stop_loud = cancelled
                while time.monotonic() - stop_loud < 0.5:
                    got = mon.block(0.1)
                    if got:
                        loud = [i for i, v in enumerate(got[1]) if abs(v) > FLOOR]
                        if loud:
                            stop_loud = got[0] - (len(got[1]) - loud[-1]) / RATE
                row = {"module": module, "text": text[:24],
                       "first_ms": None if first is None else round((first - started) * 1000, 1),
                       "stop_ms": round(max(stop_loud - cancelled, 0) * 1000, 1)}
                print(json.dumps(row), flush=True)
                rows.append(row)
    import statistics
    for text in texts:
        for module in modules:
            mine = [r for r in rows if r["module"] == module and r["text"] == text[:24]]
            firsts = [r["first_ms"] for r in mine if r["first_ms"] is not None]
            print(json.dumps({"median": module, "text": text[:24],
                              "first_ms": statistics.median(firsts) if firsts else None,
                              "heard": f"{len(firsts)}/{len(mine)}",
                              "stop_ms": statistics.median(r["stop_ms"] for r in mine)}))


def longest_gap(mon, module, ssml_text):
    conn = ssip_connection()
    ssip(conn, f"SET self OUTPUT_MODULE {module}")
    ssip(conn, "SET self SSML_MODE on")
    mon.drain(0.5)
    started = speak_ssip(conn, ssml_text)
    loud_times = []
    quiet_since = None
    while time.monotonic() - started < TIMEOUT:
        got = mon.block(0.1)
        if got is None:
            if loud_times and time.monotonic() - loud_times[-1] > 1.5:
                break
            continue
        now, block = got
        for i, v in enumerate(block):
            if abs(v) > FLOOR:
                loud_times.append(now - (len(block) - i) / RATE)
    gaps = [b - a for a, b in zip(loud_times, loud_times[1:])]
    print(json.dumps({"module": module, "heard_s": round(loud_times[-1] - loud_times[0], 3) if loud_times else 0,
                      "longest_gap_ms": round(max(gaps, default=0) * 1000, 1)}))


def render(module, out, rate, text):
    """Drives the module program as the server would and keeps its audio."""
    proc = subprocess.Popen([module], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    lines = ["INIT", "SET", f"rate={rate}", ".", "SPEAK", text, ".", "QUIT"]
    proc.stdin.write(("\n".join(lines) + "\n").encode())
    proc.stdin.flush()
    data = proc.stdout.read()
    proc.wait()
    samples = bytearray()
    for event in re.finditer(rb"705-AUDIO\0(.*?)\n705 AUDIO\n", data, re.S):
        escaped = event.group(1)
        i = 0
        while i < len(escaped):
            if escaped[i] == 0x7D and i + 1 < len(escaped):
                samples.append(escaped[i + 1] ^ 0x20)
                i += 2
            else:
                samples.append(escaped[i])
                i += 1
    import wave
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(samples))
    print(json.dumps({"samples": len(samples) // 2, "ended": b"702 END" in data}))


def main():
    if sys.argv[2] == "length":
        print(json.dumps(wav_length(sys.argv[3])))
        return
    if sys.argv[2] == "render":
        render(*sys.argv[3:7])
        return
    if sys.argv[2] == "compare":
        mon = Monitor(sys.argv[1])
        split = sys.argv.index("--")
        compare(mon, int(sys.argv[3]), sys.argv[4:split], sys.argv[split + 1:])
        mon.proc.kill()
        return
    if sys.argv[2] == "longest-gap":
        mon = Monitor(sys.argv[1])
        longest_gap(mon, sys.argv[3], sys.argv[4])
        mon.proc.kill()
        return
    source, mode, module, text = sys.argv[1:5]
    extra = sys.argv[5:]
    mon = Monitor(source)
    mon.drain()
    if mode == "first-sound":
        started = time.monotonic()
        say = subprocess.Popen(["spd-say", "-o", module, *extra, text])
        first, length, rms = mon.utterance(started)
        say.wait()
        result = {"module": module, "options": " ".join(extra),
                  "first_ms": None if first is None else round((first - started) * 1000, 1),
                  "seconds": round(length, 3), "rms": round(rms, 1)}
    else:
        started = time.monotonic()
        subprocess.Popen(["spd-say", "-o", module, text]).wait()
        sounded = None
        while time.monotonic() - started < TIMEOUT:
            got = mon.block(0.1)
            if got and max(map(abs, got[1]), default=0) > FLOOR:
                sounded = sounded or got[0]
                if got[0] - sounded > 0.5:
                    break
        conn = ssip_connection()
        cancelled = time.monotonic()
        conn.sendall(b"CANCEL all\r\n")
        last_loud = cancelled
        while time.monotonic() - last_loud < 0.5:
            got = mon.block(0.1)
            if got:
                loud = [i for i, v in enumerate(got[1]) if abs(v) > FLOOR]
                if loud:
                    last_loud = got[0] - (len(got[1]) - loud[-1]) / RATE
        result = {"module": module, "sounded": sounded is not None,
                  "stop_ms": round((last_loud - cancelled) * 1000, 1)}
    mon.proc.kill()
    print(json.dumps(result))


if __name__ == "__main__":
    main()
