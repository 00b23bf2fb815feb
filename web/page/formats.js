// The output formats the page offers, each with the option that chooses it,
// its file name extension and its own options. Adding a format is one entry.
'use strict';

const FORMATS = [
  {
    value: 'tagged',
    label: 'Tagged text',
    hint: 'a [RECORD n] line, then a <tag>value</tag> line per field',
    extension: '.txt',
    type: 'text/plain',
    options: [],
  },
  {
    value: 'jsonl',
    label: 'JSON Lines',
    hint: 'one JSON object per record, for scripts and document stores',
    extension: '.jsonl',
    type: 'application/jsonl',
    options: [],
  },
  {
    value: 'iso2709',
    label: 'ISO 2709',
    hint: 'the exchange format that CDS/ISIS and library systems import',
    extension: '.iso',
    type: 'application/octet-stream',
    options: [
      {
        name: 'iso-delimiters',
        label: 'Field and record ends',
        choices: [
          ['control', 'control characters 0x1E and 0x1D, as CDS/ISIS for Windows writes'],
          ['hash', '# for both, as the DOS and Unix tools write'],
        ],
      },
      {
        name: 'iso-line-end',
        label: 'Line ends',
        choices: [
          ['crlf', 'CR LF after every 80 bytes'],
          ['lf', 'LF after every 80 bytes'],
          ['none', 'none: one unbroken stream'],
        ],
      },
    ],
  },
];
