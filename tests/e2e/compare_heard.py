"""Compares what a sound server's monitor heard with the rendering of the
same speech: the heard signal, aligned by cross-correlation, must follow the
rendering closely from its first to its last sound (nothing missing, no gap).
The device runs at another rate, so samples match only approximately."""
import array
import sys
import wave


def envelope(samples, step):
    return [sum(abs(x) for x in samples[i:i + step]) / step for i in range(0, len(samples), step)]


def correlation(a, b):
    n = min(len(a), len(b))
    a, b = a[:n], b[:n]
    ma, mb = sum(a) / n, sum(b) / n
    num = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    da = sum((x - ma) ** 2 for x in a) ** 0.5
    db = sum((y - mb) ** 2 for y in b) ** 0.5
    return num / (da * db) if da and db else 0.0


def gaps(expected, heard):
    """Silent stretches (10 ms or more) in what was heard between its first
    and last sound that the rendering does not have: drop-outs that the
    device inserted. Prints their count and their lengths in ms."""
    def silences(s):
        found, run = [], 0
        voiced = [i for i, x in enumerate(s) if abs(x) > 64]
        if not voiced:
            return found
        for x in s[voiced[0]:voiced[-1] + 1]:
            if abs(x) <= 64:
                run += 1
            else:
                if run >= 110:
                    found.append(run)
                run = 0
        return found
    extra = sorted(silences(heard))
    for run in silences(expected):  # the rendering's own pauses are not gaps
        near = [g for g in extra if abs(g - run) <= 110]
        if near:
            extra.remove(near[0])
    print(len(extra), ' '.join(f'{g * 1000 // 11025}ms' for g in extra))
    return 0


def main():
    args = sys.argv[1:]
    only_gaps = args[0] == '--gaps'
    if only_gaps:
        args = args[1:]
    w = wave.open(args[0])
    expected = array.array('h', w.readframes(w.getnframes()))
    heard = array.array('h', open(args[1], 'rb').read())
    if only_gaps:
        return gaps(expected, heard)
    voiced = [i for i, x in enumerate(expected) if x]
    expected = expected[voiced[0]:voiced[-1] + 1]
    step = 55  # 5 ms envelopes: robust to the rate conversion
    ee, he = envelope(expected, step), envelope(heard, step)
    best, lag = -1.0, 0
    for k in range(0, max(1, len(he) - len(ee) + 1)):
        c = correlation(ee, he[k:k + len(ee)])
        if c > best:
            best, lag = c, k
    part = he[lag:lag + len(ee)]
    print(f"heard {len(heard)} samples; speech found at {lag * step} with envelope "
          f"correlation {best:.3f} over {len(ee) * step} samples")
    if len(part) < len(ee):
        print("FAIL: the speech was cut off")
        return 1
    if best < 0.8:
        print("FAIL: what was heard does not follow the rendering")
        return 1
    # No drop-out: wherever the rendering is loud, the heard signal is too
    # (within 10 ms: the alignment is only as fine as the envelope's steps).
    loud = [i for i, v in enumerate(ee) if v > 0.2 * max(ee)]
    quiet = [i for i in loud if max(part[max(0, i - 2):i + 3]) < 0.1 * ee[i]]
    if quiet:
        print(f"FAIL: {len(quiet)} stretches of 5 ms silent where speech should be")
        return 1
    return 0


sys.exit(main())
