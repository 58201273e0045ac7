"""Finds a rendering, stretch by stretch, in what a sound server's monitor
heard: every 50 ms stretch of the rendering must appear in the recording in
order, with normalised correlation >= 0.9, each one right after the one
before (a shift of more than 5 ms is a gap or a repeat); where it begins is
found by its first 400 ms of sound together. Both sides are
11025 Hz mono and low-passed at 4 kHz, since the device path resamples twice.

    align_heard.py [--onset MS] [--glitches N] EXPECTED.wav HEARD.raw [EXPECTED2.wav ...]

Several renderings are looked for one after another in the same recording
(each after the end of the one before). Prints one line per rendering: where
its first sound was heard (seconds into the recording), the lowest
correlation and the largest shift; then every fault. Exit status 1 on a fault.

--onset MS leaves the first MS milliseconds of each rendering's first sound
out of the check, for a monitor known to miss the start of a stream that
begins with sound (see sound_server_test.sh).

--glitches N lets each rendering have up to N of the server's glitches: one
or two stretches in a row not found in place, shifted by at most one graph
cycle of PipeWire's (43 ms), with the rest found in place around them. A
server on a machine that holds its processors back now and then makes those
while the client's stream holds sound; the caller checks the client's side
(see realtime_user_test.sh). They are printed, and do not fail the check.
"""
import re
import sys
import wave

import numpy as np

RATE = 11025
STRETCH = RATE // 20          # 50 ms
TOLERANCE = RATE * 5 // 1000  # 5 ms
GLITCH_SHIFT_MS = 45          # one graph cycle of 2048 frames at 48 kHz, and a little
SEARCH = RATE // 5            # a stretch is looked for within 200 ms of where it belongs
UP = 8                        # sub-sample steps when refining an alignment
MIN_NCC = 0.9
ANCHOR = 8                    # stretches (400 ms) that find a rendering's start


def lowpass(x, cutoff=4000.0, taps=63):
    n = np.arange(taps) - (taps - 1) / 2
    h = np.sinc(2 * cutoff / RATE * n) * np.hamming(taps)
    h /= h.sum()
    return np.convolve(x, h, mode='same')


def ncc_at(heard, start, stretch):
    """Normalised correlation of `stretch` with heard[start:], refined to an
    eighth of a sample around the integer offset `start`: (ncc, offset)."""
    margin = 32
    lo = start - margin
    if lo < 0 or start + len(stretch) + margin > len(heard):
        seg = heard[max(lo, 0):start + len(stretch)]
        if len(seg) < len(stretch) or start < 0:
            return 0.0, float(start)
        seg = heard[start:start + len(stretch)]
        d = np.linalg.norm(seg) * np.linalg.norm(stretch)
        return (float(np.dot(seg, stretch) / d) if d else 0.0), float(start)
    seg = heard[lo:start + len(stretch) + margin]
    spectrum = np.fft.rfft(seg)
    up = np.fft.irfft(spectrum, len(seg) * UP) * UP
    best, where = -1.0, float(start)
    sn = np.linalg.norm(stretch)
    for k in range(-UP, UP + 1):
        part = up[margin * UP + k::UP][:len(stretch)]
        d = np.linalg.norm(part) * sn
        c = float(np.dot(part, stretch) / d) if d else 0.0
        if c > best:
            best, where = c, start + k / UP
    return best, where


def find(heard, lo, hi, stretch, want=None):
    """Where `stretch` matches best in heard[lo:hi]: (ncc, offset). The
    integer lags are only a first guess (half a sample off, a 4 kHz sound is
    out of phase): the best few are refined below a sample. A voice repeats
    its clips, so several places may match equally well: of those, the one
    nearest `want` is taken, or the earliest without one."""
    lo = max(lo, 0)
    hi = min(hi, len(heard) - len(stretch))
    if hi <= lo:
        return None
    window = heard[lo:hi + len(stretch)]
    # The dot product at every lag, through the FFT: an anchor of several
    # stretches searched through a whole recording is too long to slide.
    n = 1 << int(len(window) + len(stretch) - 1).bit_length()
    dots = np.fft.irfft(np.fft.rfft(window, n) * np.conj(np.fft.rfft(stretch, n)), n)
    dots = dots[:len(window) - len(stretch) + 1]
    sq = np.concatenate(([0.0], np.cumsum(window * window)))
    energy = sq[len(stretch):] - sq[:-len(stretch)]
    # Near-silent windows (and the rounding of the running sum there) would
    # divide by almost nothing: a window must hold at least a thousandth of
    # the stretch's energy to count.
    own = float(np.dot(stretch, stretch))
    ncc = dots / np.sqrt(np.maximum(energy, 1e-3 * own) * own)
    peaks = np.flatnonzero((ncc >= ncc.max() - 0.3) &
                           (ncc >= np.roll(ncc, 1)) & (ncc >= np.roll(ncc, -1)))
    peaks = peaks[np.argsort(-ncc[peaks])][:12 if want is not None else 40]
    refined = [ncc_at(heard, lo + int(k), stretch) for k in peaks]
    best = max(c for c, _ in refined)
    good = [(c, pos) for c, pos in refined if c >= best - 0.01]
    if want is None:
        return min(good, key=lambda g: g[1])
    return min(good, key=lambda g: abs(g[1] - want))


