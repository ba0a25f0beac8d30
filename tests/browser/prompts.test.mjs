// A prompt raised inside a page command, in headless Chromium: the page's own modal box with
// the prompt's texts and both command links; each link's answer reaches the dialog, the
// command finishes after it, and the page's next call waits for that. The program's
// --prompt-in hook makes the command ask the download-failed choice on any machine.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { answerPromptsUntil, artifacts, needsChromium, openFinishedCheck, until, withProgram } from './program.mjs';

const kTitle = 'Marrowby银行网银助手';
const kInstruction = '下载发生错误';
const kContent = '下载失败，是否继续下一个';
const kConsent = '继续下载下一项';
const kRefusal = '停止下载';

const isCommand = (line, name, arg) => line.external === name && line.args[0] === arg;
const isSetUp = (line) => line.call === 'setState' && line.args.join() === '0,2,2999';

test('a prompt inside a command is the page\'s modal box and its answer goes to the dialog',
  needsChromium, () => withProgram(['--prompt-in', 'fix'], async ({ url, browser, transcript }) => {
    const page = await browser.newPage();
    const dialogs = [];
    page.on('dialog', (dialog) => {
      dialogs.push(dialog.type());
      dialog.dismiss();
    });
    await openFinishedCheck(page, url, transcript);

    const cases = [
      // "一键设置" calls fix(0) and then install(0): install waits for fix and its prompt.
      // fix(0) then tries the bank's server again and adds the root certificate: more prompts.
      { button: '#btnSetup', command: ['fix', 0], link: kConsent, answer: 6, then: ['install', 0] },
      { button: '#btnClearIe', command: ['fix', 16], link: kRefusal, answer: 7 },
    ];
    for (const c of cases) {
      const from = transcript().length;
      const since = () => transcript().slice(from);
      await page.click(c.button);

      const box = page.locator('#corvanePrompt');
      await box.waitFor({ state: 'visible', timeout: 10000 });
      assert.equal(await box.locator('.prompt_title').textContent(), kTitle);
      assert.equal(await box.locator('.prompt_instruction').textContent(), kInstruction);
      assert.equal(await box.locator('.prompt_content').textContent(), kContent);
      assert.deepEqual(await box.locator('.prompt_link').allTextContents(), [kConsent, kRefusal]);
      if (c.answer === 6) {
        mkdirSync(artifacts, { recursive: true });
        await page.screenshot({ path: join(artifacts, 'browser-host-prompt.png') });
      }

      // The box covers the page: a click on "重新检测" does not reach it.
      const check = await page.locator('#btnCheck').boundingBox();
      await page.mouse.click(check.x + check.width / 2, check.y + check.height / 2);
      await new Promise((r) => setTimeout(r, 300));
      const waiting = since();
      assert.ok(waiting.some((l) => isCommand(l, ...c.command)), JSON.stringify(waiting));
      assert.ok(!waiting.some((l) => l.prompt || l.external === 'check' ||
        (c.then && isCommand(l, ...c.then))), JSON.stringify(waiting));

      await box.getByText(c.link, { exact: true }).click();
      await until(`the answer ${c.answer} in the transcript`, () => since().some((l) => l.prompt));
      if (c.then) {
        await answerPromptsUntil(page, `${c.then} in the transcript`,
          () => since().some((l) => isCommand(l, ...c.then)));
      } else {
        await box.waitFor({ state: 'detached', timeout: 10000 });
      }

      const lines = since();
      const asked = lines.findIndex((l) => l.prompt);
      assert.deepEqual(lines[asked], { ...lines[asked], prompt: 'choice', ids: [145, 146, 147], answer: c.answer });
      // Consent runs the command to its end (its completion report) before the page's next
      // call; refusal skips it.
      const done = lines.findIndex((l, i) => i > asked && isSetUp(l));
      if (c.answer === 6) {
        assert.ok(done > asked, JSON.stringify(lines));
        const next = lines.findIndex((l) => isCommand(l, ...c.then));
        assert.ok(next > done, JSON.stringify(lines));
      } else {
        assert.equal(done, -1, JSON.stringify(lines));
      }
      assert.ok(!lines.some((l) => l.external === 'check'), 'the covered click reached the page');
    }
    assert.deepEqual(dialogs, [], 'no browser dialog: the prompts are the page\'s');
  }));
