# SPDX-License-Identifier: GPL-3.0-or-later
"""The bookmark-file definition's page, read by an HTML parser of its own as a browser's
importer reads it: the folder tree it rebuilds must be the source tree, and every element a
browser's line-by-line importer looks for must stand on a line of its own.

    python3 netscape_page.py VELLUMDEX_CLI FAVORITES_DIR WORK_DIR
"""
import html.parser
import os
import re
import subprocess
import sys


def read_tree(folder):
    """Folders holding a shortcut somewhere below, with their links (title, address)."""
    links, folders = [], []
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isdir(path):
            sub = read_tree(path)
            if sub[1] or sub[2]:
                folders.append(sub)
        elif name.lower().endswith('.url'):
            with open(path, encoding='cp932', newline='') as f:
                url = next((l[4:].rstrip('\r\n') for l in f if l.startswith('URL=')), '')
            links.append((name[:-4], url))
    return (os.path.basename(folder), sorted(links), sorted(folders))


class BookmarkParser(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = ['', [], []]
        self.stack = [self.root]
        self.pending_folder = None
        self.text = None
        self.href = None
        self.doctype = None

    def handle_decl(self, decl):
        self.doctype = decl

    def handle_starttag(self, tag, attrs):
        if tag == 'h3':
            self.text = ''
        elif tag == 'a':
            self.text, self.href = '', dict(attrs).get('href')
        elif tag == 'dl' and self.pending_folder is not None:
            self.stack[-1][2].append(self.pending_folder)
            self.stack.append(self.pending_folder)
            self.pending_folder = None

    def handle_endtag(self, tag):
        if tag == 'h3':
            self.pending_folder = [self.text, [], []]
            self.text = None
        elif tag == 'a':
            self.stack[-1][1].append((self.text, self.href))
            self.text = None
        elif tag == 'dl' and len(self.stack) > 1:
            self.stack.pop()

    def handle_data(self, data):
        if self.text is not None:
            self.text += data


def frozen(node):
    return (node[0], sorted(node[1]), sorted(frozen(n) for n in node[2]))


def main():
    cli, favorites, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    page = os.path.join(work, 'bookmarks.html')
    subprocess.run([cli, 'convert', '--input', favorites, '--output', page,
                    '--definition', 'ブックマーク'], check=True, stdout=subprocess.DEVNULL)
    raw = open(page, 'rb').read()
    failures = []
    if b'\n' in raw.replace(b'\r\n', b''):
        failures.append('a line does not end in CR LF')
    text = raw.decode('utf-8')
    lines = text.split('\r\n')
    if not lines[0] == '<!DOCTYPE NETSCAPE-Bookmark-file-1>':
        failures.append('first line is not the bookmark-file DOCTYPE: %r' % lines[0])
    if '<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=UTF-8">' not in lines:
        failures.append('no META line naming UTF-8')
    # A line-by-line importer: each of these on a line of its own, tags in upper case.
    for line in lines:
        elements = re.findall(r'<DT>|<DL><p>|</DL><p>', line)
        if len(elements) > 1 or (elements and line.strip() not in ('<DL><p>', '</DL><p>')
                                 and not re.fullmatch(r'<DT><(H3|A HREF="[^"]*")( ADD_DATE="\d+" LAST_MODIFIED="\d+")?( PERSONAL_TOOLBAR_FOLDER="true"| UNFILED_BOOKMARKS_FOLDER="true")?>.*</(H3|A)>', line)):
            failures.append('element not on a line of its own: %r' % line)
    parser = BookmarkParser()
    parser.feed(text)
    parser.close()
    _, links, folders = read_tree(favorites)
    expected = ('', links, folders)
    shown = frozen(parser.root)
    if frozen(expected) != shown:
        failures.append('tree differs:\n  page   %r\n  source %r' % (shown, frozen(expected)))
    for f in failures:
        print('FAIL:', f)
    print('PASS' if not failures else '%d failure(s)' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
