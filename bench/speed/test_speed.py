"""Checks of the benchmarks' own arithmetic: reading the simulator's log, splitting a
programming run into its parts, the bounds, and the generated images. No timing is asserted.

    python3 -m unittest discover -s bench/speed -p 'test_*.py'
"""

import os
import sys
import unittest
from unittest import mock

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import make_images  # noqa: E402
import simlog  # noqa: E402
import speedbench  # noqa: E402

BT = 10.0 / 115200  # one byte at the kernel's speed
BT_BOOT = 10.0 / 4800


class LogWriter:
    """Writes lines the way orlix-sim's protocol log does: 16 bytes a line, one time per write."""

    def __init__(self):
        self.lines = []

    def bytes(self, t, direction, baud, data):
        data = bytes(data)
        for i in range(0, len(data), 16):
            self.lines.append("%11.6f %-7s %6u  %s" % (t, direction, baud, " ".join("%02X" % b for b in data[i:i + 16])))

    def note(self, t, text):
        self.lines.append("%11.6f --      %s" % (t, text))

    def chunks(self):
        return simlog.parse_log(self.lines)


def write_block(log, t, address=0xF80000, late=0.0, turnaround=0.0, reply=b"01", split_reply=False):
    """One block exchange timed exactly by the wire (plus `late` on each simulator write);
    returns the time of the next command."""
    cmd = bytes([0x08, address & 0xFF, (address >> 8) & 0xFF, address >> 16])
    log.bytes(t, "rx", 115200, cmd)
    t_status = t + 6 * BT + late
    log.bytes(t_status, "tx", 115200, b"01")
    t_data = t_status + turnaround
    log.bytes(t_data, "rx", 115200, bytes(range(256)) * 2 + b"\x12\x34")
    t_reply = t_data + (514 + len(reply)) * BT + late
    if split_reply:
        log.bytes(t_reply - BT, "tx", 115200, reply[:1])
        log.bytes(t_reply, "tx", 115200, reply[1:])
    else:
        log.bytes(t_reply, "tx", 115200, reply)
    return t_reply + turnaround


class ParseLogTest(unittest.TestCase):
    def test_lines_of_one_write_join_and_other_lines_are_left_out(self):
        log = LogWriter()
        log.note(0.0, "unit MB90F345 on /dev/pts/3")
        log.bytes(0.5, "rx", 4800, range(40))           # three lines, one write
        log.bytes(0.5, "tx", 4800, b"\x01")              # same time, other direction
        log.bytes(0.6, "rx", 4800, b"\x18")
        log.bytes(0.6, "rx", 115200, b"\xE8")            # same time, other speed
        log.lines.append("   0.700000 tx-lost   4800  31")
        log.lines.append("   0.800000 decoy0    4800  18")
        log.lines.append("   0.900000 rx      4800  ZZ")  # damaged
        log.lines.append("")
        chunks = log.chunks()
        self.assertEqual([(c.t, c.direction, c.baud, len(c.data)) for c in chunks],
                         [(0.5, "rx", 4800, 40), (0.5, "tx", 4800, 1), (0.6, "rx", 4800, 1), (0.6, "rx", 115200, 1)])
        self.assertEqual(bytes(chunks[0].data), bytes(range(40)))
        self.assertAlmostEqual(chunks[0].wire(), 40 * BT_BOOT)


