'use strict';
// The page's files as the program carries them: every relative address the page loads is a
// registered resource, and the embedded jQuery is the one pinned in package-lock.json.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { root, pageDir, pageBytes } = require('./page_files');
const { minifiedJquery } = require('../../scripts/make_jquery');

function registeredResources() {
  const list = fs.readFileSync(path.join(root, 'res', 'resources.cmake'), 'utf8');
  const entries = [];
  for (const match of list.matchAll(/^\s*"([^"|]+)\|([^"|]+)\|([^"|]+)"/gm)) {
    entries.push({ type: match[1], name: match[2], file: match[3] });
  }
  return entries;
}

test('what the page loads is registered under its res: name', () => {
  const html = pageBytes().toString('utf8');
  const addresses = new Set();
  for (const match of html.matchAll(/(?:src="|url\()((?:images|js)\/[^")]+)/g)) {
    addresses.add(match[1]);
  }
  assert.ok(addresses.has('js/jquery.min.js'));
  assert.ok(addresses.has('images/sps.gif'));
  const resources = registeredResources();
  for (const address of addresses) {
    // "images/sps.gif" is resource type IMAGES, name SPS.GIF, as res: resolves it.
    const [folder, file] = address.split('/');
    const entry = resources.find((r) => r.type === folder.toUpperCase() && r.name === file.toUpperCase());
    assert.ok(entry, `${address} is not a resource`);
    assert.strictEqual(entry.file, `page/${address}`);
  }
  const page = resources.find((r) => r.type === '23' && r.name === '104');
  assert.strictEqual(page && page.file, 'page/index.html');
});

test('every registered page file exists and is the kind its name says', () => {
  const signatures = { gif: 'GIF8', png: '\x89PNG', jpg: '\xff\xd8\xff', ico: '\x00\x00\x01\x00' };
  const resources = registeredResources().filter((r) => r.file.startsWith('page/'));
  const images = resources.filter((r) => r.type === 'IMAGES').map((r) => r.name).sort();
  assert.deepStrictEqual(images, ['A.GIF', 'APPBG.JPG', 'B.GIF', 'BRAND.GIF', 'BRAND2.GIF', 'GRAYBG.GIF',
    'HELP.GIF', 'LOADING.GIF', 'LONGBRAND.GIF', 'SPS.GIF', 'SUPERSCAN.GIF', 'TABS.GIF', 'TABS.PNG',
    'V.GIF', 'X.GIF']);
  assert.ok(resources.some((r) => r.type === 'ICON' && r.name === '128'));
  for (const r of resources) {
    const bytes = fs.readFileSync(path.join(root, 'res', r.file));
    const kind = path.extname(r.file).slice(1);
    if (signatures[kind]) {
      assert.strictEqual(bytes.subarray(0, signatures[kind].length).toString('latin1'), signatures[kind], r.file);
    }
  }
});

test('the embedded jQuery is the pinned jquery@1.6.2 with its licence', () => {
  const lock = JSON.parse(fs.readFileSync(path.join(root, 'package-lock.json'), 'utf8'));
  assert.strictEqual(lock.packages['node_modules/jquery'].version, '1.6.2');
  const committed = fs.readFileSync(path.join(pageDir, 'js', 'jquery.min.js'), 'utf8');
  assert.match(committed, /^\/\*!\n \* jQuery JavaScript Library v1\.6\.2\n[\s\S]*Dual licensed under the MIT or GPL/);
  assert.strictEqual(committed, minifiedJquery(), 'run node scripts/make_jquery.js');
});
