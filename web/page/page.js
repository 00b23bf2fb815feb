// The page: chooses the database's files and the settings, runs the
// conversion in a worker (worker.js), shows its progress, messages and first
// records, and saves the output.
'use strict';

const PREVIEW_LIMIT_TEXT = '20 KB';
const LIVE_STATUS_INTERVAL_MS = 3000;

const element = (id) => document.getElementById(id);
const page = {
  database: null, // { master, files, base } of the chosen files
  formats: [], // from the program's table (formats.js)
  spare: null, // the next conversion's worker, its program made ahead
  worker: null, // the running conversion's
  guessing: null, // the worker guessing the code page of the chosen files
  result: null, // { blob, name }
};

// ---- The database's files ------------------------------------------------

function splitName(name) {
  const dot = name.lastIndexOf('.');
  return dot <= 0 ? [name, ''] : [name.slice(0, dot), name.slice(dot)];
}

// `extension` written in the case of `like`: .XRF beside THS.MST.
function inCaseOf(extension, like) {
  return like === like.toUpperCase() ? extension.toUpperCase() : extension;
}

function formatBytes(count) {
  if (count < 1024) {
    return `${count} bytes`;
  }
  const units = ['KB', 'MB', 'GB'];
  let value = count / 1024;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) {
    value /= 1024;
    unit += 1;
  }
  return `${value.toFixed(value < 10 ? 1 : 0)} ${units[unit]}`;
}

const numberText = (count) => count.toLocaleString('en-US');

// The database that the chosen files make, or what is wrong with them, said
// for the user. Names match in any case, as the program matches them.
function databaseOf(files) {
  const kinds = { '.mst': [], '.xrf': [], '.fdt': [], '.iso': [] };
  for (const file of files) {
    const [base, extension] = splitName(file.name);
    const kind = kinds[extension.toLowerCase()];
    if (kind) {
      kind.push({ file, base, extension });
    }
  }
  const masters = kinds['.mst'];
  const crossRefs = kinds['.xrf'];
  const both = [...masters, ...crossRefs];
  const bases = new Set(both.map((entry) => entry.base.toLowerCase()));
  if (both.length === 0 && kinds['.iso'].length > 0) {
    return isoDatabaseOf(kinds['.iso'], kinds['.fdt']);
  }
  if (both.length === 0) {
    return {
      error: 'None of these files is a CDS/ISIS master file (.mst) or cross-reference file ' +
        '(.xrf), nor an ISO 2709 file (.iso): choose the .mst and .xrf files of the database, ' +
        'or its .iso file.',
    };
  }
  if (bases.size > 1) {
    const names = both.map((entry) => entry.file.name).join(', ');
    return {
      error: `These files belong to ${bases.size} different databases (${names}): choose the ` +
        '.mst and .xrf files of one database.',
    };
  }
  if (masters.length === 0) {
    const { base, extension, file } = crossRefs[0];
    return {
      error: `The master file ${base}${inCaseOf('.mst', extension)} is missing: add it beside ` +
        `${file.name}.`,
    };
  }
  if (crossRefs.length === 0) {
    const { base, extension, file } = masters[0];
    return {
      error: `The cross-reference file ${base}${inCaseOf('.xrf', extension)} is missing: add ` +
        `it beside ${file.name}.`,
    };
  }
  for (const same of [masters, crossRefs]) {
    if (same.length > 1) {
      const names = same.map((entry) => entry.file.name).join(' and ');
      return { error: `${names} are the same file in different cases of name: choose one.` };
    }
  }
  const master = masters[0];
  const tables = kinds['.fdt'].filter((entry) => entry.base.toLowerCase() === master.base.toLowerCase());
  return {
    master: master.file,
    base: master.base,
    files: [master.file, crossRefs[0].file, ...tables.slice(0, 1).map((entry) => entry.file)],
  };
}

