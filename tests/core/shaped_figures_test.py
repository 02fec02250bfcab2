#!/usr/bin/env python3
"""Shaped random data measured as its users measure it: pelmora-cli writes the files, common
compressors shrink them (whole files, and each 4 KB block alone), a hash of every block counts the
copies, a second run with the same seed must give the same bytes, and verify must find a flipped
byte.

    shaped_figures_test.py PELMORA_CLI

Needs Python's zlib, lzma and hashlib, the lz4 module (Debian: python3-lz4) and the zstd and lz4
programs; the test command installs them.
"""
import hashlib
import lzma
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import unittest
import zlib

import lz4.block

CLI = None
BLOCK = 4096


def run_cli(*arguments, check=True):
    result = subprocess.run([CLI, *map(str, arguments)], capture_output=True, text=True)
    if check and result.returncode != 0:
        raise AssertionError(f"pelmora-cli {' '.join(map(str, arguments))}: {result.returncode}\n"
                             f"{result.stdout}{result.stderr}")
    return result


def read(path):
    with open(path, "rb") as f:
        return f.read()


def files_in(folder):
    return sorted(os.path.join(folder, name) for name in os.listdir(folder))


def sizes_of(folder):
    return [os.path.getsize(path) for path in files_in(folder)]


def share(compressed, original):
    return 100.0 * compressed / original


def program_output_size(command, data):
    return len(subprocess.run(command, input=data, capture_output=True, check=True).stdout)