class ProgrammingPhaseTest(unittest.TestCase):
    def test_run_at_wire_speed_has_ratio_one_and_no_excess(self):
        log = LogWriter()
        t = 10.0
        for i in range(4):
            t = write_block(log, t, 0xF80000 + 512 * i)
        phase = simlog.programming_phase(log.chunks())
        self.assertEqual(phase.blocks, 4)
        self.assertEqual(phase.wire_bytes, 4 * 522)
        self.assertAlmostEqual(phase.measured, 4 * 522 * BT, places=5)
        self.assertAlmostEqual(phase.ratio, 1.0, places=4)
        self.assertAlmostEqual(phase.block_ratio, 1.0, places=4)
        for s in phase.segments:
            self.assertAlmostEqual(s.excess, 0.0, places=5, msg=s.name)

    def test_gaps_are_charged_to_the_simulator_or_the_program(self):
        log = LogWriter()
        t = 1.0
        for _ in range(3):
            t = write_block(log, t, late=0.0008, turnaround=0.0002)
        phase = simlog.programming_phase(log.chunks())
        by_name = {s.name.split("(")[0].strip(): s for s in phase.segments}
        self.assertAlmostEqual(by_name["of which: simulator late with the status"].median, 0.0008, places=5)
        self.assertAlmostEqual(by_name["of which: simulator late with the reply"].median, 0.0008, places=5)
        self.assertAlmostEqual(by_name["status -> data handed over"].measured, 3 * 0.0002, places=5)
        # The last block's turnaround lies after the phase: only two count.
        self.assertAlmostEqual(by_name["reply -> next command"].measured, 2 * 0.0002, places=5)
        main = [s for s in phase.segments if not s.name.startswith(" ")]
        self.assertAlmostEqual(sum(s.measured for s in main), phase.measured, places=5)
        self.assertAlmostEqual(phase.measured - phase.bound, 6 * 0.0008 + 5 * 0.0002, places=5)
        cycle = 522 * BT + 2 * 0.0008 + 2 * 0.0002
        for value in (phase.cycle_p10, phase.cycle_median, phase.cycle_p90):
            self.assertAlmostEqual(value, cycle, places=5)

    def test_reply_written_in_two_parts_ends_the_block_at_its_last_byte(self):
        log = LogWriter()
        end = write_block(log, 2.0, split_reply=True)
        phase = simlog.programming_phase(log.chunks())
        self.assertAlmostEqual(phase.end, end, places=5)
        self.assertAlmostEqual(phase.ratio, 1.0, places=4)

    def test_data_handed_over_in_parts_is_paced_from_each_part(self):
        # 200 bytes, then the rest 30 ms later (the program's write was split): the line is
        # idle in between, so the reply is due after the second part's wire time.
        log = LogWriter()
        log.bytes(0.0, "rx", 115200, b"\x08\x00\x00\xF8")
        log.bytes(6 * BT, "tx", 115200, b"01")
        log.bytes(0.001, "rx", 115200, bytes(200))
        log.bytes(0.031, "rx", 115200, bytes(314))
        due = 0.031 + 314 * BT + 2 * BT
        log.bytes(due + 0.0005, "tx", 115200, b"01")
        phase = simlog.programming_phase(log.chunks())
        late = [s for s in phase.segments if "late with the reply" in s.name][0]
        self.assertAlmostEqual(late.median, 0.0005, places=5)

    def test_crc_error_repeats_the_block_and_counts_both_exchanges(self):
        log = LogWriter()
        t = write_block(log, 0.0, 0xF80000, reply=b"5")
        t = write_block(log, t, 0xF80000)
        t = write_block(log, t, 0xF80200)
        blocks = simlog.find_blocks(log.chunks())
        self.assertEqual([b.address for b in blocks], [0xF80000, 0xF80000, 0xF80200])
        self.assertEqual(bytes(blocks[0].reply), b"5")
        phase = simlog.programming_phase(log.chunks())
        self.assertEqual(phase.wire_bytes, 521 + 2 * 522)
        self.assertAlmostEqual(phase.ratio, 1.0, places=4)

    def test_bytes_before_and_after_the_phase_do_not_count(self):
        log = LogWriter()
        log.bytes(0.0, "rx", 115200, b"\x48\x00\x00\xF8")   # blank check
        log.bytes(0.001, "tx", 115200, b"01")
        end = write_block(log, 0.5)
        log.bytes(end + 1.0, "rx", 115200, b"\xE8")          # anything later
        phase = simlog.programming_phase(log.chunks())
        self.assertEqual(phase.wire_bytes, 522)
        self.assertAlmostEqual(phase.start, 0.5)

    def test_unfinished_block_is_not_counted_and_no_block_is_an_error(self):
        log = LogWriter()
        t = write_block(log, 0.0)
        log.bytes(t, "rx", 115200, b"\x08\x00\x02\xF8")     # the unit vanished here
        self.assertEqual(len(simlog.find_blocks(log.chunks())), 1)
        with self.assertRaises(ValueError):
            simlog.programming_phase(LogWriter().chunks())


def full_run_log(frame_len=918, cap=0.3, blocks=2):
    """A whole update whose every step takes exactly its model time."""
    log = LogWriter()
    t = 0.25
    log.bytes(t, "rx", 4800, b"\x18")
    log.bytes(t + 2 * BT_BOOT, "tx", 4800, b"\x11")
    t += 2 * BT_BOOT + 2.0                                  # found page, automatic pause
    log.bytes(t, "rx", 4800, b"\x18")
    log.bytes(t + 2 * BT_BOOT, "tx", 4800, b"\x11")
    t += 2 * BT_BOOT
    log.bytes(t, "rx", 4800, b"\x00\x01\x90" + bytes(frame_len - 3))
    t += min(frame_len * BT_BOOT, cap) + BT_BOOT
    log.bytes(t, "tx", 4800, b"\x01")
    log.bytes(t, "rx", 4800, b"\x40\x00\x00\x00\x00")
    t += 6 * BT_BOOT
    log.bytes(t, "tx", 4800, b"\x01")
    t += 0.1
    log.bytes(t, "rx", 115200, b"\xE8")
    log.bytes(t + 2 * BT, "tx", 115200, b"\x31")
    t += 2 * BT
    log.bytes(t, "rx", 115200, b"\x38\x00\x00\xF8")
    log.bytes(t + 6 * BT, "tx", 115200, b"01")
    t += 6 * BT + 1.0
    log.bytes(t, "rx", 115200, b"\x48\x00\x00\xF8")
    log.bytes(t + 6 * BT, "tx", 115200, b"01")
    t += 6 * BT
    for i in range(blocks):
        t = write_block(log, t, 0xF80000 + 512 * i)
    return log


