"""A proof, with z3, that the block engine decides every block as the
recognizers would, and a check that the model of the engine it reasons about
is the engine as compiled.

Proven, for every block length n from 1 to 64 (n symbolic, so that each
query holds for every length), every classes its bytes can have (letters
and digits apart, octal digits among the digits, '0' among them) and every
carry the engine can be in:
  starts   decide's three masks of token starts are those of an automaton
           that reads the block a byte at a time, as the recognizers'
           chain does, and hold no bit past the block's data;
  carry    decide's carry out is the automaton's state at the block's end,
           so that by induction any number of blocks in a row is right; the
           five carries of the automaton's five states are the only ones
           the engine can reach, since decide maps each to one of them;
  pending  a '0' left at a block's last byte is written by settle at the
           next block, octal just when its first byte is an octal digit,
           and written once; at the end of input it is decimal, or has no
           line when the last read failed;
  skips    the loop's two steps over whole blocks (inside a run that has
           given all its tokens, and between runs) pass over no token and
           leave the carry decide would.
Checked exhaustively: each of the 256 entries of the table of four lines is
the four lines its index names.
Tested, not proven: the model of decide and settle here is the compiled one,
on many masks (tie: the program built from block.h and lines.h is given
them), and so are emit's and emitquads' lines.

Usage: proof.py [--tie-only] [EMULATOR ARG...] TIE
TIE is the program built from proof_tie.cpp, run under EMULATOR when one is
given; --tie-only leaves out the proof, which is the same on every build.
"""

import random
import subprocess
import sys
import time

try:
    import z3
except ImportError:
    sys.exit("proof: z3 is missing: apt-get install python3-z3")

M = (1 << 64) - 1

# ---------------------------------------------------------------------------
# The automaton: the recognizers' chain, a byte at a time.

OTHER, LETTER, ZERO, OCTDIGIT, NINE = range(5)  # NINE: 8 or 9
CLASSES = (OTHER, LETTER, ZERO, OCTDIGIT, NINE)
# Where the automaton is: between tokens, inside an identifier, after a '0'
# whose token is not yet known, inside an octal number, inside a decimal.
BETWEEN, IDENT, PENDING, OCTAL, DECIMAL = range(5)
STATES = (BETWEEN, IDENT, PENDING, OCTAL, DECIMAL)
LINE = {"identifier": "identifier\n", "octal": "octal\n", "decimal": "decimal\n"}


def begin(c):
    """A token's first byte: identifier, then octal, then decimal."""
    if c == LETTER:
        return IDENT, [(0, "identifier")]
    if c == ZERO:
        return PENDING, []  # octal if an octal digit follows, else decimal
    if c in (OCTDIGIT, NINE):
        return DECIMAL, [(0, "decimal")]
    return BETWEEN, []  # begins no token, dropped


def step(s, c):
    """The next state and the tokens that start, each as (offset, class):
    offset 0 is this byte, -1 the byte before (a '0' decided now)."""
    if s == IDENT and c != OTHER:  # letters and digits
        return IDENT, []
    if s == OCTAL and c in (ZERO, OCTDIGIT):
        return OCTAL, []
    if s == DECIMAL and c in (ZERO, OCTDIGIT, NINE):
        return DECIMAL, []
    if s == PENDING:
        if c in (ZERO, OCTDIGIT):
            return OCTAL, [(-1, "octal")]
        t, starts = begin(c)  # the '0' was a decimal by itself
        return t, [(-1, "decimal")] + starts
    return begin(c)  # the token, if any, ended before this byte


def at_end(s, failed):
    """The line of a token still open at the end of input."""
    return ["decimal"] if s == PENDING and not failed else []


# How decide's carry stands for each state: (alnum, octal, digits, zero).
CARRY = {
    BETWEEN: (0, 0, 0, 0),
    IDENT: (1, 0, 0, 0),
    PENDING: (1, 1, 1, 1),
    OCTAL: (1, 1, 1, 0),
    DECIMAL: (1, 0, 1, 0),
}

# ---------------------------------------------------------------------------
# The model of block.h's decide and lines.h's settle, the same text over
# Python integers (for the tie) and z3 bit-vectors (for the proof).


class Ints:
    @staticmethod
    def shl(x, s):
        return x << s & M

    @staticmethod
    def shr(x, s):
        return x >> s

    @staticmethod
    def inv(x):
        return x ^ M

    @staticmethod
    def add(a, b):  # the sum and whether it overflowed
        return (a + b) & M, (a + b) >> 64


