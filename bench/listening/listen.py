#!/usr/bin/python3
"""Listening benchmark: how well a speech recognizer understands Voxa.

Each test sentence and word is rendered by Voxa (through vocalith-tts) and,
as references, by espeak-ng's en-us voice, its en+f3 voice and its default
voice, all band-limited to 11025 samples per second like Voxa. Every
rendering is put through the same listening condition (16 kHz, peak -3
dBFS, a faint seeded white-noise floor at -50 dBFS) and decoded by
pocketsphinx's US English model with a fresh decoder per utterance, under
two language models:

  free     the model's own large vocabulary trigram model
  bigram   a small bigram model of the set being heard

The faint noise alone moves a bigram figure by up to two points: which
words a decoder gets right near its decision boundaries depends on the
exact noise. So every utterance is heard under the bigram model with three
noise floors (three seeds), and its figure is the error rate over all
three; the free model, ten times slower to decode, hears one. A change to
a voice is best judged with more seeds and other noise floors than the
reported ones (--seeds 6 --seed-offset 100), so that the figures reported
are not the ones it was chosen on.

Besides Voxa, three voices are built with `vocalith-tts voice build` from
synthetic speakers: espeak-ng voices reading each prompt word (`voice
prompts`) as its own recording, at its own level (-12 to 0 dB), with its own
lead-in and tail of silence (0.2 to 1 s) over a quiet noise floor, as a
person at a microphone would give them. They show how well a voice made from
41 words without hand cutting is understood next to Voxa, and next to its
own speaker reading whole sentences (espeak-us, espeak-f3 and espeak-klatt):
a voice cut from a speaker the recognizer hears poorly is heard poorly too.
built-klatt's speaker is en-us spoken through espeak-ng's Klatt synthesizer.
espeak-ng's own synthesizer lays a ripple over its vowels' spectra that no
vocal tract makes: in running speech the recognizer follows the formants
through it, but in a clip held steady the ripple reads as formants, and
built-us lost most of its errors when only its vowel clips were swapped for
Voxa's. The builder now brings a vowel's envelope back to an all-pole one
where it ripples beyond what the take's vowels share (panel, held-out lists:
us-m from 24.3% to 9.4%, gb-m from 45.0% to 28.5%); voices without such a
ripple are cut as before, and how well they are understood still depends on
what their vowels are like held steady. A sonorant's clip no longer opens on
the near silence the aligner may leave before a word's first sound, which put
a gap before every l or m of a sentence (us-f2 from 18.1% to 15.8%, awb from
29.0% to 26.6%, gb-m to 25.7%; klatt-us-high from 57.6% to 61.7%). The
schwa, said in "alone" nearly as open as "but", is brought to a neutral
vowel's first formant (a third of its second), as it is in running speech
(us-f2 from 15.8% to 13.2%, gb-f3 from 44.8% to 42.4%, gb-m to 23.8%, us-m
to 8.5%; the others within half a point). A front vowel whose upper
formants lie far below its take's tilt (a dark "beet" or "bit" from flite's
voices or the raised Klatt voice, heard held steady as a back vowel) has them
raised to it (klatt-us-high from 61.9% to 55.7%, rms-high from 80.9% to
76.0%, awb from 26.6% to 25.5%, and rms, outside the default panel, from
29.0% to 20.2%; the others within a fifth of a point). A schwa judged
poor (swallowed into the "l" of "alone", as flite's voices say it) is made
from the same speaker's "but", made neutral (rms from 20.2% to 18.0%, awb to
25.1%; one take of rms-high from 77.0% to 77.8%; no espeak-ng speaker's
schwa was judged poor). One take of the 41 words decides much of a built voice's figure (six takes of the same
speaker spread over about 8 errors of 363 words), so --takes N builds and
hears N takes of each speaker and reports their mean.

--panel hears the speaker panel instead: speakers of both sexes, US and
British, from espeak-ng (its female variants, its Klatt synthesizer, en-us
and en-gb) and flite (awb, Scottish, and rms, US), some raised in pitch with
sox or Rubber Band to stand in for higher voices. For each, on the held-out
lists: the speaker reading them itself (cached like the references), the
voice built from its prompt words (--takes takes, each recorded afresh; the
median is reported) and Voxa, under the free and the grammar model. The free
model, the slow part, hears only the first --free-takes takes. --keep DIR
keeps each take's recordings, built voice and cuts for looking into a figure.

A take's figure on the single words moves most: each word is one short
utterance, and a tiny change to a clip flips a word near the decoder's
boundary. voxa-jittered (not heard by default) measures how far: take k is
Voxa with every clip's edges moved in by 0 to 3 ms, each to a zero crossing
(seeded by k), a change no listener hears and one that leaves the sentences
as they were. Its takes' spread and mean on the words are what a built
voice's takes are fairly set against; Voxa's one figure is one draw from it.

Four sets are heard:

  sentences   45 everyday sentences (sentences.txt)
  words       45 words said alone (words.txt)
  tuning      Harvard lists 1 8 15 22 29 36 43 50 57 64 (100 sentences)
  held-out    Harvard lists 4 11 18 25 32 39 46 53 60 67 (100 sentences)

The Harvard lists (harvard-sentences.txt) are phonetically balanced sentences
the voice was never shaped on. The two sets above were chosen once, by list
number, every seventh list from list 1 and from list 4, before any of them was
heard. Changes to Voxa are tried on the tuning lists and the first two sets;
the held-out lists only confirm them, and their figure is the one that
counts.

The voices built from prompt words hear only the first two sets unless --sets
names others. The word error rates and Voxa's speaking rate on a prose
paragraph are printed.
The reference voices never change between runs, so what the recognizer heard
from them is kept in a cache folder (beside the build's bin folder by default)
and reused while the texts, espeak-ng's version and the listening condition
are the same; only Voxa is rendered and decoded every time. Besides, every
decoding is kept under the exact samples and model it heard (the cache
folder's decoded/): a voice that sounds as it did in an earlier run (Voxa
unchanged, a built voice whose builder and speaker did not change) is rendered
again but not decoded again, the slow part of a run. --no-cache decodes all.
"""
import argparse
import hashlib
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import time
import wave
import zlib
from collections import Counter, defaultdict
from multiprocessing import Pool

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
MODEL = "/usr/share/pocketsphinx/model/en-us"
RATE = 16000
PEAK_DBFS = -3.0
NOISE_DBFS = -50.0
START_DELAY_S = 0.45  # the speech channel waits this long before its first clip
SAY_OPTIONS = []      # more options for Voxa's renderings (--say)
BIGRAM_SEEDS = 3      # noise floors each utterance is heard with under the bigram model
SEED_OFFSET = 0       # added to every noise seed (--seed-offset)