class ShapedData(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="pelmora-shaped-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def make(self, name, *arguments):
        folder = os.path.join(self.folder, name)
        run_cli("--folder", folder, "--quiet", *arguments)
        return folder

    def test_whole_files_and_single_blocks_compress_to_the_target(self):
        # Whole files within 1 point of the target for every compressor; single 4 KB blocks within
        # 1.5 points on average, and alike (standard deviation at most 0.5 points).
        whole = {
            "deflate -6 (zlib)": lambda data: len(zlib.compress(data, 6)),
            "xz -6 (lzma)": lambda data: len(lzma.compress(data, preset=6)),
            "zstd -3": lambda data: program_output_size(["zstd", "-3", "-c", "-q"], data),
            "zstd -19": lambda data: program_output_size(["zstd", "-19", "-c", "-q"], data),
            "lz4": lambda data: program_output_size(["lz4", "-c", "-q"], data),
        }
        per_block = {
            "deflate -6 (zlib)": lambda block: len(zlib.compress(block, 6)),
            "lz4 (block format)": lambda block: len(lz4.block.compress(block, store_size=False)),
        }
        for target in (10, 25, 50, 75, 90):
            folder = self.make(f"c{target}", "--compress", target, "--size", "4M", "--seed", 7)
            (path,) = files_in(folder)
            self.assertTrue(os.path.basename(path).startswith(f"random_c{target}_d0__001_"), path)
            data = read(path)
            for name, compress in whole.items():
                with self.subTest(target=target, compressor=name):
                    figure = share(compress(data), len(data))
                    self.assertLessEqual(abs(figure - target), 1.0, f"{figure:.3f} %")
            blocks = [data[i:i + BLOCK] for i in range(0, len(data), BLOCK)]
            for name, compress in per_block.items():
                with self.subTest(target=target, compressor=name, per_block=True):
                    figures = [share(compress(block), BLOCK) for block in blocks]
                    mean, spread = statistics.fmean(figures), statistics.pstdev(figures)
                    self.assertLessEqual(abs(mean - target), 1.5, f"mean {mean:.3f} %")
                    self.assertLessEqual(spread, 0.5, f"standard deviation {spread:.3f}")

    def test_duplicate_blocks_are_exactly_as_many_as_asked(self):
        # round(D % x blocks), halves up; the first block of a run is never a copy. 1,025 blocks
        # make halves; files of 13 KB have three whole blocks and a short one, which is unique.
        runs = [
            (1, "4100K", 100, 1025),
            (1000, "13K", 40, 3000),
        ]
        for count, size, compress, blocks in runs:
            for dedupe in (0, 10, 30, 50, 90):
                with self.subTest(files=count, size=size, compress=compress, dedupe=dedupe):
                    folder = self.make(f"d{count}-{dedupe}", "--count", count, "--size", size,
                                       "--compress", compress, "--dedupe", dedupe, "--seed", 11)
                    seen, total, short = set(), 0, set()
                    for path in files_in(folder):
                        data = read(path)
                        whole = len(data) // BLOCK
                        for i in range(whole):
                            seen.add(hashlib.sha256(data[i * BLOCK:(i + 1) * BLOCK]).digest())
                        total += whole
                        if whole * BLOCK < len(data):
                            short.add(hashlib.sha256(data[whole * BLOCK:]).digest())
                    self.assertEqual(total, blocks)
                    expected = min(blocks - 1, (blocks * dedupe * 2 + 100) // 200)
                    self.assertEqual(total - len(seen), expected)
                    if size == "13K":
                        self.assertEqual(len(short), count, "short blocks are unique")
                    self.assertEqual(run_cli("verify", folder, check=False).returncode, 0)

    def test_compression_holds_inside_units_of_128k_with_copies(self):
        # 8 MiB in units of 128 KiB, 30 % of them copies: 19 of 64. Every unit compresses to P on
        # its own, and so do whole files under compressors whose window (32 and 64 KiB) cannot
        # reach back to a copy's source.
        unit = 128 * 1024
        for target in (25, 60):
            with self.subTest(target=target):
                folder = self.make(f"u{target}", "--size", "8M", "--compress", target, "--dedupe", 30,
                                   "--dedupe-unit", "128K", "--seed", 3)
                (path,) = files_in(folder)
                self.assertTrue(os.path.basename(path).startswith(f"random_c{target}_d30_u128k__001_"), path)
                data = read(path)
                units = [data[i:i + unit] for i in range(0, len(data), unit)]
                self.assertEqual(len(units) - len(set(units)), 19)
                blocks = [data[i:i + BLOCK] for i in range(0, len(data), BLOCK)]
                self.assertEqual(len(blocks) - len(set(blocks)), 19 * unit // BLOCK)
                for piece in units:
                    figure = share(len(zlib.compress(piece, 6)), len(piece))
                    self.assertLessEqual(abs(figure - target), 1.0, f"a unit: {figure:.3f} %")
                for name, size in (("deflate -6", len(zlib.compress(data, 6))),
                                   ("lz4", program_output_size(["lz4", "-c", "-q"], data))):
                    figure = share(size, len(data))
                    self.assertLessEqual(abs(figure - target), 1.0, f"{name}: {figure:.3f} %")
                self.assertEqual(run_cli("verify", folder, check=False).returncode, 0)

    def test_the_shape_holds_when_every_file_has_its_own_size(self):
        # Files of 1 KB to 300 KB: their whole blocks are the run's blocks in order, so the copies
        # among them are exactly round(D % x blocks) of the run; each file's short last block is
        # unique, and single blocks compress to the target as with one size.
        folder = self.make("r", "--count", 150, "--size", "1K-300K", "--compress", 40, "--dedupe", 30,
                           "--seed", 21)
        seen, total, short, sizes, blocks = set(), 0, set(), set(), []
        for path in files_in(folder):
            self.assertIn("random_c40_d30_s1k-300k__", os.path.basename(path))
            data = read(path)
            sizes.add(len(data))
            whole = len(data) // BLOCK
            for i in range(whole):
                block = data[i * BLOCK:(i + 1) * BLOCK]
                seen.add(hashlib.sha256(block).digest())
                blocks.append(block)
            total += whole
            if whole * BLOCK < len(data):
                short.add(hashlib.sha256(data[whole * BLOCK:]).digest())
        self.assertGreater(len(sizes), 50, "sizes of their own")
        self.assertEqual(total - len(seen), min(total - 1, (total * 30 * 2 + 100) // 200))
        self.assertEqual(len(short), sum(1 for size in sizes_of(folder) if size % BLOCK))
        figures = [share(len(zlib.compress(block, 6)), BLOCK) for block in blocks]
        self.assertLessEqual(abs(statistics.fmean(figures) - 40), 1.5)
        self.assertEqual(run_cli("verify", folder, check=False).returncode, 0)

        # Whole files copied: exactly round(D % x n) of the n files are byte-for-byte copies of
        # earlier ones, each of its source's size.
        folder = self.make("rf", "--count", 101, "--size", "1K-64K", "--size-spread", "uniform",
                           "--compress", 50, "--dedupe", 40, "--dedupe-unit", "file", "--seed", 4)
        contents = [read(path) for path in files_in(folder)]
        self.assertEqual(len(contents) - len(set(contents)), (101 * 40 * 2 + 100) // 200)
        self.assertEqual(run_cli("verify", folder, check=False).returncode, 0)

    def test_a_seed_makes_the_same_files_again(self):
        arguments = ["--count", 3, "--size", "300K", "--compress", 35, "--dedupe", 45]

        def contents(folder):
            return [(os.path.basename(p), read(p)) for p in files_in(folder)]

        first = contents(self.make("a", *arguments, "--seed", 123456789))
        self.assertEqual(len(first), 3)
        # The tag is the seed in base 9.
        self.assertEqual(first[0][0], "random_c35_d45__001_0000000277266780.file")
        self.assertEqual(contents(self.make("b", *arguments, "--seed", 123456789)), first)
        other = contents(self.make("c", *arguments, "--seed", 123456790))
        self.assertNotEqual(other[0][0], first[0][0])
        self.assertNotEqual(other[0][1], first[0][1])
        unseeded = contents(self.make("d", *arguments))
        self.assertNotEqual(unseeded[0][0], first[0][0])

    def test_verify_finds_a_flipped_byte(self):
        folder = self.make("v", "--count", 3, "--size", "101K", "--compress", 30, "--dedupe", 40,
                           "--seed", 5)
        result = run_cli("verify", folder, check=False)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn("OK      random_c30_d40__###_0000000000000005.file: 3 files of 101 KB", result.stdout)
        second = files_in(folder)[1]
        for offset in (0, 4095, 50000, 101 * 1024 - 1):
            with self.subTest(offset=offset):
                with open(second, "r+b") as f:
                    f.seek(offset)
                    byte = f.read(1)[0]
                    f.seek(offset)
                    f.write(bytes([byte ^ 0x01]))
                result = run_cli("verify", folder, check=False)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(f"{os.path.basename(second)}: first difference at byte {offset}\n", result.stdout)
                with open(second, "r+b") as f:
                    f.seek(offset)
                    f.write(bytes([byte]))
        self.assertEqual(run_cli("verify", folder, check=False).returncode, 0)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    CLI = sys.argv.pop(1)
    unittest.main(verbosity=2)