class Bits:
    @staticmethod
    def shl(x, s):
        return x << s

    @staticmethod
    def shr(x, s):
        return z3.LShR(x, s)

    @staticmethod
    def inv(x):
        return ~x

    @staticmethod
    def add(a, b):
        s = z3.ZeroExt(1, a) + z3.ZeroExt(1, b)
        return z3.Extract(63, 0, s), z3.ZeroExt(63, z3.Extract(64, 64, s))


def past(op, starts, m, carry):
    s, carry = op.add(starts | carry, m)
    return s & op.inv(m), carry


def decide(op, L, D, O, Z, n, full, k):
    """Starts (ident, octal, decimal) and the carry out.  n may be
    symbolic: every shift by it goes through op."""
    alnum, octal, digits, _ = k
    valid = M if full else op.shr(M, 64 - n)
    L, D, O, Z = L & valid, D & valid, O & valid, Z & valid
    A = L | D
    S = A & op.inv(op.shl(A, 1) | alnum)
    ZS, DS = Z & S, D & S
    Of, Df = O | (M ^ valid), D | (M ^ valid)
    pastoct, octal = past(op, ZS, Of, octal)
    pastdig, digits = past(op, DS, Df, digits)
    nxt = op.shr(O, 1)
    last = op.shl(1, n - 1)
    ident = L & (S | pastdig)
    octs = ZS & nxt
    decs = (DS & op.inv(Z)) | (ZS & op.inv(nxt) & (M ^ last)) | (D & pastoct)
    k = (op.shr(A, n - 1) & 1, octal, digits, op.shr(ZS, n - 1) & 1)
    return (ident, octs, decs), k


# settle's table of lines by class, indexed as its BYCLASS.
BYCLASS = ("decimal", "octal", "identifier")


def settle(O, k):
    """For the '0' the carry k left, before a block whose octal mask is O:
    the index of settle's line, and whether it is written (1) or not (0)."""
    return O & 1, k[3]


def settled(O, k):
    """The text settle writes."""
    line, written = settle(O, k)
    return LINE[BYCLASS[line]] if written else ""


# ---------------------------------------------------------------------------
# The proof.


def bit(x, i):
    return z3.Extract(i, i, x) == 1


def block(n):
    """Symbolic masks of n bytes (n a number or symbolic) with the classes
    bytes can have (those past the data are anything), each of the 64
    bytes' class, and a symbolic carry in: the one-hot state the automaton
    starts in and decide's carry for it."""
    L, D, O, Z = (z3.BitVec(x, 64) for x in "LDOZ")
    valid = Bits.shr(z3.BitVecVal(M, 64), 64 - n)
    facts = [L & D & valid == 0, O & ~D & valid == 0, Z & ~O & valid == 0]
    cls = []
    for i in range(64):
        l, d, o, z = bit(L, i), bit(D, i), bit(O, i), bit(Z, i)
        cls.append(
            {
                OTHER: z3.And(z3.Not(l), z3.Not(d)),
                LETTER: l,
                ZERO: z,
                OCTDIGIT: z3.And(o, z3.Not(z)),
                NINE: z3.And(d, z3.Not(o)),
            }
        )
    st = {s: z3.Bool(f"in{s}") for s in STATES}
    facts.append(z3.Or(list(st.values())))
    facts += [z3.Not(z3.And(st[a], st[b])) for a in STATES for b in STATES if a < b]
    k = tuple(
        z3.If(z3.Or([st[s] for s in STATES if CARRY[s][j]]), z3.BitVecVal(1, 64), 0)
        for j in range(4)
    )
    return (L, D, O, Z), cls, st, k, facts


def run(cls, st):
    """The automaton over the 64 bytes from the one-hot state st: the state
    after each byte and, by (position, class, the byte that decides it),
    when a token starts there."""
    ends, starts = [], {}
    for i, c in enumerate(cls):
        nst = {s: [] for s in STATES}
        for s in STATES:
            for x in CLASSES:
                when = z3.And(st[s], c[x])
                t, found = step(s, x)
                nst[t].append(when)
                for off, name in found:
                    starts.setdefault((i + off, name, i), []).append(when)
        st = {s: z3.Or(w) for s, w in nst.items()}
        ends.append(st)
    return ends, {p: z3.Or(w) for p, w in starts.items()}


def started(starts, i, name, n):
    """Whether the automaton starts a token of the class at byte i, decided
    by a byte of the first n."""
    by = [(j, w) for (p, c, j), w in starts.items() if (p, c) == (i, name)]
    return z3.Or([z3.And(z3.ULT(j, n), w) for j, w in by])