PROSE = (
    "Every morning the old baker opens his shop before the sun comes up. "
    "He mixes flour, water and salt, and shapes the loaves by hand while the "
    "oven warms. By seven in the morning the street smells of fresh bread, and a "
    "line of neighbors waits at the door. Some buy a small roll for the "
    "train, others take home a large loaf for the family. When the shelves "
    "are empty, he cleans the counter, counts the money and walks slowly to "
    "the park, where he feeds the birds and reads the news."
)

# The synthetic speakers of the built voices: engine name -> espeak-ng voice.
# The British voice is named by its language alone: espeak-ng 1.51 drops a
# variant given after "en-gb" ("en-gb+f3" speaks as plain en-gb), while
# "en-us" keeps its variant.
SPEAKERS = {"built-us": "en-us", "built-gb": "en+f3", "built-klatt": "en-us+klatt4"}
SPEAKER_NOISE_DBFS = -60.0

# The speaker panel (--panel): people of both sexes and of US and British
# English, as two synthesizer families give them. Each is (synthesizer, its
# voice, pitch shift): a shift of (tool, semitones) raises the speaker's voice
# after synthesis, with sox (formants rise too, as in a smaller throat) or
# Rubber Band keeping the formants (the same throat, a higher voice). Every
# speaker reads the held-out lists itself (a reference, cached) and records
# the prompt words for a built voice, take by take.
PANEL = {
    "us-f2": ("espeak-ng", "en-us+f2", None),
    "us-f4": ("espeak-ng", "en-us+f4", None),
    "us-m": ("espeak-ng", "en-us", None),
    "gb-f3": ("espeak-ng", "en+f3", None),
    "gb-m": ("espeak-ng", "en", None),
    "klatt-us": ("espeak-ng", "en-us+klatt4", None),
    # Raised with its formants, the Klatt voice is heard as no one (97% errors
    # reading the lists itself); raised with them kept, it stays a person.
    "klatt-us-high": ("espeak-ng", "en-us+klatt4", ("rubberband", 9)),
    "awb": ("flite", "awb", None),
    "awb-high": ("flite", "awb", ("sox", 6)),
    "rms": ("flite", "rms", None),
    "rms-high": ("flite", "rms", ("rubberband", 10)),
}
# The panel heard by default: five of its eight female or high-pitched.
DEFAULT_PANEL = ("us-f2", "us-m", "gb-f3", "gb-m", "klatt-us-high", "awb", "awb-high",
                 "rms-high")
PANEL_SETS = ("held-out",)
PANEL_BUILT = "built-"  # engine name of a panel speaker's built voice: built-SPEAKER
PANEL_OWN = "own-"      # engine name of the speaker reading the sets itself: own-SPEAKER


# How a speaker is raised in pitch (sox -G lowers the gain where the shift
# would clip; -R seeds its dither the same every time, or no two takes of a
# speaker, nor two runs, would hear the same samples). Part of what decides a
# cached reading.
SHIFT_COMMANDS = {
    "sox": "sox -R -G {raw} {out} pitch {cents}",
    "rubberband": "rubberband -q -F -p {semitones} {raw} {out}",
}


def speaker_of(engine):
    """The panel speaker of a built-SPEAKER or own-SPEAKER engine, or None."""
    for prefix in (PANEL_BUILT, PANEL_OWN):
        if engine.startswith(prefix) and engine[len(prefix):] in PANEL:
            return PANEL[engine[len(prefix):]]
    return None


