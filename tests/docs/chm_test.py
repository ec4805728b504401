#!/usr/bin/python3
"""orvane.chm as scripts/windows/make-chm.py compiles it, read back with
libchm's extract_chmLib.

The guide's own help file must hold every page and picture unchanged, and
its contents list must follow the guide's Markdown: the chapters in the
order of the contents list of index.md, each under the title of its first
heading, every entry and every index keyword leading to a page (and an
anchor) that is in the file.

Usage: chm_test.py SOURCE_ROOT GUIDE_HTML_DIR [unittest arguments]
"""

import html.parser
import os
import re
import subprocess
import sys
import tempfile
import unicodedata
import unittest

SOURCE_ROOT = GUIDE_HTML = None


class SitemapReader(html.parser.HTMLParser):
    """Entries of a .hhc or .hhk file as (depth, name, local)."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.entries = []
        self._depth = 0
        self._params = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "ul":
            self._depth += 1
        elif tag == "object" and attrs.get("type") == "text/sitemap":
            self._params = {}
        elif tag == "param" and self._params is not None:
            self._params[attrs["name"]] = attrs["value"]

    def handle_endtag(self, tag):
        if tag == "ul":
            self._depth -= 1
        elif tag == "object" and self._params is not None:
            self.entries.append((self._depth, self._params.get("Name"), self._params.get("Local")))
            self._params = None


def sitemap(path):
    reader = SitemapReader()
    with open(path, encoding="ascii") as f:
        reader.feed(f.read())
    return reader.entries


def compile_chm(html_dir, work):
    """Compiles html_dir and extracts the result; the extraction's folder."""
    chm = os.path.join(work, "orvane.chm")
    done = subprocess.run(["/usr/bin/python3", os.path.join(SOURCE_ROOT, "scripts/windows/make-chm.py"), html_dir, chm],
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError("make-chm failed: " + done.stdout + done.stderr)
    extracted = os.path.join(work, "extracted")
    subprocess.run(["extract_chmLib", chm, extracted], check=True, capture_output=True)
    return extracted


def files_under(folder):
    return sorted(os.path.relpath(os.path.join(d, n), folder) for d, _, names in os.walk(folder) for n in names)


def reading_order(word):
    """Index order: case and accents aside."""
    return "".join(c for c in unicodedata.normalize("NFKD", word) if not unicodedata.combining(c)).casefold()


def write_page(folder, name, title, body=""):
    with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
        f.write('<html><head><meta charset="utf-8"><title>%s</title></head><body>%s</body></html>' % (title, body))


class RealGuide(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.extracted = compile_chm(GUIDE_HTML, cls.work.name)
        cls.toc = sitemap(os.path.join(cls.extracted, "toc.hhc"))
        cls.index = sitemap(os.path.join(cls.extracted, "index.hhk"))

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def markdown_chapters(self):
        """(page.html, title) in the order of index.md's contents list, as
        the Markdown sources have them."""
        guide = os.path.join(SOURCE_ROOT, "docs/guide")

        def title(md):
            with open(os.path.join(guide, md), encoding="utf-8") as f:
                return next(line[2:].strip() for line in f if line.startswith("# "))

        with open(os.path.join(guide, "index.md"), encoding="utf-8") as f:
            linked = re.findall(r"^\d+\. \[[^]]*\]\(([\w-]+\.md)\)", f.read(), flags=re.M)
        return [(md[:-3] + ".html", title(md)) for md in ["index.md"] + linked]

    def test_every_page_and_picture_is_packed_unchanged(self):
        for name in files_under(GUIDE_HTML):
            with self.subTest(file=name):
                packed = os.path.join(self.extracted, name)
                self.assertTrue(os.path.isfile(packed), name + " is not in the help file")
                with open(packed, "rb") as a, open(os.path.join(GUIDE_HTML, name), "rb") as b:
                    self.assertEqual(a.read(), b.read())

    def test_contents_list_follows_the_guide(self):
        chapters = [(local, name) for depth, name, local in self.toc if depth == 1]
        self.assertEqual(chapters, self.markdown_chapters())
        sections = [local for depth, _, local in self.toc if depth == 2]
        self.assertIn("editing.html#undo", sections)

    def test_every_entry_leads_into_the_file(self):
        for listing, entries in (("toc", self.toc), ("index", self.index)):
            for _, name, local in entries:
                with self.subTest(listing=listing, entry=name):
                    page, _, anchor = local.partition("#")
                    path = os.path.join(self.extracted, page)
                    self.assertTrue(os.path.isfile(path), local)
                    if anchor:
                        with open(path, encoding="utf-8") as f:
                            self.assertIn('id="%s"' % anchor, f.read())

    def test_index_is_alphabetical_and_names_every_chapter(self):
        names = [name for _, name, _ in self.index]
        self.assertEqual(names, sorted(names, key=reading_order))
        for page, title in self.markdown_chapters():
            self.assertIn((1, title, page), self.index)

    def test_first_page_and_title_are_the_guides(self):
        with open(os.path.join(self.extracted, "#SYSTEM"), "rb") as f:
            system = f.read()
        self.assertIn(b"index.html", system)
        self.assertIn(b"Orvane user's guide", system)


class SmallGuide(unittest.TestCase):
    def test_order_escapes_and_pages_the_first_page_does_not_name(self):
        with tempfile.TemporaryDirectory() as work:
            pages = os.path.join(work, "html")
            os.makedirs(pages)
            write_page(pages, "index.html", "Start", '<a href="b.html#x">b</a> <a href="a.html">a</a>')
            write_page(pages, "a.html", '\u00dcber "quotes" &amp; &lt;tags&gt;',
                       '<h2 id="s1">Zeta section</h2><h3 id="m1">alpha message</h3>')
            write_page(pages, "b.html", "Bee")
            write_page(pages, "c.html", "Orphan")
            extracted = compile_chm(pages, work)
            toc = sitemap(os.path.join(extracted, "toc.hhc"))
            self.assertEqual(toc, [(1, "Start", "index.html"), (1, "Bee", "b.html"),
                                   (1, '\u00dcber "quotes" & <tags>', "a.html"), (2, "Zeta section", "a.html#s1"),
                                   (1, "Orphan", "c.html")])
            with open(os.path.join(extracted, "toc.hhc"), "rb") as f:
                self.assertIn(b'value="&#220;ber &quot;quotes&quot; &amp; &lt;tags&gt;"', f.read())
            index = [(name, local) for _, name, local in sitemap(os.path.join(extracted, "index.hhk"))]
            self.assertEqual(index, [("alpha message", "a.html#m1"), ("Bee", "b.html"), ("Orphan", "c.html"),
                                     ("Start", "index.html"), ('\u00dcber "quotes" & <tags>', "a.html"),
                                     ("Zeta section", "a.html#s1")])

    def test_a_folder_without_first_page_makes_no_file(self):
        with tempfile.TemporaryDirectory() as work:
            write_page(work, "a.html", "A")
            chm = os.path.join(work, "out", "orvane.chm")
            os.makedirs(os.path.dirname(chm))
            done = subprocess.run(["/usr/bin/python3", os.path.join(SOURCE_ROOT, "scripts/windows/make-chm.py"),
                                   work, chm], capture_output=True, text=True)
            self.assertNotEqual(done.returncode, 0)
            self.assertIn("index.html", done.stderr)
            self.assertEqual(os.listdir(os.path.dirname(chm)), [])


if __name__ == "__main__":
    SOURCE_ROOT, GUIDE_HTML = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
