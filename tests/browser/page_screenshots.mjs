// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the standard definition's page for the README, at desktop and at phone width:
// the sample favorites with two folders open, and on the phone a search under way.
//
//   node page_screenshots.mjs VELLUMDEX_CLI FAVORITES_DIR OUT_DIR
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const [cli, favorites, out] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), 'vellumdex-page-'));
const page = join(work, 'index.html');
execFileSync(cli, ['convert', '--input', favorites, '--output', page, '--definition', '標準',
                   '--sort', 'name'], { stdio: 'ignore' });
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
try {
    const shots = [['page-desktop.png', { width: 1280, height: 560 }, 1, ''],
                   ['page-phone.png', { width: 390, height: 640 }, 2, 'ニュース']];
    for (const [name, viewport, deviceScaleFactor, query] of shots) {
        const tab = await browser.newPage({ viewport, deviceScaleFactor });
        await tab.goto(pathToFileURL(page).href);
        for (const title of ['ツール', '開発', 'ニュース', '国内'])
            await tab.locator('.vdx-toggle', { hasText: title }).first().click();
        if (query)
            await tab.getByLabel('リンクを検索', { exact: false }).fill(query);
        await tab.mouse.move(0, 0);
        await tab.screenshot({ path: join(out, name) });
        await tab.close();
    }
} finally {
    await browser.close();
    rmSync(work, { recursive: true, force: true });
}
