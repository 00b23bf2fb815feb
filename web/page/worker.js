// The page's worker: runs one conversion with an instance of the program of
// its own, so that the page never waits on it. The database's files are mounted with
// WORKERFS, which reads them in slices from the user's File objects; the
// output goes to a device whose writes are copied out of the program's
// memory and gathered into Blobs, which the browser keeps outside this heap.
'use strict';
importScripts('mstexport.js');

const OUTPUT_DEVICE = '/dev/mstexport-output';
const DATABASE_FOLDER = '/database';
const PREVIEW_BYTES = 20 * 1024;
const READ_BLOCK_BYTES = 16 * 1024 * 1024;
const BLOB_PART_BYTES = 8 * 1024 * 1024;

// Where the conversion spent its time outside the program, for bench/web.
const spent = { reading: 0, writing: 0 };

// The output as the program writes it, in blocks of 512 KiB, each a view
// into its memory that the next write reuses: copied into parts of 8 MiB,
// each of which becomes a Blob when full, which moves it out of this heap
// into the browser's keeping; the first bytes are kept for the preview.
// Fewer, larger Blobs cost less than one per block.
class OutputCollector {
  constructor() {
    this.blobs = [];
    this.part = new Uint8Array(BLOB_PART_BYTES);
    this.partBytes = 0;
    this.totalBytes = 0;
    this.preview = new Uint8Array(PREVIEW_BYTES);
    this.previewBytes = 0;
  }

  write(bytes) {
    if (this.previewBytes < PREVIEW_BYTES) {
      const kept = Math.min(PREVIEW_BYTES - this.previewBytes, bytes.length);
      this.preview.set(bytes.subarray(0, kept), this.previewBytes);
      this.previewBytes += kept;
    }
    for (let from = 0; from < bytes.length;) {
      const count = Math.min(bytes.length - from, this.part.length - this.partBytes);
      this.part.set(bytes.subarray(from, from + count), this.partBytes);
      this.partBytes += count;
      from += count;
      if (this.partBytes === this.part.length) {
        this.blobs.push(new Blob([this.part]));
        this.partBytes = 0;
      }
    }
    this.totalBytes += bytes.length;
  }

  finish(type) {
    this.blobs.push(new Blob([this.part.subarray(0, this.partBytes)]));
    return new Blob(this.blobs, { type });
  }
}

// WORKERFS reads every request with FileReaderSync, each call of which
// costs as much as reading a few hundred KB; so that the program's reads of
// 256 KB cost fewer of them, a file read in sequence is read 16 MiB at a
// time and served from that block. Larger blocks read faster (bench/web:
// 8 MiB at about 370 MB/s, 16 MiB at 490, 32 MiB at 650) but the block is
// the worker's largest piece of memory; 16 MiB keeps the page, the worker
// and the program at about 50 MB.
// Reads elsewhere go through as they are.
function readInBlocks(WORKERFS) {
  const readThrough = WORKERFS.stream_ops.read;
  WORKERFS.stream_ops.read = (stream, buffer, offset, length, position) => {
    const started = performance.now();
    const count = readHeld(stream, buffer, offset, length, position);
    spent.reading += performance.now() - started;
    return count;
  };
  const readHeld = (stream, buffer, offset, length, position) => {
    const node = stream.node;
    if (length === 0 || position >= node.size) {
      return 0;
    }
    const block = node.block;
    const held = block && position >= block.start &&
      position + length <= block.start + block.bytes.length;
    if (!held) {
      if (position !== 0 && position !== node.readEnd) {
        const count = readThrough(stream, buffer, offset, length, position);
        node.readEnd = position + count;
        return count;
      }
      const end = Math.min(node.size, position + Math.max(length, READ_BLOCK_BYTES));
      // The block read before is freed now: left to the garbage collector,
      // the blocks of a whole file can pile up while the program runs.
      if (node.block && typeof node.block.bytes.buffer.transfer === 'function') {
        node.block.bytes.buffer.transfer(0);
      }
      const bytes = WORKERFS.reader.readAsArrayBuffer(node.contents.slice(position, end));
      node.block = { start: position, bytes: new Uint8Array(bytes) };
    }
    const { start, bytes } = node.block;
    const count = Math.min(length, start + bytes.length - position);
    buffer.set(bytes.subarray(position - start, position - start + count), offset);
    node.readEnd = position + count;
    return count;
  };
}

function makeOutputDevice(FS, output) {
  const device = FS.makedev(64, 0);
  FS.registerDevice(device, {
    open() {},
    close() {},
    read() {
      return 0;
    },
    write(stream, buffer, offset, length) {
      const started = performance.now();
      output.write(buffer.subarray(offset, offset + length));
      spent.writing += performance.now() - started;
      return length;
    },
  });
  FS.mkdev(OUTPUT_DEVICE, device);
}

// The program is made as soon as the worker starts, before it is needed:
// the page keeps a worker ready for its next conversion.
const programMade = createMstexport({
  print: (line) => postMessage({ type: 'message', line }),
  printErr: (line) => postMessage({ type: 'message', line }),
  onProgress: (done, total) => postMessage({ type: 'progress', done, total }),
});

programMade.then((program) => postMessage({
  type: 'ready',
  formats: JSON.parse(program.UTF8ToString(program._mstexport_web_formats())),
  encodings: program.UTF8ToString(program._mstexport_web_encodings()).split(', '),
  version: program.UTF8ToString(program._mstexport_web_version()),
}), (error) => postMessage({ type: 'failed', reason: String(error && error.message || error) }));

// `options` are the command line's options; the database is `master`, one of
// `files`, which are mounted side by side. A request of the type 'describe'
// runs --info on them instead, and answers with its JSON.
async function run({ type, files, master, options, blobType }) {
  const describing = type === 'describe';
  if (describing) {
    options = ['--info', '--format=jsonl'];
  }
  const program = await programMade;
  const { FS } = program;
  FS.mkdir(DATABASE_FOLDER);
  readInBlocks(FS.filesystems.WORKERFS);
  FS.mount(FS.filesystems.WORKERFS, { files }, DATABASE_FOLDER);
  // Messages name the files as the user knows them: THS.MST, not a path.
  FS.chdir(DATABASE_FOLDER);
  const output = new OutputCollector();
  makeOutputDevice(FS, output);
  for (const argument of [...options, '-o', OUTPUT_DEVICE, '--', master]) {
    program.ccall('mstexport_web_add_argument', null, ['string'], [argument]);
  }
  const started = performance.now();
  const status = program._mstexport_web_run();
  const blob = output.finish(blobType);
  const milliseconds = performance.now() - started;
  if (describing) {
    postMessage({ type: 'described', status, text: await blob.text() });
    return;
  }
  postMessage({
    type: 'done',
    status,
    blob,
    bytes: output.totalBytes,
    preview: output.preview.slice(0, output.previewBytes),
    memoryBytes: program.HEAPU8.length,
    milliseconds,
    readingMilliseconds: spent.reading,
    writingMilliseconds: spent.writing,
  });
}

onmessage = (event) => {
  run(event.data).catch((error) =>
    postMessage({ type: 'failed', reason: String(error && error.message || error) }));
};