def speak(speaker, text, out_wav):
    """The speaker saying `text` into a WAV file at its synthesizer's rate."""
    synth, voice, shift = speaker
    raw = out_wav + ".raw.wav" if shift else out_wav
    if synth == "flite":
        subprocess.run(["flite", "-voice", voice, "-t", text, "-o", raw], check=True)
    else:
        subprocess.run(["espeak-ng", "-v", voice, "-w", raw, text], check=True)
    if shift:
        tool, semitones = shift
        cmd = SHIFT_COMMANDS[tool].format(raw=raw, out=out_wav, cents=100 * semitones,
                                          semitones=semitones)
        subprocess.run(cmd.split(), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        os.remove(raw)
JITTERED = "voxa-jittered"

# Phoneme symbols of the notation, in code order; the blank is silence.
SYMBOLS = ("IY IH EY EH AE AA AO OW UH UW ER AX AH AY AW OY p b t d k g f v TH DH s z "
           "SH ZH h m n NG l w y r CH j WH").split()


def words_of(text):
    return re.findall(r"[a-z']+", text.lower())


def read_lines(name):
    with open(os.path.join(HERE, name)) as f:
        return [line.strip() for line in f if line.strip()]


# Harvard lists heard while shaping the voice, and lists kept for checking it.
HARVARD_TUNING = (1, 8, 15, 22, 29, 36, 43, 50, 57, 64)
HARVARD_HELD_OUT = (4, 11, 18, 25, 32, 39, 46, 53, 60, 67)


def read_harvard(lists):
    """The sentences of the given Harvard lists, in list order."""
    by_list = defaultdict(list)
    for line in read_lines("harvard-sentences.txt"):
        if line.startswith("#"):
            continue
        number, sentence = line.split("\t")
        by_list[int(number)].append(sentence)
    return [sentence for n in lists for sentence in by_list[n]]


# The sets the voices built from prompt words hear unless --sets names others.
BUILT_VOICE_SETS = ("sentences", "words")

# The sets, in the order they are reported: name -> their texts.
SETS = {
    "sentences": lambda: read_lines("sentences.txt"),
    "words": lambda: read_lines("words.txt"),
    "tuning": lambda: read_harvard(HARVARD_TUNING),
    "held-out": lambda: read_harvard(HARVARD_HELD_OUT),
}


# ---- rendering and the listening condition ----

def read_wav(path):
    """A mono 16-bit WAV file's rate and samples."""
    with wave.open(path) as w:
        return w.getframerate(), np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")


def write_wav(path, rate, samples):
    """Writes mono 16-bit samples, rounded and held within range."""
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(np.clip(np.round(samples), -32768, 32767).astype("<i2").tobytes())


def render(engine, text, out_wav, tts, voice):
    if engine in ("voxa", JITTERED) or engine in SPEAKERS or engine.startswith(PANEL_BUILT):
        cmd = [tts, "say", "--wav", out_wav]
        if voice:
            cmd += ["--voice", voice]
        subprocess.run(cmd + SAY_OPTIONS + ["--", text], check=True)
        return
    raw = out_wav + ".full.wav"
    if engine.startswith(PANEL_OWN):
        speak(speaker_of(engine), text, raw)
    else:
        cmd = ["espeak-ng", "-w", raw]
        if engine in REFERENCE_VOICES:
            cmd += ["-v", REFERENCE_VOICES[engine]]
        subprocess.run(cmd + [text], check=True)
    # Band-limit to what an 11025 Hz voice can carry.
    subprocess.run(["sox", "-R", raw, "-D", "-r", "11025", "-b", "16", out_wav], check=True)
    os.remove(raw)


def listening_condition(in_wav, seeds):
    """16 kHz samples, peak at -3 dBFS, plus seeded white noise at -50 dBFS RMS:
    one rendering per seed."""
    resampled = in_wav + ".16k.wav"
    subprocess.run(["sox", "-R", in_wav, "-D", "-r", str(RATE), "-b", "16", "-c", "1",
                    resampled], check=True)
    x = read_wav(resampled)[1].astype(np.float64)
    os.remove(resampled)
    full = 32767.0
    peak = np.max(np.abs(x)) if len(x) else 0.0
    if peak > 0:
        x *= full * 10 ** (PEAK_DBFS / 20) / peak
    out = []
    for seed in seeds:
        rng = np.random.default_rng(seed)
        noisy = x + rng.standard_normal(len(x)) * full * 10 ** (NOISE_DBFS / 20)
        out.append(np.clip(np.round(noisy), -32768, 32767).astype("<i2").tobytes())
    return out


# ---- voices built from recorded prompt words ----

CHECK_LINE = re.compile(r"voice check: .*?about (\d+) of 100 words misheard, against (\d+)")


def build_voice(engine, tts, tmp, take=0, keep=None, check=False):
    """Records the speaker's prompt words and builds a voice of them; returns the
    voice file, the seconds `voice build` took and, with `check`, what the
    voice's own check said (words of 100 misheard with it and with Voxa, or
    None). Each take draws the words' levels, silences and noise afresh; take 0
    is the one always heard."""
    name = engine if take == 0 else "%s-take%d" % (engine, take)
    folder = os.path.join(tmp, name)
    os.makedirs(folder)
    rng = np.random.default_rng(zlib.crc32(engine.encode()) + take)
    prompts = subprocess.run([tts, "voice", "prompts"], check=True, capture_output=True,
                             text=True).stdout.splitlines()
    speaker = speaker_of(engine) or ("espeak-ng", SPEAKERS[engine], None)
    for line in prompts:
        symbol, word = line.split("\t")
        raw = os.path.join(folder, symbol + ".raw.wav")
        speak(speaker, word, raw)
        rate, x = read_wav(raw)
        x = x.astype(np.float64)
        os.remove(raw)
        x *= 10 ** (rng.uniform(-12, 0) / 20)
        lead, tail = (np.zeros(int(rate * rng.uniform(0.2, 1.0))) for _ in range(2))
        y = np.concatenate([lead, x, tail])
        y += rng.standard_normal(len(y)) * 32767 * 10 ** (SPEAKER_NOISE_DBFS / 20)
        write_wav(os.path.join(folder, symbol + ".wav"), rate, y)
    voice = os.path.join(tmp, name + ".voc")
    start = time.monotonic()
    report = subprocess.run([tts, "voice", "build", voice, folder] +
                            ([] if check else ["--no-check"]), check=True,
                            capture_output=True, text=True)
    seconds = time.monotonic() - start
    said = CHECK_LINE.search(report.stdout)
    checked = (int(said.group(1)), int(said.group(2))) if said else None
    if keep:
        # The recordings, the voice and its cuts, for looking into a speaker's figure.
        kept = os.path.join(keep, name)
        os.makedirs(kept, exist_ok=True)
        for f in os.listdir(folder):
            os.replace(os.path.join(folder, f), os.path.join(kept, f))
        with open(os.path.join(kept, "cuts.txt"), "w") as f:
            f.write(report.stdout + report.stderr)
        os.replace(voice, kept + ".voc")
        voice = kept + ".voc"
    return voice, seconds, checked


def jitter_voice(tts, base, tmp, take):
    """Voxa (or `base`) with each clip's start and end moved in by 0 to 3 ms,
    each to the next zero crossing inward; returns the voice file."""
    folder = os.path.join(tmp, "%s-%d" % (JITTERED, take))
    subprocess.run([tts, "voice", "export", base or "Voxa", folder], check=True,
                   stdout=subprocess.DEVNULL)
    rng = np.random.default_rng(1000 + take)

    # A zero sample counts as a crossing, so a stop's silent closure loses
    # no more than the 3 ms drawn.
    def crossing(x, i):
        return x[i] == 0 or (x[i] < 0 < x[i + 1]) or (x[i] > 0 > x[i + 1])

    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        rate, x = read_wav(path)
        reach = int(0.003 * rate)
        if name == "silence.wav" or len(x) <= 4 * reach + 100:
            continue
        start = int(rng.integers(0, reach + 1))
        end = len(x) - 1 - int(rng.integers(0, reach + 1))
        while start < end - 100 and not crossing(x, start):
            start += 1
        while end > start + 100 and not crossing(x, end - 1):
            end -= 1
        write_wav(path, rate, x[start:end])
    voice = folder + ".voc"
    subprocess.run([tts, "voice", "import", voice, folder], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return voice


# ---- language models ----

def write_bigram_arpa(lines, path, discount=0.5):
    """A backoff bigram model of the given lines (absolute discounting)."""
    uni = Counter()
    bi = defaultdict(Counter)
    for line in lines:
        toks = ["<s>"] + words_of(line) + ["</s>"]
        for a, b in zip(toks, toks[1:]):
            uni[b] += 1
            bi[a][b] += 1
    vocab = sorted(uni)
    total = sum(uni.values())
    # Add-one unigrams so every word of the set stays reachable after any word.
    p_uni = {w: (uni[w] + 1) / (total + len(vocab)) for w in vocab}
    entries_1 = [("<s>", -99.0, 0.0)]
    bigrams = []
    backoff = {}
    for h in ["<s>"] + vocab:
        following = bi.get(h)
        if not following:
            backoff[h] = 0.0
            continue
        ch = sum(following.values())
        seen_mass = 0.0
        for w, c in sorted(following.items()):
            bigrams.append((h, w, math.log10((c - discount) / ch)))
            seen_mass += p_uni[w]
        left = discount * len(following) / ch
        backoff[h] = math.log10(left / max(1e-9, 1.0 - seen_mass))
    entries_1[0] = ("<s>", -99.0, backoff["<s>"])
    for w in vocab:
        entries_1.append((w, math.log10(p_uni[w]), backoff.get(w, 0.0)))
    with open(path, "w") as f:
        f.write("\\data\\\nngram 1=%d\nngram 2=%d\n\n\\1-grams:\n" % (len(entries_1), len(bigrams)))
        for w, p, b in entries_1:
            f.write("%.4f %s %.4f\n" % (p, w, b))
        f.write("\n\\2-grams:\n")
        for h, w, p in bigrams:
            f.write("%.4f %s %s\n" % (p, h, w))
        f.write("\n\\end\\\n")


# ---- decoding ----

FULL_DICT = os.path.join(MODEL, "cmudict-en-us.dict")


def write_set_dict(lines, path):
    """The pronunciations of the set's words alone. A small model can only
    hear its own words, so the decoder hears the same as with the full
    dictionary, which takes most of a decoder's start-up to load."""
    vocab = {w for line in lines for w in words_of(line)}
    with open(FULL_DICT) as f, open(path, "w") as out:
        for entry in f:
            if entry.split(" ", 1)[0].split("(")[0] in vocab:
                out.write(entry)


def decode(job):
    """Decodes one utterance with a decoder of its own; returns the words heard."""
    pcm, lm, dictionary = job
    from pocketsphinx.pocketsphinx import Decoder
    config = Decoder.default_config()
    config.set_string("-hmm", os.path.join(MODEL, "en-us"))
    config.set_string("-dict", dictionary)
    config.set_string("-lm", lm)
    config.set_string("-logfn", os.devnull)
    decoder = Decoder(config)
    decoder.start_utt()
    decoder.process_raw(pcm, False, True)
    decoder.end_utt()
    hyp = decoder.hyp()
    return words_of(hyp.hypstr) if hyp else []


_FILE_DIGESTS = {}


def file_digest(path):
    """The SHA-256 of a file's bytes, read once per run."""
    if path not in _FILE_DIGESTS:
        with open(path, "rb") as f:
            _FILE_DIGESTS[path] = hashlib.sha256(f.read()).hexdigest()
    return _FILE_DIGESTS[path]


def decode_key(job):
    """Everything that decides what the decoder hears: the samples, the
    language model, the dictionary and the acoustic model's place."""
    pcm, lm, dictionary = job
    h = hashlib.sha256(pcm)
    for part in (file_digest(lm), file_digest(dictionary), MODEL, str(RATE)):
        h.update(part.encode() + b"\0")
    return h.hexdigest()[:32]


def decode_load(folder, key):
    try:
        with open(os.path.join(folder, key[:2], key + ".json")) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def decode_store(folder, key, words):
    """Stores one decoding; a fresh file is renamed into place, so runs side
    by side never read half of one."""
    sub = os.path.join(folder, key[:2])
    os.makedirs(sub, exist_ok=True)
    tmp = os.path.join(sub, "%s.%d.tmp" % (key, os.getpid()))
    with open(tmp, "w") as f:
        json.dump(words, f)
    os.replace(tmp, os.path.join(sub, key + ".json"))


def edit_distance(ref, hyp):
    row = list(range(len(hyp) + 1))
    for i, r in enumerate(ref, 1):
        prev, row[0] = row[0], i
        for j, h in enumerate(hyp, 1):
            prev, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, prev + (r != h))
    return row[-1]


def wer(refs, runs):
    """The error rate over `runs`, each a list of what was heard, one
    hypothesis per text (one run per noise seed)."""
    if any(h is None for run in runs for h in run):
        return float("nan")  # not decoded (--small-models-only)
    errors = sum(edit_distance(words_of(r), h) for run in runs for r, h in zip(refs, run))
    total = len(runs) * sum(len(words_of(r)) for r in refs)
    return 100.0 * errors / total if total else float("nan")


# ---- cache of the reference voices ----

REFERENCES = ("espeak-us", "espeak-default", "espeak-f3", "espeak-klatt")
# The espeak-ng voice of each reference, where it is not espeak-ng's default.
# espeak-us, espeak-f3 and espeak-klatt are the built voices' speakers
# reading whole sentences: how well the recognizer hears each speaker itself.
REFERENCE_VOICES = {"espeak-us": SPEAKERS["built-us"], "espeak-f3": SPEAKERS["built-gb"],
                    "espeak-klatt": SPEAKERS["built-klatt"]}


def cache_key(engine, texts, lms):
    """Everything that decides what the recognizer hears from a reference voice."""
    version = subprocess.run(["espeak-ng", "--version"], check=True, capture_output=True,
                             text=True).stdout
    if speaker_of(engine):
        version += repr(speaker_of(engine)) + repr(SHIFT_COMMANDS)
        if speaker_of(engine)[0] == "flite":
            # flite prints its version and exits with status 1.
            version += subprocess.run(["flite", "--version"], capture_output=True,
                                      text=True).stdout
    h = hashlib.sha256()
    for part in [engine, version, MODEL, str(RATE), str(PEAK_DBFS), str(NOISE_DBFS),
                 str(BIGRAM_SEEDS), str(SEED_OFFSET)] + texts:
        h.update(part.encode() + b"\0")
    for lm in lms:
        with open(lm, "rb") as f:
            h.update(f.read())
    return h.hexdigest()[:20]


def cache_load(folder, engine, key):
    try:
        with open(os.path.join(folder, "%s-%s.json" % (engine, key))) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def cache_store(folder, engine, key, hyps):
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "%s-%s.json" % (engine, key))
    with open(path + ".tmp", "w") as f:
        json.dump(hyps, f)
    os.replace(path + ".tmp", path)


