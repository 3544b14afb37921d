"""Reads orlix-sim's protocol log and measures a programming run against the time its bytes
need on the wire.

The log has one line per run of up to 16 bytes, "<seconds> <dir> <baud>  XX XX ...", and notes
"<seconds> --  text". rx lines carry the time the simulator took the bytes from the pty (the
program's hand-over); tx lines the time it wrote them back, which its wire pacing holds until
the bytes have fully left the unit's UART. A byte takes 10 bit times (start, 8 data, stop).
"""

from dataclasses import dataclass, field
import statistics

BAUD_BOOT = 4800
BAUD_KERNEL = 115200
BLOCK_DATA = 514        # 512 data bytes and the CRC
DEFAULT_PACE_CAP = 0.300

# The waits the program makes whatever the line does (seconds).
WAIT_AUTO_PAUSE = 2.000     # automatic mode: the found page before the download
WAIT_AFTER_SWITCH = 0.100   # after the switch frame, before the first kernel command
WAIT_ERASE_POLL = 1.000     # after the erase command, before its first poll


def byte_time(baud):
    return 10.0 / baud


@dataclass
class Chunk:
    """Bytes the simulator read (rx) or wrote (tx) in one go."""
    t: float
    direction: str
    baud: int
    data: bytearray = field(default_factory=bytearray)

    def wire(self):
        return len(self.data) * byte_time(self.baud)


def parse_log(lines):
    """Chunks of rx and tx bytes in log order; notes, lost bytes and decoys are left out.
    Lines of one write (same time, direction and speed) are joined."""
    chunks = []
    for line in lines:
        parts = line.split()
        if len(parts) < 4 or parts[1] not in ("rx", "tx"):
            continue
        try:
            t = float(parts[0])
            baud = int(parts[2])
            data = bytes(int(x, 16) for x in parts[3:])
        except ValueError:
            continue
        last = chunks[-1] if chunks else None
        if last and last.t == t and last.direction == parts[1] and last.baud == baud:
            last.data += data
        else:
            chunks.append(Chunk(t, parts[1], baud, bytearray(data)))
    return chunks


def read_log(path):
    with open(path, encoding="ascii", errors="replace") as f:
        return parse_log(f)


@dataclass
class Block:
    """One write-block exchange: command, two status bytes, data phase, reply."""
    t_cmd: float
    t_status: float = None      # the second status byte written
    t_data: float = None        # first data bytes handed over
    t_data_due: float = None    # the last data byte received, by the wire's pace
    t_reply: float = None       # last reply byte written
    address: int = 0
    reply: bytearray = field(default_factory=bytearray)

    def complete(self):
        return self.t_reply is not None


def is_write_command(chunk):
    return chunk.direction == "rx" and chunk.baud == BAUD_KERNEL and len(chunk.data) >= 4 and chunk.data[0] == 0x08


def find_blocks(chunks):
    """The write-block exchanges in order. A block repeated after a CRC error counts twice."""
    blocks = []
    block = None
    state = None
    need = 0
    for c in chunks:
        if c.baud != BAUD_KERNEL:
            continue
        if state in (None, "reply") and is_write_command(c):
            block = Block(c.t, address=c.data[1] | c.data[2] << 8 | c.data[3] << 16)
            blocks.append(block)
            state, need = "status", 2
            continue
        if block is None:
            continue
        if state == "status" and c.direction == "tx":
            need -= len(c.data)
            if need <= 0:
                block.t_status = c.t
                state, need = "data", BLOCK_DATA
        elif state == "data" and c.direction == "rx":
            if block.t_data is None:
                block.t_data = c.t
                block.t_data_due = c.t
            block.t_data_due = max(block.t_data_due, c.t) + c.wire()
            need -= len(c.data)
            if need <= 0:
                state, need = "reply", 2
        elif state == "reply" and c.direction == "tx":
            block.reply += c.data
            block.t_reply = c.t
            if len(block.reply) >= 2 or block.reply[:1] == b"5":
                state = None
    return [b for b in blocks if b.complete()]


@dataclass
class Segment:
    name: str
    measured: float     # seconds, summed over the blocks
    wire: float         # seconds the bytes of this segment need on the line
    median: float       # per block, seconds

    @property
    def excess(self):
        return self.measured - self.wire


@dataclass
class ProgrammingPhase:
    blocks: int
    start: float
    end: float
    wire_bytes: int
    segments: list
    cycle_median: float     # command to next command, the median block
    cycle_p10: float
    cycle_p90: float

    @property
    def block_ratio(self):
        """The median block against its share of the wire time: the phase's ratio without
        the tail that a busy machine adds."""
        return self.cycle_median / (self.bound / self.blocks)

    @property
    def measured(self):
        return self.end - self.start

    @property
    def bound(self):
        return self.wire_bytes * byte_time(BAUD_KERNEL)

    @property
    def ratio(self):
        return self.measured / self.bound


