// The browser host's server against a page that dies and against other local programs that
// do not know the secret: it must end when the page has gone, even with a prompt open, must
// neither read nor buffer what a stranger sends, and must keep serving the page however many
// slow strangers hold connections. The test itself plays the page, with plain HTTP.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import net from 'node:net';
import { until, withBareProgram } from './program.mjs';

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function call(url, path, { body, ms = 5000 } = {}) {
  const response = await fetch(url + path, {
    method: body === undefined ? 'GET' : 'POST',
    body,
    signal: AbortSignal.timeout(ms),
  });
  return { status: response.status, text: await response.text() };
}

// Polls the events as the page's shim does until a prompt is open; its JSON.
async function openPrompt(url, ms = 30000) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    const { text } = await call(url, 'events?applied=0');
    const events = JSON.parse(text);
    if (events.prompt) return events.prompt;
  }
  assert.fail('no prompt opened');
}

function residentKiB(pid) {
  const status = readFileSync(`/proc/${pid}/status`, 'utf8');
  return Number(status.match(/VmRSS:\s+(\d+)/)[1]);
}

// A raw connection to the server: what it answered and whether it has closed.
function connect(url) {
  const { port } = new URL(url);
  const socket = net.connect(Number(port), '127.0.0.1');
  const state = { socket, received: '', closed: false, closedAt: 0 };
  socket.on('data', (chunk) => { state.received += chunk.toString('latin1'); });
  socket.on('error', () => {});
  socket.on('close', () => {
    state.closed = true;
    state.closedAt = Date.now();
  });
  return new Promise((resolve) => socket.on('connect', () => resolve(state)));
}

// Writes `text` and resolves once it is sent, or when the server has closed the connection.
function send(state, text) {
  return new Promise((resolve) => {
    if (state.closed || state.socket.destroyed) resolve(false);
    else state.socket.write(text, () => resolve(!state.closed));
  });
}

test('the host ends soon after the page stops asking, even with a prompt open, which is refused',
  () => withBareProgram(['--prompt-in', 'fix'], async ({ url, exited, transcript }) => {
    // The configuration worker's message comes first on a machine without the bank's server.
    const message = await openPrompt(url);
    await call(url, `answer/${message.id}?applied=0`, { body: '1', ms: 30000 });
    // The command asks its choice; the answer to the command's request says so.
    const { text } = await call(url, 'external/fix?applied=0', { body: '[0]', ms: 30000 });
    const state = JSON.parse(text);
    assert.equal(state.done, false);
    assert.equal(state.prompt.choice, true);
    // The browser dies here: no closing beacon, no more polls.
    const lastRequest = Date.now();
    const ended = await Promise.race([exited.then(() => true), sleep(25000).then(() => false)]);
    assert.ok(ended, 'the host still runs 25 s after the last request');
    // The heartbeat is 10 s; the end must not come long after it.
    assert.ok(Date.now() - lastRequest < 16000, `ended after ${Date.now() - lastRequest} ms`);
    const prompts = transcript().filter((line) => line.prompt === 'choice');
    assert.deepEqual(prompts.at(-1).ids, [145, 146, 147]);
    assert.equal(prompts.at(-1).answer, 7);
  }));

test('request bodies are neither read without the secret nor accepted beyond a few KiB',
  () => withBareProgram([], async ({ url, child }) => {
    const token = new URL(url).pathname.split('/')[1];
    const cases = [
      // A stranger's enormous upload to a wrong path: refused before its body is read.
      { path: '/wrong/external/fix', length: 2 ** 31, send: 64 * 2 ** 20, status: 403 },
      { path: `/${token.replace(/./, (c) => (c === 'a' ? 'b' : 'a'))}/closed`, length: 2 ** 31,
        send: 64 * 2 ** 20, status: 403 },
      // The page's own paths take small bodies only.
      { path: `/${token}/answer/1`, length: 2 ** 20, send: 0, status: 413 },
      { path: `/${token}/external/fix`, length: 64 * 1024, send: 0, status: 413 },
    ];
    for (const c of cases) {
      const before = residentKiB(child.pid);
      const connection = await connect(url);
      await send(connection, `POST ${c.path} HTTP/1.1\r\nHost: 127.0.0.1\r\n` +
        `Content-Length: ${c.length}\r\n\r\n`);
      const chunk = Buffer.alloc(2 ** 20, 0x61);
      for (let sent = 0; sent < c.send && !connection.closed &&
        !connection.received.includes('\r\n\r\n'); sent += chunk.length) {
        if (!await send(connection, chunk)) break;
      }
      await until(`an answer to ${c.path}`, () => connection.received.includes('\r\n') ||
        connection.closed, 5000).catch(() => {});
      const grown = residentKiB(child.pid) - before;
      connection.socket.destroy();
      assert.match(connection.received, new RegExp(`^HTTP/1\\.1 ${c.status} `),
        `${c.path}: ${JSON.stringify(connection.received.slice(0, 80))}`);
      assert.ok(grown < 16 * 1024, `${c.path}: the host grew by ${grown} KiB`);
    }
    // The page is still served.
    assert.equal((await call(url, '')).status, 200);
  }));

test('slow strangers are turned away at their path and cannot crowd out the page',
  () => withBareProgram([], async ({ url, child }) => {
    const token = new URL(url).pathname.split('/')[1];
    // More strangers than the server has threads, each sending a header line every 2 s.
    const strangers = await Promise.all(Array.from({ length: 16 }, () => connect(url)));
    const sentAt = Date.now();
    for (const s of strangers) await send(s, 'GET /not-the-secret/ HTTP/1.1\r\n');
    const drip = setInterval(() => {
      for (const s of strangers) send(s, 'X-Slow: 1\r\n');
    }, 2000);
    // Another sends its request line one byte at a time; one with the secret drips headers.
    const slowLine = await connect(url);
    const slowLineDrip = setInterval(() => send(slowLine, 'G'), 500);
    const slowPage = await connect(url);
    await send(slowPage, `GET /${token}/ HTTP/1.1\r\n`);
    const slowPageDrip = setInterval(() => send(slowPage, 'X-Slow: 1\r\n'), 1000);
    try {
      // The page's requests are answered at once, again and again.
      for (let i = 0; i < 6; ++i) {
        const started = Date.now();
        assert.equal((await call(url, '', { ms: 3000 })).status, 200);
        assert.equal((await call(url, 'events?applied=0', { ms: 3000 })).status, 200);
        assert.ok(Date.now() - started < 3000);
        await sleep(1000);
      }
      for (const s of strangers) {
        assert.match(s.received, /^HTTP\/1\.1 403 /);
        assert.ok(s.closed && s.closedAt - sentAt < 1500, 'a stranger kept its connection');
      }
      // A request line that never ends and a request that never ends are cut off.
      await until('the slow request line cut off', () => slowLine.closed, 10000);
      await until('the slow request cut off', () => slowPage.closed, 15000);
      assert.equal(child.exitCode, null, 'the host ended');
      assert.equal((await call(url, '', { ms: 3000 })).status, 200);
    } finally {
      clearInterval(drip);
      clearInterval(slowLineDrip);
      clearInterval(slowPageDrip);
      for (const s of [...strangers, slowLine, slowPage]) s.socket.destroy();
    }
  }));