# ---- speaking rate ----

def count_phones(phonetic):
    """Counts the non-silent phonemes of a phonetic string, cut as playback cuts it."""
    n, i, data = 0, 0, phonetic.encode("latin-1")
    while i < len(data):
        b = data[i]
        if b == 0x20 or (0x5A < b < 0x80) or i + 1 >= len(data):
            tok = data[i:i + 1]
        else:
            tok = data[i:i + 2]
        i += len(tok)
        if tok.decode("latin-1").lower() in (s.lower() for s in SYMBOLS):
            n += 1
    return n


def speaking_rate(tts, voice, tmp):
    text = " ".join(words_of(PROSE))  # punctuation would be spoken by name
    out = os.path.join(tmp, "prose.wav")
    render("voxa", text, out, tts, voice)
    with wave.open(out) as w:
        seconds = w.getnframes() / w.getframerate() - START_DELAY_S
    phonetic = subprocess.run([tts, "translate", text], check=True, capture_output=True,
                              text=True).stdout
    return count_phones(phonetic) / seconds, 60.0 * len(words_of(text)) / seconds


# ---- main ----

def render_heard(job):
    """One text rendered by a voice and put through the listening condition,
    one rendering per noise seed."""
    engine, text, wav, tts, voice = job
    # Words only: Voxa's translator would speak punctuation by name.
    render(engine, " ".join(words_of(text)), wav, tts, voice)
    seed = zlib.crc32(text.encode()) + SEED_OFFSET
    heard = listening_condition(wav, [seed + k for k in range(BIGRAM_SEEDS)])
    os.remove(wav)
    return heard


