// SPDX-License-Identifier: GPL-3.0-or-later
// The standard definition's page in a real browser: every folder closed on load, a folder is a
// disclosure button (click, Enter, Space) whose opening opens the folders above it and whose
// closing closes those below, links carry their addresses (as UTF-8 where they hold Japanese),
// Japanese titles come through the page's code page and render in a Japanese font. No axe-core
// violation at desktop and phone width, nothing sideways on a phone, the search box, the page
// without script, folders remembered over a reload and found by the browser's find in page.
// A second tree of names from anywhere (emoji, Hangul, Chinese, decomposed kana, markup, "-->")
// shows every title as its file name, and nothing in a name or an address runs.
//
//   node standard_page.mjs VELLUMDEX_CLI FAVORITES_DIR WORK_DIR
//
// Exits 77 (skipped) when playwright-core or chromium is not installed.
import { execFileSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdirSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { basename, dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

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
    const failed = [];
    tab.on('pageerror', e => errors.push(String(e)));
    tab.on('requestfailed', r => failed.push(r.url()));
    await tab.goto(pathToFileURL(page).href);

    check(await tab.evaluate(() => document.characterSet) === 'Shift_JIS', 'page read as Shift_JIS');
    const menus = await tab.$$eval('.vdx-menu', lists => lists.map(l => l.getAttribute('hidden')));
    check(menus.length > 0 && menus.every(h => h === 'until-found'),
          `all ${menus.length} folders closed on load, their lists hidden="until-found"`);

    // Every folder's title, and every link with its address, in page order.
    const shown = await tab.evaluate(() => {
        const walk = el => {
            const node = { links: [], folders: [] };
            for (const child of el.children) {
                if (child.classList.contains('vdx-folder')) {
                    const sub = walk(child.querySelector('.vdx-menu'));
                    sub.title = child.querySelector('.vdx-toggle').textContent;
                    node.folders.push(sub);
                } else {
                    const a = child.querySelector('a');
                    node.links.push({ title: a.textContent, url: a.getAttribute('href') });
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
    const toggle = title => tab.locator('.vdx-toggle', { hasText: title }).first();
    const listOf = title => toggle(title).locator('xpath=following-sibling::ul[1]');
    const expanded = async title => await toggle(title).getAttribute('aria-expanded') === 'true';
    check(await toggle(top.title).evaluate(b => b.tagName === 'BUTTON' &&
                                           document.getElementById(b.getAttribute('aria-controls')) ===
                                               b.nextElementSibling),
          'a folder is a button that names its list in aria-controls');
    await toggle(top.title).click();
    check(await listOf(top.title).isVisible() && await expanded(top.title), `click opens ${top.title}`);
    check(!(await listOf(inner.title).isVisible()), `${inner.title} below it stays closed`);
    await toggle(inner.title).click();
    check(await listOf(inner.title).isVisible(), `click opens ${inner.title}`);
    const link = inner.links[0] ?? inner.folders[0]?.links[0];
    if (link) {
        const a = tab.locator('.vdx-tree a', { hasText: link.title }).first();
        check(await a.isVisible(), `link ${link.title} shown`);
        check(await a.getAttribute('href') === link.url, `link ${link.title} carries ${link.url}`);
    }
    await toggle(top.title).click();
    check(!(await listOf(top.title).isVisible()) && !(await expanded(top.title)),
          `second click closes ${top.title}`);
    check(await listOf(inner.title).getAttribute('hidden') === 'until-found' && !(await expanded(inner.title)),
          `closing ${top.title} closed ${inner.title} below it`);
    await toggle(top.title).click();
    check(!(await listOf(inner.title).isVisible()), `reopening ${top.title} leaves ${inner.title} closed`);

    // The keyboard: Enter and Space flip the disclosure, and the focus shows.
    await toggle(top.title).focus();
    await tab.keyboard.press('Enter');
    const afterEnter = await expanded(top.title);
    await tab.keyboard.press('Space');
    check(!afterEnter && await expanded(top.title), 'Enter closes the folder, Space opens it again');
    check(await toggle(top.title).evaluate(b => getComputedStyle(b).outlineStyle !== 'none'),
          'the focused folder shows its focus');

    // Icons come from the stylesheet: no image is asked for that is not there.
    const icon = await tab.$eval('.vdx-tree a', a => getComputedStyle(a).backgroundImage);
    check(icon.startsWith('url("data:image/svg+xml') && failed.length === 0,
          `icons drawn by the stylesheet, no failed request${failed.length ? ': ' + failed.join(' ') : ''}`);

    // Japanese text is drawn with a Japanese font, not as empty boxes.
    check(await tab.evaluate(() => document.fonts.check('16px "Noto Sans CJK JP"', 'お気に入り')),
          'a Japanese font is there for the titles');
    await tab.screenshot({ path: join(work, 'standard.png'), fullPage: true });

    // axe-core at desktop and phone width, a folder open and all closed; a phone scrolls only
    // down, and every control is at least 24 pixels high.
    await tab.addScriptTag({ path: join(dirname(fileURLToPath(import.meta.url)),
                                        'node_modules/axe-core/axe.min.js') });
    for (const width of [1280, 390]) {
        await tab.setViewportSize({ width, height: 800 });
        for (const open of [true, false]) {
            if (open !== await expanded(top.title))
                await toggle(top.title).click();
            const result = await tab.evaluate(() => axe.run(document, {
                runOnly: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'best-practice'] }));
            const found = result.violations.map(v => `${v.id} (${v.nodes.map(n => n.target).join(', ')})`);
            check(found.length === 0, `axe at ${width} px, ${top.title} ${open ? 'open' : 'closed'}: ` +
                                      `${found.join('; ') || 'no violation'}`);
        }
        const fits = await tab.evaluate(() => document.documentElement.scrollWidth <=
                                              document.documentElement.clientWidth);
        const small = await tab.$$eval('.vdx-toggle, .vdx-tree a, #vdx-q', els => els
            .map(e => e.getBoundingClientRect()).filter(r => r.width > 0 && r.height < 24).length);
        check(fits && small === 0, `at ${width} px no sideways scrolling, no control under 24 px`);
    }
    await tab.setViewportSize({ width: 1280, height: 800 });
    // The reader's dark scheme keeps the contrast; printed, every folder is open.
    await tab.emulateMedia({ colorScheme: 'dark' });
    const dark = await tab.evaluate(() => axe.run(document, { runOnly: ['wcag2aa'] }));
    check(dark.violations.length === 0 &&
          await tab.evaluate(() => getComputedStyle(document.body).backgroundColor) !== 'rgb(255, 255, 255)',
          `dark scheme followed, no contrast violation${dark.violations.map(v => ': ' + v.id).join('')}`);
    await tab.emulateMedia({ colorScheme: 'light', media: 'print' });
    check(await tab.$$eval('.vdx-tree a', as => as.every(a => a.checkVisibility())), 'printed with every folder open');
    await tab.emulateMedia({ media: 'screen' });

    // The search: a link's title in full-width lower case finds it alone, its folders open;
    // clearing the box gives the tree back.
    const shownLinks = () => tab.$$eval('.vdx-tree a', as => as.filter(a => a.checkVisibility())
                                                                .map(a => a.textContent));
    const before = await shownLinks();
    const deep = tree.folders.flatMap(f => f.folders).flatMap(f => f.links)[0];
    const wide = [...deep.title].map(c => c === ' ' ? '\u3000' : c >= '!' && c <= '~'
        ? String.fromCharCode(c.toLowerCase().charCodeAt(0) + 0xfee0) : c).join('');
    const box = tab.getByLabel('リンクを検索', { exact: false });
    await box.fill(wide);
    check(JSON.stringify(await shownLinks()) === JSON.stringify([deep.title]),
          `searching "${wide}" shows ${deep.title} alone, inside its open folders`);
    const topLink = tree.links[0];
    const host = new URL(topLink.url).host.toUpperCase();
    await box.fill(host);
    check(JSON.stringify(await shownLinks()) === JSON.stringify([topLink.title]),
          `searching the address ${host} shows ${topLink.title} alone`);
    await box.fill('');
    check(JSON.stringify(await shownLinks()) === JSON.stringify(before), 'clearing the search gives the tree back');
    // An input method's text filters once committed, not while it is composed.
    const cdp = await tab.context().newCDPSession(tab);
    await box.focus();
    await cdp.send('Input.imeSetComposition', { text: 'てんき', selectionStart: 3, selectionEnd: 3 });
    const composing = (await shownLinks()).length;
    await cdp.send('Input.insertText', { text: '天気' });
    check(composing === before.length && JSON.stringify(await shownLinks()) === JSON.stringify(['天気予報']),
          'a composed text filters when committed');
    await box.fill('');

    // Remembered: a folder left open is open again after a reload.
    if (!(await expanded(top.title)))
        await toggle(top.title).click();
    await tab.reload();
    check(await expanded(top.title) && await listOf(top.title).isVisible(), `${top.title} open again after a reload`);

    // Find in page: the browser fires beforematch at a closed list before it shows it.
    await toggle(top.title).click();
    const revealed = await listOf(inner.title).evaluate(list => {
        list.dispatchEvent(new Event('beforematch', { bubbles: true }));
        const outer = list.parentNode.parentNode;
        return !list.hidden && !outer.hidden &&
               outer.previousElementSibling.getAttribute('aria-expanded') === 'true';
    });
    check(revealed, `beforematch on ${inner.title} opens it and ${top.title} above it`);
    check(errors.length === 0, `no script errors${errors.length ? ': ' + errors.join('; ') : ''}`);

    // Without script every link shows and the search box does not.
    const plain = await browser.newContext({ javaScriptEnabled: false });
    const still = await plain.newPage();
    await still.goto(pathToFileURL(page).href);
    const visible = await still.$$eval('.vdx-tree a', as => as.map(a => a.checkVisibility()));
    const count = node => node.links.length + node.folders.reduce((n, f) => n + count(f), 0);
    check(visible.length === count(tree) && visible.every(Boolean) && !(await still.locator('#vdx-q').isVisible()),
          `without script all ${visible.length} links shown, no search box`);
    await plain.close();

    // A replaced image is the one the page asks for.
    const replaced = join(work, 'replaced');
    mkdirSync(replaced, { recursive: true });
    writeFileSync(join(replaced, 'standard.html'),
                  readFileSync(page, 'latin1').replaceAll('vdx_link.png', 'my_link.png'), 'latin1');
    copyFileSync(join(dirname(fileURLToPath(import.meta.url)), '../../Config/Default/images/yellow_link.png'),
                 join(replaced, 'my_link.png'));
    await tab.goto(pathToFileURL(join(replaced, 'standard.html')).href);
    const mine = await tab.$eval('.vdx-tree a', a => getComputedStyle(a).backgroundImage);
    check(mine.endsWith('/my_link.png")'), `a replaced link image is used: ${mine}`);

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
    // An address the code page holds, in the shortcut's own code page 932 bytes.
    writeFileSync(join(folder, 'ソフト検索.url'), Buffer.concat([
        Buffer.from('[InternetShortcut]\r\nURL=https://example.org/'),
        Buffer.from([0x8c, 0x9f, 0x8d, 0xf5]), Buffer.from('?q='),
        Buffer.from([0x83, 0x5c, 0x83, 0x74, 0x83, 0x67]), Buffer.from('\r\n')]));
    names.push('ソフト検索');
    const namesPage = join(work, 'names.html');
    execFileSync(cli, ['convert', '--input', hostile, '--output', namesPage, '--definition', '標準',
                       '--restore-block'], { stdio: 'inherit' });
    await tab.goto(pathToFileURL(namesPage).href);
    const titles = await tab.$$eval('.vdx-tree a', as => as.map(a => a.textContent));
    check(JSON.stringify([...titles].sort()) === JSON.stringify([...names].sort()),
          `every title as its file name: ${titles.join(' | ')}`);
    const opens = await tab.$eval('.vdx-tree a[href^="https://example.org/"]', a => a.href);
    check(opens === 'https://example.org/%E6%A4%9C%E7%B4%A2?q=%E3%82%BD%E3%83%95%E3%83%88',
          `the address with 検索 is requested as UTF-8: ${opens}`);
    const folderTitle = await tab.$eval('.vdx-toggle', a => a.textContent);
    check(folderTitle === `dir-->${run}`, `the folder title as its name: ${folderTitle}`);
    await tab.waitForTimeout(200);
    check(await tab.evaluate(() => window.ran === undefined), 'nothing in a name or address runs');
} finally {
    await browser.close();
}
process.exit(failures ? 1 : 0);