class WholeRunTest(unittest.TestCase):
    def test_run_at_model_speed_meets_the_bound_less_the_cap_credit(self):
        run = simlog.whole_run(full_run_log().chunks(), 0.3)
        self.assertAlmostEqual(run.credit, 918 * BT_BOOT - 0.3, places=6)
        self.assertAlmostEqual(run.measured / run.model_bound, 1.0, places=4)
        wire = (2 + 2 + 919 + 6) * BT_BOOT + (2 + 6 + 6 + 2 * 522) * BT
        self.assertAlmostEqual(run.bound, wire + 2.0 + 0.1 + 1.0, places=5)
        self.assertEqual(run.steps[-1].name, "programming")
        self.assertAlmostEqual(run.steps[-1].measured, run.programming.measured, places=6)
        for step in run.steps:
            self.assertAlmostEqual(step.measured, step.bound - step.credit, places=5, msg=step.name)

    def test_frame_within_the_cap_earns_no_credit(self):
        # 100 bytes take 208 ms at 4800 bit/s: under the 300 ms cap, paced in full.
        run = simlog.whole_run(full_run_log(frame_len=100).chunks(), 0.3)
        self.assertEqual(run.credit, 0.0)
        self.assertAlmostEqual(run.measured / run.bound, 1.0, places=4)

    def test_log_without_the_download_is_an_error(self):
        log = LogWriter()
        log.bytes(0.0, "rx", 4800, b"\x18")
        log.bytes(0.01, "tx", 4800, b"\x11")
        with self.assertRaises(ValueError):
            simlog.whole_run(log.chunks())


class ImageTest(unittest.TestCase):
    def parse(self, text):
        image = {}
        for line in text.splitlines():
            body = bytes.fromhex(line[2:])
            self.assertEqual(sum(body) & 0xFF, 0xFF, line)       # count..checksum sum to 0xFF
            self.assertEqual(body[0], len(body) - 1, line)
            if line[1] == "2":
                address = int.from_bytes(body[1:4], "big")
                for i, b in enumerate(body[4:-1]):
                    image[address + i] = b
        return image

    def test_images_cover_the_flash_with_every_block_written(self):
        for chip, (low, high) in make_images.FLASH.items():
            with self.subTest(chip=chip):
                start, image = make_images.full_image(chip)
                self.assertEqual((start, len(image)), (low, high - low + 1))
                off = 0xFF8000 - low
                self.assertEqual(image[off:off + 16].rstrip(b"\0").decode(), chip)
                blank = [a for a in range(0, len(image), 512) if image[a:a + 512] == b"\xff" * 512]
                self.assertEqual(blank, [])

    def test_records_read_back_to_the_image(self):
        low, image = make_images.full_image("MB90F362")
        text = make_images.srec_text(low, image, b"hdr")
        parsed = self.parse(text)
        self.assertEqual(min(parsed), low)
        self.assertEqual(bytes(parsed[a] for a in range(low, low + len(image))), image)
        self.assertTrue(text.splitlines()[-1].startswith("S804"))

    def test_blank_blocks_from_the_generator_are_made_non_blank(self):
        with mock.patch.object(make_images, "pseudo_random", lambda _seed, n: bytearray(b"\xff" * n)):
            low, image = make_images.full_image("MB90F362")
        for a in range(0, len(image), 512):
            self.assertNotEqual(image[a:a + 512], b"\xff" * 512, hex(low + a))


class ReportHelpersTest(unittest.TestCase):
    def test_median_run_of_an_even_count_is_the_lower_middle(self):
        runs = [{"r": 1.3}, {"r": 1.0}, {"r": 1.2}, {"r": 1.1}]
        self.assertEqual(speedbench.median_run(runs, "r"), {"r": 1.1})
        self.assertEqual(speedbench.median_run(runs[:1], "r"), {"r": 1.3})

    def test_compare_load_lines_are_read(self):
        ours = speedbench.LOAD_LINE.match("orlix load       4.10   359.6      4.02   366.8")
        theirs = speedbench.LOAD_LINE.match("srec_cat       120.50    12.2    118.00    12.5   (whole process)")
        self.assertEqual(ours.groups(), ("orlix load", "4.10", "359.6", "4.02", "366.8"))
        self.assertEqual(theirs.group(1, 2, 4), ("srec_cat", "120.50", "118.00"))
        self.assertIsNone(speedbench.LOAD_LINE.match("ratio: orlix is 29.4x faster (wall), 29.4x (CPU)"))

    def test_peak_size_is_the_last_line_time_wrote(self):
        import tempfile
        with tempfile.NamedTemporaryFile("w", delete=False) as f:
            f.write("Command terminated by signal 9\n5120\n")
        try:
            self.assertEqual(speedbench.read_rss(f.name), 5120)
            with open(f.name, "w") as g:
                g.write("Command exited with non-zero status 1\n")
            self.assertIsNone(speedbench.read_rss(f.name))
        finally:
            os.unlink(f.name)

    def test_only_button_prompts_are_answered_with_enter(self):
        self.assertTrue(speedbench.is_enter_prompt("> [Continue] Press Enter."))
        self.assertFalse(speedbench.is_enter_prompt("> [Yes] [No] Type y or n."))
        self.assertFalse(speedbench.is_enter_prompt("    Click the button. Press Enter."))


if __name__ == "__main__":
    unittest.main()
