'use strict';
// The page runs in Internet Explorer 7: its script must be plain ES3.
const test = require('node:test');
const assert = require('node:assert');
const acorn = require('acorn');
const walk = require('acorn-walk');
const { pageBytes, inlineScripts } = require('./page_files');

// Methods that IE 7's JScript lacks; a call to any of them on the page is a fault.
const newerMethods = ['forEach', 'map', 'filter', 'reduce', 'reduceRight', 'some', 'every',
  'trim', 'keys', 'create', 'bind', 'isArray', 'includes',
  'find', 'findIndex', 'startsWith', 'endsWith', 'assign', 'from', 'of', 'fill', 'now',
  'getPrototypeOf', 'defineProperty', 'freeze'];

// Finds what ES3 lacks but the ES3 parser still accepts: calls of newer library methods,
// trailing commas in object and array literals (IE 7 miscounts or rejects them), and
// reserved words used as property names (IE 7 rejects obj.class).
function es3Problems(source) {
  const problems = [];
  const ast = acorn.parse(source, { ecmaVersion: 3, allowReserved: 'never', locations: true });
  walk.simple(ast, {
    CallExpression(node) {
      const callee = node.callee;
      if (callee.type === 'MemberExpression' && !callee.computed &&
          newerMethods.includes(callee.property.name)) {
        problems.push(`line ${node.loc.start.line}: ${callee.property.name}() is newer than ES3`);
      }
    },
    ObjectExpression(node) {
      if (/,\s*}$/.test(source.slice(node.start, node.end))) {
        problems.push(`line ${node.loc.start.line}: trailing comma in an object literal`);
      }
    },
    ArrayExpression(node) {
      if (/,\s*]$/.test(source.slice(node.start, node.end))) {
        problems.push(`line ${node.loc.start.line}: trailing comma in an array literal`);
      }
    },
  });
  return problems;
}

function es3Verdict(source) {
  try {
    return es3Problems(source);
  } catch (error) {
    return [`not ES3: ${error.message}`];
  }
}

test('the checker rejects what IE 7 cannot run', async (t) => {
  const cases = [
    ['const', 'const a = 1;'],
    ['let', 'let a = 1;'],
    ['arrow function', 'var f = function () { return [1].map((x) => x); };'],
    ['template literal', 'var s = `a`;'],
    ['trailing comma in an object', 'var o = { a: 1, };'],
    ['trailing comma in an array', 'var a = [1, 2, ];'],
    ['Array.prototype.forEach', 'var a = [1]; a.forEach(function (x) {});'],
    ['String.prototype.trim', 'var s = " a ".trim();'],
    ['getter', 'var o = { get a() { return 1; } };'],
    ['reserved word as property', 'var o = {}; o.class = 1;'],
  ];
  for (const [name, source] of cases) {
    await t.test(name, () => {
      assert.notDeepStrictEqual(es3Verdict(source), [], `accepted: ${source}`);
    });
  }
  await t.test('plain ES3 passes', () => {
    assert.deepStrictEqual(es3Verdict('var a = [1, 2]; var o = { "b": a }; function f(x) { return x + 1; }'), []);
  });
});

test('the page is a UTF-8 XHTML 1.0 Transitional page with ES3 script', () => {
  const bytes = pageBytes();
  assert.deepStrictEqual([...bytes.subarray(0, 3)], [0xef, 0xbb, 0xbf], 'byte-order mark');
  const html = bytes.toString('utf8').slice(1);
  assert.match(html, /^<!DOCTYPE html PUBLIC "-\/\/W3C\/\/DTD XHTML 1\.0 Transitional\/\/EN"/);
  assert.match(html, /<title><\/title>/);
  assert.match(html, /<body id="CCorvaneDlg">/);
  assert.match(html, /<script type="text\/javascript" src="js\/jquery\.min\.js"><\/script>/);
  const scripts = inlineScripts(html);
  assert.ok(scripts.length > 0, 'the page has its own script');
  for (const script of scripts) {
    assert.deepStrictEqual(es3Verdict(script), []);
  }
});
