#!/usr/bin/python3
"""The README's and docs/ pages' examples, run as written.

Every fenced block in README.md and docs/*.md is preceded by a marker comment:
  <!-- run -->                   run here: sh blocks with bash, python blocks with python3, in a
                                 scratch folder of the page's own (blocks run in page order, so a
                                 block may use what an earlier one wrote), with the built tool on
                                 PATH and the built module on PYTHONPATH;
  <!-- file: NAME -->            written to NAME in the page's folder for a later run block;
  <!-- tested by tests/FILE -->  run by that test, which must read its block from this page;
  <!-- not run: REASON -->       not run, and why.
Indented code blocks are refused (a marker cannot be told apart from them), relative links and
pictures must exist, and a page of more than 100 lines lists its sections in a contents list
whose links reach its headings.
Usage: docs_examples.py SOURCE_DIR BUILD_DIR [PAGE...]
"""
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

source = Path(sys.argv[1]).resolve()
build = Path(sys.argv[2]).resolve()
only = sys.argv[3:]
MARKER = re.compile(r"^<!-- (run|file: (\S+)|tested by (tests/\S+)|not run: (.+\S)) -->$")
BLOCK_TIMEOUT = 300


def slug(heading):
    """The anchor a heading gets on the repository's web page."""
    text = re.sub(r"[`*_\[\]()]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def blocks(lines):
    """(line number, marker line, language, body) of each fenced block, and indented blocks."""
    found, indented = [], []
    i, in_list = 0, False
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            start, language = i, line[3:].strip()
            body = []
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                body.append(lines[i])
                i += 1
            before = next((lines[j] for j in range(start - 1, -1, -1) if lines[j].strip()), "")
            found.append((start + 1, before, language, "\n".join(body) + "\n"))
        elif re.match(r"^\s*([-*]|\d+\.) ", line):
            in_list = True
        elif not line.strip():
            pass
        elif line.startswith("    ") and i > 0 and not lines[i - 1].strip() and not in_list:
            indented.append(i + 1)
        elif not line.startswith(" "):
            in_list = False
        i += 1
    return found, indented


def check_page(path, failures, counts):
    text = path.read_text()
    lines = text.split("\n")
    name = path.relative_to(source)
    found, indented = blocks(lines)
    for number in indented:
        failures.append(f"{name}:{number}: an indented code block: fence it and mark it")

    headings = [l.lstrip("#").strip() for l in lines if re.match(r"^#{2,4} ", l)]
    anchors = {slug(h) for h in headings}
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"^[a-z]+:", target):
            continue
        file_part, _, anchor = target.partition("#")
        if file_part:
            linked = path.parent / file_part
            if not linked.exists():
                failures.append(f"{name}: the link {target} leads nowhere")
            elif anchor and linked.suffix == ".md":
                theirs = {slug(l.lstrip("#")) for l in linked.read_text().split("\n") if re.match(r"^#{1,4} ", l)}
                if anchor not in theirs:
                    failures.append(f"{name}: the link {target} names no heading of {file_part}")
        elif anchor not in anchors:
            failures.append(f"{name}: the link #{anchor} names no heading of the page")
    if len(lines) > 100:
        contents = [l for l in lines if re.match(r"^\s*- \[[^\]]+\]\(#", l)]
        # The list's lines, and lines continuing them ("  [Python](#python) ·").
        listed = {a for l in lines if re.match(r"^(- |  )\[", l) for a in re.findall(r"\]\(#([^)]+)\)", l)}
        missing = [l[3:] for l in lines if l.startswith("## ") and slug(l[3:]) not in listed]
        if not contents:
            failures.append(f"{name}: {len(lines)} lines and no contents list")
        for h in missing:
            failures.append(f"{name}: the contents list lacks the section '{h}'")

    folder = Path(tempfile.mkdtemp(prefix="docs-" + path.stem + "-"))
    env = dict(os.environ)
    env["PATH"] = f"{build / 'bin'}:{env.get('PATH', '/usr/bin:/bin')}"
    env["PYTHONPATH"] = str(build / "python")
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    env["ZAVOL_SOURCE"] = str(source)
    for number, before, language, body in found:
        where = f"{name}:{number}"
        marker = MARKER.match(before)
        if not marker:
            failures.append(f"{where}: the block has no marker (<!-- run -->, <!-- not run: why -->, ...)")
            continue
        if marker.group(2):
            (folder / marker.group(2)).write_text(body)
            counts["files"] += 1
        elif marker.group(3):
            test = source / marker.group(3)
            if not test.exists() or str(name) not in test.read_text():
                failures.append(f"{where}: {marker.group(3)} does not exist or does not read {name}")
            counts["elsewhere"] += 1
        elif marker.group(4):
            counts["not run"] += 1
        else:
            if language in ("sh", "bash", "shell"):
                command = ["bash", "-euo", "pipefail", "-c", body]
            elif language == "python":
                command = ["/usr/bin/python3", "-c", body]
            else:
                failures.append(f"{where}: cannot run a '{language}' block; mark it as a file or not run")
                continue
            try:
                run = subprocess.run(command, cwd=folder, env=env, capture_output=True, text=True,
                                     timeout=BLOCK_TIMEOUT, stdin=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                failures.append(f"{where}: still running after {BLOCK_TIMEOUT} s")
                continue
            if run.returncode != 0:
                failures.append(f"{where}: exit {run.returncode}\n{body}{run.stdout[-2000:]}{run.stderr[-2000:]}")
            counts["run"] += 1
    subprocess.run(["rm", "-rf", str(folder)], check=False)


def main():
    pages = [source / "README.md"] + sorted((source / "docs").glob("*.md"))
    if only:
        pages = [p for p in pages if p.name in only or str(p.relative_to(source)) in only]
    failures = []
    counts = {"run": 0, "files": 0, "elsewhere": 0, "not run": 0}
    for page in pages:
        check_page(page, failures, counts)
    for failure in failures:
        print(f"docs_examples: {failure}", file=sys.stderr)
    print(f"docs_examples: {len(pages)} pages; blocks run {counts['run']}, written as files "
          f"{counts['files']}, run by other tests {counts['elsewhere']}, not run {counts['not run']}")
    return 1 if failures else 0


sys.exit(main())