// An ISO 2709 file, exported from CDS/ISIS or another library system, is
// read as a database of its own, with the .fdt of its name when given.
function isoDatabaseOf(isoFiles, tableFiles) {
  if (isoFiles.length > 1) {
    const names = isoFiles.map((entry) => entry.file.name).join(', ');
    return { error: `These are ${isoFiles.length} ISO 2709 files (${names}): choose one.` };
  }
  const iso = isoFiles[0];
  const tables = tableFiles.filter((entry) => entry.base.toLowerCase() === iso.base.toLowerCase());
  return { master: iso.file, base: iso.base, files: [iso.file, ...tables.slice(0, 1).map((entry) => entry.file)] };
}

function showFiles(files, database) {
  const list = element('file-list');
  list.replaceChildren();
  for (const file of files) {
    const item = document.createElement('li');
    const used = database.files && database.files.includes(file);
    item.textContent = `${file.name} (${formatBytes(file.size)})` + (used ? '' : ', not needed');
    item.className = used ? '' : 'unused';
    list.append(item);
  }
  element('file-error').textContent = database.error || '';
}

function chooseFiles(fileList) {
  const files = Array.from(fileList);
  const database = databaseOf(files);
  page.database = database.error ? null : database;
  showFiles(files, database);
  forgetResult();
  updateButtons();
  showGuess(null);
  if (page.guessing) {
    page.guessing.terminate();
    page.guessing = null;
    document.body.dataset.guess = 'done';
    startSpareWorker();
  }
  if (page.database) {
    guessCodePage(page.database);
  }
}

// ---- The code page guess ----------------------------------------------------
// The program's --info reads the chosen database in a worker of its own and
// says which code page reads its values best, with words as the likely pages
// read them. The page chooses that code page, which the user may change.

function guessCodePage(database) {
  const worker = takeSpareWorker();
  page.guessing = worker;
  // Ends the worker; true when its guess is still wanted.
  const done = () => {
    worker.terminate();
    startSpareWorker();
    const wanted = page.guessing === worker;
    if (wanted) {
      page.guessing = null;
      document.body.dataset.guess = 'done';
      updateButtons();
    }
    return wanted;
  };
  worker.onmessage = (event) => {
    if (event.data.type === 'ready' && page.formats.length === 0) {
      describeProgram(event.data);  // files chosen before the first worker was ready
    } else if (event.data.type === 'described') {
      if (done()) {
        useGuess(event.data.text);
      }
    } else if (event.data.type === 'failed' && done()) {
      showGuess(null);
    }
  };
  worker.onerror = (event) => {
    event.preventDefault();
    if (done()) {
      showGuess(null);
    }
  };
  // Convert waits for the guess, which may change the code page.
  document.body.dataset.guess = 'pending';
  updateButtons();
  element('encoding-guess').textContent = 'Reading the database to guess its code page…';
  worker.postMessage({ type: 'describe', files: database.files, master: database.master.name });
}

function useGuess(text) {
  let codePage;
  try {
    codePage = JSON.parse(text).code_page;
  } catch {
    codePage = null;
  }
  if (!codePage) {
    showGuess(null);  // a file the program could not read: its export says why
    return;
  }
  if (codePage.bytes_above_7f === 0) {
    element('encoding').value = '';
    showGuess('Guess: as stored. No value holds a character beyond ASCII, which every code page reads alike.');
    return;
  }
  const words = codePage.words.slice(0, 2).map((readings) =>
    codePage.pages.map((name) => `${readings[name]} (${name})`).join(' / '));
  const guessed = codePage.encoding;
  if (guessed && [...element('encoding').options].some((option) => option.value === guessed)) {
    element('encoding').value = guessed;
  }
  showGuess(`${guessed ? `Guess: ${guessed}` : 'No sure guess'}. ` +
    `Words as the likely code pages read them: ${words.join('; ')}.`);
}

function showGuess(text) {
  element('encoding-guess').textContent = text || '';
}

// ---- The settings ----------------------------------------------------------

