// The standard definition's page in a real browser: every menu closed on load, a click on a
// folder opens it, a second click closes it and every folder below it, links carry their
// addresses, Japanese titles come through the page's code page and render in a Japanese font.
// A second tree of names from anywhere (emoji, Hangul, Chinese, decomposed kana, markup, "-->")
// shows every title as its file name, and nothing in a name or an address runs.
//
//   node standard_page.mjs VELLUMDEX_CLI FAVORITES_DIR WORK_DIR
//
// Exits 77 (skipped) when playwright-core or chromium is not installed.
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { join, basename } from 'node:path';
import { pathToFileURL } from 'node:url';

const [cli, favorites, work] = process.argv.slice(2);
const chromium = '/usr/bin/chromium';
let playwright;
try {
    playwright = await import('playwright-core');
} catch {
    console.log('SKIP: playwright-core is not installed (npm install in tests/browser)');
    process.exit(77);
}
if (!existsSync(chromium)) {
    console.log('SKIP: /usr/bin/chromium is not installed');
    process.exit(77);
}

let failures = 0;
function check(ok, what) {
    console.log(`${ok ? 'PASS' : 'FAIL'}: ${what}`);
    if (!ok)
        failures++;
}

// The source tree as the page must show it: folders holding a shortcut somewhere below.
function readTree(dir) {
    const node = { title: basename(dir), links: [], folders: [] };
    for (const name of readdirSync(dir)) {
        const path = join(dir, name);
        if (statSync(path).isDirectory()) {
            const sub = readTree(path);
            if (sub.links.length || sub.folders.length)
                node.folders.push(sub);
        } else if (name.toLowerCase().endsWith('.url')) {
            const text = readFileSync(path, 'latin1');
            const url = /^URL=(.*)$/m.exec(text)?.[1]?.replace(/\r$/, '') ?? '';
            node.links.push({ title: name.slice(0, -4), url });
        }
    }
    return node;
}

mkdirSync(work, { recursive: true });
const page = join(work, 'standard.html');
execFileSync(cli, ['convert', '--input', favorites, '--output', page, '--definition', '標準',
                   '--restore-block'], { stdio: 'inherit' });
const tree = readTree(favorites);

const browser = await playwright.chromium.launch({
    executablePath: chromium,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
    const tab = await browser.newPage();
    const errors = [];
    tab.on('pageerror', e => errors.push(String(e)));
    await tab.goto(pathToFileURL(page).href);

    check(await tab.evaluate(() => document.characterSet) === 'Shift_JIS', 'page read as Shift_JIS');
    const menus = await tab.$$eval('[id$="_l"]', lists => lists.map(l => getComputedStyle(l).display));
    check(menus.length > 0 && menus.every(d => d === 'none'), `all ${menus.length} menus closed on load`);

    // Every folder's title, and every link with its address, in page order.
    const shown = await tab.evaluate(() => {
        const walk = el => {
            const node = { links: [], folders: [] };
            for (const child of el.children) {
                if (child.classList.contains('vdx-link')) {
                    const a = child.querySelector('a');
                    node.links.push({ title: a.textContent, url: a.getAttribute('href') });
                } else if (child.classList.contains('vdx-folder')) {
                    const sub = walk(child.querySelector('.vdx-menu'));
                    sub.title = child.querySelector('a').textContent;
                    node.folders.push(sub);
                }
            }
            return node;
        };
        return walk(document.querySelector('.vdx-tree'));
    });
    const canon = node => ({
        title: node.title,
        links: [...node.links].sort((a, b) => a.title.localeCompare(b.title)),
        folders: node.folders.map(canon).sort((a, b) => a.title.localeCompare(b.title)),
    });
    const expected = canon({ ...tree, title: undefined });
    check(JSON.stringify(canon({ ...shown, title: undefined })) === JSON.stringify(expected),
          'folders and links with their titles and addresses as in the source tree');

    // Open a folder, then one below it; closing the upper one closes both.
    const top = tree.folders.find(f => f.folders.length > 0);
    const inner = top.folders[0];
    const folderLink = title => tab.locator('.vdx-folder > a', { hasText: title }).first();
    const listOf = title => folderLink(title).locator('xpath=following-sibling::div[1]');
    await folderLink(top.title).click();
    check(await listOf(top.title).isVisible(), `click opens ${top.title}`);
    check(!(await listOf(inner.title).isVisible()), `${inner.title} below it stays closed`);
    await folderLink(inner.title).click();
    check(await listOf(inner.title).isVisible(), `click opens ${inner.title}`);
    const link = inner.links[0] ?? inner.folders[0]?.links[0];
    if (link) {
        const a = tab.locator('.vdx-link a', { hasText: link.title }).first();
        check(await a.isVisible(), `link ${link.title} shown`);
        check(await a.getAttribute('href') === link.url, `link ${link.title} carries ${link.url}`);
    }
    await folderLink(top.title).click();
    check(!(await listOf(top.title).isVisible()), `second click closes ${top.title}`);
    check(await listOf(inner.title).evaluate(l => l.style.display) === 'none',
          `closing ${top.title} closed ${inner.title} below it`);
    await folderLink(top.title).click();
    check(!(await listOf(inner.title).isVisible()), `reopening ${top.title} leaves ${inner.title} closed`);

    // Icons: the page's own drawings when no image is placed beside it.
    const icons = await tab.$$eval('img.vdx-icon', imgs => imgs.map(i => i.complete && i.naturalWidth > 0));
    check(icons.length > 0 && icons.every(Boolean), `all ${icons.length} icons drawn`);

    // Japanese text is drawn with a Japanese font, not as empty boxes.
    check(await tab.evaluate(() => document.fonts.check('16px "Noto Sans CJK JP"', 'お気に入り')),
          'a Japanese font is there for the titles');
    await tab.screenshot({ path: join(work, 'standard.png'), fullPage: true });
    check(errors.length === 0, `no script errors${errors.length ? ': ' + errors.join('; ') : ''}`);

    const hostile = join(work, 'Names');
    rmSync(hostile, { recursive: true, force: true });
    const run = '<img src=x onerror="window.ran=1">';
    const names = ['😀 emoji', '한국어', '简体中文', 'Ærø', 'フ\u309A', '\u301C', `a-->b${run}`,
                   'c--!>d', 'back\\slash', 'tab\tx'];
    const folder = join(hostile, `dir-->${run}`);
    mkdirSync(folder, { recursive: true });
    for (const name of names)
        writeFileSync(join(folder, `${name}.url`),
                      `[InternetShortcut]\r\nURL=http://x/?q=--><script>window.ran=1</script>\r\n`);
    const namesPage = join(work, 'names.html');
    execFileSync(cli, ['convert', '--input', hostile, '--output', namesPage, '--definition', '標準',
                       '--restore-block'], { stdio: 'inherit' });
    await tab.goto(pathToFileURL(namesPage).href);
    const titles = await tab.$$eval('.vdx-link a', as => as.map(a => a.textContent));
    check(JSON.stringify([...titles].sort()) === JSON.stringify([...names].sort()),
          `every title as its file name: ${titles.join(' | ')}`);
    const folderTitle = await tab.$eval('.vdx-folder > a', a => a.textContent);
    check(folderTitle === `dir-->${run}`, `the folder title as its name: ${folderTitle}`);
    await tab.waitForTimeout(200);
    check(await tab.evaluate(() => window.ran === undefined), 'nothing in a name or address runs');
} finally {
    await browser.close();
}
process.exit(failures ? 1 : 0);