def listen(engine, sets, args, tmp, free_lm, voice, free=True):
    """Renders every text of the sets with one voice and decodes it under the free
    model and under the set's own model; returns, per set, what was heard under
    the free model and, per seed, under the set's model."""
    jobs = []
    with Pool(args.jobs) as pool:
        # The texts render side by side, as they decode.
        rendered = pool.map(render_heard, [
            (engine, text, os.path.join(tmp, "%s_%s_%d.wav" % (engine, name, i)), args.tts,
             voice) for name, texts, _, _ in sets for i, text in enumerate(texts)])
    at = 0
    for name, texts, lm, dictionary in sets:
        pcm = rendered[at:at + len(texts)]  # per text, one rendering per seed
        at += len(texts)
        jobs += [(p[0], free_lm, FULL_DICT) for p in pcm]
        jobs += [(p[k], lm, dictionary) for k in range(BIGRAM_SEEDS) for p in pcm]
    # Without the large model only the small ones decode (the large one is
    # what makes a run slow); its results stay empty and are not reported.
    skip = [(args.small_models_only or not free) and lm == free_lm for _, lm, _ in jobs]
    # What was heard from the very same samples under the same model is
    # kept: a voice that did not change since the last run (Voxa, a built
    # voice whose builder and speaker did not change) is not decoded again.
    folder = None if args.no_cache else os.path.join(args.cache_dir, "decoded")
    keys = [decode_key(j) if folder and not s else None for j, s in zip(jobs, skip)]
    hyps = [decode_load(folder, k) if k else None for k in keys]
    todo = [i for i, s in enumerate(skip) if not s and hyps[i] is None]
    with Pool(args.jobs) as pool:
        for i, h in zip(todo, pool.map(decode, [jobs[i] for i in todo])):
            hyps[i] = h
            if keys[i]:
                decode_store(folder, keys[i], h)
    result, at = {}, 0
    for name, texts, _, _ in sets:
        n = len(texts)
        free = hyps[at:at + n]
        small = [hyps[at + n * (1 + k):at + n * (2 + k)] for k in range(BIGRAM_SEEDS)]
        result[name] = (free, small)
        at += n * (1 + BIGRAM_SEEDS)
    return result