function chosenFormat() {
  const checked = document.querySelector('input[name="format"]:checked');
  return page.formats.find((format) => format.value === checked.value);
}

function buildFormatChoice() {
  const fieldset = element('format-choice');
  const optionsBox = element('format-options');
  page.formats.forEach((format, index) => {
    const choice = document.createElement('div');
    choice.className = 'choice';
    const radio = document.createElement('input');
    radio.type = 'radio';
    radio.name = 'format';
    radio.id = `format-${format.value}`;
    radio.value = format.value;
    radio.checked = index === 0;
    radio.setAttribute('aria-describedby', `format-${format.value}-hint`);
    const label = document.createElement('label');
    label.htmlFor = radio.id;
    label.textContent = `${format.label} (${format.extension})`;
    const hint = document.createElement('span');
    hint.className = 'hint';
    hint.id = `format-${format.value}-hint`;
    hint.textContent = format.hint;
    choice.append(radio, ' ', label, hint);
    fieldset.append(choice);

    for (const option of format.options) {
      optionsBox.append(optionControl(format, option));
    }
  });
  showFormatOptions();
}

// An option's line: a list of its words, a text field, or a checkbox for
// an option that takes no value.
function optionControl(format, option) {
  const box = document.createElement('p');
  box.className = 'option';
  box.dataset.format = format.value;
  const id = `option-${format.value}-${option.name}`;
  const label = document.createElement('label');
  label.htmlFor = id;
  label.textContent = `${format.label}: ${option.label}`;
  let control;
  if (option.value === 'word') {
    control = document.createElement('select');
    for (const [value, text] of option.choices) {
      control.append(new Option(text, value));
    }
  } else {
    control = document.createElement('input');
    control.type = option.value === 'none' ? 'checkbox' : 'text';
    if (option.placeholder) {
      control.placeholder = option.placeholder;
    }
  }
  control.id = id;
  control.dataset.option = option.name;
  if (control.type === 'checkbox') {
    box.append(control, ' ', label);
  } else {
    box.append(label, control);
  }
  return box;
}

function showFormatOptions() {
  const format = chosenFormat();
  for (const box of element('format-options').children) {
    box.hidden = box.dataset.format !== format.value;
  }
}

// The options of the command line that say what the page chose.
function chosenOptions() {
  const format = chosenFormat();
  const options = [`--format=${format.value}`];
  for (const control of element('format-options').querySelectorAll('[data-option]')) {
    if (control.closest('.option').dataset.format !== format.value) {
      continue;
    }
    const name = `--${control.dataset.option}`;
    if (control.type === 'checkbox') {
      if (control.checked) {
        options.push(name);
      }
    } else if (control.value !== '') {
      // An empty text leaves the program's default.
      options.push(`${name}=${control.value}`);
    }
  }
  const encoding = element('encoding').value;
  if (encoding) {
    options.push(`--encoding=${encoding}`);
  }
  return options;
}

// ---- The conversion --------------------------------------------------------

function setState(state) {
  document.body.dataset.state = state;
  updateButtons();
}

function updateButtons() {
  const running = document.body.dataset.state === 'running';
  element('convert').disabled = running || page.database === null || page.formats.length === 0 ||
    page.guessing !== null;
  element('cancel').hidden = !running;
  element('save').disabled = running || page.result === null;
}

function forgetResult() {
  page.result = null;
  element('messages-section').hidden = true;
  element('preview-section').hidden = true;
  element('run-error').textContent = '';
  element('status').textContent = '';
  element('progress').value = 0;
}

function secondsText(seconds) {
  if (seconds < 60) {
    const whole = Math.max(1, Math.round(seconds));
    return `${whole} second${whole === 1 ? '' : 's'}`;
  }
  const minutes = Math.round(seconds / 60);
  return `${minutes} minute${minutes === 1 ? '' : 's'}`;
}

