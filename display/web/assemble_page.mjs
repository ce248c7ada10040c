// Assembles the web page, one self-contained file: the page around the
// program, and both modules (WebAssembly SIMD and scalar), each with its
// emscripten script and its WebAssembly embedded as base64.
//
//   node assemble_page.mjs PAGE.html PAGE.js SIMD128.js SIMD128.wasm SCALAR.js SCALAR.wasm OUT.html
//
// The two scripts differ in their imports (the scalar module reads no
// environment, for one), so each module keeps its own.
import { readFileSync, renameSync, writeFileSync } from 'node:fs';

const [template, pageScript, simdScript, simdModule, scalarScript, scalarModule, out] =
  process.argv.slice(2);
if (out === undefined) {
  console.error('usage: node assemble_page.mjs PAGE.html PAGE.js SIMD128.js SIMD128.wasm ' +
                'SCALAR.js SCALAR.wasm OUT.html');
  process.exit(2);
}

const read = (path) => readFileSync(path, 'utf8');
for (const name of [pageScript, simdScript, scalarScript]) {
  if (/<\/script/i.test(read(name))) {
    console.error(`${name} contains "</script", which would end its script element`);
    process.exit(1);
  }
}

const parts = {
  '@PAGE_SCRIPT@': read(pageScript),
  '@SIMD128_SCRIPT@': read(simdScript),
  '@SCALAR_SCRIPT@': read(scalarScript),
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