def proven(facts, claim):
    s = z3.Tactic("qfbv").solver()
    s.add(*facts)
    s.add(z3.Not(claim))
    r = s.check()
    if r != z3.unsat:
        raise AssertionError(f"not proven: {claim}\n{s.model() if r == z3.sat else r}")


def prove_lengths():
    """starts, carry and pending for blocks of every length n from 1 to 64;
    the times of each.  n is symbolic, and what is claimed of a byte is
    claimed only when it is inside the block: z3 proves a claim for all 64
    lengths at once in a tenth of the time it takes for them one by one.
    The starts are a query a mask: z3 takes a fraction of the time of one
    query for all three."""
    times = {}
    n = z3.BitVec("n", 64)
    masks, cls, st, k, facts = block(n)
    facts += [z3.UGE(n, 1), z3.ULE(n, 64)]
    L, D, O, Z = masks
    ends, starts = run(cls, st)
    for s in STATES:  # no proof holds for want of a block to hold of
        for length in (1, 64):
            check = facts + [st[s], n == length]
            assert z3.Tactic("qfbv").solver().check(check) == z3.sat
    # A full block's decide<true> is decide<false> at 64: the same terms.
    t, kout = decide(Bits, L, D, O, Z, n, False, k)
    t0 = time.time()
    # A '0' the automaton has not decided by the block's end is in no mask:
    # decide leaves it to k.zero (the carry), and settle writes it at the
    # next block (pending), where the automaton decides it at offset -1.
    for mask, name in zip(t, ("identifier", "octal", "decimal")):
        claim = [z3.LShR(mask, n) == 0]
        claim += [
            z3.Implies(z3.ULT(i, n), bit(mask, i) == started(starts, i, name, n))
            for i in range(64)
        ]
        proven(facts, z3.And(claim))
    times["starts"] = time.time() - t0
    t0 = time.time()
    one = z3.BitVecVal(1, 64)
    claim = []
    for i, end in enumerate(ends):
        want = [z3.Or([end[s] for s in STATES if CARRY[s][j]]) for j in range(4)]
        same = [x == z3.If(w, one, 0) for x, w in zip(kout, want)]
        claim.append(z3.Implies(n == i + 1, z3.And(same)))
    proven(facts, z3.And(claim))
    times["carry"] = time.time() - t0
    # The '0' a block before left: settle's line is the one the automaton
    # gives it at this block's first byte, and none when no '0' was left.
    t0 = time.time()
    line, written = settle(O, k)
    for i, name in enumerate(BYCLASS):
        want = started(starts, -1, name, n)
        proven(facts, want == z3.And(written == 1, line == i))
    times["pending"] = time.time() - t0
    return times


def prove_end():
    """At the end of input, the engine's `!k.zero || in.err || put(DECNUM)`
    is the automaton's line for its state."""
    for s in STATES:
        for failed in (False, True):
            line = [] if not CARRY[s][3] or failed else ["decimal"]
            assert line == at_end(s, failed), (s, failed)


def prove_skips():
    masks, cls, st, k, facts = block(64)
    L, D, O, Z = masks
    ends, starts = run(cls, st)
    end = ends[-1]
    t, kout = decide(Bits, L, D, O, Z, 64, True, k)
    none = z3.And([z3.Not(w) for w in starts.values()])
    nostart = z3.And([x == 0 for x in t])
    same = z3.And([a == b for a, b in zip(kout, k)])
    # Inside a run that has given all its tokens: the block is passed over,
    # no settle and no decide, and the next one is the same case again.
    inrun = [L | D == M, k[0] == 1, k[1] | k[2] == 0]
    ident = end[IDENT] == st[IDENT]
    proven(facts + inrun, z3.And(none, nostart, same, k[3] == 0, ident))
    # Between runs: settle, then the carry of no run, and the blocks after
    # with no letter or digit are passed over from there.
    blank = [L | D == 0]
    only0 = z3.And([z3.Not(w) for (p, _, _), w in starts.items() if p >= 0])
    zero = z3.And([x == 0 for x in kout])
    proven(facts + blank, z3.And(only0, nostart, zero, end[BETWEEN]))


# ---------------------------------------------------------------------------
# The quads and the tie.


def lines_of(t, n=64):
    """The lines of starts t, in order."""
    out = []
    for i in range(n):
        for mask, name in zip(t, ("identifier", "octal", "decimal")):
            if mask >> i & 1:
                out.append(LINE[name])
    return "".join(out)


