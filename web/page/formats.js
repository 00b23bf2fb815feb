// How the page presents the program's formats. The formats, their options
// and the words those take come from the program's own table (the worker
// asks it); this adds what a person reads: a label, a hint, the saved file's
// extension and type, and a line for each word. A format the program has and
// this does not describe is offered all the same, under its own name.
'use strict';

const FORMAT_LOOKS = {
  tagged: {
    label: 'Tagged text',
    hint: 'a [RECORD n] line, then a <tag>value</tag> line per field',
    extension: '.txt',
    type: 'text/plain',
  },
  jsonl: {
    label: 'JSON Lines',
    hint: 'one JSON object per record, for scripts and document stores',
    extension: '.jsonl',
    type: 'application/jsonl',
    options: {
      subfields: { label: 'split values into their subfields (^a...^b...) as [code, text] pairs' },
    },
  },
  iso2709: {
    label: 'ISO 2709',
    hint: 'the exchange format that CDS/ISIS and library systems import',
    extension: '.iso',
    type: 'application/octet-stream',
    options: {
      'iso-delimiters': {
        label: 'Field and record ends',
        words: {
          control: 'control characters 0x1E and 0x1D, as CDS/ISIS for Windows writes',
          hash: '# for both, as the DOS and Unix tools write',
        },
      },
      'iso-line-end': {
        label: 'Line ends',
        words: {
          crlf: 'CR LF after every 80 bytes',
          lf: 'LF after every 80 bytes',
          none: 'none: one unbroken stream',
        },
      },
    },
  },
  csv: {
    label: 'CSV',
    hint: 'a row per record and a column per tag, for spreadsheets',
    extension: '.csv',
    type: 'text/csv',
    options: {
      'repeat-separator': {
        label: 'Between the values of a repeated tag',
        placeholder: '| (the default)',
      },
      'csv-bom': { label: 'begin with a byte-order mark, for Excel' },
    },
  },
};

// The formats the page offers, in the program's order, from its table:
// [{ name, options: [{ name, help, value, words }] }], where value is
// 'word' (one of the words), 'text' or 'none' (an option without a value).
function describeFormats(table) {
  return table.map(({ name, options }) => {
    const looks = FORMAT_LOOKS[name] || {};
    return {
      value: name,
      label: looks.label || name,
      hint: looks.hint || '',
      extension: looks.extension || `.${name}`,
      type: looks.type || 'application/octet-stream',
      options: options.map((option) => {
        const optionLooks = (looks.options || {})[option.name] || {};
        const wordLines = optionLooks.words || {};
        return {
          name: option.name,
          label: optionLooks.label || option.help,
          value: option.value,
          placeholder: optionLooks.placeholder || '',
          choices: option.words.map((word) => [word, wordLines[word] || word]),
        };
      }),
    };
  });
}
