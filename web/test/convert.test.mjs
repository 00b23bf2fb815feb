// The page converts a database to the same bytes as the native program, in
// every format and option, with and without a code page, and shows the same
// messages.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import {
  convertInPage, copyDatabase, exampleDatabase, launchBrowser, nativeExport, openPage,
  sampleDatabase, saveFromPage, startServer, testOutput,
} from './support.mjs';

const settings = [
  { format: 'tagged' },
  { format: 'jsonl' },
  { format: 'iso2709' },
  { format: 'iso2709', iso: { 'iso-delimiters': 'hash', 'iso-line-end': 'lf' } },
  { format: 'iso2709', iso: { 'iso-delimiters': 'control', 'iso-line-end': 'none' } },
  { format: 'tagged', encoding: 'cp850' },
  { format: 'jsonl', encoding: 'cp850' },
  { format: 'iso2709', iso: { 'iso-line-end': 'crlf' }, encoding: 'cp850' },
];
const extensions = { tagged: '.txt', jsonl: '.jsonl', iso2709: '.iso' };

// The example database under names in upper case, as copied from DOS.
const upperCase = copyDatabase(exampleDatabase, { master: 'THS.MST', crossRef: 'THS.XRF' });
const databases = [
  { label: 'examples/', folder: exampleDatabase, master: 'ths.mst', crossRef: 'ths.xrf' },
  { label: 'examples/ as THS.MST', folder: upperCase.folder, master: 'THS.MST', crossRef: 'THS.XRF' },
];
if (fs.existsSync(path.join(sampleDatabase, 'ths.mst'))) {
  databases.push({ label: 'the sample database', folder: sampleDatabase, master: 'ths.mst', crossRef: 'ths.xrf' });
}

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
  fs.rmSync(upperCase.folder, { recursive: true, force: true });
});

for (const database of databases) {
  describe(database.label, () => {
    for (const chosen of settings) {
      const options = [`--format=${chosen.format}`,
        ...Object.entries(chosen.iso ?? {}).map(([name, value]) => `--${name}=${value}`),
        ...(chosen.encoding ? [`--encoding=${chosen.encoding}`] : [])].join(' ');
      test(options, async () => {
        const { page, nextDownload, failures } = opened;
        const files = [database.master, database.crossRef].map((name) => path.join(database.folder, name));
        const shown = await convertInPage(page, files, chosen);
        const native = nativeExport(database.folder, database.master, chosen);
        assert.equal(shown.state, 'done', shown.runError);
        assert.deepEqual(shown.messages, native.messages);
        const saved = await saveFromPage(page, nextDownload);
        assert.equal(saved.name, path.parse(database.master).name + extensions[chosen.format]);
        assert.ok(saved.bytes.equals(native.bytes),
          `the saved ${saved.bytes.length} bytes differ from the program's ${native.bytes.length}`);
        // The preview is the output's start, decoded for display.
        const start = new TextDecoder().decode(native.bytes.subarray(0, 200));
        assert.ok(shown.preview.startsWith(start.slice(0, start.lastIndexOf('\n') + 1)));
        assert.deepEqual(failures, []);
      });
    }
  });
}

test('a screenshot of the page after a conversion, for a person to look at', async () => {
  const { page } = opened;
  const database = databases[databases.length - 1];
  await convertInPage(page, [database.master, database.crossRef].map((name) => path.join(database.folder, name)),
    { format: 'jsonl' });
  fs.mkdirSync(testOutput, { recursive: true });
  const file = path.join(testOutput, 'page.png');
  await page.screenshot({ path: file, fullPage: true });
  assert.ok(fs.statSync(file).size > 10000);
});
