// A database of 100,000 records from the benchmark's generator: the progress
// bar moves while it converts, the tab's memory stays small, and the output
// is the native program's.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import {
  chooseFiles, convertInPage, launchBrowser, nativeExport, openPage, projectRoot, saveFromPage, sha256,
  startServer, temporaryFolder,
} from './support.mjs';

// MSTEXPORT_WEB_RECORDS=1000000 tries a database ten times as large.
const RECORDS = Number(process.env.MSTEXPORT_WEB_RECORDS ?? 100000);
const MEMORY_LIMIT = 100 * 1024 * 1024;
const generator = process.env.MSTEXPORT_GENERATOR ??
  path.join(projectRoot, 'build/release/bench/generate_bench_database');

let server;
let browser;
let folder;
before(async () => {
  folder = temporaryFolder('mstexport-large-');
  const made = spawnSync(generator, [folder, String(RECORDS)], { encoding: 'utf8' });
  assert.equal(made.status, 0, made.stderr);
  server = await startServer();
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
  server?.server.close();
  fs.rmSync(folder, { recursive: true, force: true });
});

// The most the page and its workers take while `work` runs, by the
// browser's own counts: the JavaScript heap and the memory of ArrayBuffers
// outside it, among them the blocks read from the files and the output's.
async function peakMemoryDuring(page, work) {
  const pageSession = await page.createCDPSession();
  const size = async (client) => {
    const usage = await client.send('Runtime.getHeapUsage');
    return usage.totalSize + (usage.backingStorageSize ?? 0);
  };
  let peak = { page: 0, workers: 0 };
  let running = true;
  const sampling = (async () => {
    while (running) {
      const pageSize = await size(pageSession);
      let workers = 0;
      for (const worker of page.workers()) {
        try {
          workers += await size(worker.client);
        } catch {
          // The worker ended between the list and the question.
        }
      }
      peak = { page: Math.max(peak.page, pageSize), workers: Math.max(peak.workers, workers) };
      await new Promise((resolve) => setTimeout(resolve, 25));
    }
  })();
  const result = await work();
  running = false;
  await sampling;
  return { result, peak };
}

test(`${RECORDS.toLocaleString('en-US')} records: progress moves, memory stays under 100 MB, bytes as the program's`, async (t) => {
  const { page, nextDownload } = await openPage(browser, server.url);
  // Every value the progress bar takes, as the page sets it.
  await page.evaluate(() => {
    window.progressSeen = [];
    new MutationObserver(() => window.progressSeen.push(
      [Number(document.getElementById('progress').value), Number(document.getElementById('progress').max)]))
      .observe(document.getElementById('progress'), { attributes: true });
  });
  const files = ['ths.mst', 'ths.xrf'].map((name) => path.join(folder, name));
  const { result: shown, peak } = await peakMemoryDuring(page, () => convertInPage(page, files));
  assert.equal(shown.state, 'done', shown.runError);
  assert.deepEqual(shown.messages, []);

  const seen = await page.evaluate(() => window.progressSeen);
  const during = seen.filter(([value, max]) => max === RECORDS && value > 0 && value < RECORDS);
  assert.ok(during.length >= 3, `the bar took ${JSON.stringify(seen)}`);
  for (let i = 1; i < during.length; ++i) {
    assert.ok(during[i][0] >= during[i - 1][0], 'the bar went back');
  }

  const programMemory = Number(await page.evaluate(() => document.body.dataset.programMemory));
  const total = peak.page + peak.workers + programMemory;
  t.diagnostic(`peak memory: page heap ${peak.page}, worker heaps ${peak.workers}, program ${programMemory} bytes`);
  assert.ok(total < MEMORY_LIMIT,
    `page ${peak.page}, workers ${peak.workers}, program ${programMemory}: ${total} bytes`);

  const saved = await saveFromPage(page, nextDownload);
  const native = nativeExport(folder, 'ths.mst');
  assert.equal(saved.bytes.length, native.bytes.length);
  assert.equal(sha256(saved.bytes), sha256(native.bytes));
});

test('Stop ends a conversion under way, and nothing can be saved', async () => {
  const { page } = await openPage(browser, server.url);
  await chooseFiles(page, ['ths.mst', 'ths.xrf'].map((name) => path.join(folder, name)));
  // Stop is pressed as soon as the bar first moves past the start.
  await page.evaluate(() => {
    const bar = document.getElementById('progress');
    new MutationObserver((changes, observer) => {
      if (bar.value > 0 && bar.value < bar.max) {
        observer.disconnect();
        document.getElementById('cancel').click();
      }
    }).observe(bar, { attributes: true });
  });
  await page.click('#convert');
  await page.waitForFunction(() => document.body.dataset.state === 'idle');
  const shown = await page.evaluate(() => ({
    status: document.getElementById('status').textContent,
    save: document.getElementById('save').disabled,
    convert: document.getElementById('convert').disabled,
  }));
  assert.equal(shown.status, 'Stopped: nothing was saved.');
  assert.equal(shown.save, true);
  assert.equal(shown.convert, false);
});
