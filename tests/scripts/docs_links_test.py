#!/usr/bin/env python3
"""The documentation as a reader follows it: the README is a front page of at
most 250 lines, every link in it and in docs/ leads to a file of the tree or
to a heading of one, and every topic of docs/ is linked from the README.

    docs_links_test.py SOURCE_DIR
"""
import os
import re
import sys

root = sys.argv[1]
problems = []


def slug(heading):
    # A heading's anchor as GitHub makes it: lower case, punctuation but
    # hyphens and underscores dropped, spaces to hyphens.
    text = re.sub(r"[`*]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path):
    found = set()
    in_code = False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            in_code = not in_code
        elif not in_code and line.startswith("#"):
            found.add(slug(line.lstrip("#")))
    return found


def links(path):
    in_code = False
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        if line.startswith("```"):
            in_code = not in_code
            continue
        if in_code:
            continue
        for target in re.findall(r"\]\(([^)\s]+)\)", re.sub(r"`[^`]*`", "", line)):
            yield number, target


pages = ["README.md"] + sorted(
    os.path.join("docs", name) for name in os.listdir(os.path.join(root, "docs"))
    if name.endswith(".md"))
readme_targets = set()
for page in pages:
    here = os.path.dirname(os.path.join(root, page))
    for number, target in links(os.path.join(root, page)):
        if re.match(r"[a-z]+:", target):
            continue
        file_part, _, anchor = target.partition("#")
        path = os.path.normpath(os.path.join(here, file_part)) if file_part else os.path.join(root, page)
        if not os.path.exists(path):
            problems.append(f"{page}:{number}: {target}: no such file")
            continue
        if page == "README.md":
            readme_targets.add(os.path.relpath(path, root))
        if anchor and path.endswith(".md") and anchor not in anchors(path):
            problems.append(f"{page}:{number}: {target}: no heading #{anchor} there")

length = sum(1 for _ in open(os.path.join(root, "README.md"), encoding="utf-8"))
if length > 250:
    problems.append(f"README.md has {length} lines, more than 250")
for page in pages[1:]:
    if page not in readme_targets:
        problems.append(f"{page} is not linked from the README")

for problem in problems:
    print(problem)
print(f"{len(pages)} pages, README {length} lines: {len(problems)} problems")
sys.exit(1 if problems else 0)
