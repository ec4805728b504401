#!/usr/bin/python3
"""Checks the user's guide against the program it describes.

Every message that the troubleshooting page names (its level-3 headings) must
be a text that the program's sources under src/ and tools/ really build, so a
message reworded in the code cannot stay in the guide unnoticed. The guide's
links between its pages and to its pictures must lead somewhere.

Usage: guide_test.py SOURCE_ROOT [unittest arguments]
"""

import os
import re
import sys
import unittest

SOURCE_ROOT = None

# A part of a message that changes: "<path>", "<id>", "<N>"; and " ..." at
# the end for further details.
PLACEHOLDER = re.compile(r"<[^<>`]+>|\s\.\.\.$")
# A format placeholder in a source literal: %1, %L2.
FORMAT_ARG = re.compile(r"%L?\d")
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*$")
HEX_DIGITS = "0123456789abcdefABCDEF"
SIMPLE_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "0": "\0", "\\": "\\", '"': '"', "'": "'", "?": "?", "a": "\a",
                  "b": "\b", "f": "\f", "v": "\v"}


def troubleshooting_messages(markdown):
    """The messages of the troubleshooting page, and the level-3 headings
    that are not written as one message in backticks."""
    markdown = re.sub(r"<!--.*?-->", "", markdown, flags=re.S)
    messages, malformed = [], []
    fenced = False
    for line in markdown.splitlines():
        if line.startswith("```"):
            fenced = not fenced
        if fenced or not line.startswith("### "):
            continue
        m = re.fullmatch(r"### `([^`]+)`\s*", line)
        if m:
            messages.append(m.group(1))
        else:
            malformed.append(line)
    return messages, malformed


def string_literals(source):
    """The string literals of a C or C++ source as the compiler sees them:
    comments and character literals left out, escapes resolved, adjacent
    literals joined."""
    literals = []
    i, n = 0, len(source)
    joinable = False   # only blanks and comments since the last literal
    while i < n:
        c = source[i]
        if source.startswith("//", i):
            i = source.find("\n", i)
            i = n if i < 0 else i
            continue
        if source.startswith("/*", i):
            end = source.find("*/", i + 2)
            i = n if end < 0 else end + 2
            continue
        if c.isspace():
            i += 1
            continue
        raw = re.match(r'(?:u8|u|U|L)?R"([^()\\ ]{0,16})\(', source[i:])
        if raw and (i == 0 or not (source[i - 1].isalnum() or source[i - 1] == "_")):
            start = i + raw.end()
            end = source.find(")" + raw.group(1) + '"', start)
            end = n if end < 0 else end
            text = source[start:end]
            i = end + len(raw.group(1)) + 2
        elif c == '"' or (re.match(r'(?:u8|u|U|L)"', source[i:]) and
                          (i == 0 or not (source[i - 1].isalnum() or source[i - 1] == "_"))):
            i = source.index('"', i) + 1
            chars = []
            while i < n and source[i] != '"':
                if source[i] == "\\" and i + 1 < n:
                    chars.append(SIMPLE_ESCAPES.get(source[i + 1], source[i + 1]))
                    i += 2
                else:
                    chars.append(source[i])
                    i += 1
            text = "".join(chars)
            i += 1
        elif c == "'" and (i + 1 >= n or not (source[i - 1] in HEX_DIGITS and source[i + 1] in HEX_DIGITS)):
            # A character literal (u' ' included); a digit separator (1'000)
            # is not one.
            i += 1
            while i < n and source[i] != "'":
                i += 2 if source[i] == "\\" else 1
            i += 1
            joinable = False
            continue
        else:
            i += 1
            joinable = False
            continue
        if joinable and literals:
            literals[-1] += text
        else:
            literals.append(text)
        joinable = True
    return literals


def source_pieces(root, folders=("src", "tools")):
    """The literal text of the program's sources, cut at format placeholders."""
    pieces = set()
    for folder in folders:
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in files:
                if name.endswith((".cpp", ".h", ".hpp", ".cc")):
                    with open(os.path.join(directory, name), encoding="utf-8") as f:
                        for literal in string_literals(f.read()):
                            pieces.update(FORMAT_ARG.split(literal))
    pieces.discard("")
    return pieces


def fragments(message):
    """The fixed parts of a message. Next to a placeholder, blanks and
    punctuation are let go, since the code may put them into the changing part
    or into the fixed one; the message's own start and end are kept exactly."""
    parts = PLACEHOLDER.split(message)
    result = []
    for index, part in enumerate(parts):
        if index > 0:
            part = re.sub(r"^[^\w]+", "", part)
        if index < len(parts) - 1:
            part = re.sub(r"[^\w]+$", "", part)
        if re.search(r"\w", part):
            result.append(part)
    return result


def unbuilt_messages(messages, pieces):
    """The messages with a fixed part that no source literal holds."""
    missing = []
    for message in messages:
        parts = fragments(message)
        if not parts or any(not any(part in piece for piece in pieces) for part in parts):
            missing.append(message)
    return missing


def heading_anchor(title):
    """The identifier the HTML conversion gives a heading."""
    title = re.sub(r"`([^`]*)`", r"\1", title).lower()
    title = re.sub(r"[^\w\s.-]", "", title)
    title = re.sub(r"\s+", "-", title.strip())
    return title.lstrip("0123456789.-")


