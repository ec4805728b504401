#!/usr/bin/python3
"""Compiles the user's guide, as the build lays it out in HTML, into the
Windows help file orvane.chm with chmcmd.

The help viewer needs three files beside the pages, written here from the
pages themselves:
  orvane.hhp  the project: options, default page, every file to pack;
  toc.hhc     the table of contents: the first page, then the chapters in
              the order of its contents list, each with its sections (h2);
  index.hhk   the index: every page title and every section heading (h2,
              h3), alphabetically, each leading to its page or its anchor.

Usage: make-chm.py HTML_DIR OUTPUT.chm
"""

import html.parser
import os
import shutil
import subprocess
import sys
import tempfile
import unicodedata

FIRST_PAGE = "index.html"
TITLE = "Orvane user's guide"


class PageReader(html.parser.HTMLParser):
    """Collects a page's title, its headings (level, anchor, text) and the
    pages its links lead to, in the order they appear."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.title = ""
        self.headings = []
        self.links = []
        self._text = None       # the text being gathered, or None
        self._heading = None    # (level, anchor) of the open heading

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "title":
            self._text = []
        elif tag in ("h1", "h2", "h3"):
            self._heading = (int(tag[1]), attrs.get("id", ""))
            self._text = []
        elif tag == "a" and attrs.get("href"):
            self.links.append(attrs["href"])

    def handle_data(self, data):
        if self._text is not None:
            self._text.append(data)

    def handle_endtag(self, tag):
        if self._text is None:
            return
        text = " ".join("".join(self._text).split())
        if tag == "title":
            self.title = text
            self._text = None
        elif self._heading and tag == "h%d" % self._heading[0]:
            self.headings.append((self._heading[0], self._heading[1], text))
            self._heading = None
            self._text = None


def read_page(path):
    reader = PageReader()
    with open(path, encoding="utf-8") as page:
        reader.feed(page.read())
    if not reader.title:
        raise SystemExit("make-chm: %s has no title" % path)
    return reader


def chapter_order(pages, first):
    """The first page, then the pages its links name in their order, then
    any page it does not name, alphabetically."""
    order = [FIRST_PAGE]
    for link in first.links:
        name = link.split("#")[0]
        if name in pages and name not in order:
            order.append(name)
    order += sorted(name for name in pages if name not in order)
    return order


def attribute(text):
    """A value for a sitemap's attribute: the viewer's parser knows the named
    references of HTML 2 and decimal character references only."""
    text = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")
    return text.encode("ascii", "xmlcharrefreplace").decode("ascii")


def sitemap_entry(name, local):
    """One entry of a table of contents or an index. Texts outside ASCII are
    written as character references, which the viewer reads whatever the
    help file's code page."""
    return ('<LI><OBJECT type="text/sitemap"><param name="Name" value="%s">'
            '<param name="Local" value="%s"></OBJECT>' % (attribute(name), attribute(local)))


def sitemap(body):
    return ('<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN">\r\n<HTML><HEAD></HEAD><BODY>\r\n'
            '<OBJECT type="text/site properties"><param name="ImageType" value="Folder"></OBJECT>\r\n'
            + "\r\n".join(body) + "\r\n</BODY></HTML>\r\n")


def table_of_contents(order, pages):
    lines = ["<UL>"]
    for name in order:
        page = pages[name]
        lines.append(sitemap_entry(page.title, name))
        sections = [(anchor, text) for level, anchor, text in page.headings if level == 2 and anchor]
        if sections:
            lines.append("<UL>")
            lines += [sitemap_entry(text, "%s#%s" % (name, anchor)) for anchor, text in sections]
            lines.append("</UL>")
    lines.append("</UL>")
    return sitemap(lines)


def alphabetical(text):
    """The key that sorts index words as a reader looks for them: case and
    accents aside ("Über" among the U)."""
    letters = unicodedata.normalize("NFKD", text)
    return "".join(c for c in letters if not unicodedata.combining(c)).casefold()


def index(pages):
    entries = set()
    for name, page in pages.items():
        entries.add((page.title, name))
        for level, anchor, text in page.headings:
            if level in (2, 3) and anchor and text:
                entries.add((text, "%s#%s" % (name, anchor)))
    ordered = sorted(entries, key=lambda entry: (alphabetical(entry[0]), entry[1]))
    return sitemap(["<UL>"] + [sitemap_entry(text, local) for text, local in ordered] + ["</UL>"])


def project(output_name, files):
    return ("[OPTIONS]\r\n"
            "Compatibility=1.1 or later\r\n"
            "Compiled file=%s\r\n"
            "Contents file=toc.hhc\r\n"
            "Index file=index.hhk\r\n"
            "Default topic=%s\r\n"
            "Display compile progress=No\r\n"
            "Full-text search=Yes\r\n"
            "Language=0x409 English (United States)\r\n"
            "Title=%s\r\n"
            "\r\n[FILES]\r\n" % (output_name, FIRST_PAGE, TITLE)
            + "".join(f.replace("/", "\\") + "\r\n" for f in files))


def guide_files(html_dir):
    files = []
    for folder, _, names in os.walk(html_dir):
        for name in names:
            files.append(os.path.relpath(os.path.join(folder, name), html_dir).replace(os.sep, "/"))
    return sorted(files)


def main(html_dir, output):
    files = guide_files(html_dir)
    pages = {f: read_page(os.path.join(html_dir, f)) for f in files if f.endswith(".html") and "/" not in f}
    if FIRST_PAGE not in pages:
        raise SystemExit("make-chm: %s has no %s" % (html_dir, FIRST_PAGE))
    order = chapter_order(pages, pages[FIRST_PAGE])
    with tempfile.TemporaryDirectory() as work:
        shutil.copytree(html_dir, work, dirs_exist_ok=True)
        name = os.path.basename(output)
        for file_name, text in (("orvane.hhp", project(name, files)),
                                ("toc.hhc", table_of_contents(order, pages)),
                                ("index.hhk", index(pages))):
            with open(os.path.join(work, file_name), "w", encoding="ascii", newline="") as out:
                out.write(text)
        done = subprocess.run(["chmcmd", "--no-html-scan", "--verbosity", "1", "orvane.hhp"], cwd=work,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        built = os.path.join(work, name)
        if done.returncode != 0 or not os.path.isfile(built):
            raise SystemExit("make-chm: chmcmd failed:\n" + done.stdout)
        # Put in place whole, so a failed run never leaves half a help file.
        shutil.copyfile(built, output + ".new")
        os.replace(output + ".new", output)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    main(sys.argv[1], os.path.abspath(sys.argv[2]))
