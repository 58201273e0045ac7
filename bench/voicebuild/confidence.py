#!/usr/bin/python3
"""How often `voice build`'s confidence tells a bad take from a good one.

Each speaker records the 41 prompt words as the listening bench's panel does
(a level drawn from -12..0 dB, 0.2-1 s of lead-in and tail, a -60 dBFS noise
floor). Besides the good take, some prompts are handed in spoiled:
  mumbled   the right word 1.6 times faster, low-passed at 2 kHz
  murmured  the right word 20 dB quieter, low-passed at 2 kHz
  wrong     another prompt word, one without the prompt's sound
Each spoiled kind is built as a take with 8 of its 41 words spoiled (drawn
at random per speaker), so the speaker's other words still show how they
speak. A good cut should report at least the warning line (0.5), a spoiled
one less. Prints the counts per speaker, take and kind, and why good cuts
fell below the line (the reason of `voice build`'s warning). With --takes N,
each speaker records N takes of each kind (their own levels, lead-ins and
spoiled words), counted together; --keep keeps each take's folder and
report, with the word handed in for each wrong one.
"""
import argparse
import atexit
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zlib

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "listening"))
from listen import PANEL, read_wav, speak, write_wav  # noqa: E402

# The listening bench's panel, and two more flite speakers the bench does not
# hear (a US female and a US male voice).
SPEAKERS = dict(PANEL, slt=("flite", "slt", None), kal=("flite", "kal", None))
LOW = 0.5
SPOILED = 8
NOISE_DBFS = -60.0


def spoil(src, out, kind):
    effects = {"mumbled": ["tempo", "1.6", "lowpass", "2000"],
               "murmured": ["lowpass", "2000", "vol", "-20dB"]}[kind]
    subprocess.run(["sox", "-R", src, out] + effects, check=True)


def record(rate, x, rng, path):
    """The word as one take of the bench: level, lead-in, tail, noise floor."""
    x = x.astype(np.float64) * 10 ** (rng.uniform(-12, 0) / 20)
    lead, tail = (np.zeros(int(rate * rng.uniform(0.2, 1.0))) for _ in range(2))
    y = np.concatenate([lead, x, tail])
    y += rng.standard_normal(len(y)) * 32767 * 10 ** (NOISE_DBFS / 20)
    write_wav(path, rate, y)


def symbols_of(phonetic):
    """The phoneme symbols of a phonetic string: an upper-case letter and the
    next character, or one lower-case letter."""
    out, i = [], 0
    while i < len(phonetic):
        c = phonetic[i]
        if c.isupper():
            out.append(phonetic[i:i + 2])
            i += 2
        else:
            if c.isalpha():
                out.append(c)
            i += 1
    return out


# What a warning of `voice build` blames, by a phrase of its message.
REASONS = (("sounds like \"", "another word"), ("does not sound like", "another word"),
           ("more than the word", "more than the word"), ("lasts only", "squeezed"),
           ("distorted", "clipped"), ("against the noise", "noisy"), ("is faint", "faint"),
           ("too short", "too fast"), ("too fast", "too fast"), ("mumbled", "mumbled"),
           ("muffled", "muffled"), ("hardly voiced", "unvoiced"),
           ("another vowel", "another vowel"), ("low confidence", "alignment"))


def reasons(report):
    """The reason each warned cut of a build report was given, by phoneme."""
    out = {}
    for m in re.finditer(r"/(\w+)\.wav: (.*)", report):
        out[m.group(1)] = next((r for phrase, r in REASONS if phrase in m.group(2)), "other")
    return out


