// What the browser tests share: a static server for the built page, headless
// Chromium with downloads captured, a conversion driven through the page as a
// user drives it, and the native program's export for the same options.
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const projectRoot = path.resolve(here, '..', '..');
export const webBuild = path.resolve(process.env.MSTEXPORT_WEB_BUILD ?? path.join(projectRoot, 'build/web'));
export const nativeProgram = path.resolve(
  process.env.MSTEXPORT_NATIVE ?? path.join(projectRoot, 'build/release/mstexport'));
export const testOutput = path.join(projectRoot, 'build/web-test');
export const sampleDatabase = path.resolve(projectRoot, '..', 'shared/samples/cds');
export const exampleDatabase = path.join(projectRoot, 'examples');

const contentTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
};

// Serves the page's files, and nothing else, on a free port of 127.0.0.1.
export async function startServer(root = webBuild) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    const file = path.join(root, name === '/' ? 'index.html' : path.normalize(name));
    const type = contentTypes[path.extname(file)];
    if (!file.startsWith(root) || !type || !fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': type });
    fs.createReadStream(file).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { server, url: `http://127.0.0.1:${server.address().port}/` };
}

export function temporaryFolder(prefix = 'mstexport-web-') {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

// Debian's Chromium, headless, with a profile of its own and no network
// beyond the test's server.
export async function launchBrowser() {
  const profile = temporaryFolder('mstexport-chromium-');
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--user-data-dir=${profile}`],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}

// Opens the page with downloads going to a folder of their own; `downloads`
// waits for the next one and returns its suggested name and bytes.
export async function openPage(browser, url) {
  const page = await browser.newPage();
  const folder = temporaryFolder('mstexport-downloads-');
  const session = await browser.target().createCDPSession();
  await session.send('Browser.setDownloadBehavior',
    { behavior: 'allowAndName', downloadPath: folder, eventsEnabled: true });
  const names = new Map();
  session.on('Browser.downloadWillBegin', (event) => names.set(event.guid, event.suggestedFilename));
  const nextDownload = () => new Promise((resolve, reject) => {
    const onProgress = (event) => {
      if (event.state === 'completed') {
        session.off('Browser.downloadProgress', onProgress);
        const file = path.join(folder, event.guid);
        const bytes = fs.readFileSync(file);
        fs.rmSync(file);
        resolve({ name: names.get(event.guid), bytes });
      } else if (event.state === 'canceled') {
        session.off('Browser.downloadProgress', onProgress);
        reject(new Error('the download was canceled'));
      }
    };
    session.on('Browser.downloadProgress', onProgress);
  });
  const failures = [];
  page.on('pageerror', (error) => failures.push(String(error)));
  page.on('requestfailed', (request) => failures.push(`request failed: ${request.url()}`));
  await page.goto(url, { waitUntil: 'load' });
  // The code pages come from the program itself, in a first worker.
  await page.waitForSelector('#encoding option:nth-child(2)');
  return { page, nextDownload, failures, folder };
}

// Gives the page `files` and waits for its code page guess.
export async function chooseFiles(page, files) {
  const input = await page.$('#file-input');
  await input.uploadFile(...files);
  await page.waitForFunction(() => document.body.dataset.guess !== 'pending');
}

// Gives the page `files`, chooses the settings as a user does and converts.
// `options` are the format's: a word, a text, or true to tick an option that
// takes no value. Returns what the page shows once it is done.
export async function convertInPage(page, files, { format = 'tagged', options = {}, encoding = '' } = {}) {
  await chooseFiles(page, files);
  await page.click(`#format-${format}`);
  // Options not given are set back to the program's default.
  for (const control of await page.$$(`[id^="option-${format}-"]`)) {
    const { id, kind } = await control.evaluate((element) =>
      ({ id: element.id, kind: element.type === 'checkbox' ? 'none' : element.tagName === 'SELECT' ? 'word' : 'text' }));
    const given = options[id.slice(`option-${format}-`.length)];
    if (kind === 'word') {
      await control.select(given ?? await control.evaluate((element) => element.options[0].value));
    } else if (kind === 'none') {
      if (await control.evaluate((element) => element.checked) !== (given === true)) {
        await control.click();
      }
    } else {
      await control.evaluate((element) => { element.value = ''; });
      if (given) {
        await control.type(given);
      }
    }
  }
  await page.select('#encoding', encoding);
  await page.click('#convert');
  await page.waitForFunction(() => ['done', 'failed'].includes(document.body.dataset.state),
    { timeout: 120000 });
  return shownResult(page);
}

export async function shownResult(page) {
  return page.evaluate(() => ({
    state: document.body.dataset.state,
    status: document.getElementById('status').textContent,
    fileError: document.getElementById('file-error').textContent,
    runError: document.getElementById('run-error').textContent,
    messagesHeading: document.getElementById('messages-section').hidden
      ? '' : document.getElementById('messages-heading').textContent,
    messages: Array.from(document.querySelectorAll('#messages li'), (item) => item.textContent),
    preview: document.getElementById('preview-section').hidden
      ? null : document.getElementById('preview').textContent,
    guess: document.getElementById('encoding-guess').textContent,
    saveEnabled: !document.getElementById('save').disabled,
    convertEnabled: !document.getElementById('convert').disabled,
  }));
}

export async function saveFromPage(page, nextDownload) {
  const download = nextDownload();
  await page.click('#save');
  return download;
}

// The native program's export of `master` (a name in `folder`) with the
// command line options that the page's settings stand for, on standard
// output: the page's output is not a regular file either, and the messages
// say the same of it.
export function nativeExport(folder, master, { format = 'tagged', options: formatOptions = {}, encoding = '', more = [] } = {}) {
  const options = [`--format=${format}`, ...more];
  for (const [name, value] of Object.entries(formatOptions)) {
    options.push(value === true ? `--${name}` : `--${name}=${value}`);
  }
  if (encoding) {
    options.push(`--encoding=${encoding}`);
  }
  const run = spawnSync(nativeProgram, [...options, '-o', '-', '--', master],
    { cwd: folder, encoding: 'buffer', maxBuffer: 2 ** 30 });
  if (run.error) {
    throw run.error;
  }
  const messages = run.stderr.toString('utf8').split('\n').filter((line) => line !== '');
  return { status: run.status, bytes: run.stdout, messages };
}

export const sha256 = (bytes) => createHash('sha256').update(bytes).digest('hex');

// A copy of a database's two files in a new folder, under the names given,
// each passed through `change` (bytes in, bytes out) when one is given.
export function copyDatabase(from, { master = 'ths.mst', crossRef = 'ths.xrf', changeMaster, changeCrossRef } = {}) {
  const folder = temporaryFolder('mstexport-database-');
  const masterBytes = fs.readFileSync(path.join(from, 'ths.mst'));
  const crossRefBytes = fs.readFileSync(path.join(from, 'ths.xrf'));
  fs.writeFileSync(path.join(folder, master), changeMaster ? changeMaster(masterBytes) : masterBytes);
  fs.writeFileSync(path.join(folder, crossRef),
    changeCrossRef ? changeCrossRef(crossRefBytes) : crossRefBytes);
  return { folder, master: path.join(folder, master), crossRef: path.join(folder, crossRef) };
}
