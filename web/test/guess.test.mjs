// The page runs the program's --info on the chosen files and chooses the code
// page it guesses, showing the words it read under the likely pages; the
// program's own --info on the same files is what it must agree with.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import {
  chooseFiles, copyDatabase, exampleDatabase, launchBrowser, nativeProgram, openPage,
  sampleDatabase, shownResult, startServer,
} from './support.mjs';

// The example database with a name written in code page 850: "Magalhães"
// in place of "Magalhaes", the same length ("ã" is 0xC6 there).
const accented = copyDatabase(exampleDatabase, {
  changeMaster: (bytes) => {
    const at = bytes.indexOf('Magalhaes');
    assert.ok(at > 0);
    bytes[at + 6] = 0xc6;
    return bytes;
  },
});
// The same as an ISO 2709 file, which --info reads as well.
const made = spawnSync(nativeProgram, [accented.folder, '-f', 'iso2709', '-o', path.join(accented.folder, 'THS.ISO')]);
assert.equal(made.status, 0);
const databases = [
  { label: 'examples/, every value in ASCII', folder: exampleDatabase, files: ['ths.mst', 'ths.xrf'] },
  { label: 'examples/ with a name in cp850', folder: accented.folder, files: ['ths.mst', 'ths.xrf'] },
  { label: 'the same as an ISO 2709 file', folder: accented.folder, files: ['THS.ISO'] },
];
if (fs.existsSync(path.join(sampleDatabase, 'ths.mst'))) {
  databases.push({ label: 'the sample database', folder: sampleDatabase, files: ['ths.mst', 'ths.xrf'] });
}

let server;
let browser;
before(async () => {
  server = await startServer();
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
  server?.server.close();
  fs.rmSync(accented.folder, { recursive: true, force: true });
});

function nativeGuess(folder, master = 'ths.mst') {
  const run = spawnSync(nativeProgram, ['--info', '--format=jsonl', master], { cwd: folder, encoding: 'utf8' });
  return JSON.parse(run.stdout).code_page;
}

for (const database of databases) {
  test(`the code page guess: ${database.label}`, async () => {
    const { page, failures } = await openPage(browser, server.url);
    const expected = nativeGuess(database.folder, database.files[0]);
    await chooseFiles(page, database.files.map((name) => path.join(database.folder, name)));
    const shown = await shownResult(page);
    const chosen = await page.$eval('#encoding', (select) => select.value);
    if (expected.bytes_above_7f === 0) {
      assert.equal(chosen, '');
      assert.match(shown.guess, /^Guess: as stored\./);
    } else {
      assert.equal(chosen, expected.encoding ?? '');
      assert.ok(shown.guess.startsWith(expected.encoding ? `Guess: ${expected.encoding}.` : 'No sure guess.'), shown.guess);
      // Each word as each likely page reads it, as the program read them.
      for (const readings of expected.words.slice(0, 2)) {
        for (const name of expected.pages) {
          assert.ok(shown.guess.includes(`${readings[name]} (${name})`), `${readings[name]} (${name}) in ${shown.guess}`);
        }
      }
    }
    assert.equal(shown.convertEnabled, true);
    assert.deepEqual(failures, []);
    await page.close();
  });
}

test('files chosen again while the guess runs: only the last files\' guess is shown', async () => {
  const { page } = await openPage(browser, server.url);
  const input = await page.$('#file-input');
  await input.uploadFile(...['ths.mst', 'ths.xrf'].map((name) => path.join(accented.folder, name)));
  await chooseFiles(page, ['ths.mst', 'ths.xrf'].map((name) => path.join(exampleDatabase, name)));
  assert.match((await shownResult(page)).guess, /^Guess: as stored\./);
  assert.equal(await page.$eval('#encoding', (select) => select.value), '');
  await page.close();
});