def check_quads(table):
    if table is None:
        return  # no table on this processor
    assert len(table) == 256, len(table)
    byclass = {(1, 1): "identifier", (1, 0): "octal", (0, 1): "decimal"}
    for i, (length, text) in enumerate(table):
        want = "".join(
            LINE[byclass[i >> 4 + j & 1, i >> j & 1]]
            for j in range(4)
            if (i >> 4 + j & 1, i >> j & 1) in byclass
        )
        assert (length, text) == (len(want), want), (i, length, text, want)


def byte_masks(classes):
    L = D = O = Z = 0
    for i, c in enumerate(classes):
        L |= (c == LETTER) << i
        D |= (c in (ZERO, OCTDIGIT, NINE)) << i
        O |= (c in (ZERO, OCTDIGIT)) << i
        Z |= (c == ZERO) << i
    return L, D, O, Z


def tie_cases():
    """Masks to decide: every one or two bytes of any class among others,
    and random blocks of every density, under every reachable carry, full
    and short."""
    rng = random.Random(23)
    carries = list(CARRY.values())
    cases = []
    some = (LETTER, ZERO, OCTDIGIT, NINE)
    for i in range(64):
        for a in some:
            for k in carries:
                for n in {64, i + 1, min(i + 2, 64)}:
                    cases.append((byte_masks([OTHER] * i + [a]), n, k))
    for i in range(64):
        for j in range(i + 1, 64):
            for a in some:
                for b in some:
                    c = [OTHER] * 64
                    c[i], c[j] = a, b
                    k = carries[(i + j + a + b) % 5]
                    cases.append((byte_masks(c), rng.choice((64, j + 1)), k))
    for _ in range(6000):
        w = [rng.random() for _ in CLASSES]
        c = rng.choices(CLASSES, weights=w, k=64)
        # Bytes past the data are whatever the buffer holds.
        n = rng.randint(1, 64)
        past = M ^ M >> (64 - n)
        masks = tuple(x | rng.getrandbits(64) & past for x in byte_masks(c))
        cases.append((masks, n, rng.choice(carries)))
    return cases


def tie(command):
    cases = tie_cases()
    rng = random.Random(64)
    emits = []
    for count in range(65):
        for _ in range(8):
            pos = rng.sample(range(64), count)
            t = [0, 0, 0]
            for p in pos:
                t[rng.randrange(3)] |= 1 << p
            emits.append(tuple(t))
    req = []
    for (L, D, O, Z), n, k in cases:
        for full in (False, True) if n == 64 else (False,):
            carry = " ".join(map(str, k))
            req.append(f"d {n:x} {int(full)} {L:x} {D:x} {O:x} {Z:x} {carry}")
    req += [f"e {i:x} {o:x} {d:x}" for i, o, d in emits]
    req.append("q")
    got = subprocess.run(
        command, input="\n".join(req) + "\n", capture_output=True, text=True, check=True
    ).stdout.split("\n")
    at = 0
    for (L, D, O, Z), n, k in cases:
        for full in (False, True) if n == 64 else (False,):
            t, kout = decide(Ints, L, D, O, Z, n, full, k)
            want = " ".join(f"{x:x}" for x in t) + " " + " ".join(map(str, kout))
            want += " " + (settled(O, k).replace("\n", "/") or "-")
            assert got[at] == want, f"tie: {req[at]}: got {got[at]}, want {want}"
            at += 1
    for t in emits:
        want = lines_of(t).replace("\n", "/") or "-"
        plain, quads = got[at].split(" ")
        assert plain == want, f"tie: emit {t}: got {plain}, want {want}"
        assert quads in (want, "none"), f"tie: emitquads {t}: got {quads}, want {want}"
        at += 1
    if got[at] == "q none":
        return None
    assert got[at] == "q", f"tie: no table of four lines: {got[at]}"
    table = []
    for line in got[at + 1 : at + 257]:
        length, text = line.split(" ", 1)
        table.append((int(length), bytes.fromhex(text).decode()))
    return table


def main():
    args = sys.argv[1:]
    tie_only = args[:1] == ["--tie-only"]
    if tie_only:
        args = args[1:]
    times = {}
    t0 = time.time()
    table = tie(args)
    times["tie"] = time.time() - t0
    t0 = time.time()
    check_quads(table)
    times["quads"] = time.time() - t0
    if not tie_only:
        t0 = time.time()
        prove_end()
        prove_skips()
        times["skips"] = time.time() - t0
        times.update(prove_lengths())
    for part, t in times.items():
        print(f"proof: {part}: {t:.1f} s")
    if tie_only:
        print("proof: the engine is the model; the native builds prove it")
    else:
        print("proof: every block of 1 to 64 bytes is decided as the recognizers do")


if __name__ == "__main__":
    main()
