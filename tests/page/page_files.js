'use strict';
// Where the page's sources live, and the script taken out of the page.
const fs = require('fs');
const path = require('path');

const root = path.join(__dirname, '..', '..');
const pageDir = path.join(root, 'res', 'page');
const pagePath = path.join(pageDir, 'index.html');
const artifactsDir = path.join(root, 'build', 'page-test-artifacts');

function pageBytes() {
  return fs.readFileSync(pagePath);
}

// The inline scripts of the page, in order (the external jQuery is left out).
function inlineScripts(html) {
  const scripts = [];
  const pattern = /<script\b([^>]*)>([\s\S]*?)<\/script>/gi;
  let match;
  while ((match = pattern.exec(html)) !== null) {
    if (!/\bsrc=/.test(match[1])) {
      scripts.push(match[2]);
    }
  }
  return scripts;
}

module.exports = { root, pageDir, pagePath, artifactsDir, pageBytes, inlineScripts };
