#!/usr/bin/env node
// Writes res/page/js/jquery.min.js from the npm package jquery@1.6.2 (pinned in
// package-lock.json). That package wraps the browser library for Node, so the browser part is
// cut out of the wrapper and minified with the UglifyJS that jQuery ships for its own builds,
// keeping the licence header. Usage: node scripts/make_jquery.js [output]
'use strict';
const fs = require('fs');
const path = require('path');

const root = path.join(__dirname, '..');
const pkg = path.join(root, 'node_modules', 'jquery');

function minifiedJquery() {
  const wrapped = fs.readFileSync(path.join(pkg, 'dist', 'node-jquery.js'), 'utf8');
  const start = wrapped.indexOf('/*!\n * jQuery JavaScript Library v1.6.2');
  const endMarker = '\n})(window);\n';
  const end = wrapped.indexOf(endMarker, start);
  if (start < 0 || end < 0) {
    throw new Error('node_modules/jquery is not the expected jquery@1.6.2 package');
  }
  const source = wrapped.slice(start, end + endMarker.length);
  const header = source.slice(0, source.indexOf('*/') + 2);
  const jsp = require(path.join(pkg, 'jquery', 'build', 'lib', 'parse-js'));
  const pro = require(path.join(pkg, 'jquery', 'build', 'lib', 'process'));
  let ast = jsp.parse(source);
  ast = pro.ast_mangle(ast);
  ast = pro.ast_squeeze(ast);
  return header + '\n' + pro.gen_code(ast) + ';\n';
}

module.exports = { minifiedJquery };

if (require.main === module) {
  const out = process.argv[2] || path.join(root, 'res', 'page', 'js', 'jquery.min.js');
  fs.writeFileSync(out, minifiedJquery());
}
