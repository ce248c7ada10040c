// Assembles the web page, one self-contained file: the page around the
// program, emscripten's module script once, and both modules (WebAssembly
// SIMD and scalar) embedded as base64.
//
//   node assemble_page.mjs PAGE.html PAGE.js SIMD128.js SIMD128.wasm SCALAR.js SCALAR.wasm OUT.html
//
// The two module scripts must be the same but for the file name of their
// module: the page runs either module with the one script.
import { readFileSync, renameSync, writeFileSync } from 'node:fs';
import { basename } from 'node:path';

const [template, pageScript, simdScript, simdModule, scalarScript, scalarModule, out] =
  process.argv.slice(2);
if (out === undefined) {
  console.error('usage: node assemble_page.mjs PAGE.html PAGE.js SIMD128.js SIMD128.wasm ' +
                'SCALAR.js SCALAR.wasm OUT.html');
  process.exit(2);
}

const read = (path) => readFileSync(path, 'utf8');
const withoutName = (text, path) => text.split(basename(path)).join('');
const moduleScript = read(simdScript);
if (withoutName(moduleScript, simdModule) !== withoutName(read(scalarScript), scalarModule)) {
  console.error(`${simdScript} and ${scalarScript} differ: the page can carry only one script`);
  process.exit(1);
}
for (const [name, text] of [[pageScript, read(pageScript)], [simdScript, moduleScript]]) {
  if (/<\/script/i.test(text)) {
    console.error(`${name} contains "</script", which would end its script element`);
    process.exit(1);
  }
}

const parts = {
  '@PAGE_SCRIPT@': read(pageScript),
  '@MODULE_SCRIPT@': moduleScript,
  '@SIMD128_MODULE@': readFileSync(simdModule).toString('base64'),
  '@SCALAR_MODULE@': readFileSync(scalarModule).toString('base64'),
};
let page = read(template);
for (const [marker, text] of Object.entries(parts)) {
  if (page.split(marker).length !== 2) {
    console.error(`${template}: ${marker} must appear exactly once`);
    process.exit(1);
  }
  page = page.replace(marker, () => text);
}
writeFileSync(`${out}.part`, page);
renameSync(`${out}.part`, out);
