# SPDX-License-Identifier: GPL-3.0-or-later
"""Browser exports through a Favorites tree: each export in tests/data/exports is imported,
converted with the bookmark-file definition, and the page is read back as the export was, by
an HTML parser (every title, address, date and icon), by buku (as many bookmarks), by Shaarli's
parser (the same titles) and by Firefox ESR on a fresh profile (the same titles, addresses,
dates and toolbar). A program that is not installed skips its rows and says so.

    python3 exports_through_page.py VELLUMDEX_CLI EXPORTS_DIR WORK_DIR
"""
import html.parser
import json
import os
import shutil
import sqlite3
import subprocess
import sys
import time

ROLES = ('personal_toolbar_folder', 'unfiled_bookmarks_folder')


class Links(html.parser.HTMLParser):
    """Each link as (title, address, ADD_DATE, LAST_MODIFIED, ICON, ICON_URI, role of its top folder)."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links, self.folders, self.pending, self.text, self.attrs = [], [], None, None, None
        self.headings = []  # (title, ADD_DATE, LAST_MODIFIED, role)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == 'h3':
            self.text, self.attrs = '', attrs
        elif tag == 'a':
            self.text, self.attrs = '', attrs
        elif tag == 'dl' and self.pending is not None:
            self.folders.append(self.pending)
            self.pending = None

    def handle_endtag(self, tag):
        if tag == 'h3':
            self.pending = next((r for r in ROLES if self.attrs.get(r) == 'true'), '')
            date = lambda k: int(self.attrs.get(k) or 0)
            self.headings.append((self.text, date('add_date'), date('last_modified'), self.pending))
            self.text = None
        elif tag == 'a':
            a = self.attrs
            date = lambda k: int(a.get(k) or 0)
            # The role of the top folder: Safari's top folders stand outside any list.
            role = self.folders[1] if len(self.folders) > 1 else (self.folders[0] if self.folders else '')
            self.links.append((self.text, a.get('href'), date('add_date'), date('last_modified'),
                               a.get('icon', ''), a.get('icon_uri', ''), role))
            self.text = None
        elif tag == 'dl' and self.folders:
            self.folders.pop()

    def handle_data(self, data):
        if self.text is not None:
            self.text += data


def read_links(path):
    raw = open(path, 'rb').read()
    try:
        text = raw.decode('utf-8')
    except UnicodeDecodeError:
        text = raw.decode('cp932')  # Internet Explorer on a Japanese Windows
    parser = Links()
    parser.feed(text)
    parser.close()
    return parser


def kept_icon(icon):
    return icon if icon.startswith('data:image/png;base64,') and len(icon) <= 65536 else ''


def parser_row(export, page):
    export, page = read_links(export), read_links(page)
    want = sorted((t, h, a, m, kept_icon(i), u) for t, h, a, m, i, u, _ in export.links)
    got = sorted((t, h, a, m, i, u) for t, h, a, m, i, u, _ in page.links)
    if want != got:
        return 'links differ:\n  page   %r\n  export %r' % (got, want)
    # Folders: titles and dates as given, and every role the export gives.
    want = sorted(h if h[3] else h[:3] + ('',) for h in export.headings)
    got = sorted(h if h[:3] + ('',) not in want else h[:3] + ('',) for h in page.headings)
    return None if want == got else 'folders differ:\n  page   %r\n  export %r' % (got, want)


def buku_row(export, page, work):
    def count(path, name):
        home = os.path.join(work, 'buku-' + os.path.basename(path))
        subprocess.run(['buku', '--nostdin', '--tacit', '-i', path], env=dict(os.environ, XDG_DATA_HOME=home),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        db = os.path.join(home, 'buku', 'bookmarks.db')
        return sqlite3.connect(db).execute('select count(*) from bookmarks').fetchone()[0] if os.path.exists(db) else 0
    want, got = count(export, 'export'), count(page, 'page')
    return None if want == got and got > 0 else 'buku imports %d from the page, %d from the export' % (got, want)


SHAARLI = r'''<?php
require_once 'Shaarli/NetscapeBookmarkParser/autoload.php';
$parser = new Shaarli\NetscapeBookmarkParser\NetscapeBookmarkParser(true, [], '0', $argv[2]);
if (class_exists('Psr\\Log\\NullLogger'))
    $parser->setLogger(new Psr\Log\NullLogger());
$titles = array_map(fn($b) => [$b['title'], $b['uri']], $parser->parseFile($argv[1]));
echo json_encode($titles, JSON_INVALID_UTF8_SUBSTITUTE);
'''


def shaarli_row(export, page, work):
    script = os.path.join(work, 'shaarli.php')
    open(script, 'w').write(SHAARLI)
    def titles(path):
        out = subprocess.run(['php', script, path, os.path.join(work, 'shaarli-log')], capture_output=True,
                             text=True, check=True).stdout
        return sorted(map(tuple, json.loads(out)))
    want, got = titles(export), titles(page)
    return None if want == got else 'Shaarli reads\n  page   %r\n  export %r' % (got, want)


def firefox_places(path, work, name):
    """What Firefox ESR stores importing path on a fresh profile: (title, url, added, modified, on toolbar)."""
    profile = os.path.join(work, 'firefox-' + name)
    shutil.rmtree(profile, ignore_errors=True)
    os.makedirs(profile)
    with open(os.path.join(profile, 'user.js'), 'w') as f:
        for key, value in (('browser.places.importBookmarksHTML', 'true'),
                           ('browser.bookmarks.file', json.dumps(os.path.abspath(path))),
                           ('browser.shell.checkDefaultBrowser', 'false'), ('app.update.enabled', 'false'),
                           ('browser.aboutwelcome.enabled', 'false'), ('network.proxy.type', '0')):
            f.write('user_pref("%s", %s);\n' % (key, value))
    proc = subprocess.Popen(['firefox-esr', '--headless', '--no-remote', '--profile', profile, 'about:blank'],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    rows, last, steady = [], None, 0
    query = '''select b.title, p.url, b.dateAdded / 1000000, b.lastModified / 1000000,
               exists (with recursive up(id, parent) as (select b.id, b.parent union
                       select x.id, x.parent from moz_bookmarks x join up on x.id = up.parent)
                       select 1 from up join moz_bookmarks r on r.id = up.id where r.guid = 'toolbar_____')
               from moz_bookmarks b join moz_places p on p.id = b.fk where b.type = 1'''
    try:
        for _ in range(60):
            time.sleep(1)
            copy = os.path.join(work, 'places-copy.sqlite')
            for suffix in ('', '-wal'):
                if os.path.exists(os.path.join(profile, 'places.sqlite' + suffix)):
                    shutil.copy(os.path.join(profile, 'places.sqlite' + suffix), copy + suffix)
            try:
                rows = sorted(sqlite3.connect(copy).execute(query).fetchall(), key=repr)
            except sqlite3.Error:
                continue
            finally:
                for suffix in ('', '-wal', '-shm'):
                    if os.path.exists(copy + suffix):
                        os.remove(copy + suffix)
            steady = steady + 1 if rows and rows == last else 0
            last = rows
            if steady >= 2:
                break
    finally:
        proc.terminate()
        proc.wait()
    return rows


def firefox_row(export, page, work, marks_toolbar):
    want, got = firefox_places(export, work, 'export'), firefox_places(page, work, 'page')
    if not want:
        return 'Firefox imported nothing from the export'
    # The import dates a bookmark without a date at its own moment, and only a file that
    # marks its toolbar has one.
    strip = lambda rows: sorted((t or '', u, a if a > 1000000000 and a < 1700000000 else 0, m if m < 1700000000 else 0,
                                 bar if marks_toolbar else 0) for t, u, a, m, bar in rows)
    return None if strip(want) == strip(got) else 'Firefox stores\n  page   %r\n  export %r' % (strip(got), strip(want))


def main():
    cli, exports, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    failures = 0
    have = {'buku': shutil.which('buku'), 'firefox': shutil.which('firefox-esr'),
            'shaarli': shutil.which('php') and os.path.exists('/usr/share/php/Shaarli/NetscapeBookmarkParser/autoload.php')}
    for name in sorted(os.listdir(exports)):
        export = os.path.join(exports, name)
        tree, page = os.path.join(work, name + '.tree'), os.path.join(work, name + '.page.html')
        subprocess.run([cli, 'import', export, tree], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([cli, 'convert', '--input', tree, '--output', page, '--definition', 'ブックマーク',
                        '--no-restore-block'], check=True, stdout=subprocess.DEVNULL)
        raw = open(export, 'rb').read()
        marks_toolbar = b'PERSONAL_TOOLBAR_FOLDER' in raw
        try:
            raw.decode('utf-8')
        except UnicodeDecodeError:
            # The other programs read UTF-8 alone: they get the export in UTF-8 to set beside the page.
            export = os.path.join(work, name + '.utf8.html')
            open(export, 'wb').write(raw.decode('cp932').encode('utf-8'))
        rows = [('HTML parser', True, lambda: parser_row(export, page)),
                ('buku', have['buku'], lambda: buku_row(export, page, work)),
                ("Shaarli's parser", have['shaarli'], lambda: shaarli_row(export, page, work)),
                ('Firefox ESR', have['firefox'], lambda: firefox_row(export, page, work, marks_toolbar))]
        for program, present, run in rows:
            if not present:
                print('SKIP %s, %s: not installed' % (name, program))
                continue
            failure = run()
            print(('PASS %s, %s' % (name, program)) if failure is None else ('FAIL %s, %s: %s' % (name, program, failure)))
            failures += failure is not None
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
