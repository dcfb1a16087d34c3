#!/usr/bin/env python3
"""Compare quarn-ast-dump with the syntax tree of Python's own ast module.

    ast_compare.py --dumper BUILD/quarn-ast-dump [PATH...]
    ast_compare.py --dumper BUILD/quarn-ast-dump --stdlib

Each PATH is a Python file or a folder searched for *.py files; --stdlib adds
the standard library of the running interpreter. For every file the dump of
quarn-ast-dump must equal the one computed here: "== FILE", then one line
"Kind start end" per statement, expression, pattern and except handler in
pre-order (children in the order of the ast fields, helper records passed
through, JoinedStr not entered), offsets in bytes from the start of the file;
or "ERROR ..." when Python rejects the file (the offsets of errors are not
compared).

Differences that are intended: a generator expression that is the sole
argument of a call without parentheses of its own starts at its element and
ends at its last clause (Python gives it the call's parentheses).

Syntax newer than the running interpreter is checked against golden files: a
fixture X.py with a sibling X.py.expected is compared with that file instead.
The golden files hold the node lines as Python 3.12 prints them with
/work/shared/tools/py312-ast-dump, where the end of the generator expression
above is written "*" (any end is accepted). To regenerate them after an
intended change:

    ast_compare.py --regenerate TOOL tests/fixtures/parser

which runs TOOL (e.g. /work/shared/tools/py312-ast-dump) on every fixture
that has a golden file and rewrites it.

Files whose coding declaration names another encoding than UTF-8 and that
hold non-ASCII bytes are skipped: Python would decode them differently. So
are files on which Python runs out of recursion depth.
"""

import argparse
import ast
import bisect
import io
import os
import subprocess
import sys
import sysconfig
import tokenize
import warnings

SHOWN = (ast.stmt, ast.expr, ast.pattern, ast.excepthandler)


class Offsets:
    """(lineno, col_offset) to byte offsets; Python counts lines after any
    of \\n, \\r\\n and \\r, and the columns of line 1 after a BOM."""

    def __init__(self, data: bytes):
        self.starts = [0]
        i = 0
        n = len(data)
        while i < n:
            c = data[i]
            if c == 0x0D and i + 1 < n and data[i + 1] == 0x0A:
                i += 1
            if c in (0x0A, 0x0D):
                self.starts.append(i + 1)
            i += 1
        self.bom = 3 if data.startswith(b"\xef\xbb\xbf") else 0

    def __call__(self, lineno: int, col: int) -> int:
        return self.starts[lineno - 1] + col + (self.bom if lineno == 1 else 0)


def call_generator_ends(data: bytes, offsets: Offsets, tree):
    """End offsets of generator expressions that take the call's parentheses:
    the end of the last token before the closing parenthesis."""
    quirks = {}
    for node in ast.walk(tree):
        if isinstance(node, ast.Call) and len(node.args) == 1 and not node.keywords \
                and isinstance(node.args[0], ast.GeneratorExp):
            g = node.args[0]
            start = offsets(g.lineno, g.col_offset)
            end = offsets(g.end_lineno, g.end_col_offset)
            if data[start:start + 1] == b"(" and end == offsets(node.end_lineno, node.end_col_offset):
                quirks[id(g)] = end - 1  # offset of the call's ')'
    if not quirks:
        return {}
    skip = {tokenize.COMMENT, tokenize.NL, tokenize.NEWLINE, tokenize.INDENT, tokenize.DEDENT,
            tokenize.ENCODING, tokenize.ENDMARKER}
    # tokenize counts columns in characters: convert them to bytes.
    text_lines = data.decode("utf-8-sig").splitlines(keepends=True)

    def byte_offset(row, col):
        chars = text_lines[row - 1][:col] if row - 1 < len(text_lines) else ""
        return offsets.starts[row - 1] + len(chars.encode("utf-8")) + (offsets.bom if row == 1 else 0)

    token_ends = sorted(byte_offset(*tok.end) for tok in tokenize.tokenize(io.BytesIO(data).readline)
                        if tok.type not in skip)
    ends = {}
    for key, close in quirks.items():
        # The last token that ends before the call's ')'.
        i = bisect.bisect_right(token_ends, close) - 1
        ends[key] = token_ends[i]
    return ends


