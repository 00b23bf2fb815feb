// The page converts a database to the same bytes as the native program, in
// every format and option, with and without a code page, and shows the same
// messages.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import {
  convertInPage, copyDatabase, exampleDatabase, launchBrowser, nativeExport, nativeProgram,
  openPage, sampleDatabase, saveFromPage, startServer, temporaryFolder, testOutput,
} from './support.mjs';

const settings = [
  { format: 'tagged' },
  { format: 'jsonl' },
  { format: 'iso2709' },
  { format: 'iso2709', options: { 'iso-delimiters': 'hash', 'iso-line-end': 'lf' } },
  { format: 'iso2709', options: { 'iso-delimiters': 'control', 'iso-line-end': 'none' } },
  { format: 'jsonl', options: { subfields: true } },
  { format: 'csv' },
  { format: 'tagged', encoding: 'cp850' },
  { format: 'jsonl', encoding: 'cp850' },
  { format: 'iso2709', options: { 'iso-line-end': 'crlf' }, encoding: 'cp850' },
  { format: 'csv', options: { 'repeat-separator': ' ; ', 'csv-bom': true }, encoding: 'cp850' },
];
const extensions = { tagged: '.txt', jsonl: '.jsonl', iso2709: '.iso', csv: '.csv' };

// The example database under names in upper case, as copied from DOS, its
// field definition table too.
const upperCase = copyDatabase(exampleDatabase, { master: 'THS.MST', crossRef: 'THS.XRF' });
fs.copyFileSync(path.join(exampleDatabase, 'ths.fdt'), path.join(upperCase.folder, 'THS.FDT'));
// The page is given the files named; the program reads the field definition
// table beside the database, for the formats that name fields, unless told
// --no-fdt.
const databases = [
  { label: 'examples/ with its .fdt', folder: exampleDatabase, files: ['ths.mst', 'ths.xrf', 'ths.fdt'] },
  { label: 'examples/ without its .fdt', folder: exampleDatabase, files: ['ths.mst', 'ths.xrf'], noFdt: true },
  { label: 'examples/ as THS.MST', folder: upperCase.folder, files: ['THS.MST', 'THS.XRF', 'THS.FDT'] },
];
// ISO 2709 files that the program wrote: from examples/, with its .fdt, and
// from the sample database, under a name in upper case.
const isoFolder = temporaryFolder('mstexport-iso-');
function writeIso(from, name) {
  const run = spawnSync(nativeProgram, [from, '-f', 'iso2709', '-o', path.join(isoFolder, name)], { encoding: 'utf8' });
  assert.ok(run.status <= 1, run.stderr);
}
writeIso(exampleDatabase, 'ths.iso');
fs.copyFileSync(path.join(exampleDatabase, 'ths.fdt'), path.join(isoFolder, 'ths.fdt'));
databases.push({ label: 'an ISO 2709 file of examples/, with the .fdt', folder: isoFolder, files: ['ths.iso', 'ths.fdt'] });
if (fs.existsSync(path.join(sampleDatabase, 'ths.mst'))) {
  databases.push({ label: 'the sample database', folder: sampleDatabase, files: ['ths.mst', 'ths.xrf'] });
  writeIso(sampleDatabase, 'SAMPLE.ISO');
  databases.push({ label: 'an ISO 2709 file of the sample database, SAMPLE.ISO', folder: isoFolder, files: ['SAMPLE.ISO'] });
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
  fs.rmSync(isoFolder, { recursive: true, force: true });
});

for (const database of databases) {
  describe(database.label, () => {
    for (const chosen of settings) {
      const options = [`--format=${chosen.format}`,
        ...Object.entries(chosen.options ?? {}).map(([name, value]) => (value === true ? `--${name}` : `--${name}=${value}`)),
        ...(chosen.encoding ? [`--encoding=${chosen.encoding}`] : [])].join(' ');
      test(options, async () => {
        const { page, nextDownload, failures } = opened;
        const master = database.files[0];
        const shown = await convertInPage(page, database.files.map((name) => path.join(database.folder, name)), chosen);
        const namesFields = ['jsonl', 'csv'].includes(chosen.format);
        const native = nativeExport(database.folder, master,
          { ...chosen, more: database.noFdt && namesFields ? ['--no-fdt'] : [] });
        assert.equal(shown.state, 'done', shown.runError);
        assert.deepEqual(shown.messages, native.messages);
        const saved = await saveFromPage(page, nextDownload);
        assert.equal(saved.name, path.parse(master).name + extensions[chosen.format]);
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

test('screenshots of the page after a conversion, at 100 % and 200 % zoom, for a person to look at', async () => {
  const { page } = opened;
  const database = databases.find((entry) => entry.label === 'the sample database') ?? databases[0];
  await convertInPage(page, database.files.map((name) => path.join(database.folder, name)), { format: 'jsonl' });
  fs.mkdirSync(testOutput, { recursive: true });
  const viewport = page.viewport();
  for (const [name, zoom] of [['page.png', 1], ['page-200.png', 2]]) {
    // 200 % zoom: half as many CSS pixels across, each drawn twice as large.
    await page.setViewport({ width: Math.round(viewport.width / zoom), height: viewport.height, deviceScaleFactor: zoom });
    const file = path.join(testOutput, name);
    await page.screenshot({ path: file, fullPage: true });
    assert.ok(fs.statSync(file).size > 10000);
  }
  await page.setViewport(viewport);
});
