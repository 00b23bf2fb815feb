// bench/web's timing: the same conversion in the page and with the native
// program, alternated, each run checked against the other's bytes. Prints
// the medians and exits 1 when the page takes more than 3 times as long.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  convertInPage, launchBrowser, nativeExport, nativeProgram, openPage, saveFromPage, sha256,
  startServer, temporaryFolder,
} from './test/support.mjs';

const TARGET_RATIO = 3;
const database = process.argv[2];
const runs = Number(process.env.BENCH_RUNS ?? 7);
const format = process.env.BENCH_FORMAT ?? 'tagged';

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};

// Wall time of the native program, from start to exit, in milliseconds.
function timeNative(output) {
  const started = process.hrtime.bigint();
  const run = spawnSync(nativeProgram, [`--format=${format}`, '-o', output, '--', 'ths.mst'],
    { cwd: database, stdio: 'ignore' });
  const milliseconds = Number(process.hrtime.bigint() - started) / 1e6;
  if (run.status !== 0) {
    throw new Error(`${nativeProgram} ended with status ${run.status}`);
  }
  return milliseconds;
}

const { server, url } = await startServer();
const browser = await launchBrowser();
const scratch = temporaryFolder('mstexport-bench-web-');
let status = 0;
try {
  const { page, nextDownload } = await openPage(browser, url);
  const files = ['ths.mst', 'ths.xrf'].map((name) => path.join(database, name));
  const expected = sha256(nativeExport(database, 'ths.mst', { format }).bytes);
  const times = { page: [], program: [], reading: [], writing: [], native: [] };
  for (let run = 0; run < runs; ++run) {
    times.native.push(timeNative(path.join(scratch, 'out')));
    const shown = await convertInPage(page, files, { format });
    if (shown.state !== 'done' || shown.messages.length > 0) {
      throw new Error(`the page's conversion ended ${shown.state}: ${shown.runError}`);
    }
    const timing = await page.evaluate(() => ({ ...document.body.dataset }));
    times.page.push(Number(timing.conversionMilliseconds));
    times.program.push(Number(timing.programMilliseconds));
    times.reading.push(Number(timing.readingMilliseconds));
    times.writing.push(Number(timing.writingMilliseconds));
    if (run === 0) {
      const saved = await saveFromPage(page, nextDownload);
      if (sha256(saved.bytes) !== expected) {
        throw new Error('the page saved other bytes than the native program wrote');
      }
    }
  }
  const native = median(times.native);
  const line = (label, milliseconds) => console.log(`${label.padEnd(44)} ${(milliseconds / 1000).toFixed(3)} s` +
    (label.startsWith('native') ? '' : `  ${(milliseconds / native).toFixed(2)} x native`));
  const size = fs.statSync(files[0]).size;
  console.log(`== ${path.basename(database)}: ths.mst ${(size / 1e6).toFixed(1)} MB, --format=${format}, ` +
    `medians of ${runs} runs`);
  line('native program (start to exit)', native);
  line('web page (Convert pressed to output ready)', median(times.page));
  line('web page, the program in its worker alone', median(times.program));
  line('  of which reading (FileReaderSync)', median(times.reading));
  line('  of which writing (Blob parts)', median(times.writing));
  const ratio = median(times.page) / native;
  if (ratio > TARGET_RATIO) {
    console.log(`the page takes ${ratio.toFixed(2)} times as long as the native program; the target is ${TARGET_RATIO}`);
    status = 1;
  }
} finally {
  await browser.close();
  server.close();
  fs.rmSync(scratch, { recursive: true, force: true });
}
process.exit(status);