function startConversion() {
  if (page.database === null) {
    return;
  }
  stopWorker();
  forgetResult();
  const database = page.database;
  const format = chosenFormat();
  const messages = [];
  const started = performance.now();
  let lastLiveUpdate = 0;
  element('messages').replaceChildren();
  element('status').textContent = 'Converting…';
  setState('running');

  const worker = takeSpareWorker();
  page.worker = worker;
  worker.onmessage = (event) => {
    const report = event.data;
    if (page.worker !== worker) {
      return;  // stopped: what it had sent already is of no use
    }
    if (report.type === 'ready') {
      // The program was made before the click, or while it waited for it.
    } else if (report.type === 'progress') {
      showProgress(report, started, (now) => {
        if (now - lastLiveUpdate >= LIVE_STATUS_INTERVAL_MS) {
          lastLiveUpdate = now;
          return true;
        }
        return false;
      });
    } else if (report.type === 'message') {
      messages.push(report.line);
      addMessage(report.line);
    } else if (report.type === 'done') {
      stopWorker();
      finish(report, messages, database, format, started);
    } else if (report.type === 'failed') {
      stopWorker();
      fail(`The conversion stopped: ${report.reason}`);
    }
  };
  worker.onerror = (event) => {
    event.preventDefault();
    stopWorker();
    fail(`The conversion stopped: ${event.message || 'the worker failed'}`);
  };
  worker.postMessage({
    type: 'convert',
    files: database.files,
    master: database.master.name,
    options: chosenOptions(),
    blobType: format.type,
  });
}

function showProgress({ done, total }, started, liveDue) {
  const bar = element('progress');
  bar.max = Math.max(total, 1);
  bar.value = done;
  const now = performance.now();
  let text = `${numberText(done)} of ${numberText(total)} records`;
  if (done > 0 && done < total) {
    const left = ((now - started) / done) * (total - done) / 1000;
    text += `, about ${secondsText(left)} left`;
  }
  bar.setAttribute('aria-valuetext', text);
  if (liveDue(now) || done === total) {
    element('status').textContent = text;
  }
}

function addMessage(line) {
  const item = document.createElement('li');
  item.textContent = line;
  element('messages').append(item);
  const count = element('messages').children.length;
  element('messages-heading').textContent = `${numberText(count)} message${count === 1 ? '' : 's'}`;
  element('messages-section').hidden = false;
}