def python_dump(path: str):
    """The expected lines for one file, or None to skip it."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        encoding, _ = tokenize.detect_encoding(io.BytesIO(data).readline)
    except SyntaxError:
        encoding = "utf-8"
    if encoding not in ("utf-8", "utf-8-sig") and not data.isascii():
        return None
    try:
        tree = compile(data, path, "exec", ast.PyCF_ONLY_AST)
    except (SyntaxError, ValueError) as e:
        if "encoding" in str(e):
            return None  # a coding declaration Python cannot follow
        return ["ERROR"]
    except (RecursionError, MemoryError):
        return None
    offsets = Offsets(data)
    generator_ends = call_generator_ends(data, offsets, tree)
    lines = []
    stack = list(reversed(tree.body))
    while stack:
        node = stack.pop()
        if isinstance(node, SHOWN):
            name = "ExceptHandler" if isinstance(node, ast.excepthandler) else type(node).__name__
            if id(node) in generator_ends:
                start = offsets(node.elt.lineno, node.elt.col_offset)
                end = generator_ends[id(node)]
            else:
                start = offsets(node.lineno, node.col_offset)
                end = offsets(node.end_lineno, node.end_col_offset)
            lines.append(f"{name} {start} {end}")
            if isinstance(node, ast.JoinedStr):
                continue
        stack.extend(reversed(list(ast.iter_child_nodes(node))))
    return lines


def golden_dump(path: str):
    with open(path + ".expected", encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f if not line.startswith("== ")]


def quarn_dump(dumper: str, paths):
    """Runs the dumper over many files at once; returns {path: lines}."""
    result = {}
    for i in range(0, len(paths), 500):
        batch = paths[i:i + 500]
        out = subprocess.run([dumper, *batch], check=True, stdout=subprocess.PIPE).stdout
        current = None
        for line in out.decode("utf-8", "replace").splitlines():
            if line.startswith("== "):
                current = line[3:]
                result[current] = []
            else:
                result[current].append(line)
    return result


def same(expected, actual) -> bool:
    if expected == ["ERROR"]:
        return len(actual) == 1 and actual[0].startswith("ERROR")
    if len(expected) != len(actual):
        return False
    for e, a in zip(expected, actual):
        if e == a:
            continue
        ek, es, ee = e.split(" ")
        if ee != "*" or a.split(" ")[:2] != [ek, es]:
            return False
    return True


def first_difference(expected, actual) -> str:
    for i, (e, a) in enumerate(zip(expected, actual)):
        if not same([e], [a]):
            return f"line {i + 1}: expected {e!r}, got {a!r}"
    return f"expected {len(expected)} lines, got {len(actual)}"


def collect(paths):
    files = []
    for p in paths:
        if os.path.isdir(p):
            for root, dirs, names in os.walk(p):
                # Kept fuzzer findings are crash tests, not comparison fixtures.
                dirs[:] = sorted(d for d in dirs if d != "crashes")
                files.extend(os.path.join(root, n) for n in sorted(names) if n.endswith(".py"))
        else:
            files.append(p)
    return files


def regenerate(tool: str, files):
    for path in files:
        if os.path.exists(path + ".expected"):
            out = subprocess.run([tool, path], check=True, stdout=subprocess.PIPE, text=True).stdout
            lines = [line for line in out.splitlines() if not line.startswith("== ")]
            with open(path + ".expected", "w", encoding="utf-8") as f:
                f.write("".join(line + "\n" for line in lines))
            print(f"wrote {path}.expected")


def main() -> int:
    warnings.simplefilter("ignore")  # SyntaxWarnings of the compiled files
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dumper", help="path of quarn-ast-dump")
    parser.add_argument("--stdlib", action="store_true", help="also compare the standard library")
    parser.add_argument("--regenerate", metavar="TOOL", help="rewrite the golden files with TOOL")
    parser.add_argument("paths", nargs="*")
    args = parser.parse_args()

    paths = list(args.paths)
    if args.stdlib:
        paths.append(sysconfig.get_paths()["stdlib"])
    files = collect(paths)
    if args.regenerate:
        regenerate(args.regenerate, files)
        return 0
    if not args.dumper:
        parser.error("--dumper is required")

    actual = quarn_dump(args.dumper, files)
    compared = skipped = rejected = 0
    mismatches = []
    for path in files:
        expected = golden_dump(path) if os.path.exists(path + ".expected") else python_dump(path)
        if expected is None:
            skipped += 1
            continue
        compared += 1
        if expected == ["ERROR"]:
            rejected += 1
        got = actual.get(path, [])
        if not same(expected, got):
            mismatches.append(f"{path}: {first_difference(expected, got)}")
    for m in mismatches:
        print(m)
    print(f"{compared} files compared ({rejected} rejected by Python), {skipped} skipped, "
          f"{len(mismatches)} mismatches")
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