def programming_phase(chunks):
    """From the first write-block command to the last block's reply, with the time split
    into the four parts of every block."""
    blocks = find_blocks(chunks)
    if not blocks:
        raise ValueError("no complete write-block exchange in the log")
    start, end = blocks[0].t_cmd, blocks[-1].t_reply
    wire_bytes = sum(len(c.data) for c in chunks if c.baud == BAUD_KERNEL and start <= c.t <= end)
    bt = byte_time(BAUD_KERNEL)

    cmd_status = [b.t_status - b.t_cmd for b in blocks]
    status_data = [b.t_data - b.t_status for b in blocks]
    data_reply = [b.t_reply - b.t_data for b in blocks]
    turnaround = [nxt.t_cmd - b.t_reply for b, nxt in zip(blocks, blocks[1:])]
    # Where the simulator wrote later than its pacing model allows: the status after the
    # 4-byte command, the reply after the data.
    late_status = [b.t_status - (b.t_cmd + 6 * bt) for b in blocks]
    late_reply = [b.t_reply - (b.t_data_due + len(b.reply) * bt) for b in blocks]

    def seg(name, values, wire_each):
        return Segment(name, sum(values), wire_each * len(values), statistics.median(values) if values else 0.0)

    segments = [
        seg("command -> status (4 + 2 bytes)", cmd_status, 6 * bt),
        seg("status -> data handed over (program)", status_data, 0.0),
        seg("data -> reply (514 + 2 bytes)", data_reply, (BLOCK_DATA + 2) * bt),
        seg("reply -> next command (program)", turnaround, 0.0),
        seg("  of which: simulator late with the status", late_status, 0.0),
        seg("  of which: simulator late with the reply", late_reply, 0.0),
    ]
    cycles = sorted(nxt.t_cmd - b.t_cmd for b, nxt in zip(blocks, blocks[1:])) or [end - start]
    return ProgrammingPhase(len(blocks), start, end, wire_bytes, segments, statistics.median(cycles),
                            cycles[len(cycles) // 10], cycles[len(cycles) * 9 // 10])


def find(chunks, predicate, after=float("-inf")):
    for c in chunks:
        if c.t >= after and predicate(c):
            return c
    raise ValueError("log lacks an expected exchange")


@dataclass
class Step:
    name: str
    measured: float
    bound: float
    credit: float = 0.0  # bound the simulator's pacing cap takes off (see whole_run)


@dataclass
class WholeRun:
    steps: list
    pace_cap: float
    programming: ProgrammingPhase

    @property
    def measured(self):
        return sum(s.measured for s in self.steps)

    @property
    def bound(self):
        return sum(s.bound for s in self.steps)

    @property
    def credit(self):
        return sum(s.credit for s in self.steps)

    @property
    def model_bound(self):
        return self.bound - self.credit


def whole_run(chunks, pace_cap=DEFAULT_PACE_CAP):
    """The run from the search's first sync byte to the last block's reply, step by step.

    Each step's bound is the wire time of its bytes at their speed plus the program's fixed
    wait inside it. The simulator delivers a frame the program handed over at most pace_cap
    seconds later (a pty's flush returns at once, so a paced 918-byte kernel frame would miss
    the program's reply time-out); the credit is the wire time that cap takes off."""
    boot = [c for c in chunks if c.baud == BAUD_BOOT]
    kern = [c for c in chunks if c.baud == BAUD_KERNEL]

    def rx_is(c, first, length=None):
        return c.direction == "rx" and c.data[:1] == bytes([first]) and (length is None or len(c.data) == length)

    def tx(c):
        return c.direction == "tx"

    sync1 = find(boot, lambda c: rx_is(c, 0x18, 1))
    sync1_reply = find(boot, tx, sync1.t)
    sync2 = find(boot, lambda c: rx_is(c, 0x18, 1), sync1_reply.t)
    frame = find(boot, lambda c: c.direction == "rx" and len(c.data) > 6 and c.data[0] == 0x00, sync2.t)
    switch = find(boot, lambda c: c.direction == "rx" and bytes(c.data) == b"\x40\x00\x00\x00\x00", frame.t)
    ping = find(kern, lambda c: rx_is(c, 0xE8, 1), switch.t)
    erase = find(kern, lambda c: rx_is(c, 0x38, 4), ping.t)
    blank = find(kern, lambda c: rx_is(c, 0x48, 4), erase.t)
    phase = programming_phase([c for c in kern if c.t >= blank.t])

    # Each step starts when the program hands over a frame and lasts until it hands over the
    # next one: the frame, the unit's answer, and whatever the program waits for in between.
    marks = [
        ("search (unit on the first port), automatic pause", sync1.t, WAIT_AUTO_PAUSE),
        ("download: sync, kernel frame", sync2.t, 0.0),
        ("switch frame, wait after the switch", switch.t, WAIT_AFTER_SWITCH),
        ("ping", ping.t, 0.0),
        ("erase, wait before its first poll", erase.t, WAIT_ERASE_POLL),
        ("blank check", blank.t, 0.0),
        ("programming", phase.start, 0.0),
    ]
    steps = []
    for i, (name, t0, wait) in enumerate(marks):
        t1 = phase.end if i + 1 == len(marks) else marks[i + 1][1]
        # The program's frames from the step's start, the unit's answers up to its end.
        wire = sum(c.wire() for c in chunks
                   if (c.direction == "rx" and t0 <= c.t < t1) or (c.direction == "tx" and t0 < c.t <= t1))
        # Only a frame longer than the cap is shortened by it: the kernel frame.
        credit = max(0.0, frame.wire() - pace_cap) if t0 <= frame.t < t1 else 0.0
        steps.append(Step(name, t1 - t0, wire + wait, credit))
    return WholeRun(steps, pace_cap, phase)
