// The corvane program with its browser host, end to end in headless Chromium: the check runs
// to "检测完毕" on a scratch machine, one-click setup reaches the dialog, and closing the page
// ends the program.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import * as acorn from 'acorn';
import { answerPromptsUntil, artifacts, needsChromium, openFinishedCheck, until, withProgram } from './program.mjs';

test('the page in a browser drives the dialog and closing it ends the program', needsChromium,
  () => withProgram([], async ({ url, browser, transcript, exited }) => {
    // Without the secret nothing is served.
    const refused = await fetch(url.replace(/[0-9a-f]{32}\/$/, ''));
    assert.equal(refused.status, 403);

    // The shim runs in Internet Explorer 7 too: plain ES3.
    const html = await (await fetch(url)).text();
    const shim = html.match(/<script type="text\/javascript">([\s\S]*?)<\/script>/)[1];
    assert.match(shim, /window\.external = external/);
    acorn.parse(shim, { ecmaVersion: 3, allowReserved: 'never' });

    const page = await browser.newPage();
    const dialogs = [];
    page.on('dialog', (dialog) => {
      dialogs.push(dialog.type());
      dialog.dismiss();
    });
    await openFinishedCheck(page, url, transcript);

    await page.getByText('一键设置', { exact: true }).first().click();
    await answerPromptsUntil(page, 'fix(0) and install(0) in the transcript', () => {
      const commands = transcript().filter((l) => l.external);
      const fix = commands.findIndex((l) => l.external === 'fix' && l.args[0] === 0);
      const install = commands.findIndex((l) => l.external === 'install' && l.args[0] === 0);
      return fix >= 0 && install > fix;
    });
    assert.deepEqual(dialogs, [], 'the page uses no browser dialog');

    mkdirSync(artifacts, { recursive: true });
    await page.screenshot({ path: join(artifacts, 'browser-host-e2e.png'), fullPage: true });

    await page.close({ runBeforeUnload: true });
    const code = await Promise.race([exited, new Promise((r) => setTimeout(() => r('running'), 20000))]);
    assert.equal(code, 0, 'corvane should end once its page is closed');
  }));

test('the 登录 link starts the browser on the PC and opens the site in a new tab', needsChromium,
  () => withProgram([], async ({ url, browser, transcript }) => {
    const site = 'http://www.marrowby.example/';
    // The site is answered here: nothing leaves this PC.
    await browser.route(`${site}**`, (route) => route.fulfill({ contentType: 'text/html', body: 'site' }));
    const page = await browser.newPage();
    await openFinishedCheck(page, url, transcript);
    // The link appears only when everything passes, which a scratch machine never does: the
    // test puts one in the page, and the click is the user's.
    await page.evaluate(() => {
      const link = document.createElement('a');
      link.id = 'onOpen';
      link.textContent = '登录';
      link.href = 'javascript:void(0)';
      document.body.appendChild(link);
    });
    const opened = browser.waitForEvent('page', { timeout: 20000 });
    await page.locator('#onOpen').click();
    const tab = await opened;
    await tab.waitForLoadState();
    assert.equal(tab.url(), site);
    await until('the start in the transcript', () => transcript().some((l) => l.desktopStart));
    const start = transcript().find((l) => l.desktopStart);
    assert.equal(start.desktopStart, `"C:\\Program Files (x86)\\Internet Explorer\\iexplore.exe"${site}`);
    assert.equal(start.started, true);
  }));
