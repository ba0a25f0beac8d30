// How the desktop's browser gets the page's secret: never in a process's arguments or
// environment (every local user reads those in /proc), but in a launcher file only the user can
// read, whose path xdg-open is given. An xdg-open stand-in records what it was given and stays
// running as a browser would; another user (nobody) then looks for the secret everywhere it
// can and tries the server without it.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import {
  chmodSync, existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync,
  writeFileSync,
} from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { needsChromium, until, withBareProgram, withProgram } from './program.mjs';

const asRoot = {
  skip: process.getuid() === 0 && existsSync('/usr/bin/setpriv') ? false
    : 'needs root and setpriv to act as another user',
};

// An xdg-open on PATH that records its arguments and its pid, copies what it was handed (if it
// can read it) and waits like a browser; `stop()` ends it.
function standIn() {
  const dir = mkdtempSync(join(tmpdir(), 'corvane-xdg-open-'));
  mkdirSync(join(dir, 'bin'));
  const script = join(dir, 'bin', 'xdg-open');
  writeFileSync(script, `#!/bin/sh
printf '%s\\n' "$@" > '${dir}/args.tmp'
cat "$1" > '${dir}/handed' 2>/dev/null
sleep 60 &
echo "$$ $!" > '${dir}/pids'
mv '${dir}/args.tmp' '${dir}/args'
wait
`);
  chmodSync(script, 0o755);
  const file = (name) => join(dir, name);
  return {
    env: { DISPLAY: ':99', PATH: `${join(dir, 'bin')}:${process.env.PATH}` },
    args: async () => {
      await until('xdg-open started', () => existsSync(file('args')));
      return readFileSync(file('args'), 'utf8').split('\n').filter((line) => line);
    },
    handed: () => (existsSync(file('handed')) ? readFileSync(file('handed'), 'utf8') : ''),
    stop: () => {
      // A host that was killed (a failing test) leaves its launcher behind.
      if (existsSync(file('args'))) {
        const [launcher] = readFileSync(file('args'), 'utf8').split('\n');
        if (/\/corvane-page-[^/]+\/page\.html$/.test(launcher)) {
          rmSync(dirname(launcher), { recursive: true, force: true });
        }
      }
      if (existsSync(file('pids'))) {
        for (const pid of readFileSync(file('pids'), 'utf8').trim().split(' ')) {
          try { process.kill(Number(pid)); } catch { /* already gone */ }
        }
      }
      rmSync(dir, { recursive: true, force: true });
    },
  };
}

// Every process's arguments and environment that can be read, with `token` in them.
function processesHolding(token) {
  const found = [];
  for (const pid of readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    for (const part of ['cmdline', 'environ']) {
      try {
        if (readFileSync(`/proc/${pid}/${part}`, 'latin1').includes(token)) found.push(`${pid}/${part}`);
      } catch { /* gone, or not ours to read */ }
    }
  }
  return found;
}

// What another local user (nobody) can do: read the launcher and its folder, find the secret
// in any process's arguments or environment, drive the dialog without it.
const strangerScript = `
const fs = require('node:fs');
const [launcher, token, port] = process.argv.slice(1);
const tryRead = (f) => { try { f(); return 'read'; } catch (e) { return e.code; } };
const found = [];
// This process is handed the secret to look for: itself it skips.
for (const pid of fs.readdirSync('/proc').filter((n) => /^\\d+$/.test(n) && n !== String(process.pid))) {
  for (const part of ['cmdline', 'environ']) {
    try { if (fs.readFileSync('/proc/' + pid + '/' + part, 'latin1').includes(token)) found.push(pid + '/' + part); }
    catch (e) {}
  }
}
(async () => {
  const base = 'http://127.0.0.1:' + port + '/';
  const statuses = [];
  for (const [path, body] of [['', undefined], ['00000000000000000000000000000000/external/fix', '[3]']]) {
    const r = await fetch(base + path, { method: body ? 'POST' : 'GET', body });
    statuses.push(r.status);
  }
  console.log(JSON.stringify({
    file: tryRead(() => fs.readFileSync(launcher)),
    folder: tryRead(() => fs.readdirSync(require('node:path').dirname(launcher))),
    found, statuses,
  }));
})();
`;

test('the secret reaches the browser in a file only the user reads, in no process\'s arguments',
  asRoot, async () => {
    const xdgOpen = standIn();
    try {
      await withBareProgram([], async ({ url }) => {
        const token = new URL(url).pathname.split('/')[1];
        const args = await xdgOpen.args();
        // The host and everything it started, the stand-in and its child included.
        assert.deepEqual(processesHolding(token), [], 'the secret is in a command line or environment');
        assert.equal(args.length, 1);
        const launcher = args[0];
        const stranger = JSON.parse(execFileSync('/usr/bin/setpriv', ['--reuid=65534',
          '--regid=65534', '--clear-groups', process.execPath, '-e', strangerScript, launcher, token,
          new URL(url).port], { cwd: '/', encoding: 'utf8', timeout: 20000 }));
        assert.deepEqual(stranger, {
          file: 'EACCES', folder: 'EACCES', found: [], statuses: [403, 403],
        });
        // The launcher: private, and opening it goes to the page's URL.
        assert.equal(statSync(launcher).mode & 0o777, 0o600);
        assert.equal(statSync(dirname(launcher)).mode & 0o777, 0o700);
        assert.equal(statSync(launcher).uid, process.getuid());
        assert.match(xdgOpen.handed(), new RegExp(`http-equiv="refresh" content="0;url=${url}"`));
        // Once the page has come, the launcher is no longer needed and is gone.
        assert.equal((await fetch(url)).status, 200);
        await until('the launcher removed', () => !existsSync(dirname(launcher)), 5000);
      }, xdgOpen.env);
    } finally {
      xdgOpen.stop();
    }
  });

test('a browser opened on the launcher file lands on the page', needsChromium, async () => {
  const xdgOpen = standIn();
  try {
    await withProgram([], async ({ url, browser }) => {
      const [launcher] = await xdgOpen.args();
      const page = await browser.newPage();
      await page.goto(`file://${launcher}`);
      await page.waitForURL(url, { timeout: 20000 });
      await page.waitForFunction(() => typeof window.external.fix === 'function', null,
        { timeout: 20000 });
      await until('the launcher removed', () => !existsSync(launcher), 5000);
    }, xdgOpen.env);
  } finally {
    xdgOpen.stop();
  }
});
