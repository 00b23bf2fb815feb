// The page works with the keyboard alone, and every control has a name that
// a screen reader says.
import assert from 'node:assert/strict';
import path from 'node:path';
import { after, before, test } from 'node:test';
import {
  chooseFiles, exampleDatabase, launchBrowser, nativeExport, openPage, shownResult, startServer,
} from './support.mjs';

let server;
let browser;
let opened;
before(async () => {
  server = await startServer();
  browser = await launchBrowser();
  opened = await openPage(browser, server.url);
});
after(async () => {
  await browser?.close();
  server?.server.close();
});

// Presses Tab until `selector` has the focus; fails after `limit` presses.
async function tabTo(page, selector, limit = 20) {
  for (let i = 0; i < limit; ++i) {
    if (await page.evaluate((wanted) => document.activeElement?.matches(wanted), selector)) {
      return;
    }
    await page.keyboard.press('Tab');
  }
  assert.fail(`Tab never reached ${selector}`);
}

test('choose JSON Lines and cp850, convert and save, with keys only', async () => {
  const { page, nextDownload } = opened;
  // A file dialog is the system's; the files arrive as the dialog gives them.
  await chooseFiles(page, ['ths.mst', 'ths.xrf', 'ths.fdt'].map((name) => path.join(exampleDatabase, name)));
  await tabTo(page, '#format-tagged');
  // Radio buttons move with the arrows, in the order of the program's table.
  for (let press = 0; press < 10 && !await page.$eval('#format-jsonl', (radio) => radio.checked); ++press) {
    await page.keyboard.press('ArrowDown');
  }
  assert.equal(await page.$eval('#format-jsonl', (radio) => radio.checked), true);
  await tabTo(page, '#encoding');
  await page.keyboard.type('cp850');  // a closed list takes its option by typing
  assert.equal(await page.$eval('#encoding', (select) => select.value), 'cp850');
  await tabTo(page, '#convert');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.body.dataset.state === 'done');
  const download = nextDownload();
  await tabTo(page, '#save');
  await page.keyboard.press('Enter');
  const saved = await download;
  const native = nativeExport(exampleDatabase, 'ths.mst', { format: 'jsonl', encoding: 'cp850' });
  assert.equal(saved.name, 'ths.jsonl');
  assert.ok(saved.bytes.equals(native.bytes));
  assert.equal((await shownResult(page)).state, 'done');
});

test('every control and live region has a name', async () => {
  const { page } = opened;
  const snapshot = await page.accessibility.snapshot({ interestingOnly: true });
  const unnamed = [];
  const controls = new Set(['button', 'radio', 'combobox', 'progressbar', 'textbox', 'link']);
  (function walk(node) {
    if (controls.has(node.role) && !node.name) {
      unnamed.push(node.role);
    }
    (node.children ?? []).forEach(walk);
  })(snapshot);
  assert.deepEqual(unnamed, []);
  const live = await page.$$eval('[aria-live], [role="status"], [role="alert"]',
    (regions) => regions.map((region) => region.id));
  assert.deepEqual(live.sort(), ['encoding-guess', 'file-error', 'messages-heading', 'run-error', 'status']);
});

test('at 200 % zoom nothing needs scrolling sideways', async () => {
  const { page } = opened;
  // A window half as wide at twice the scale is what 200 % zoom shows.
  await page.setViewport({ width: 640, height: 900, deviceScaleFactor: 2 });
  await page.evaluate(() => { document.body.style.zoom = '2'; });
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth -
    document.documentElement.clientWidth);
  await page.evaluate(() => { document.body.style.zoom = ''; });
  assert.ok(overflow <= 0, `${overflow} pixels wider than the window`);
});
