// The corvane program with its browser host and headless Chromium, for the tests beside this.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const root = resolve(dirname(fileURLToPath(import.meta.url)), '..', '..');
export const artifacts = join(root, 'build/page-test-artifacts');
const program = process.env.CORVANE_PROGRAM || join(root, 'build/linux/src/hosts/corvane');
const browserPath = '/usr/bin/chromium';

// The option of node:test that skips a test on a machine without the browser.
export const needsChromium = { skip: existsSync(browserPath) ? false : 'no chromium: apt-get install chromium' };

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
    const timer = setTimeout(() => reject(new Error(`no URL printed: ${out}`)), 60000);
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

export async function until(what, check, ms = 20000) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    if (check()) return;
    await new Promise((r) => setTimeout(r, 100));
  }
  assert.fail(`timed out waiting for ${what}`);
}

// Runs corvane --ui browser on a scratch machine with `options`, without a browser: the test
// is the page. Calls `body` with { url, child, transcript(), exited } and cleans up. `env`
// adds to the program's environment (which has no desktop unless it gives one).
export async function withBareProgram(options, body, env = {}) {
  const work = mkdtempSync(join(tmpdir(), 'corvane-browser-'));
  const transcriptFile = join(work, 'transcript.jsonl');
  const child = spawn(program, ['--ui', 'browser', '--machine', join(work, 'machine'),
    '--transcript', transcriptFile, ...options], { stdio: ['ignore', 'pipe', 'inherit'],
    env: { ...process.env, DISPLAY: '', WAYLAND_DISPLAY: '', ...env } });
  const exited = exitOf(child);
  const transcript = () => readFileSync(transcriptFile, 'utf8').split('\n').filter((line) => line)
    .map((line) => JSON.parse(line));
  try {
    await body({ url: await urlOf(child), child, transcript, exited });
  } finally {
    if (child.exitCode === null) child.kill();
    await exited;
    rmSync(work, { recursive: true, force: true });
  }
}

// Runs corvane --ui browser on a scratch machine with `options` and Chromium beside it, calls
// `body` with { url, browser, transcript(), exited }, and cleans up whatever happens. `env` as
// for withBareProgram.
export async function withProgram(options, body, env = {}) {
  const work = mkdtempSync(join(tmpdir(), 'corvane-browser-'));
  const transcriptFile = join(work, 'transcript.jsonl');
  const child = spawn(program, ['--ui', 'browser', '--machine', join(work, 'machine'),
    '--transcript', transcriptFile, ...options], { stdio: ['ignore', 'pipe', 'inherit'],
    env: { ...process.env, DISPLAY: '', WAYLAND_DISPLAY: '', ...env } });
  const exited = exitOf(child);
  const browser = await launch(join(work, 'profile'));
  const transcript = () => readFileSync(transcriptFile, 'utf8').split('\n').filter((line) => line)
    .map((line) => JSON.parse(line));
  try {
    await body({ url: await urlOf(child), browser, transcript, exited });
  } finally {
    await browser.close();
    if (child.exitCode === null) child.kill();
    await exited;
    rmSync(work, { recursive: true, force: true });
  }
}

// The configuration worker's message when the bank's server cannot be reached (strings 155
// and 146), in the page's box: checked and closed with its one link.
export async function answerDownloadPrompt(page) {
  const box = page.locator('#corvanePrompt');
  await box.locator('.prompt_content').filter({ hasText: '下载配置文件失败' })
    .waitFor({ state: 'visible', timeout: 30000 });
  assert.equal(await box.locator('.prompt_instruction').textContent(), '下载发生错误');
  assert.equal(await box.locator('.prompt_content').textContent(),
    '下载配置文件失败，请确认你的电脑能够访问银行网站');
  await box.locator('.prompt_link').getByText('确定', { exact: true }).click();
  await box.waitFor({ state: 'detached', timeout: 10000 });
}

// Opens the page and waits for the finished check. A scratch machine cannot reach the bank's
// server, so the configuration worker says so first; the check then runs on the built-in copy.
export async function openFinishedCheck(page, url, transcript) {
  await page.goto(url);
  await answerDownloadPrompt(page);
  await page.locator('.status_check').filter({ hasText: '检测完毕' }).waitFor({ timeout: 60000 });
  assert.deepEqual(transcript().find((l) => l.prompt).ids, [155, 146]);
}

// Answers whatever the page's box asks with its first link (the consent of a choice, the one
// link of a message) until `check` holds. One-click setup may try the bank's server again
// (its message) and add the root certificate (the emulated PC's security warning).
export async function answerPromptsUntil(page, what, check, ms = 30000) {
  const box = page.locator('#corvanePrompt');
  const end = Date.now() + ms;
  while (!check()) {
    if (Date.now() > end) assert.fail(`timed out waiting for ${what}`);
    if (await box.isVisible()) {
      const asked = await box.textContent();
      await box.locator('.prompt_link').first().click();
      // Gone, or already the next question.
      await page.waitForFunction((text) => {
        const now = document.getElementById('corvanePrompt');
        return !now || now.textContent !== text;
      }, asked, { timeout: 10000 });
    } else {
      await new Promise((r) => setTimeout(r, 100));
    }
  }
}
