// Makes the one-file page: index.html with every script it loads put
// inside it, the program's (with its WebAssembly and data) included, so
// that the page plays opened from disk with no server.
//
//   node tools/web/onefile.mjs PAGE_FOLDER PROGRAM_JS OUTPUT_HTML
//
// sound.js keeps the id "sound-code": the page hands its text to the
// sound worklet, which cannot load a file from disk.
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const [pageFolder, programJs, output] = process.argv.slice(2);
if (!output) {
  console.error('usage: onefile.mjs PAGE_FOLDER PROGRAM_JS OUTPUT_HTML');
  process.exit(2);
}

// A script's text as an inline script: "</script" would end the element
// early, and in script text it can only stand in a string or a pattern,
// where "<\/script" means the same.
function inline(source, attributes) {
  const text = source.replace(/<\/script/gi, '<\\/script');
  return `<script${attributes}>\n${text}\n</script>`;
}

let html = readFileSync(join(pageFolder, 'index.html'), 'utf8');
let scripts = 0;
html = html.replace(/<script src="([^"]+)"><\/script>/g, (tag, name) => {
  scripts++;
  const script = inline(readFileSync(join(pageFolder, name), 'utf8'), name === 'sound.js' ? ' id="sound-code"' : '');
  // page.js fetches the program unless it is told the page holds it, which
  // it then does right after page.js.
  if (name === 'page.js')
    return '<script>var eyesonlyOneFile = true;</script>\n' + script + '\n' + inline(readFileSync(programJs, 'utf8'), '');
  return script;
});
if (!html.includes('id="sound-code"') || !html.includes('var eyesonlyOneFile') || !/<script>\n[^]*_eyesonlyPlay/.test(html)) {
  console.error(`onefile: ${pageFolder}/index.html does not load sound.js and page.js as expected (${scripts} scripts)`);
  process.exit(1);
}
writeFileSync(output, html);