def profile(heard, at, stretch, ratios):
    """What was heard where a stretch belongs, 5 ms at a time: the level
    against the rendering's, so a fault reads as silence put in its place,
    sound added, or something else."""
    seg = heard[max(at, 0):at + len(stretch)]
    if len(seg) < len(stretch):
        return 'the recording ends there'
    scale = float(np.median(ratios)) if ratios else 1.0
    parts = []
    for k in range(0, len(stretch) - TOLERANCE + 1, TOLERANCE):
        e = np.sqrt(np.mean(stretch[k:k + TOLERANCE] ** 2))
        h = np.sqrt(np.mean(seg[k:k + TOLERANCE] ** 2)) / scale
        parts.append(f'{h / e:.2f}' if e > 0 else '-')
    return 'heard/rendered level by 5 ms: ' + ' '.join(parts)


def align(expected, heard, begin, onset=0):
    """Follows `expected` through `heard` from offset `begin`, the first
    `onset` samples of its first sound unchecked. Returns (first sound
    offset, end offset, lowest ncc, largest shift, faults)."""
    voiced = np.flatnonzero(np.abs(expected) > 0)
    if len(voiced) == 0:
        return begin, begin, 1.0, 0.0, []
    expected = expected[voiced[0]:voiced[-1] + 1]
    x = lowpass(expected.astype(np.float64))
    count = len(x) // STRETCH
    rms = np.array([np.sqrt(np.mean(x[i * STRETCH:(i + 1) * STRETCH] ** 2)) for i in range(count)])
    loud = rms > 0.02 * rms.max()
    faults = []
    first = next(i for i in range(count) if loud[i])
    skip = min(onset, STRETCH // 2)
    # The rendering is found by its first ANCHOR stretches together: a voice
    # repeats its clips, so a first stretch that a glitch spoilt matches
    # best where the same sound comes again, later, and the whole rendering
    # would be followed from there. Its first stretch is then checked where
    # the anchor put it.
    anchor = x[first * STRETCH + skip:min(first + ANCHOR, count) * STRETCH]
    found = find(heard, begin, len(heard), anchor)
    if found is None:
        return begin, begin, 0.0, 0.0, ['the speech was not heard at all']
    s = x[first * STRETCH + skip:(first + 1) * STRETCH]
    at = found[1]
    c, pos = find(heard, int(at) - TOLERANCE, int(at) + TOLERANCE + 1, s, at) or (0.0, at)
    if c < MIN_NCC:
        pos = at
    pos -= skip
    start = pos - first * STRETCH
    lowest, largest = c, 0.0
    if c < MIN_NCC:
        faults.append(f'stretch {first} ({first * 50} ms): best correlation {c:.3f}')
    prev = pos
    ratios = []
    for i in range(first + 1, count):
        s = x[i * STRETCH:(i + 1) * STRETCH]
        want = prev + STRETCH
        if not loud[i]:
            # Quiet in the rendering: nothing loud may be heard there (older
            # sound replayed), and the alignment carries on unchanged.
            j = int(round(want))
            seg = heard[max(j, 0):j + STRETCH]
            if len(seg) < STRETCH:
                faults.append(f'stretch {i} ({i * 50} ms): the recording ends')
                break
            # The path may scale the sound (a microphone's gain, a server's
            # volume): levels compare at the scale the loud stretches show.
            scale = float(np.median(ratios)) if ratios else 1.0
            level = np.sqrt(np.mean(seg ** 2)) / scale
            if level > max(3 * rms[i], 0.05 * rms.max()):
                faults.append(f'stretch {i} ({i * 50} ms): sound where the rendering is quiet')
            prev = want
            continue
        found = find(heard, int(want) - SEARCH, int(want) + SEARCH, s, want)
        if found is None:
            faults.append(f'stretch {i} ({i * 50} ms): the recording ends')
            break
        c, pos = found
        shift = pos - want
        lowest = min(lowest, c)
        if c < MIN_NCC:
            faults.append(f'stretch {i} ({i * 50} ms): best correlation {c:.3f}; '
                          + profile(heard, int(round(want)), s, ratios))
            prev = want  # lost: look for the next one where it belongs
            continue
        largest = max(largest, abs(shift))
        j = int(round(pos))
        ratios.append(np.sqrt(np.mean(heard[j:j + STRETCH] ** 2)) / rms[i])
        if abs(shift) > TOLERANCE:
            kind = 'gap' if shift > 0 else 'repeat'
            faults.append(f'stretch {i} ({i * 50} ms): {kind} of {abs(shift) * 1000 / RATE:.1f} ms')
        prev = pos
    # The last part-stretch is heard too: the 50 ms that end the rendering,
    # where they belong after the last stretch (an output that stops before
    # its last sounds are heard loses them here).
    rest = len(x) - count * STRETCH
    if rest > 0 and not faults:
        tail = x[len(x) - STRETCH:]
        want = prev + rest
        if np.sqrt(np.mean(tail ** 2)) > 0.02 * rms.max():
            c, pos = ncc_at(heard, int(round(want)), tail)
            lowest = min(lowest, c)
            if c < MIN_NCC:
                faults.append(f'the last {rest * 1000 // RATE} ms: best correlation {c:.3f}')
        prev = want
    return start, prev + STRETCH, lowest, largest, faults


def split_glitches(faults):
    """Splits faults into (glitches, the rest): a glitch is a run of at most
    two neighbouring stretches whose faults are a low correlation or a shift
    of at most GLITCH_SHIFT_MS."""
    runs = []
    for f in faults:
        m = re.match(r'stretch (\d+) \(', f)
        if m and runs and runs[-1][0] is not None and int(m.group(1)) == runs[-1][0] + 1:
            runs[-1][0] = int(m.group(1))
            runs[-1][1].append(f)
        else:
            runs.append([int(m.group(1)) if m else None, [f]])
    glitches, rest = [], []
    for last, group in runs:
        small = last is not None and len(group) <= 2 and all(
            'best correlation' in f or
            ((m := re.search(r'(gap|repeat) of ([\d.]+) ms', f)) and float(m.group(2)) <= GLITCH_SHIFT_MS)
            for f in group)
        (glitches if small else rest).append(group)
    return glitches, [f for group in rest for f in group]


def main():
    args = sys.argv[1:]
    onset = 0
    allowed = 0
    while len(args) >= 2 and args[0] in ('--onset', '--glitches'):
        if args[0] == '--onset':
            onset = int(args[1]) * RATE // 1000
        else:
            allowed = int(args[1])
        args = args[2:]
    if len(args) < 2:
        print(__doc__)
        return 2
    heard = np.frombuffer(open(args[1], 'rb').read(), dtype='<i2').astype(np.float64)
    heard = lowpass(heard)
    begin = 0
    failed = False
    for path in [args[0]] + args[2:]:
        with wave.open(path) as w:
            if w.getframerate() != RATE or w.getnchannels() != 1 or w.getsampwidth() != 2:
                print(f'{path}: not 16-bit mono {RATE} Hz')
                return 2
            expected = np.frombuffer(w.readframes(w.getnframes()), dtype='<i2')
        start, end, lowest, largest, faults = align(expected, heard, begin, onset)
        glitches = []
        if allowed > 0:
            glitches, faults = split_glitches(faults)
            if len(glitches) > allowed:
                faults = [f for group in glitches for f in group] + faults
                glitches = []
        print(f'{path}: heard from {start / RATE:.3f} s, lowest correlation {lowest:.3f}, '
              f'largest shift {largest * 1000 / RATE:.1f} ms, {len(faults)} faults'
              + (f', {len(glitches)} of the server\'s glitches' if glitches else ''))
        for group in glitches:
            print('  glitch: ' + '; '.join(group))
        for f in faults[:10]:
            print('  FAIL: ' + f)
        failed = failed or bool(faults)
        begin = int(end)
    return 1 if failed else 0


sys.exit(main())
