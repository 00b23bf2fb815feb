// What the page does with a damaged database, with files that are not one
// database, and with files that are not a database at all.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import {
  convertInPage, copyDatabase, exampleDatabase, launchBrowser, nativeExport, openPage,
  saveFromPage, shownResult, startServer, temporaryFolder,
} from './support.mjs';

let server;
let browser;
let opened;
const folders = [];
before(async () => {
  server = await startServer();
  browser = await launchBrowser();
  opened = await openPage(browser, server.url);
});
after(async () => {
  await browser?.close();
  server?.server.close();
  for (const folder of folders) {
    fs.rmSync(folder, { recursive: true, force: true });
  }
});

function damaged(changes) {
  const copy = copyDatabase(exampleDatabase, changes);
  folders.push(copy.folder);
  return copy;
}

describe('a damaged database: its messages are shown with their count, its output saved', () => {
  const cases = [
    ['the master file cut short', { changeMaster: (bytes) => bytes.subarray(0, bytes.length - 300) }],
    ['a directory overwritten', { changeMaster: (bytes) => Buffer.from(bytes).fill(0xff, 100, 140) }],
  ];
  for (const [label, changes] of cases) {
    for (const format of ['tagged', 'jsonl']) {
      test(`${label}, ${format}`, async () => {
        const database = damaged(changes);
        const native = nativeExport(database.folder, 'ths.mst', { format });
        assert.notEqual(native.messages.length, 0, 'the damage must show');
        const shown = await convertInPage(opened.page, [database.master, database.crossRef], { format });
        assert.equal(shown.state, 'done');
        assert.deepEqual(shown.messages, native.messages);
        const count = native.messages.length;
        assert.equal(shown.messagesHeading, `${count} message${count === 1 ? '' : 's'}`);
        assert.match(shown.status, new RegExp(`with ${count} messages? below`));
        const saved = await saveFromPage(opened.page, opened.nextDownload);
        assert.ok(saved.bytes.equals(native.bytes));
      });
    }
  }
});

test('files that are not a master file: the program\'s message about the first records, plainly', async () => {
  // The two files swapped, as a user may rename them.
  const database = damaged({ master: 'ths.xrf', crossRef: 'ths.mst' });
  const native = nativeExport(database.folder, 'ths.mst');
  const shown = await convertInPage(opened.page, [database.crossRef, database.master]);
  // The first line the program prints says what is wrong with the files; it
  // heads the page's alert, without the program's name.
  const [first] = native.messages;
  assert.equal(shown.runError.split('\n')[0], first.replace(/^mstexport: /, ''));
  assert.deepEqual(shown.messages, native.messages);
});

describe('files that are not one whole database: a clear error, and nothing to convert', () => {
  const make = (names) => {
    const folder = temporaryFolder();
    folders.push(folder);
    return names.map((name) => {
      fs.writeFileSync(path.join(folder, name), 'not a database');
      return path.join(folder, name);
    });
  };
  const cases = [
    [['ths.mst'], 'The cross-reference file ths.xrf is missing: add it beside ths.mst.'],
    [['THS.XRF'], 'The master file THS.MST is missing: add it beside THS.XRF.'],
    [['ths.mst', 'cds.xrf'], 'These files belong to 2 different databases (ths.mst, cds.xrf): ' +
      'choose the .mst and .xrf files of one database.'],
    [['notes.txt'], 'None of these files is a CDS/ISIS master file (.mst) or cross-reference file ' +
      '(.xrf), nor an ISO 2709 file (.iso): choose the .mst and .xrf files of the database, or its .iso file.'],
    [['ths.iso', 'cds.ISO'], 'These are 2 ISO 2709 files (ths.iso, cds.ISO): choose one.'],
    [['THS.MST', 'ths.mst', 'ths.xrf'], 'THS.MST and ths.mst are the same file in different cases ' +
      'of name: choose one.'],
  ];
  for (const [names, error] of cases) {
    test(names.join(' + '), async () => {
      const input = await opened.page.$('#file-input');
      await input.uploadFile(...make(names));
      const shown = await shownResult(opened.page);
      assert.equal(shown.fileError, error);
      assert.equal(shown.convertEnabled, false);
      assert.equal(shown.saveEnabled, false);
    });
  }

  test('other files of the database folder come along and are left alone', async () => {
    const database = damaged({});
    const extra = path.join(database.folder, 'ths.cnt');
    fs.writeFileSync(extra, 'an index file');
    const shown = await convertInPage(opened.page, [extra, database.master, database.crossRef]);
    assert.equal(shown.state, 'done');
    assert.equal(shown.fileError, '');
    const listed = await opened.page.$$eval('#file-list li', (items) => items.map((item) => item.textContent));
    assert.deepEqual(listed, ['ths.cnt (13 bytes), not needed', 'ths.mst (567 bytes)', 'ths.xrf (512 bytes)']);
  });
});
