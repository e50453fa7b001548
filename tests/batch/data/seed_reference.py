#!/usr/bin/python3
"""Task seeds and first draws of the task streams, computed independently of
the C++ code from the rules in docs/batch.md; prints the rows of the reference
table in tests/batch/resampling_test.cpp."""

M = (1 << 64) - 1


def splitmix(state):
    state = (state + 0x9E3779B97F4A7C15) & M
    z = state
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & M
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & M
    return state, z ^ (z >> 31)


def task_seed(master, zone, branch, replicate):
    h = 0xCBF29CE484222325
    data = master.to_bytes(8, "little") + zone.encode() + b"\0" + branch.encode() + b"\0"
    data += (replicate & M).to_bytes(8, "little")
    for byte in data:
        h = ((h ^ byte) * 0x100000001B3) & M
    return splitmix(h)[1]


class Stream:
    def __init__(self, seed):
        self.s = []
        for _ in range(4):
            seed, word = splitmix(seed)
            self.s.append(word)

    def next(self):
        s = self.s
        rotl = lambda x, k: ((x << k) | (x >> (64 - k))) & M
        result = (rotl((s[1] * 5) & M, 7) * 9) & M
        t = (s[1] << 17) & M
        s[2] ^= s[0]
        s[3] ^= s[1]
        s[1] ^= s[2]
        s[0] ^= s[3]
        s[2] ^= t
        s[3] = rotl(s[3], 45)
        return result

    def below(self, n):
        reject = ((1 << 64) - n) % n
        while True:
            x = self.next()
            if x >= reject:
                return x % n


for master, zone, branch, replicate, n in [
    (1, "north", "base", 0, 10),
    (20240516, "tonga", "ct=A;b=1.0;proc=cramer", 1, 7),
    (20240516, "tonga", "ct=A;b=1.0;proc=cramer", 2, 7),
    ((1 << 63) - 1, "z", "b=0.9", 100, 1000003),
]:
    seed = task_seed(master, zone, branch, replicate)
    stream = Stream(seed)
    draws = [stream.below(n) for _ in range(3)]
    print(f'    {{{master}ULL, "{zone}", "{branch}", {replicate}, {n}, {seed}ULL, '
          f'{{{draws[0]}, {draws[1]}, {draws[2]}}}}},')
