// SPDX-License-Identifier: GPL-3.0-or-later
// The 標準 page as its visitors meet it, in Debian's chromium: time to the load event at
// 1,000, 10,000 and 100,000 links beside the same links' bookmark file as a browser exports
// it, then the search's time per keystroke on the 100,000-link page (input to the next frame).
// Folders of 100 links, ten to a folder, nested as browsers nest them.
//
//   node bench/page.mjs VELLUMDEX_CLI WORK_DIR [RUNS]
//
// Needs playwright-core (npm ci in tests/browser) and /usr/bin/chromium.
import { execFileSync } from 'node:child_process';
import { mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [cli, work, runsArg] = process.argv.slice(2);
const runs = Number(runsArg ?? 3);
const { chromium } = await import(
    new URL('../tests/browser/node_modules/playwright-core/index.mjs', import.meta.url));

const escape = s => s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/"/g, '&quot;');

// One tree written twice: as a Favorites folder for the program, as a bookmark file.
function makeTree(links, dir) {
    rmSync(dir, { recursive: true, force: true });
    const folders = links / 100;
    const date = 1600000000;
    let made = 0;
    const lines = ['<!DOCTYPE NETSCAPE-Bookmark-file-1>',
                   '<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=UTF-8">',
                   '<TITLE>Bookmarks</TITLE>', '<H1>Bookmarks</H1>', '<DL><p>'];
    const folder = (path, number, depth) => {
        const name = `フォルダ ${number}`;
        const here = join(path, name);
        mkdirSync(here, { recursive: true });
        const pad = '    '.repeat(depth);
        lines.push(`${pad}<DT><H3 ADD_DATE="${date}" LAST_MODIFIED="${date}">${escape(name)}</H3>`,
                   `${pad}<DL><p>`);
        for (let i = 0; i < 100; i++) {
            const n = made * 100 + i;
            const title = `ページ ${n} の題名 Example`;
            const url = `https://example.com/section-${number}/page-${n}?ref=bookmark&id=${n}`;
            writeFileSync(join(here, `${title}.url`), `[InternetShortcut]\r\nURL=${url}\r\n`);
            lines.push(`${pad}    <DT><A HREF="${escape(url)}" ADD_DATE="${date}">${escape(title)}</A>`);
        }
        made++;
        for (let c = 0; c < 10 && depth < 3 && made < folders; c++)
            folder(here, `${number}-${c + 1}`, depth + 1);
        lines.push(`${pad}</DL><p>`);
    };
    for (let t = 1; made < folders; t++)
        folder(join(dir, 'Favorites'), `${t}`, 1);
    lines.push('</DL><p>');
    writeFileSync(join(dir, 'bookmarks.html'), lines.join('\n') + '\n');
    execFileSync(cli, ['convert', '--input', join(dir, 'Favorites'), '--output',
                       join(dir, 'standard.html'), '--definition', '標準', '--sort', 'name'],
                 { stdio: 'ignore' });
}

const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
});

async function loadSeconds(file) {
    const tab = await browser.newPage({ viewport: { width: 1280, height: 900 } });
    await tab.goto(pathToFileURL(file).href, { waitUntil: 'load', timeout: 600000 });
    const ms = await tab.evaluate(() => performance.getEntriesByType('navigation')[0].loadEventStart);
    await tab.close();
    return ms / 1000;
}

const median = xs => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const rows = [];
let keystrokes = null;
for (const links of [1000, 10000, 100000]) {
    const dir = join(work, `page-${links}`);
    makeTree(links, dir);
    const page = [], file = [];
    for (let r = 0; r < runs; r++) {
        page.push(await loadSeconds(join(dir, 'standard.html')));
        file.push(await loadSeconds(join(dir, 'bookmarks.html')));
    }
    rows.push([links, median(page), median(file)]);
    if (links !== 100000)
        continue;
    const tab = await browser.newPage({ viewport: { width: 1280, height: 900 } });
    await tab.goto(pathToFileURL(join(dir, 'standard.html')).href, { timeout: 600000 });
    keystrokes = await tab.evaluate(async () => {
        const box = document.getElementById('vdx-q');
        const frame = () => new Promise(r => requestAnimationFrame(() => setTimeout(r, 0)));
        let t = performance.now();
        box.focus();
        await frame();
        const index = performance.now() - t;
        const times = [];
        const type = async value => {
            t = performance.now();
            box.value = value;
            box.dispatchEvent(new InputEvent('input', { bubbles: true, inputType: 'insertText' }));
            await frame();
            times.push([performance.now() - t, value]);
        };
        // A broad word, narrowed to one link, then taken back to nothing key by key.
        const word = 'ｐａｇｅ-4242?';
        for (let i = 1; i <= word.length; i++)
            await type(word.slice(0, i));
        for (let i = word.length - 1; i >= 0; i--)
            await type(word.slice(0, i));
        for (const q of ['ページ', 'ﾍﾟｰｼﾞ 9', 'EXAMPLE.COM/SECTION-7', ''])
            await type(q);
        return { index, times };
    });
    await tab.close();
}
await browser.close();

console.log('| links | 標準 page, load event | bookmark file, load event | × |');
console.log('|---:|---:|---:|---:|');
for (const [links, page, file] of rows)
    console.log(`| ${links.toLocaleString('en')} | ${page.toFixed(2)} s | ${file.toFixed(2)} s | ` +
                `${(page / file).toFixed(2)} |`);
if (keystrokes) {
    const t = keystrokes.times.map(([ms]) => ms);
    const [slowest, at] = keystrokes.times.reduce((a, b) => (b[0] > a[0] ? b : a));
    console.log('');
    console.log('| search at 100,000 links | keystrokes | median | slowest | index on first focus |');
    console.log('|---|---:|---:|---:|---:|');
    console.log(`| input to next frame | ${t.length} | ${median(t).toFixed(1)} ms | ` +
                `${slowest.toFixed(1)} ms ("${at}") | ${keystrokes.index.toFixed(1)} ms |`);
}