def median(values):
    values = sorted(values)
    n = len(values)
    return (values[n // 2] + values[(n - 1) // 2]) / 2 if n else float("nan")


def run_panel(args, sets, tmp, free_lm, cache):
    """Per panel speaker and set: the speaker reading the set itself, the voice
    built from its prompt words (the median of its takes) and Voxa, under the
    free model and the set's own (grammar) model."""
    started = time.monotonic()
    speakers = [s for s in (args.speakers or ",".join(DEFAULT_PANEL)).split(",") if s]

    def heard(engine, voice, free=True):
        """Per set: (free model's, grammar model's) error rate."""
        keys, found = {}, {}
        if engine.startswith(PANEL_OWN) and not args.no_cache and not args.small_models_only:
            for name, texts, lm, _ in sets:
                keys[name] = cache_key(engine, texts, [lm, free_lm])
                found[name] = cache_load(cache, engine, keys[name])
        missing = [s for s in sets if found.get(s[0]) is None]
        if missing:
            for name, hyps in listen(engine, missing, args, tmp, free_lm, voice,
                                     free).items():
                found[name] = hyps
                if name in keys:
                    cache_store(cache, engine, keys[name], hyps)
        return {name: (wer(texts, [found[name][0]]), wer(texts, found[name][1]))
                for name, texts, _, _ in sets}

    nan = (float("nan"), float("nan"))
    voxa = heard("voxa", args.voice) if not args.no_voxa else {s[0]: nan for s in sets}
    print("%-15s done: %s" % ("voxa", voxa), file=sys.stderr)
    rows = []
    for speaker in speakers:
        own = heard(PANEL_OWN + speaker, None)
        takes, checks = [], []
        for take in range(args.takes):
            voice, _, said = build_voice(PANEL_BUILT + speaker, args.tts, tmp, take, args.keep,
                                         check=True)
            checks.append(said)
            takes.append(heard(PANEL_BUILT + speaker, voice, take < args.free_takes))
        rows.append((speaker, own, takes, checks))
        print("%-15s done: own %s, built takes %s" % (speaker, own, takes), file=sys.stderr)

    print("speaker panel: %d takes per built voice, their median (free model: the first %d); "
          "free model / grammar (bigram) model of the set" % (args.takes, args.free_takes))
    for name, _, _, _ in sets:
        print("== %s" % name)
        print("%-15s%-28s%17s%17s%17s  %s" % ("speaker", "synthesizer", "own", "built",
                                             "voxa", "built takes (grammar)"))
        for speaker, own, takes, _ in rows:
            synth, voice, shift = PANEL[speaker]
            who = "%s %s%s" % (synth, voice, " %s %+d" % shift if shift else "")
            free = [t[name][0] for t in takes if not math.isnan(t[name][0])]
            built = (median(free), median([t[name][1] for t in takes]))
            print("%-15s%-28s" % (speaker, who) + "".join(
                "%8.1f%% %6.1f%%" % pair for pair in (own[name], built, voxa[name])) +
                "  " + " ".join("%.1f" % t[name][1] for t in takes))
    # What `voice build` told the user about each take: its own check's words
    # of 100 misheard, beside Voxa's on the same sentences.
    print("== the voice check after each build (built / Voxa, per take)")
    for speaker, _, _, checks in rows:
        print("%-15s" % speaker + "  ".join("%s/%s" % c if c else "-" for c in checks))
    print("panel run time: %.0f s" % (time.monotonic() - started))


def main():
    global BIGRAM_SEEDS, SEED_OFFSET
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--tts", default="build/bin/vocalith-tts")
    ap.add_argument("--voice", help="a voice file for Voxa's renderings (default: Voxa)")
    ap.add_argument("--engines", default="voxa,built-us,built-gb,built-klatt,espeak-us,espeak-f3,espeak-klatt,espeak-default")
    ap.add_argument("--sets", help="the sets to hear (default: all of %s; the "
                    "voices built from prompt words hear only the first two)" % ", ".join(SETS))
    ap.add_argument("--say", default="", help="more options for Voxa's renderings, "
                    "e.g. '--rate 50 --pitch -20'")
    ap.add_argument("--show", action="store_true", help="print what was heard")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--seeds", type=int, default=BIGRAM_SEEDS,
                    help="noise floors each utterance is heard with under the bigram model")
    ap.add_argument("--seed-offset", type=int, default=0,
                    help="added to every noise seed: other noise floors than the usual ones")
    ap.add_argument("--sentences-only", action="store_true", help="skip the word list")
    ap.add_argument("--small-models-only", action="store_true",
                    help="decode with the bigram models only (much quicker)")
    ap.add_argument("--cache", help="folder for the reference voices' results "
                    "(default: listening-cache beside the folder of --tts)")
    ap.add_argument("--no-cache", action="store_true",
                    help="render and decode the reference voices again")
    ap.add_argument("--takes", type=int, default=1,
                    help="build each built voice from this many takes of its speaker "
                    "(and voxa-jittered from as many jitters) and report the mean "
                    "(default 1: one take decides much of a built voice's figure, "
                    "so a small change to the cutter is better judged over several)")
    ap.add_argument("--panel", action="store_true",
                    help="the speaker panel: each speaker reading the held-out lists, the "
                    "voice built from its prompt words (--takes takes) and Voxa")
    ap.add_argument("--free-takes", type=int, default=1,
                    help="the panel's takes also heard under the free model, ten times "
                    "slower to decode (default 1: the first)")
    ap.add_argument("--speakers", help="the panel's speakers to hear (default: %s; known: "
                    "%s)" % (", ".join(DEFAULT_PANEL), ", ".join(PANEL)))
    ap.add_argument("--no-voxa", action="store_true",
                    help="leave Voxa out of the panel (heard by another run)")
    ap.add_argument("--keep", help="keep the built voices' recordings, voices and cuts "
                    "in this folder")
    args = ap.parse_args()
    if args.takes < 1 or args.seeds < 1:
        ap.error("--takes and --seeds must be at least 1")
    SAY_OPTIONS[:] = args.say.split()
    BIGRAM_SEEDS, SEED_OFFSET = args.seeds, args.seed_offset
    cache = args.cache or os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(
        args.tts))), "listening-cache")
    args.cache_dir = cache
    default_sets = PANEL_SETS if args.panel else SETS
    names = [n for n in (args.sets or ",".join(default_sets)).split(",") if n]
    unknown = [n for n in names if n not in SETS]
    if unknown:
        ap.error("unknown set %s (known: %s)" % (", ".join(unknown), ", ".join(SETS)))
    unknown = [s for s in (args.speakers or "").split(",") if s and s not in PANEL]
    if unknown:
        ap.error("unknown speaker %s (known: %s)" % (", ".join(unknown), ", ".join(PANEL)))
    engines = [e for e in args.engines.split(",") if e]
    known = ["voxa", JITTERED, *SPEAKERS, *REFERENCES]
    if not engines or any(e not in known for e in engines):
        ap.error("unknown engine in %r (known: %s)" % (args.engines, ", ".join(known)))
    if args.sentences_only:
        names = [n for n in names if n != "words"]
    names = [n for n in SETS if n in names]  # report in the usual order

    with tempfile.TemporaryDirectory(prefix="listening_") as tmp:
        free_lm = os.path.join(MODEL, "en-us.lm.bin")
        sets = []
        for name in names:
            texts = SETS[name]()
            lm = os.path.join(tmp, name + ".arpa")
            write_bigram_arpa(texts, lm)
            dictionary = os.path.join(tmp, name + ".dict")
            write_set_dict(texts, dictionary)
            sets.append((name, texts, lm, dictionary))

        if args.panel:
            run_panel(args, sets, tmp, free_lm, cache)
            return

        rows = []
        builds = []
        takes = []  # each take's figures, when there are several
        texts_of = {name: texts for name, texts, _, _ in sets}
        for engine in engines:
            heard = {}
            # The Harvard lists would triple the built voices' decoding time,
            # the slow part of a run: by default they hear the first two sets.
            has_takes = engine in SPEAKERS or engine == JITTERED
            if has_takes and not args.sets:
                for name, _, _, _ in sets:
                    if name not in BUILT_VOICE_SETS:
                        heard[name] = None
            keys = {}
            if engine in REFERENCES and not args.no_cache and not args.small_models_only:
                for name, texts, lm, _ in sets:
                    keys[name] = cache_key(engine, texts, [lm, free_lm])
                    found = cache_load(cache, engine, keys[name])
                    if found is not None:
                        heard[name] = found
            missing = [s for s in sets if s[0] not in heard]
            # What was heard, per set: the runs under the free model and
            # under the set's model (one per noise seed, and per take).
            for name in heard:
                if heard[name] is not None:
                    heard[name] = ([heard[name][0]], heard[name][1])
            for take in range(args.takes if has_takes else 1):
                voice = args.voice
                if engine == JITTERED:
                    voice = jitter_voice(args.tts, args.voice, tmp, take)
                if engine in SPEAKERS:
                    voice, seconds, _ = build_voice(engine, args.tts, tmp, take)
                    if take == 0:
                        builds.append((engine, SPEAKERS[engine], seconds))
                if not missing:
                    continue
                figures = []
                for name, hyps in listen(engine, missing, args, tmp, free_lm, voice).items():
                    free, small = heard.get(name) or ([], [])
                    heard[name] = (free + [hyps[0]], small + hyps[1])
                    figures.append("%s %.1f%%" % (name, wer(texts_of[name], hyps[1])))
                    if name in keys:
                        cache_store(cache, engine, keys[name], hyps)
                if args.takes > 1 and has_takes:
                    takes.append("%s take %d (bigram): %s" % (engine, take, ", ".join(figures)))
            row = [engine]
            for name, texts, _, _ in sets:
                if heard[name] is None:
                    row += [None, None]
                    continue
                free, small = heard[name]
                if args.show:
                    print("== %s, %s (free | bigram)" % (engine, name))
                    for ref, a, b in zip(texts, free[0], small[0]):
                        print("%-45s | %s | %s" % (ref, " ".join(a or []), " ".join(b or [])))
                row += [wer(texts, free), wer(texts, small)]
            rows.append(row)
            print("%-15s done%s" % (engine, " (cached)" if not missing else ""), file=sys.stderr)

        print("; ".join("%s: %d" % (name, len(texts)) for name, texts, _, _ in sets) +
              "; 16 kHz, peak %.0f dBFS, noise %.0f dBFS (bigram: %d noise seeds%s)" %
              (PEAK_DBFS, NOISE_DBFS, BIGRAM_SEEDS,
               ", offset %d" % SEED_OFFSET if SEED_OFFSET else ""))
        print("word error rates, free model / bigram model of the set")
        print("%-15s" % "voice" + "".join("%17s" % name for name in names))
        for row in rows:
            print("%-15s" % row[0] + "".join(
                "%17s" % "-" if row[i] is None else "%8.1f%% %6.1f%%" % (row[i], row[i + 1])
                for i in range(1, len(row), 2)))
        for line in takes:
            print(line)
        for engine, speaker, seconds in builds:
            print("%s: built from espeak-ng %s's 41 prompt words in %.2f s" %
                  (engine, speaker, seconds))
        if "voxa" in args.engines.split(","):
            phones, wpm = speaking_rate(args.tts, args.voice, tmp)
            print("voxa speaking rate: %.1f phones/s, %.0f words/min" % (phones, wpm))


if __name__ == "__main__":
    main()