class TroubleshootingMessages(unittest.TestCase):
    def test_every_message_of_the_page_is_built_by_the_program(self):
        with open(os.path.join(SOURCE_ROOT, "docs", "guide", "troubleshooting.md"), encoding="utf-8") as f:
            messages, malformed = troubleshooting_messages(f.read())
        self.assertEqual(malformed, [], "level-3 headings must each be one message in backticks")
        self.assertTrue(messages, "the troubleshooting page names no message")
        self.assertEqual(unbuilt_messages(messages, source_pieces(SOURCE_ROOT)), [])

    def test_the_check_finds_drift(self):
        source = r'''
            // "Loading project failed!" is mentioned here, in a comment only.
            /* so is "Project loading canceled by user." */
            throw Error(QStringLiteral("Cannot open '%1': %2").arg(path, reason));
            throw Error(QStringLiteral("Can't open project ") + group + QStringLiteral(" Save failed!"));
            return QStringLiteral("%1 is not found " "in local table.").arg(id);
            const char quote = '"'; auto s = u"Error setting path: \"";
            parts.join(u' '); int big = 1'000'000; throw X(QStringLiteral("Can't create the file"));
            show(QStringLiteral("Get %1 Activities").arg(n));
            return R"(raw text "quoted")";
        '''
        pieces = set()
        for literal in string_literals(source):
            pieces.update(FORMAT_ARG.split(literal))
        cases = [
            ("Cannot open '<path>': <reason>", True),
            ("Cannot open '<path>': the file is empty, it is not a database", False),
            ("Can't open project <group> Save failed!", True),
            ("Can't open project <group> Save failed.", False),
            ("<id> is not found in local table.", True),
            ("<id> is not found in the local table.", False),
            ('Error setting path: "<folder>"', True),
            ("Can't create the file", True),
            ("Get <N> Activities", True),
            ("Get <N> activities", False),
            ('raw text "quoted"', True),
            ("Loading project failed!", False),
            ("Project loading canceled by user.", False),
            ("<path>", False),
        ]
        for message, built in cases:
            with self.subTest(message=message):
                self.assertEqual(unbuilt_messages([message], pieces), [] if built else [message])

    def test_headings_that_are_not_messages_are_reported(self):
        page = "## Group\n\n### `Loading project failed!`\n\n### Loading project failed!\n<!--\n### not a heading\n-->\n"
        messages, malformed = troubleshooting_messages(page)
        self.assertEqual(messages, ["Loading project failed!"])
        self.assertEqual(malformed, ["### Loading project failed!"])


def recorded_undo_labels(root):
    """The labels of the undo steps the program records: the texts its
    UndoRecording objects are made with."""
    labels = set()
    for folder in ("src", "tools"):
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in files:
                if name.endswith(".cpp"):
                    with open(os.path.join(directory, name), encoding="utf-8") as f:
                        labels.update(re.findall(r'UndoRecording\s+\w+\([^;]*?QStringLiteral\("([^"]+)"\)', f.read()))
    return labels


def guide_undo_labels(markdown):
    """The undo steps the guide names as the status text `Undone: <label>`."""
    return set(re.findall(r"`Undone: ([^`]+)`", markdown))


class UndoClaims(unittest.TestCase):
    def guide(self):
        texts = {}
        guide = os.path.join(SOURCE_ROOT, "docs", "guide")
        for page in sorted(p for p in os.listdir(guide) if p.endswith(".md")):
            with open(os.path.join(guide, page), encoding="utf-8") as f:
                texts[page] = f.read()
        return texts

    def test_the_guide_names_every_undo_step_the_program_records(self):
        recorded = recorded_undo_labels(SOURCE_ROOT)
        self.assertTrue(recorded, "the program records no undo step")
        named = set()
        for text in self.guide().values():
            named |= guide_undo_labels(text)
        self.assertEqual(named, recorded)

    def test_no_page_says_there_is_no_undo(self):
        claims = [f"{page}: {m.group(0)}" for page, text in self.guide().items()
                  for m in re.finditer(r"(?i)\b(there is|has) no undo\b|\bno undo\b", text)]
        self.assertEqual(claims, [])

    def test_the_label_search_finds_recordings(self):
        source = (
            'store::UndoRecording recording(store.undo, QStringLiteral("bulk command"));\n'
            'UndoRecording r(m_store.undo,\n    QStringLiteral("cell edit"));\n'
            'const QString other = QStringLiteral("not a label");\n')
        self.assertEqual(set(re.findall(r'UndoRecording\s+\w+\([^;]*?QStringLiteral\("([^"]+)"\)', source)),
                         {"bulk command", "cell edit"})
        self.assertEqual(guide_undo_labels("| a | `Undone: cell edit` |\n`Undone:x`"), {"cell edit"})


class GuideLinks(unittest.TestCase):
    def test_links_and_pictures_lead_somewhere(self):
        guide = os.path.join(SOURCE_ROOT, "docs", "guide")
        pages = sorted(p for p in os.listdir(guide) if p.endswith(".md"))
        anchors = {}
        texts = {}
        for page in pages:
            with open(os.path.join(guide, page), encoding="utf-8") as f:
                texts[page] = f.read()
            fenced = False
            anchors[page] = set()
            for line in texts[page].splitlines():
                if line.startswith("```"):
                    fenced = not fenced
                m = HEADING.match(line)
                if m and not fenced:
                    anchors[page].add(heading_anchor(m.group(2)))
        broken = []
        for page, text in texts.items():
            for target in re.findall(r"\]\(([^)\s]+)\)", text):
                if re.match(r"[a-z]+:", target):
                    continue
                path, _, anchor = target.partition("#")
                path = path or page
                if not os.path.exists(os.path.join(guide, path)):
                    broken.append(f"{page}: {target}")
                elif anchor and anchor not in anchors.get(path, set()):
                    broken.append(f"{page}: {target} (no such heading)")
        self.assertEqual(broken, [])
        linked = set(re.findall(r"\]\(([\w-]+\.md)\)", texts["index.md"]))
        self.assertEqual(sorted(set(pages) - linked - {"index.md"}), [], "pages the contents do not list")


if __name__ == "__main__":
    SOURCE_ROOT = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
