// The corvane program with its browser host, end to end in headless Chromium: the check runs
// to "检测完毕" on a scratch machine, one-click setup reaches the dialog, and closing the page
// ends the program.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..', '..');
const program = process.env.CORVANE_PROGRAM || join(root, 'build/linux/src/hosts/corvane');
const artifacts = join(root, 'build/page-test-artifacts');
const browserPath = '/usr/bin/chromium';

// A fresh profile each run (Playwright passes it as --user-data-dir).
function launch(profile) {
  return chromium.launchPersistentContext(profile, {
    executablePath: browserPath,
    headless: true,
    viewport: { width: 900, height: 620 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// Resolves with the page's URL once the program prints it.
function urlOf(child) {
  return new Promise((resolveUrl, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error(`no URL printed: ${out}`)), 20000);
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const match = out.match(/http:\/\/127\.0\.0\.1:\d+\/[0-9a-f]{32}\//);
      if (match) {
        clearTimeout(timer);
        resolveUrl(match[0]);
      }
    });
    child.on('exit', (code) => reject(new Error(`corvane ended (${code}) before its URL: ${out}`)));
  });
}

function exitOf(child) {
  return new Promise((resolveExit) => {
    if (child.exitCode !== null) resolveExit(child.exitCode);
    else child.on('exit', (code) => resolveExit(code));
  });
}

function transcriptLines(file) {
  return readFileSync(file, 'utf8').split('\n').filter((line) => line).map((line) => JSON.parse(line));
}

async function until(what, check, ms = 20000) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    if (check()) return;
    await new Promise((r) => setTimeout(r, 100));
  }
  assert.fail(`timed out waiting for ${what}`);
}

test('the page in a browser drives the dialog and closing it ends the program',
  { skip: existsSync(browserPath) ? false : 'no chromium: apt-get install chromium' },
  async () => {
    const work = mkdtempSync(join(tmpdir(), 'corvane-e2e-'));
    const transcript = join(work, 'transcript.jsonl');
    const child = spawn(program, ['--ui', 'browser', '--machine', join(work, 'machine'),
      '--transcript', transcript], { stdio: ['ignore', 'pipe', 'inherit'],
      env: { ...process.env, DISPLAY: '', WAYLAND_DISPLAY: '' } });
    const exited = exitOf(child);
    const browser = await launch(join(work, 'profile'));
    try {
      const url = await urlOf(child);

      // Without the secret nothing is served.
      const refused = await fetch(url.replace(/[0-9a-f]{32}\/$/, ''));
      assert.equal(refused.status, 403);

      const page = await browser.newPage();
      page.on('dialog', (dialog) => dialog.accept());
      await page.goto(url);
      await page.locator('.status_check').filter({ hasText: '检测完毕' }).waitFor({ timeout: 60000 });

      await page.getByText('一键设置', { exact: true }).first().click();
      await until('fix(0) and install(0) in the transcript', () => {
        const commands = transcriptLines(transcript).filter((l) => l.external);
        const fix = commands.findIndex((l) => l.external === 'fix' && l.args[0] === 0);
        const install = commands.findIndex((l) => l.external === 'install' && l.args[0] === 0);
        return fix >= 0 && install > fix;
      });

      mkdirSync(artifacts, { recursive: true });
      await page.screenshot({ path: join(artifacts, 'browser-host-e2e.png'), fullPage: true });

      await page.close({ runBeforeUnload: true });
      const code = await Promise.race([exited, new Promise((r) => setTimeout(() => r('running'), 20000))]);
      assert.equal(code, 0, 'corvane should end once its page is closed');
    } finally {
      await browser.close();
      if (child.exitCode === null) child.kill();
      await exited;
      rmSync(work, { recursive: true, force: true });
    }
  });