// A message about the whole database names no MFN: the program could not
// read the files as a database, or not all of them.
function isAboutWholeDatabase(line) {
  return !/: MFN \d+/.test(line) && !/\(MFN \d+/.test(line);
}

function finish(report, messages, database, format, started) {
  const seconds = (performance.now() - started) / 1000;
  element('progress').value = element('progress').max;
  const whole = messages.filter(isAboutWholeDatabase).map((line) => line.replace(/^mstexport: /, ''));
  if (whole.length > 0) {
    element('run-error').textContent = whole.join('\n');
  }
  const outcome = report.status === 0
    ? 'Done'
    : `Done, with ${numberText(messages.length)} message${messages.length === 1 ? '' : 's'} below`;
  element('status').textContent = `${outcome}: ${formatBytes(report.bytes)} written in ` +
    `${seconds.toFixed(1)} s. Save it with the Save button.`;
  // For the tests and the benchmark: what the program itself took.
  document.body.dataset.programMemory = String(report.memoryBytes);
  document.body.dataset.programMilliseconds = report.milliseconds.toFixed(1);
  document.body.dataset.conversionMilliseconds = (seconds * 1000).toFixed(1);
  document.body.dataset.readingMilliseconds = report.readingMilliseconds.toFixed(1);
  document.body.dataset.writingMilliseconds = report.writingMilliseconds.toFixed(1);
  page.result = { blob: report.blob, name: database.base + format.extension, status: report.status };
  showPreview(report.preview, report.bytes);
  setState('done');
}

function fail(text) {
  element('run-error').textContent = text;
  element('status').textContent = '';
  setState('failed');
}

function showPreview(bytes, totalBytes) {
  let shown = bytes;
  const whole = bytes.length === totalBytes;
  if (!whole) {
    // Up to the last line end, so that no line is shown cut.
    const lastLineEnd = bytes.lastIndexOf(0x0a);
    if (lastLineEnd > 0) {
      shown = bytes.subarray(0, lastLineEnd + 1);
    }
  }
  let text;
  let valid = true;
  try {
    text = new TextDecoder('utf-8', { fatal: true }).decode(shown, { stream: !whole });
  } catch {
    valid = false;
    text = new TextDecoder('utf-8').decode(shown);
  }
  element('preview').textContent = text;
  let note = whole
    ? `The whole output, ${formatBytes(totalBytes)}.`
    : `The first ${PREVIEW_LIMIT_TEXT} of ${formatBytes(totalBytes)}.`;
  if (!valid) {
    note += ' Some bytes are not UTF-8 and are shown as �: choose the code page of the ' +
      'database to convert them.';
  }
  element('preview-note').textContent = note;
  element('preview-section').hidden = false;
}

// A conversion's worker is used once. The next one is started when the
// page is idle, so that its program is ready (fetched, compiled, its memory
// made) before the next click.
function startSpareWorker() {
  if (page.spare) {
    return;
  }
  const worker = new Worker('worker.js');
  worker.onmessage = (event) => {
    if (event.data.type === 'ready' && page.formats.length === 0) {
      describeProgram(event.data);
    }
  };
  page.spare = worker;
}

function takeSpareWorker() {
  const worker = page.spare || new Worker('worker.js');
  page.spare = null;
  return worker;
}

function stopWorker() {
  if (page.worker) {
    page.worker.terminate();
    page.worker = null;
  }
  if (page.spare === null) {
    startSpareWorker();
  }
}

function cancelConversion() {
  stopWorker();
  forgetResult();
  element('status').textContent = 'Stopped: nothing was saved.';
  setState('idle');
}

function save() {
  if (!page.result) {
    return;
  }
  const link = document.createElement('a');
  link.href = URL.createObjectURL(page.result.blob);
  link.download = page.result.name;
  document.body.append(link);
  link.click();
  link.remove();
  // The download has its own reference to the Blob by then.
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// ---- Start -----------------------------------------------------------------

// What the program told of itself: its formats, code pages and version.
function describeProgram({ formats, encodings, version }) {
  page.formats = describeFormats(formats);
  buildFormatChoice();
  const select = element('encoding');
  for (const name of encodings) {
    select.append(new Option(name, name));
  }
  element('version').textContent = `mstexport ${version}, running in this browser.`;
  updateButtons();
}

function watchDrops() {
  const zone = element('drop-zone');
  // A file dropped beside the zone must not make the browser open it.
  for (const type of ['dragover', 'drop']) {
    window.addEventListener(type, (event) => event.preventDefault());
  }
  zone.addEventListener('dragover', (event) => {
    event.dataTransfer.dropEffect = 'copy';
    zone.classList.add('dragging');
  });
  zone.addEventListener('dragleave', () => zone.classList.remove('dragging'));
  zone.addEventListener('drop', (event) => {
    zone.classList.remove('dragging');
    if (event.dataTransfer.files.length > 0) {
      chooseFiles(event.dataTransfer.files);
    }
  });
}

function start() {
  watchDrops();
  element('file-input').addEventListener('change', (event) => chooseFiles(event.target.files));
  element('settings').addEventListener('change', (event) => {
    if (event.target.id === 'file-input') {
      return;
    }
    showFormatOptions();
    if (page.result) {
      forgetResult();
      element('status').textContent = 'The settings changed: convert again to save with them.';
      updateButtons();
    }
  });
  element('settings').addEventListener('submit', (event) => {
    event.preventDefault();
    startConversion();
  });
  element('cancel').addEventListener('click', cancelConversion);
  element('save').addEventListener('click', save);
  setState('idle');
  startSpareWorker();
}

start();