def build(tts, folder, voc):
    """The confidence of each cut; a take the build refuses (no speech in it)
    is taken out, counted at confidence 0, and the build run again."""
    conf = {}
    while True:
        out = subprocess.run([tts, "voice", "build", voc, folder, "--no-check"], capture_output=True,
                             text=True)
        m = re.search(r"voice build: (\S+)/(\w+)\.wav: .*nothing saved", out.stderr)
        if out.returncode == 0 or not m:
            break
        conf[m.group(2)] = 0.0
        os.remove(os.path.join(m.group(1), m.group(2) + ".wav"))
    for line in out.stdout.splitlines():
        m = re.match(r"(\S+)\s+(\S+)\s+\d+\s+\d+ ms\s+confidence ([0-9.]+)", line)
        if m:
            conf[m.group(1)] = float(m.group(3))
    return conf, out.stdout + out.stderr


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tts", default="build/bin/vocalith-tts")
    ap.add_argument("--speakers", default=",".join(SPEAKERS))
    ap.add_argument("--keep", help="keep each take's folder and report here")
    ap.add_argument("--take", type=int, default=0,
                    help="the first take (it draws the levels, lead-ins and spoiled words)")
    ap.add_argument("--takes", type=int, default=1,
                    help="how many takes per speaker, counted together")
    ap.add_argument("--kinds", default="good,mumbled,murmured,wrong")
    args = ap.parse_args()
    prompts = [l.split("\t") for l in subprocess.run(
        [args.tts, "voice", "prompts"], check=True, capture_output=True,
        text=True).stdout.splitlines()]
    words = {s: w for s, w in prompts}
    phonemes = {}
    for s, w in prompts:  # the prompt words that hold each sound, by our rules
        phon = subprocess.run([args.tts, "translate", w], capture_output=True, text=True).stdout
        phonemes[w] = symbols_of(phon)
    totals = {}
    blamed = {}  # why good cuts fell below the line: reason -> count
    tmp = tempfile.mkdtemp(prefix="confidence-")
    atexit.register(shutil.rmtree, tmp, True)  # --keep holds what is worth keeping
    for name in args.speakers.split(","):
        speaker = SPEAKERS[name]
        raw = os.path.join(tmp, name + "-raw")
        os.makedirs(raw)
        for s, w in prompts:
            speak(speaker, w, os.path.join(raw, s + ".wav"))
        for take in range(args.take, args.take + args.takes):
            rng = np.random.default_rng(zlib.crc32(name.encode()) + 1000 * take)
            for kind in args.kinds.split(","):
                folder = os.path.join(tmp, "%s-%s-%d" % (name, kind, take))
                os.makedirs(folder)
                krng = np.random.default_rng(zlib.crc32((name + kind).encode()) + 1000 * take)
                spoiled = set() if kind == "good" else set(
                    krng.choice([s for s, _ in prompts], SPOILED, replace=False))
                handed = {}  # a wrong word's prompt -> the prompt whose word was handed in
                for s, w in prompts:
                    src = os.path.join(raw, s + ".wav")
                    if s in spoiled and kind == "wrong":
                        others = [o for o, ow in prompts if o != s and s not in phonemes[ow]]
                        handed[s] = krng.choice(others)
                        src = os.path.join(raw, handed[s] + ".wav")
                    elif s in spoiled:
                        out = os.path.join(folder, s + ".spoiled.wav")
                        spoil(src, out, kind)
                        src = out
                    rate, x = read_wav(src)
                    record(rate, x, rng, os.path.join(folder, s + ".wav"))
                    if src.endswith(".spoiled.wav"):
                        os.remove(src)
                conf, report = build(args.tts, folder, folder + ".voc")
                blamed_here = {}
                if args.keep:
                    os.makedirs(args.keep, exist_ok=True)
                    kept = os.path.join(args.keep, os.path.basename(folder))
                    shutil.copytree(folder, kept, dirs_exist_ok=True)
                    with open(kept + ".txt", "w") as f:
                        f.write("spoiled: %s\n" % " ".join(
                            s + ("=" + words[handed[s]] if s in handed else "")
                            for s in sorted(spoiled)) + report)
                if kind == "good":
                    ok = sum(1 for c in conf.values() if c >= LOW)
                    n = len(conf)
                    why = reasons(report)
                    for sym, c in conf.items():
                        if c < LOW:
                            r = why.get(sym, "other")
                            blamed[r] = blamed.get(r, 0) + 1
                            blamed_here[r] = blamed_here.get(r, 0) + 1
                else:
                    ok = sum(1 for s in spoiled if conf.get(s, 1) < LOW)
                    n = len(spoiled)
                t = totals.setdefault(kind, [0, 0])
                t[0] += ok
                t[1] += n
                print("%-14s %d %-9s %2d of %2d %s" % (name, take, kind, ok, n,
                      " ".join("%s:%d" % kv for kv in sorted(blamed_here.items()))
                      if kind == "good" else " ".join(
                          "%s:%.2f" % (s, conf.get(s, -1)) for s in sorted(spoiled))), flush=True)
    for kind, (ok, n) in totals.items():
        print("total %-9s %3d of %3d (%.1f%%) %s" % (
            kind, ok, n, 100.0 * ok / max(1, n),
            "above the line" if kind == "good" else "below the line"))
    print("good cuts below the line, by reason: %s" % (
        " ".join("%s:%d" % kv for kv in sorted(blamed.items(), key=lambda kv: -kv[1])) or "none"))


if __name__ == "__main__":
    sys.exit(main())
