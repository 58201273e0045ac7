#!/usr/bin/python3
"""Which of a voice's clips cost it the most words: clip swaps against a donor.

A built voice is heard worse than Voxa, but a word is lost to a sentence's
weakest clip, so the figure alone does not say which sounds are at fault.
This script trades clips between the voice and a donor (Voxa by default) a
group of phonemes at a time, or one phoneme at a time, and hears each
hybrid on the listening bench's lists under the set's grammar model:

  into   the voice with the donor's clips for the swapped phonemes: how many
         words in 100 those clips cost the voice in its own company
  from   the donor with the voice's clips for them: what the same clips cost
         in the donor's company, where the rest of the sentence is heard well

The two can differ a lot: a voice whose vowels and consonants are both poor
gains little from new vowels alone, while each of its poor clips shows in
the donor's company. The faint noise floor moves a figure by a point or two
(more on one take's single clip), so read a difference below that with
--seeds 3 or more. The tuning lists are heard by default: a change chosen on
them is confirmed on the held-out lists by listen.py --panel.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
LISTEN = os.path.join(HERE, "..", "listening", "listen.py")

GROUPS = {
    "vowels": "IY IH EY EH AE AA AO OW UH UW ER AX AH AY AW OY",
    "stops": "p b t d k g CH j",
    "fricatives": "f v TH DH s z SH ZH h",
    "sonorants": "m n NG l w y r WH",
}
# The figure listen.py prints for Voxa's renderings: "voxa  FREE%  GRAMMAR%".
VOXA_LINE = re.compile(r"^voxa\s+\S+%\s+([\d.]+)%", re.M)


def heard(args, voice):
    """Words of 100 misheard with `voice`, under the set's grammar model."""
    out = subprocess.run([sys.executable, LISTEN, "--tts", args.tts, "--jobs", str(args.jobs),
                          "--engines", "voxa", "--voice", voice, "--sets", args.sets,
                          "--small-models-only", "--seeds", str(args.seeds)],
                         check=True, capture_output=True, text=True).stdout
    found = VOXA_LINE.search(out)
    if not found:
        sys.exit("swap.py: no figure in listen.py's output:\n" + out)
    return float(found.group(1))


def hybrid(args, tmp, base, donor, phonemes, name):
    """A voice of `base`'s exported clips with `donor`'s for `phonemes`."""
    folder = os.path.join(tmp, name)
    shutil.copytree(base, folder)
    for p in phonemes:
        shutil.copy(os.path.join(donor, p + ".wav"), os.path.join(folder, p + ".wav"))
    voice = folder + ".voc"
    subprocess.run([args.tts, "voice", "import", voice, folder], check=True,
                   capture_output=True)
    return voice


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("voice", help="the voice file to look into")
    ap.add_argument("--tts", default="build/bin/vocalith-tts")
    ap.add_argument("--donor", help="the voice whose clips are traded in (default: Voxa "
                    "from the voices folder beside --tts)")
    ap.add_argument("--phonemes", help="swap these one at a time (symbols, comma-separated, "
                    "or 'all'); default: the four groups %s" % ", ".join(GROUPS))
    ap.add_argument("--way", choices=("into", "from", "both"), default="both")
    ap.add_argument("--sets", default="tuning")
    ap.add_argument("--seeds", type=int, default=3)
    ap.add_argument("--jobs", type=int, default=2)
    args = ap.parse_args()
    donor_voice = args.donor or os.path.join(os.path.dirname(os.path.abspath(args.tts)),
                                             "voices", "Voxa.voc")
    with tempfile.TemporaryDirectory(prefix="swap_") as tmp:
        own, donor = os.path.join(tmp, "own"), os.path.join(tmp, "donor")
        for voice, folder in ((args.voice, own), (donor_voice, donor)):
            subprocess.run([args.tts, "voice", "export", voice, folder], check=True,
                           capture_output=True)
        if args.phonemes == "all":
            units = {p[:-4]: [p[:-4]] for p in sorted(os.listdir(own)) if p != "silence.wav"}
        elif args.phonemes:
            units = {p: [p] for p in args.phonemes.split(",") if p}
        else:
            units = {name: group.split() for name, group in GROUPS.items()}
        unknown = [p for u in units.values() for p in u
                   if not os.path.exists(os.path.join(own, p + ".wav"))]
        if unknown:
            ap.error("no clip for %s" % ", ".join(unknown))
        ways = ("into", "from") if args.way == "both" else (args.way,)
        # Each way's starting figure: the voice itself (into) or the donor (from).
        base = {way: heard(args, args.voice if way == "into" else donor_voice) for way in ways}
        print("%s, donor %s: %s (words of 100 misheard, %s lists, %d seeds)" % (
            os.path.basename(args.voice), os.path.basename(donor_voice),
            ", ".join("%s %.1f" % (way, base[way]) for way in ways), args.sets, args.seeds))
        print("%-12s" % "swapped" + "".join("%16s" % w for w in ways))
        for name, phonemes in units.items():
            figures = {}
            for way in ways:
                first, second = (own, donor) if way == "into" else (donor, own)
                figures[way] = heard(args, hybrid(args, tmp, first, second, phonemes,
                                                  "%s-%s" % (way, name)))
            print("%-12s" % name + "".join(
                "%8.1f (%+5.1f)" % (figures[w], figures[w] - base[w]) for w in ways),
                flush=True)


if __name__ == "__main__":
    main()
